// GIF files through giflib. Each frame is a page, composed onto the logical
// screen the way a viewer shows the animation at that frame: the screen
// starts in the background colour, transparent pixels let what is below show
// through, and each frame's disposal (restore background, restore previous)
// is applied before the next frame is drawn. A page is an 8-bit image on the
// frame's colour map when the composed screen fits in 256 colours (colours of
// earlier frames are added after the map's entries), 24-bit otherwise.

#include "ImgDecode.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace lumara::imgdecode {

namespace {

struct GifReader {
    Bytes data;
    size_t pos = 0;
};

int readFunc(GifFileType* gif, GifByteType* buf, int size) {
    auto* r = static_cast<GifReader*>(gif->UserData);
    if (size <= 0) return 0;
    const size_t n = std::min(size_t(size), r->data->size() - r->pos);
    std::memcpy(buf, r->data->data() + r->pos, n);
    r->pos += n;
    return int(n);
}

std::string gifError(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "GIF error " + std::to_string(code);
}

// An open giflib decoder, closed on every way out.
class GifHandle {
  public:
    explicit GifHandle(GifReader& reader) {
        reader.pos = 0;
        int error = 0;
        gif_ = DGifOpen(&reader, readFunc, &error);
        if (!gif_) Corrupt(gifError(error));
    }
    ~GifHandle() {
        int error = 0;
        if (gif_) DGifCloseFile(gif_, &error);
    }
    GifHandle(const GifHandle&) = delete;
    GifHandle& operator=(const GifHandle&) = delete;
    GifFileType* get() const { return gif_; }

  private:
    GifFileType* gif_ = nullptr;
};

// What the graphics control extension before a frame says.
struct FrameControl {
    int disposal = DISPOSAL_UNSPECIFIED;
    int transparent = NO_TRANSPARENT_COLOR;
};

uint32_t mapColor(const ColorMapObject* map, int index) {
    if (map && index >= 0 && index < map->ColorCount) {
        const GifColorType& c = map->Colors[index];
        return (uint32_t(c.Red) << 16) | (uint32_t(c.Green) << 8) | c.Blue;
    }
    // No colour map at all: a gray ramp, as the oldest decoders did.
    if (!map) return uint32_t(index) * 0x010101u;
    return 0;
}

class GifSource : public PageSource {
  public:
    explicit GifSource(Bytes data) {
        reader_.data = std::move(data);
        scan();
    }

    int PageCount() const override { return frames_; }

    Bitmap DecodePage(int page) override {
        if (page < 0 || page >= frames_) Corrupt("no such frame");
        // Frames build on each other: going back means starting again.
        if (!handle_ || page < nextFrame_) restart();
        try {
            while (nextFrame_ <= page)
                drawNextFrame();
        } catch (...) {
            // The decoder stopped inside a frame: start over next time.
            handle_.reset();
            throw;
        }
        return pageBitmap();
    }

  private:
    // Counts the frames whose data is complete without decoding any pixels,
    // and checks the logical screen's size.
    void scan() {
        GifHandle handle(reader_);
        GifFileType* gif = handle.get();
        width_ = gif->SWidth;
        height_ = gif->SHeight;
        int frames = 0;
        bool done = false;
        while (!done && frames < kMaxPages) {
            GifRecordType type;
            if (DGifGetRecordType(gif, &type) == GIF_ERROR) break;
            switch (type) {
            case IMAGE_DESC_RECORD_TYPE: {
                if (DGifGetImageDesc(gif) == GIF_ERROR) {
                    done = true;
                    break;
                }
                const GifImageDesc& d = gif->Image;
                // A screen of no size takes the first frame's extent.
                if (frames == 0 && (width_ == 0 || height_ == 0)) {
                    width_ = d.Left + d.Width;
                    height_ = d.Top + d.Height;
                }
                int codeSize = 0;
                GifByteType* block = nullptr;
                bool complete = DGifGetCode(gif, &codeSize, &block) != GIF_ERROR;
                while (complete && block)
                    complete = DGifGetCodeNext(gif, &block) != GIF_ERROR;
                if (!complete) {
                    done = true;
                    break;
                }
                ++frames;
                break;
            }
            case EXTENSION_RECORD_TYPE: {
                int code = 0;
                GifByteType* ext = nullptr;
                bool complete = DGifGetExtension(gif, &code, &ext) != GIF_ERROR;
                while (complete && ext)
                    complete = DGifGetExtensionNext(gif, &ext) != GIF_ERROR;
                if (!complete) done = true;
                break;
            }
            case TERMINATE_RECORD_TYPE:
            default:
                done = true;
                break;
            }
        }
        if (frames == 0) Corrupt(gif->Error ? gifError(gif->Error) : "no image in the file");
        CheckImageSize(width_, height_, 24);
        frames_ = frames;
        const ColorMapObject* global = gif->SColorMap;
        background_ = global && gif->SBackGroundColor < global->ColorCount
                          ? mapColor(global, gif->SBackGroundColor)
                          : 0xFFFFFF;
    }

    void restart() {
        handle_.reset();
        handle_ = std::make_unique<GifHandle>(reader_);
        const size_t pixels = size_t(width_) * size_t(height_);
        canvas_.assign(pixels, background_);
        saved_.clear();
        nextFrame_ = 0;
        pendingDisposal_ = DISPOSAL_UNSPECIFIED;
        lastMapCopy_.clear();
    }

    // Undoes the previous frame as its disposal asks.
    void dispose() {
        if (pendingDisposal_ == DISPOSE_BACKGROUND) {
            for (int y = lastRect_[1]; y < lastRect_[3]; ++y)
                std::fill(canvas_.begin() + ptrdiff_t(size_t(y) * width_ + size_t(lastRect_[0])),
                          canvas_.begin() + ptrdiff_t(size_t(y) * width_ + size_t(lastRect_[2])),
                          background_);
        } else if (pendingDisposal_ == DISPOSE_PREVIOUS && !saved_.empty()) {
            canvas_.swap(saved_);
        }
        pendingDisposal_ = DISPOSAL_UNSPECIFIED;
    }

    void drawNextFrame() {
        GifFileType* gif = handle_->get();
        FrameControl control;
        for (;;) {
            GifRecordType type;
            if (DGifGetRecordType(gif, &type) == GIF_ERROR) Corrupt(gifError(gif->Error));
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* ext = nullptr;
                if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) Corrupt(gifError(gif->Error));
                if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
                    GraphicsControlBlock gcb;
                    if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) {
                        control.disposal = gcb.DisposalMode;
                        control.transparent = gcb.TransparentColor;
                    }
                }
                while (ext)
                    if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) Corrupt(gifError(gif->Error));
                continue;
            }
            if (type == IMAGE_DESC_RECORD_TYPE) break;
            Corrupt("frame " + std::to_string(nextFrame_ + 1) + " missing");
        }
        if (DGifGetImageDesc(gif) == GIF_ERROR) Corrupt(gifError(gif->Error));
        const GifImageDesc desc = gif->Image;
        if (desc.Width <= 0 || desc.Height <= 0) Corrupt("empty frame");
        CheckImageSize(desc.Width, desc.Height, 8);
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;

        dispose();
        if (control.disposal == DISPOSE_PREVIOUS) saved_ = canvas_;

        // The part of the frame on the screen; the rest is decoded and dropped.
        const int left = std::clamp(desc.Left, 0, width_);
        const int right = std::clamp(desc.Left + desc.Width, 0, width_);
        const int top = std::clamp(desc.Top, 0, height_);
        const int bottom = std::clamp(desc.Top + desc.Height, 0, height_);

        uint32_t colors[256];
        for (int i = 0; i < 256; ++i)
            colors[i] = mapColor(map, i);
        std::vector<GifPixelType> line(size_t(desc.Width));
        static const int kPassStart[] = {0, 4, 2, 1};
        static const int kPassStep[] = {8, 8, 4, 2};
        const int passes = desc.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            const int start = desc.Interlace ? kPassStart[pass] : 0;
            const int step = desc.Interlace ? kPassStep[pass] : 1;
            for (int row = start; row < desc.Height; row += step) {
                if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR)
                    Corrupt(gifError(gif->Error));
                const int y = desc.Top + row;
                if (y < top || y >= bottom) continue;
                uint32_t* dst = canvas_.data() + size_t(y) * size_t(width_);
                const GifPixelType* src = line.data() + (left - desc.Left);
                if (control.transparent == NO_TRANSPARENT_COLOR) {
                    for (int x = left; x < right; ++x)
                        dst[x] = colors[*src++];
                } else {
                    const int clear = control.transparent;
                    for (int x = left; x < right; ++x, ++src)
                        if (*src != clear) dst[x] = colors[*src];
                }
            }
        }
        pendingDisposal_ = control.disposal;
        lastRect_[0] = left;
        lastRect_[1] = top;
        lastRect_[2] = right;
        lastRect_[3] = bottom;
        lastMapCopy_.clear();
        if (map)
            for (int i = 0; i < map->ColorCount && i < 256; ++i)
                lastMapCopy_.push_back(mapColor(map, i));
        ++nextFrame_;
    }

    // The composed screen as a page: 8-bit when it fits in 256 colours.
    Bitmap pageBitmap() const {
        std::vector<uint32_t> palette = lastMapCopy_;
        std::unordered_map<uint32_t, uint8_t> index;
        index.reserve(512);
        for (size_t i = palette.size(); i-- > 0;)
            index[palette[i]] = uint8_t(i); // the first entry of a colour wins
        bool fits = true;
        uint32_t lastColor = 0xFFFFFFFFu;
        for (uint32_t c : canvas_) {
            if (c == lastColor) continue;
            lastColor = c;
            if (index.count(c)) continue;
            if (palette.size() >= 256) {
                fits = false;
                break;
            }
            index[c] = uint8_t(palette.size());
            palette.push_back(c);
        }
        if (fits) {
            Bitmap out(width_, height_, 8);
            out.palette = palette;
            for (int y = 0; y < height_; ++y) {
                const uint32_t* src = canvas_.data() + size_t(y) * size_t(width_);
                uint8_t* dst = out.ScanLine(y);
                uint32_t prev = 0xFFFFFFFFu;
                uint8_t prevIndex = 0;
                for (int x = 0; x < width_; ++x) {
                    if (src[x] != prev) {
                        prev = src[x];
                        prevIndex = index.find(prev)->second;
                    }
                    dst[x] = prevIndex;
                }
            }
            return out;
        }
        Bitmap out(width_, height_, 24);
        for (int y = 0; y < height_; ++y) {
            const uint32_t* src = canvas_.data() + size_t(y) * size_t(width_);
            uint8_t* dst = out.ScanLine(y);
            for (int x = 0; x < width_; ++x, dst += 3) {
                dst[0] = uint8_t(src[x]);
                dst[1] = uint8_t(src[x] >> 8);
                dst[2] = uint8_t(src[x] >> 16);
            }
        }
        return out;
    }

    GifReader reader_;
    std::unique_ptr<GifHandle> handle_;
    int width_ = 0;
    int height_ = 0;
    int frames_ = 0;
    uint32_t background_ = 0xFFFFFF;
    std::vector<uint32_t> canvas_;
    std::vector<uint32_t> saved_;
    int nextFrame_ = 0;
    int pendingDisposal_ = DISPOSAL_UNSPECIFIED;
    int lastRect_[4] = {0, 0, 0, 0};
    std::vector<uint32_t> lastMapCopy_;
};

} // namespace

std::unique_ptr<PageSource> OpenGif(Bytes data) {
    return std::make_unique<GifSource>(std::move(data));
}

} // namespace lumara::imgdecode
