#include "StartupCommandLine.h"

#include "ShellServices.h"

#include <filesystem>

namespace lumara {

CommandLineFile ParseCommandLine(const std::vector<std::string>& arguments,
                                 const std::string& workingDirectory)
{
    CommandLineFile result;
    if (arguments.empty()) return result;
    std::string joined;
    for (const auto& a : arguments) {
        if (!joined.empty()) joined += ' ';
        joined += a;
    }
    result.empty = false;
    std::filesystem::path p(joined);
    if (p.is_relative() && !workingDirectory.empty()) p = std::filesystem::path(workingDirectory) / p;
    result.path = LongPathName(p.lexically_normal().string());
    result.extension = UpperExtension(result.path);
    return result;
}

TRect FitBoundsToScreen(TRect b, int screenWidth, int screenHeight, bool* tooSmall)
{
    if (b.Left < 0) b.Left = 0;
    if (b.Top < 0) b.Top = 0;
    int width = b.Right - b.Left;
    int height = b.Bottom - b.Top;
    if (width > screenWidth) width = screenWidth;
    if (height > screenHeight) height = screenHeight;
    const bool small = width < 64 || height < 64;
    if (tooSmall) *tooSmall = small;
    if (!small) {
        if (b.Left + width > screenWidth) b.Left = screenWidth - width;
        if (b.Top + height > screenHeight) b.Top = screenHeight - height;
        if (b.Left < 0) b.Left = 0;
        if (b.Top < 0) b.Top = 0;
    }
    b.Right = b.Left + width;
    b.Bottom = b.Top + height;
    return b;
}

} // namespace lumara
