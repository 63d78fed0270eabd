// Opening files in the imaging library: the format is told by the file's
// signature, the decoder counts the pages, page 0 is decoded at once and the
// others when they are selected.

#include "ImgDecode.h"
#include "ImgHandles.h"
#include "ImgLib.h"

#include "codecs/model/Exceptions.h"
#include "codecs/model/Stream.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace lumara {

namespace imgdecode {

namespace {

constexpr uint64_t kDefaultMaxPixels = uint64_t(1) << 30;
constexpr uint64_t kMaxBytes = uint64_t(4) << 30;
std::atomic<uint64_t> gMaxPixels{kDefaultMaxPixels};

} // namespace

void Corrupt(const std::string& detail) {
    throw DecodeError("Corrupt image data: " + detail);
}

void Unsupported(const std::string& detail) {
    throw DecodeError(detail.empty() ? std::string("Unsupported file format")
                                     : "Unsupported file format: " + detail);
}

uint64_t MaxImagePixels() {
    return gMaxPixels.load(std::memory_order_relaxed);
}

uint64_t MaxImageBytes() {
    return std::min(kMaxBytes, MaxImagePixels() * 4);
}

void CheckImageSize(int64_t width, int64_t height, int depth) {
    if (width <= 0 || height <= 0) Corrupt("invalid image size");
    if (width > INT32_MAX || height > INT32_MAX) throw DecodeError("Image too large");
    if (uint64_t(width) * uint64_t(height) > MaxImagePixels()) throw DecodeError("Image too large");
    const int64_t rowBytes = Bitmap::RowBytesFor(width, depth);
    if (rowBytes < 0 || uint64_t(rowBytes) * uint64_t(height) > MaxImageBytes())
        throw DecodeError("Image too large");
}

} // namespace imgdecode

using namespace imgdecode;

namespace {

// An image opened from a file: the entry of the handle table plus what it
// needs to decode the pages not decoded yet.
struct OpenedImage : ImgEntry {
    std::unique_ptr<PageSource> source;
    size_t decodedBytes = 0;
};

// Decoded pages beyond this many bytes make a page change release the others.
constexpr size_t kPageCacheBytes = size_t(1) << 30;

// The handle table knows entries only as ImgEntry; opened files are found
// again through this map. An entry that was closed leaves an expired pointer,
// which is dropped on the next registration or lookup.
struct OpenedRegistry {
    std::mutex lock;
    std::unordered_map<const ImgEntry*, std::weak_ptr<OpenedImage>> entries;
};

OpenedRegistry& registry() {
    static OpenedRegistry r;
    return r;
}

void remember(const std::shared_ptr<OpenedImage>& image) {
    OpenedRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    std::erase_if(r.entries, [](const auto& item) { return item.second.expired(); });
    r.entries[image.get()] = image;
}

std::shared_ptr<OpenedImage> findOpened(const ImgEntry* entry) {
    OpenedRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.entries.find(entry);
    if (it == r.entries.end()) return nullptr;
    auto opened = it->second.lock();
    if (!opened || opened.get() != entry) {
        r.entries.erase(it);
        return nullptr;
    }
    return opened;
}

bool startsWith(const std::vector<uint8_t>& d, const char* magic, size_t len, size_t at = 0) {
    return d.size() >= at + len && std::memcmp(d.data() + at, magic, len) == 0;
}

std::string upper(const std::string& text) {
    std::string u = text;
    for (char& c : u)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

std::unique_ptr<PageSource> openByContent(const Bytes& data, const std::string& hint) {
    const std::vector<uint8_t>& d = *data;
    if (startsWith(d, "II*\0", 4) || startsWith(d, "MM\0*", 4) || startsWith(d, "II+\0", 4) ||
        startsWith(d, "MM\0+", 4))
        return OpenTiff(data);
    if (startsWith(d, "GIF87a", 6) || startsWith(d, "GIF89a", 6)) return OpenGif(data);
    if (startsWith(d, "RIFF", 4) && startsWith(d, "WEBP", 4, 8)) return OpenWebp(data);
    if (startsWith(d, "\xB1\x68\xDE\x3A", 4)) return OpenDcx(data);
    if (startsWith(d, "\x89PNG\r\n\x1A\n", 8)) return OpenOwnCodec(data, OwnCodec::Png);
    if (startsWith(d, "BM", 2)) return OpenOwnCodec(data, OwnCodec::Bmp);
    // ZSoft PCX: manufacturer 10, a known version, run-length encoding.
    if (d.size() >= 128 && d[0] == 10 && d[1] <= 5 && d[1] != 1 && d[2] == 1)
        return OpenOwnCodec(data, OwnCodec::Pcx);
    // TGA has no signature: only the name tells.
    if (hint == "TGA") return OpenOwnCodec(data, OwnCodec::Tga);
    Unsupported();
}

HIMG openBytes(Bytes data, const std::string& hint) {
    try {
        auto image = std::make_shared<OpenedImage>();
        image->source = openByContent(data, hint);
        const int count = image->source->PageCount();
        if (count <= 0) Corrupt("no image in the file");
        image->pages.resize(size_t(count));
        image->pages[0] = image->source->DecodePage(0);
        image->decodedBytes = image->pages[0].ImageSize();
        image->currentPage = 0;
        // Nothing more to decode for single pictures: the source can go.
        if (count == 1)
            image->source.reset();
        else
            remember(image);
        return RegisterImage(std::shared_ptr<ImgEntry>(image));
    } catch (const DecodeError& e) {
        SetImgStatus(e.what());
    } catch (const EOutOfMemory&) {
        SetImgStatus("Out of memory");
    } catch (const std::bad_alloc&) {
        SetImgStatus("Out of memory");
    } catch (const std::exception& e) {
        SetImgStatus(std::string("Corrupt image data: ") + e.what());
    }
    return 0;
}

} // namespace

void ImgSetMaxImagePixels(uint64_t pixels) {
    gMaxPixels.store(pixels == 0 ? kDefaultMaxPixels : pixels, std::memory_order_relaxed);
}

HIMG ImgOpenSolo(const std::string& path, int /*flags*/) {
    std::shared_ptr<std::vector<uint8_t>> bytes;
    try {
        bytes = std::make_shared<std::vector<uint8_t>>(ReadWholeFile(path));
    } catch (const std::bad_alloc&) {
        SetImgStatus("Out of memory");
        return 0;
    } catch (const std::exception&) {
        SetImgStatus("Cannot open file");
        return 0;
    }
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    std::string ext;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        ext = upper(path.substr(dot + 1));
    return openBytes(std::move(bytes), ext);
}

HIMG ImgOpenMem(const uint8_t* data, size_t size, const char* type) {
    if (!data && size != 0) {
        SetImgStatus("Invalid parameter");
        return 0;
    }
    std::shared_ptr<std::vector<uint8_t>> bytes;
    try {
        bytes = std::make_shared<std::vector<uint8_t>>(data, data + size);
    } catch (const std::bad_alloc&) {
        SetImgStatus("Out of memory");
        return 0;
    }
    std::string hint = type ? upper(type) : std::string();
    if (!hint.empty() && hint[0] == '.') hint.erase(0, 1);
    return openBytes(std::move(bytes), hint);
}

bool ImgPageCount(HIMG image, int* count) {
    auto entry = LookupImage(image);
    if (!entry) return false;
    if (!count) {
        SetImgStatus("Invalid parameter");
        return false;
    }
    std::shared_lock<std::shared_mutex> guard(entry->lock);
    *count = int(entry->pages.size());
    return true;
}

bool ImgGetPage(HIMG image, int* page) {
    auto entry = LookupImage(image);
    if (!entry) return false;
    if (!page) {
        SetImgStatus("Invalid parameter");
        return false;
    }
    std::shared_lock<std::shared_mutex> guard(entry->lock);
    *page = entry->currentPage;
    return true;
}

bool ImgSetPage(HIMG image, int page) {
    auto entry = LookupImage(image);
    if (!entry) return false;
    std::unique_lock<std::shared_mutex> guard(entry->lock);
    if (page < 0 || size_t(page) >= entry->pages.size()) {
        SetImgStatus("Invalid page number");
        return false;
    }
    if (entry->pages[size_t(page)].Empty()) {
        auto opened = findOpened(entry.get());
        if (!opened || !opened->source) {
            SetImgStatus("Page not available");
            return false;
        }
        try {
            Bitmap decoded = opened->source->DecodePage(page);
            const size_t bytes = decoded.ImageSize();
            if (opened->decodedBytes + bytes > kPageCacheBytes) {
                // Keep memory bounded on long documents: only the page being
                // shown stays decoded; the others are decoded again when chosen.
                for (size_t i = 0; i < opened->pages.size(); ++i)
                    if (int(i) != page) opened->pages[i].Release();
                opened->decodedBytes = 0;
            }
            opened->pages[size_t(page)] = std::move(decoded);
            opened->decodedBytes += bytes;
        } catch (const DecodeError& e) {
            SetImgStatus(e.what());
            return false;
        } catch (const EOutOfMemory&) {
            SetImgStatus("Out of memory");
            return false;
        } catch (const std::bad_alloc&) {
            SetImgStatus("Out of memory");
            return false;
        } catch (const std::exception& e) {
            SetImgStatus(std::string("Corrupt image data: ") + e.what());
            return false;
        }
    }
    entry->currentPage = page;
    return true;
}

} // namespace lumara
