lumara_fuzzer(fuzz_tiff SOURCE fuzz_tiff.cpp DEPS lumara_tiff CORPUS tiff)
lumara_fuzzer(fuzz_png SOURCE fuzz_png.cpp DEPS lumara_png CORPUS png)
