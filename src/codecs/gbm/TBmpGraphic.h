#pragma once
// Windows and OS/2 bitmap files (.bmp, .dib).

#include "codecs/model/Stream.h"
#include "codecs/model/TDibGraphic.h"

#include <string>

namespace lumara {

class TBmpGraphic : public TDibGraphic {
  public:
    const char* ClassName() const override { return "TBmpGraphic"; }

    // Reads the resolution, decodes through the bitmap layer and, when that
    // fails, through the fallback reader (16- and 32-bit, masks, newer headers).
    void ReadImage(TStream& stream, int index) override;
    // An uncompressed bitmap: 14-byte file header, the 40-byte info header as
    // held, the colour table and the rows bottom-up.
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
