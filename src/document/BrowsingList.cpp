#include "BrowsingList.h"

namespace lumara {

void TBrowsingList::AppendCurrent(const std::string& path)
{
    const std::string* current = SelectedItem();
    if (current && *current == path) return;
    items_.push_back(path);
    selected_ = Count() - 1;
}

void TBrowsingList::AppendOthers(const std::vector<std::string>& paths)
{
    for (size_t i = paths.size(); i-- > 1;) items_.push_back(paths[i]);
}

} // namespace lumara
