// Scaled copies: the choice of kernel by mode and depth, the size limits and
// the failure texts; the kernels themselves are in ImgResample.

#include "ImgHandles.h"
#include "ImgLib.h"
#include "ImgParallel.h"
#include "ImgResample.h"

#include "codecs/model/Exceptions.h"

#include <new>
#include <shared_mutex>

namespace lumara {

namespace {
// Largest image a copy may produce. Rows are limited to 31 bits by the
// bitmap itself.
constexpr uint64_t kMaxImageBytes = uint64_t(4) << 30;
} // namespace

HIMG ImgCopy(HIMG image, int width, int height, const TRect* sourceRect, int mode) {
    auto entry = LookupImage(image);
    if (!entry) return 0;
    if (width <= 0 || height <= 0) {
        SetImgStatus("Invalid image size");
        return 0;
    }
    try {
        std::shared_lock<std::shared_mutex> guard(entry->lock);
        const Bitmap& src = entry->Current();
        TRect rect;
        if (!ClipSourceRect(src, sourceRect, rect)) return 0;

        const bool sameSize = width == rect.Width() && height == rect.Height();
        const bool bilevel = (mode == kCopyKeepBlack || mode == kCopyKeepWhite) && src.Depth() == 1;
        // An unchanged size is a plain copy whatever the mode: there is
        // nothing to filter, and the depth and palette stay.
        const bool nearest = mode == kCopyPlainEnlarge || sameSize;
        const int depth = nearest ? src.Depth() : bilevel ? 1 : 24;

        const int64_t rowBytes = Bitmap::RowBytesFor(width, depth);
        if (rowBytes < 0 || uint64_t(rowBytes) * uint64_t(height) > kMaxImageBytes) {
            SetImgStatus("Image too large");
            return 0;
        }

        Bitmap out;
        if (nearest) {
            out = ScaleNearest(src, rect, width, height, ImgThreadsFor(int64_t(width) * height));
        } else if (bilevel) {
            const int64_t work = int64_t(height) * rect.Width() + int64_t(width) * height;
            out =
                ScaleBilevel(src, rect, width, height, mode == kCopyKeepBlack, ImgThreadsFor(work));
        } else {
            const ResampleKind kind =
                (mode & kCopyPreview) ? ResampleKind::Fast : ResampleKind::Smooth;
            const int threads =
                ImgThreadsFor(FilteredWork(rect.Width(), rect.Height(), width, height));
            out = ScaleFiltered(src, rect, width, height, kind, threads);
        }
        guard.unlock();
        return RegisterImage(std::move(out));
    } catch (const EOutOfMemory&) {
        SetImgStatus("Out of memory");
    } catch (const std::bad_alloc&) {
        SetImgStatus("Out of memory");
    } catch (const std::length_error&) {
        SetImgStatus("Out of memory");
    }
    return 0;
}

} // namespace lumara
