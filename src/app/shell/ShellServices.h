#pragma once
// Small services of the shell that many commands use: opening files with the
// desktop, looking for programs, free-space queries and path helpers.

#include <cstdint>
#include <string>

namespace lumara {

// Asks the desktop to open file (xdg-open); returns a result above 32 on
// success and 2 (file not found) or 31 (no association) on failure.
int ExecuteFile(const std::string& file, const std::string& parameters,
                const std::string& directory, int showCommand);

// True when the named program (a trailing ".exe" is ignored) can be run here:
// found on PATH. Creates nothing.
bool CheckAppPath(const std::string& programName);

// Bytes available to the caller at path, and the size of the file system
// holding path; both capped at 2147483647, 0 when the path is not reachable.
int64_t FreeSpaceOf(const std::string& path);
int64_t DiskSizeOf(const std::string& path);

// "Insufficient disk space.\nReq.: N Kb\nFree: M Kb\n\n" + note.
std::string DiskSpaceWarningText(int64_t requiredBytes, int64_t freeBytes, const std::string& note);

// A trailing "/" unless the path ends in one already.
std::string AddTrailingSeparator(const std::string& path);
// The path without leading blanks.
std::string TrimLeadingBlanks(const std::string& path);
// The canonical form of a path whose components exist; the rest kept as given.
std::string LongPathName(const std::string& path);
// Upper-cased extension with its dot (".JPG"), empty when there is none.
std::string UpperExtension(const std::string& path);

} // namespace lumara
