#include "Metafile.h"

#include "codecs/model/Exceptions.h"
#include "codecs/model/Stream.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace lumara {

namespace {

// Metafiles are drawings: a page at 96 dots per inch is about 800 by 1100
// pixels. Bigger claims are drawn smaller, so a hostile size cannot make the
// drawing take minutes.
constexpr unsigned kMaxSide = 4096;
constexpr double kMaxPixels = 8.0 * 1024 * 1024;

// libwmf keeps font state in globals; one metafile at a time.
std::mutex gWmfLock;

// libwmf sizes some buffers from header fields alone; a short file must not
// make it allocate gigabytes. Its own memory goes through these, capped.
constexpr size_t kMaxAllocation = size_t(64) << 20;

void* cappedMalloc(void*, size_t size) { return size > kMaxAllocation ? nullptr : std::malloc(size); }
void* cappedRealloc(void*, void* mem, size_t size)
{
    return size > kMaxAllocation ? nullptr : std::realloc(mem, size);
}
void plainFree(void*, void* mem) { std::free(mem); }

// The standard header must describe no more than the file holds.
bool headerFits(const uint8_t* data, size_t size)
{
    size_t at = 0;
    if (size >= 22 && data[0] == 0xD7 && data[1] == 0xCD && data[2] == 0xC6 && data[3] == 0x9A)
        at = 22; // placeable header first
    if (size < at + 18) return false;
    const uint8_t* h = data + at;
    const uint32_t words = uint32_t(h[6]) | uint32_t(h[7]) << 8 | uint32_t(h[8]) << 16 | uint32_t(h[9]) << 24;
    const uint32_t maxRecord =
        uint32_t(h[12]) | uint32_t(h[13]) << 8 | uint32_t(h[14]) << 16 | uint32_t(h[15]) << 24;
    const uint64_t available = (size - at) / 2;
    return maxRecord <= available && words <= available + 1;
}

struct Api {
    wmfAPI* api = nullptr;
    ~Api()
    {
        if (api) wmf_api_destroy(api);
    }
};

} // namespace

// Draws in this process. libwmf keeps each picture it draws and is an old C
// library, so the program calls this only in a child process (below).
static Bitmap renderHere(const uint8_t* data, size_t size, uint32_t background)
{
    if (size < 18) throw EInvalidGraphic("The file is too short to be a metafile.");
    // An enhanced metafile starts with record type 1 and " EMF" at offset 40.
    if (size >= 44 && std::memcmp(data + 40, " EMF", 4) == 0)
        throw EInvalidGraphic("Enhanced metafiles (EMF) cannot be shown.");

    if (!headerFits(data, size)) throw EInvalidGraphic("Not a Windows metafile, or a damaged one.");

    Api holder;
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_gd_function;
    options.malloc = cappedMalloc;
    options.realloc = cappedRealloc;
    options.free = plainFree;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_ALLOC | WMF_OPT_IGNORE_NONFATAL |
                                WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&holder.api, flags, &options) != wmf_E_None || !holder.api)
        throw EInvalidGraphic("The metafile reader could not start.");
    wmfAPI* api = holder.api;

    std::vector<unsigned char> copy(data, data + size);
    if (wmf_mem_open(api, copy.data(), long(copy.size())) != wmf_E_None)
        throw EInvalidGraphic("Not a Windows metafile.");
    wmfD_Rect bbox;
    if (wmf_scan(api, 0, &bbox) != wmf_E_None) {
        wmf_mem_close(api);
        throw EInvalidGraphic("The metafile is damaged.");
    }
    unsigned width = 0, height = 0;
    if (wmf_display_size(api, &width, &height, 96, 96) != wmf_E_None || width == 0 || height == 0) {
        wmf_mem_close(api);
        throw EInvalidGraphic("The metafile has no size.");
    }
    if (width > kMaxSide || height > kMaxSide || double(width) * height > kMaxPixels) {
        // Keep the shape within the limits.
        const double k = std::min({double(kMaxSide) / width, double(kMaxSide) / height,
                                   std::sqrt(kMaxPixels / (double(width) * height))});
        width = std::max(1u, unsigned(width * k));
        height = std::max(1u, unsigned(height * k));
    }
    wmf_gd_t* device = WMF_GD_GetData(api);
    device->type = wmf_gd_image;
    device->bbox = bbox;
    device->width = width;
    device->height = height;
    const wmf_error_t played = wmf_play(api, 0, &bbox);
    wmf_mem_close(api);
    if (played != wmf_E_None || !device->gd_image)
        throw EInvalidGraphic("The metafile could not be drawn.");
    const int* pixels = wmf_gd_image_pixels(device->gd_image);
    if (!pixels) throw EInvalidGraphic("The metafile could not be drawn.");

    Bitmap out(int(width), int(height), 24);
    const int br = RedOf(background), bg = GreenOf(background), bb = BlueOf(background);
    for (unsigned y = 0; y < height; ++y) {
        uint8_t* d = out.ScanLine(int(y));
        const int* s = pixels + size_t(y) * width;
        for (unsigned x = 0; x < width; ++x, d += 3) {
            // True-colour pixels with a 7-bit transparency: 0 opaque, 127 clear.
            const unsigned v = unsigned(s[x]);
            const int clear = int((v >> 24) & 0x7F);
            const int r = int((v >> 16) & 255), g = int((v >> 8) & 255), b = int(v & 255);
            d[2] = uint8_t((r * (127 - clear) + br * clear) / 127);
            d[1] = uint8_t((g * (127 - clear) + bg * clear) / 127);
            d[0] = uint8_t((b * (127 - clear) + bb * clear) / 127);
        }
    }
    return out;
}

namespace {

bool writeAll(int fd, const void* p, size_t n)
{
    const char* c = static_cast<const char*>(p);
    while (n > 0) {
        const ssize_t w = ::write(fd, c, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        c += w;
        n -= size_t(w);
    }
    return true;
}

// Reads n bytes, giving up when nothing arrives for the time allowed.
bool readAll(int fd, void* p, size_t n, int timeoutMs)
{
    char* c = static_cast<char*>(p);
    while (n > 0) {
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        const ssize_t got = ::read(fd, c, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        c += got;
        n -= size_t(got);
    }
    return true;
}

constexpr int kTimeoutMs = 20000;

} // namespace

Bitmap RenderMetafileData(const uint8_t* data, size_t size, uint32_t background)
{
    std::lock_guard<std::mutex> lock(gWmfLock);
    // The drawing happens in a child process: what libwmf keeps, and whatever
    // a hostile file does to it, ends with the child.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw EInvalidGraphic("The metafile reader could not start.");
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw EInvalidGraphic("The metafile reader could not start.");
    }
    if (child == 0) {
        ::close(fds[0]);
        int32_t header[2] = {0, 0};
        try {
            const Bitmap b = renderHere(data, size, background);
            header[0] = b.Width();
            header[1] = b.Height();
            bool ok = writeAll(fds[1], header, sizeof header);
            for (int y = 0; ok && y < b.Height(); ++y)
                ok = writeAll(fds[1], b.ScanLine(y), size_t(b.Width()) * 3);
        } catch (const std::exception& e) {
            const std::string text = e.what();
            header[0] = -1;
            header[1] = int32_t(text.size());
            if (writeAll(fds[1], header, sizeof header)) writeAll(fds[1], text.data(), text.size());
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    Bitmap out;
    std::string failure;
    int32_t header[2] = {0, 0};
    if (!readAll(fds[0], header, sizeof header, kTimeoutMs)) {
        failure = "The metafile could not be drawn.";
    } else if (header[0] == -1) {
        std::string text(size_t(std::clamp(header[1], 0, 4096)), '\0');
        failure = readAll(fds[0], text.data(), text.size(), kTimeoutMs) ? text
                                                                        : "The metafile could not be drawn.";
    } else if (header[0] <= 0 || header[1] <= 0 || header[0] > int32_t(kMaxSide) ||
               header[1] > int32_t(kMaxSide)) {
        failure = "The metafile could not be drawn.";
    } else {
        out.Create(header[0], header[1], 24);
        for (int y = 0; y < out.Height() && failure.empty(); ++y)
            if (!readAll(fds[0], out.ScanLine(y), size_t(out.Width()) * 3, kTimeoutMs))
                failure = "The metafile could not be drawn.";
    }
    ::close(fds[0]);
    if (!failure.empty()) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!failure.empty()) throw EInvalidGraphic(failure);
    return out;
}

Bitmap RenderMetafile(const std::string& path, uint32_t background)
{
    const std::vector<uint8_t> data = ReadWholeFile(path);
    return RenderMetafileData(data.data(), data.size(), background);
}

} // namespace lumara
