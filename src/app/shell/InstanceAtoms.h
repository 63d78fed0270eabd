#pragma once
// Process-wide markers standing in for global atoms: files in
// $XDG_RUNTIME_DIR/lumara/ (or a per-user folder in the temporary directory).
// Like an atom, a marker outlives a process that crashed while holding it.

#include <string>

namespace lumara {

inline constexpr const char* kInstanceAtom = "LUMARA";
inline constexpr const char* kAlbumShowAtom = "VUR running";

std::string AtomDirectory();
bool AtomExists(const std::string& name);
// True when the marker now exists (created or already there).
bool AddAtom(const std::string& name);
void DeleteAtom(const std::string& name);

// The start-up rule: with "VUR running" present, end at once; unless multiple
// viewers are allowed, a present "LUMARA" ends this start too, after clearing
// the stale marker when there is no file to open. Otherwise "LUMARA" is added.
enum class StartDecision { Run, EndSilently };
StartDecision DecideInstanceStart(bool multipleViewersAllowed, bool commandLineEmpty,
                                  bool* holdsInstanceAtom);

} // namespace lumara
