#include "ShellServices.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace lumara {

namespace {
constexpr int64_t kSpaceCap = 2147483647;

int64_t capped(uintmax_t v) { return v > uintmax_t(kSpaceCap) ? kSpaceCap : int64_t(v); }
} // namespace

int ExecuteFile(const std::string& file, const std::string& parameters,
                const std::string& directory, int /*showCommand*/)
{
    QString target = QString::fromStdString(file);
    if (target.isEmpty()) return 2;
    QUrl url = QUrl::fromUserInput(target, QString::fromStdString(directory),
                                   QUrl::AssumeLocalFile);
    if (!parameters.empty() && !url.isLocalFile())
        url.setQuery(QString::fromStdString(parameters));
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) return 2;
    return QDesktopServices::openUrl(url) ? 42 : 31;
}

bool CheckAppPath(const std::string& programName)
{
    std::string name = programName;
    if (name.size() >= 4) {
        std::string tail = name.substr(name.size() - 4);
        std::transform(tail.begin(), tail.end(), tail.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (tail == ".exe") name.resize(name.size() - 4);
    }
    if (name.empty() || name.find('/') != std::string::npos) return false;
    return !QStandardPaths::findExecutable(QString::fromStdString(name)).isEmpty();
}

int64_t FreeSpaceOf(const std::string& path)
{
    std::error_code ec;
    const auto info = std::filesystem::space(path, ec);
    return ec ? 0 : capped(info.available);
}

int64_t DiskSizeOf(const std::string& path)
{
    std::error_code ec;
    const auto info = std::filesystem::space(path, ec);
    return ec ? 0 : capped(info.capacity);
}

std::string DiskSpaceWarningText(int64_t requiredBytes, int64_t freeBytes, const std::string& note)
{
    return "Insufficient disk space.\nReq.: " + std::to_string(requiredBytes / 1024) +
           " Kb\nFree: " + std::to_string(freeBytes / 1024) + " Kb\n\n" + note;
}

std::string AddTrailingSeparator(const std::string& path)
{
    if (!path.empty() && path.back() == '/') return path;
    return path + '/';
}

std::string TrimLeadingBlanks(const std::string& path)
{
    const auto first = path.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : path.substr(first);
}

std::string LongPathName(const std::string& path)
{
    // Canonicalise the part that exists and keep the rest as given: paths keep
    // their case on this system, so nothing is lower-cased.
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(std::filesystem::path(path), ec);
    return ec ? path : canonical.string();
}

std::string UpperExtension(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return ext;
}

} // namespace lumara
