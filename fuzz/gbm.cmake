lumara_fuzzer(fuzz_bmp SOURCE fuzz_bmp.cpp DEPS lumara_gbm CORPUS bmp)
lumara_fuzzer(fuzz_pcx SOURCE fuzz_pcx.cpp DEPS lumara_gbm CORPUS pcx)
lumara_fuzzer(fuzz_tga SOURCE fuzz_tga.cpp DEPS lumara_gbm CORPUS tga)
