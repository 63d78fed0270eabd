// The BMP reader, as the program opens a file.
#include "GbmReaderCheck.h"
#include "codecs/gbm/TBmpGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumara::CheckGbmReader<lumara::TBmpGraphic>(data, size, "File.bmp", "inv");
}
