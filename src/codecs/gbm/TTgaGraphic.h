#pragma once
// Truevision TGA files.

#include "codecs/model/Stream.h"
#include "codecs/model/TDibGraphic.h"

#include <string>

namespace lumara {

class TTgaGraphic : public TDibGraphic {
  public:
    const char* ClassName() const override { return "TTgaGraphic"; }

    // Decodes through the bitmap layer; the picture gets the screen's dots per inch.
    void ReadImage(TStream& stream, int index) override;
    // 8- and 24-bit images only: others raise ETgaError.
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
