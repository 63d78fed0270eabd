#include "ProgressSteps.h"

#include <cstdint>

namespace lumara {

bool ProgressSteps::Step(int percent) {
    if (percent < 2 || percent % 5 != 0 || percent == last_) return false;
    last_ = percent;
    return true;
}

int ProgressSteps::BarWidth(int totalWidth) const {
    if (totalWidth <= 0 || last_ <= 0) return 0;
    const int64_t width = int64_t(last_) * totalWidth / 100;
    return width > totalWidth ? totalWidth : int(width);
}

} // namespace lumara
