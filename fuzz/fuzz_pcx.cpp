// The PCX reader, as the program opens a file.
#include "GbmReaderCheck.h"
#include "codecs/gbm/TPcxGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumara::CheckGbmReader<lumara::TPcxGraphic>(data, size, "File.pcx", "");
}
