#include "BitmapImage.h"

#include <QVector>

namespace lumara {

namespace {
QList<QRgb> colorTable(const Bitmap& b)
{
    QList<QRgb> table;
    table.reserve(qsizetype(b.palette.size()));
    for (uint32_t c : b.palette) table.push_back(0xFF000000u | c);
    const int needed = 1 << b.Depth();
    while (table.size() < needed) table.push_back(0xFF000000u);
    return table;
}
} // namespace

QImage ImageView(const Bitmap& b)
{
    if (b.Empty() || b.Width() == 0 || b.Height() == 0) return {};
    switch (b.Depth()) {
    case 24:
        return QImage(b.Bits(), b.Width(), b.Height(), b.RowBytes(), QImage::Format_BGR888);
    case 8: {
        QImage img(b.Bits(), b.Width(), b.Height(), b.RowBytes(), QImage::Format_Indexed8);
        img.setColorTable(colorTable(b));
        return img;
    }
    case 1: {
        QImage img(b.Bits(), b.Width(), b.Height(), b.RowBytes(), QImage::Format_Mono);
        img.setColorTable(colorTable(b));
        return img;
    }
    default: {
        QImage img(b.Width(), b.Height(), QImage::Format_Indexed8);
        img.setColorTable(colorTable(b));
        for (int y = 0; y < b.Height(); ++y) {
            uchar* d = img.scanLine(y);
            for (int x = 0; x < b.Width(); ++x) d[x] = uchar(b.PixelIndex(x, y));
        }
        return img;
    }
    }
}

void RowToArgb(const Bitmap& b, int y, int x0, int count, uint32_t* out)
{
    const uint8_t* row = b.ScanLine(y);
    if (b.Depth() == 24) {
        const uint8_t* p = row + 3 * x0;
        for (int i = 0; i < count; ++i, p += 3)
            out[i] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
        return;
    }
    const size_t n = b.palette.size();
    for (int i = 0; i < count; ++i) {
        const size_t idx = size_t(b.PixelIndex(x0 + i, y));
        out[i] = 0xFF000000u | (idx < n ? b.palette[idx] : 0u);
    }
}

} // namespace lumara
