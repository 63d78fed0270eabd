// The TGA reader, as the program opens a file.
#include "GbmReaderCheck.h"
#include "codecs/gbm/TTgaGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumara::CheckGbmReader<lumara::TTgaGraphic>(data, size, "File.tga", "");
}
