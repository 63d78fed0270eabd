// Windows metafiles through the metafile importer.
#include "document/Metafile.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        lumara::RenderMetafileData(data, size, 0x808080);
    } catch (const std::exception&) {
    }
    return 0;
}
