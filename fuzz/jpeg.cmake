lumara_fuzzer(fuzz_jpeg SOURCE fuzz_jpeg.cpp DEPS lumara_jpeg CORPUS jpeg)
