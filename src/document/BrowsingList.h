#pragma once
// The browsing list (bookmarks): the documents opened in this run, in the
// order they were opened or marked; duplicates are possible.

#include <string>
#include <vector>

namespace lumara {

class TBrowsingList {
public:
    const std::vector<std::string>& Items() const { return items_; }
    int Count() const { return int(items_.size()); }
    int Selected() const { return selected_; }
    const std::string* SelectedItem() const
    {
        return selected_ >= 0 && selected_ < Count() ? &items_[size_t(selected_)] : nullptr;
    }

    // After a successful open: appended and selected unless it is the
    // selected item already (exact comparison).
    void AppendCurrent(const std::string& path);
    // Several files opened or dropped at once: all but the first, from the
    // last one backwards; the first is the one that gets opened.
    void AppendOthers(const std::vector<std::string>& paths);
    void Select(int index) { selected_ = index; }
    void Clear()
    {
        items_.clear();
        selected_ = -1;
    }

private:
    std::vector<std::string> items_;
    int selected_ = -1;
};

} // namespace lumara
