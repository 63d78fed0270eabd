// WebP files through libwebp: a still picture is one page, an animation has
// one page per frame as composed by libwebp's animation decoder. Pages are
// 24-bit, transparency composed over white.

#include "ImgDecode.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>

namespace lumara::imgdecode {

namespace {

// Rows of blue, green, red, alpha onto a 24-bit row over white.
void composeRow(const uint8_t* bgra, uint8_t* dst, int width) {
    for (int x = 0; x < width; ++x, bgra += 4, dst += 3) {
        const int a = bgra[3];
        const int white = 255 * (255 - a);
        dst[0] = uint8_t((bgra[0] * a + white + 127) / 255);
        dst[1] = uint8_t((bgra[1] * a + white + 127) / 255);
        dst[2] = uint8_t((bgra[2] * a + white + 127) / 255);
    }
}

const char* statusText(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
        return "out of memory";
    case VP8_STATUS_INVALID_PARAM:
        return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR:
        return "bitstream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return "unsupported feature";
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return "data truncated";
    default:
        return "decoding failed";
    }
}

class WebpStill : public PageSource {
  public:
    WebpStill(Bytes data, const WebPBitstreamFeatures& features)
        : data_(std::move(data)), features_(features) {}

    int PageCount() const override { return 1; }

    Bitmap DecodePage(int) override {
        const int w = features_.width, h = features_.height;
        Bitmap out(w, h, 24);
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config)) Corrupt("decoder setup failed");
        std::vector<uint8_t> bgra;
        if (features_.has_alpha) {
            bgra.resize(size_t(w) * size_t(h) * 4);
            config.output.colorspace = MODE_BGRA;
            config.output.u.RGBA.rgba = bgra.data();
            config.output.u.RGBA.stride = w * 4;
            config.output.u.RGBA.size = bgra.size();
        } else {
            // Straight into the page's rows.
            config.output.colorspace = MODE_BGR;
            config.output.u.RGBA.rgba = out.Bits();
            config.output.u.RGBA.stride = out.RowBytes();
            config.output.u.RGBA.size = out.ImageSize();
        }
        config.output.is_external_memory = 1;
        const VP8StatusCode status = WebPDecode(data_->data(), data_->size(), &config);
        WebPFreeDecBuffer(&config.output);
        if (status != VP8_STATUS_OK) Corrupt(statusText(status));
        if (features_.has_alpha)
            for (int y = 0; y < h; ++y)
                composeRow(bgra.data() + size_t(y) * size_t(w) * 4, out.ScanLine(y), w);
        return out;
    }

  private:
    Bytes data_;
    WebPBitstreamFeatures features_;
};

class WebpAnimation : public PageSource {
  public:
    explicit WebpAnimation(Bytes data) : data_(std::move(data)) {
        // The canvas size is checked before the decoder takes memory for it.
        WebPData webp{data_->data(), data_->size()};
        WebPDemuxer* demux = WebPDemux(&webp);
        if (!demux) Corrupt("invalid animation");
        const uint32_t w = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
        const uint32_t h = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
        WebPDemuxDelete(demux);
        CheckImageSize(w, h, 32);
        open();
        WebPAnimInfo info;
        if (!WebPAnimDecoderGetInfo(decoder_, &info)) Corrupt("invalid animation");
        width_ = int(info.canvas_width);
        height_ = int(info.canvas_height);
        CheckImageSize(width_, height_, 32);
        frames_ = int(std::min<uint32_t>(info.frame_count, kMaxPages));
        if (frames_ <= 0) Corrupt("no frame in the animation");
    }

    ~WebpAnimation() override {
        if (decoder_) WebPAnimDecoderDelete(decoder_);
    }

    int PageCount() const override { return frames_; }

    Bitmap DecodePage(int page) override {
        if (page < 0 || page >= frames_) Corrupt("no such frame");
        if (page < nextFrame_) {
            WebPAnimDecoderReset(decoder_);
            nextFrame_ = 0;
        }
        uint8_t* canvas = nullptr;
        while (nextFrame_ <= page) {
            int timestamp = 0;
            if (!WebPAnimDecoderHasMoreFrames(decoder_) ||
                !WebPAnimDecoderGetNext(decoder_, &canvas, &timestamp)) {
                // A failed frame leaves the decoder in no known state.
                WebPAnimDecoderReset(decoder_);
                nextFrame_ = 0;
                Corrupt("cannot decode frame " + std::to_string(page + 1));
            }
            ++nextFrame_;
        }
        Bitmap out(width_, height_, 24);
        for (int y = 0; y < height_; ++y)
            composeRow(canvas + size_t(y) * size_t(width_) * 4, out.ScanLine(y), width_);
        return out;
    }

  private:
    void open() {
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options)) Corrupt("decoder setup failed");
        options.color_mode = MODE_BGRA;
        options.use_threads = 0;
        WebPData webp{data_->data(), data_->size()};
        decoder_ = WebPAnimDecoderNew(&webp, &options);
        if (!decoder_) Corrupt("invalid animation");
    }

    Bytes data_;
    WebPAnimDecoder* decoder_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int frames_ = 0;
    int nextFrame_ = 0;
};

} // namespace

std::unique_ptr<PageSource> OpenWebp(Bytes data) {
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(data->data(), data->size(), &features);
    if (status != VP8_STATUS_OK) Corrupt(statusText(status));
    if (features.has_animation) return std::make_unique<WebpAnimation>(std::move(data));
    CheckImageSize(features.width, features.height, features.has_alpha ? 32 : 24);
    return std::make_unique<WebpStill>(std::move(data), features);
}

} // namespace lumara::imgdecode
