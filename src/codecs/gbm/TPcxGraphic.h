#pragma once
// ZSoft PCX files.

#include "codecs/model/Stream.h"
#include "codecs/model/TDibGraphic.h"

#include <string>

namespace lumara {

class TPcxGraphic : public TDibGraphic {
  public:
    const char* ClassName() const override { return "TPcxGraphic"; }

    // Decodes through the bitmap layer and keeps the file's dots per inch.
    void ReadImage(TStream& stream, int index) override;
    // Encodes through the bitmap layer, then writes the dots per inch at
    // offset 12; the stream is left just after them.
    void SaveToStream(TStream& stream) override;

    // Probes a file's size and depth without decoding it; errors of the
    // bitmap layer (EGbmError) pass to the caller.
    void ReadFileHeader(const std::string& fileName);

    int32_t HeaderWidth = 0;
    int32_t HeaderHeight = 0;
    int32_t HeaderBitsPerPixel = 0;

  private:
    // Holds a whole file during a header probe; empty otherwise.
    TMemoryStream memoryStream_;
};

} // namespace lumara
