lumara_fuzzer(fuzz_wmf SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_wmf.cpp DEPS lumara_document CORPUS wmf)
