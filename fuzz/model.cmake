lumara_fuzzer(fuzz_model_dib SOURCE fuzz_model_dib.cpp DEPS lumara_model CORPUS model_dib)
lumara_fuzzer(fuzz_pixelconv SOURCE fuzz_pixelconv.cpp DEPS lumara_model CORPUS pixelconv)
