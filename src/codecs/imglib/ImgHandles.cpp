#include "ImgHandles.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace lumara {

namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<HIMG, std::shared_ptr<ImgEntry>> open;
    HIMG last = 0;
};

HandleTable& table() {
    static HandleTable t;
    return t;
}

// The status belongs to the thread that failed: parallel workers each see
// their own last failure.
thread_local std::string tStatus;

} // namespace

void SetImgStatus(const std::string& text) {
    tStatus = text;
}

HIMG RegisterImage(std::shared_ptr<ImgEntry> entry) {
    if (!entry || entry->pages.empty()) {
        SetImgStatus("Invalid bitmap");
        return 0;
    }
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    // Handles count upwards so that a closed handle is not handed out again
    // until the 32-bit counter wraps; 0 and handles still open are skipped.
    HIMG h = t.last;
    do {
        ++h;
    } while (h == 0 || t.open.count(h) != 0);
    t.open.emplace(h, std::move(entry));
    t.last = h;
    return h;
}

HIMG RegisterImage(Bitmap&& bitmap) {
    auto entry = std::make_shared<ImgEntry>();
    entry->pages.push_back(std::move(bitmap));
    return RegisterImage(std::move(entry));
}

std::shared_ptr<ImgEntry> LookupImage(HIMG image) {
    if (image != 0) {
        HandleTable& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = t.open.find(image);
        if (it != t.open.end()) return it->second;
    }
    SetImgStatus("Invalid image handle");
    return nullptr;
}

bool ClipSourceRect(const Bitmap& bitmap, const TRect* requested, TRect& clipped) {
    clipped = TRect{0, 0, bitmap.Width(), bitmap.Height()};
    if (requested) {
        clipped.Left = std::max(requested->Left, 0);
        clipped.Top = std::max(requested->Top, 0);
        clipped.Right = std::min(requested->Right, bitmap.Width());
        clipped.Bottom = std::min(requested->Bottom, bitmap.Height());
    }
    if (clipped.Right <= clipped.Left || clipped.Bottom <= clipped.Top) {
        SetImgStatus("Invalid rectangle");
        return false;
    }
    return true;
}

size_t OpenImageCount() {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.open.size();
}

bool ImgInit() {
    tStatus.clear();
    return true;
}

void ImgShutdown() {
    std::unordered_map<HIMG, std::shared_ptr<ImgEntry>> closing;
    {
        HandleTable& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        closing.swap(t.open);
    }
    // The images are freed here, outside the table's lock.
}

void ImgClose(HIMG image) {
    std::shared_ptr<ImgEntry> closing;
    HandleTable& t = table();
    {
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = t.open.find(image);
        if (it == t.open.end()) {
            if (image != 0) tStatus = "Invalid image handle";
            return;
        }
        closing = std::move(it->second);
        t.open.erase(it);
    }
}

std::string ImgGetStatus() {
    return tStatus;
}

const Bitmap* ImgPixels(HIMG image) {
    auto entry = LookupImage(image);
    if (!entry) return nullptr;
    std::shared_lock<std::shared_mutex> guard(entry->lock);
    return &entry->Current();
}

} // namespace lumara
