#pragma once
// The bridge between the image model and the generalised bitmap layer: picks
// the file format from a name ("File.bmp", "File.pcx", "File.tga"), reads
// and writes through a stream, converts palettes and maps bit depths to image
// formats. Every failure raises EGbmError with one of the layer's fixed
// messages ("gbm_guess_filetype failed.", "gbm_read_header failed.",
// "gbm_read_data failed.", "gbm_write failed.", "Invalid image format").

#include "codecs/model/Stream.h"
#include "codecs/model/TDibGraphic.h"

#include <string>

namespace lumara {

struct GbmHeaderInfo {
    int Width = 0;
    int Height = 0;
    int BitsPerPixel = 0;
};

// Reads the header at the stream's position. The image is not touched.
GbmHeaderInfo GbmReadHeader(TStream& stream, TDibGraphic& image, const std::string& name,
                            const std::string& options);

// Decodes the file at the stream's position into image. 1, 4, 8 and 24 bits
// become ifBlackWhite, ifColor16, ifColor256 and ifTrueColor; other depths
// raise "Invalid image format". On a failure the image is left empty.
void GbmRead(TStream& stream, TDibGraphic& image, const std::string& name,
             const std::string& options);

// Encodes image at the stream's position (gray formats as palette images).
void GbmWrite(TStream& stream, const TDibGraphic& image, const std::string& name);

} // namespace lumara
