#pragma once
// Writing the surface to a file in one of the Save As types.

#include "codecs/model/Bitmap.h"

#include <string>

namespace lumara {

// The Save As file types (the save dialog's filter index).
enum SaveType : int {
    stBmp = 1,
    stPcx = 2,
    stPng = 3,
    stJpegGray = 4,
    stJpegColor = 5,
    stTga = 6,
    stTiffNone = 7,
    stTiffDeflate = 8,
    stTiffDeflateAdobe = 9,
    stTiffFax3 = 10,
    stTiffFax4 = 11,
    stTiffPackbits = 12,
};

struct SaveOptions {
    int CompressQuality = 50; // 1..100, higher is better (JPEG)
    bool Progressive = false; // JPEG progressive, PNG interlaced
};

// The type for a file name's extension, as Save As proposes it (bmp 1, pcx 2,
// png 3, jpg/jpeg 5, tga 6, tif/tiff 7); 0 when there is none.
int SaveTypeForExtension(const std::string& path);
const char* SaveTypeExtension(int type); // "bmp", ... "tif"

// Writes bitmap to path as type. The file is written through a temporary
// file, so a failure leaves what was there. Raises an exception with the
// reason on failure (an unknown type, a compression the picture's depth does
// not allow, a write error).
void WriteImageFile(const Bitmap& bitmap, const std::string& path, int type,
                    const SaveOptions& options = {});

} // namespace lumara
