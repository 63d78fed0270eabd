lumara_fuzzer(fuzz_imglib_open SOURCE fuzz_imglib_open.cpp DEPS lumara_imglib CORPUS imgopen)
