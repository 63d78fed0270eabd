lumara_fuzzer(fuzz_imglib_dib SOURCE fuzz_imglib_dib.cpp DEPS lumara_imglib CORPUS dib)
