#pragma once
// PNG files through libpng over our streams: every colour type and depth read
// into one of the six image formats with transparency composed over a
// background colour, and the image written as an opaque PNG.

#include "codecs/model/TDibGraphic.h"

#include <cstdint>
#include <string>

namespace lumara {

class TPngGraphic : public TDibGraphic {
  public:
    TPngGraphic();
    ~TPngGraphic() override;
    const char* ClassName() const override { return "TPngGraphic"; }

    void SaveToStream(TStream& stream) override;
    // Reads the PNG at the stream's position (index is not used).
    void ReadImage(TStream& stream, int index) override;

    // Probes a file: with headerOnly the header fields only, otherwise the
    // whole picture is read as well.
    void ReadFileHeader(const std::string& fileName, bool headerOnly);

    // The gamma of the pixels held, written as gAMA (1/2.2 unless set).
    double Gamma = 1.0 / 2.2;
    // The gAMA of the last file read, 0 when it had none.
    double FileGamma = 0.0;
    // The colour behind transparent pixels, red in the first byte, green in
    // the second, blue in the third.
    uint32_t BackgroundColor = 0;
    // When true, BackgroundColor wins over the file's own bKGD.
    bool UseBackground = false;
    // 0 -> zlib level 1, 1 -> 5, 2 -> 9; anything else libpng's default.
    uint8_t CompressionLevel = 1;
    bool Interlaced = true;

    int HeaderWidth = 0;
    int HeaderHeight = 0;
    int HeaderBitsPerPixel = 0;
    int HeaderColorType = 0;
    int HeaderInterlace = 0;
    int HeaderFilterMethod = 0;
    int HeaderCompressionMethod = 0;

    // Pictures claiming more pixels than this are refused before any pixel
    // memory is taken (1 gigapixel unless lowered, e.g. by the fuzzer).
    static void SetMaxImagePixels(uint64_t pixels);
    static uint64_t MaxImagePixels();
    // Fuzzing only: accept chunks whose CRC does not match, so mutated
    // inputs reach the decoder instead of stopping at the checksum.
    static void SetIgnoreCrcForTesting(bool ignore);

  private:
    void Read(TStream& stream, bool headerOnly, bool storeHeader);

    TMemoryStream probeStream_;
};

} // namespace lumara
