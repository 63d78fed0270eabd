#include "InstanceAtoms.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace lumara {

namespace fs = std::filesystem;

std::string AtomDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && fs::is_directory(runtime)) return (fs::path(runtime) / "lumara").string();
    std::error_code ec;
    fs::path tmp = fs::temp_directory_path(ec);
    if (ec) tmp = "/tmp";
    return (tmp / ("lumara-" + std::to_string(getuid()))).string();
}

static fs::path atomPath(const std::string& name) { return fs::path(AtomDirectory()) / name; }

bool AtomExists(const std::string& name)
{
    std::error_code ec;
    return fs::exists(atomPath(name), ec);
}

bool AddAtom(const std::string& name)
{
    std::error_code ec;
    fs::create_directories(AtomDirectory(), ec);
    fs::permissions(AtomDirectory(), fs::perms::owner_all, fs::perm_options::replace, ec);
    std::ofstream(atomPath(name)) << getpid() << '\n';
    return AtomExists(name);
}

void DeleteAtom(const std::string& name)
{
    std::error_code ec;
    fs::remove(atomPath(name), ec);
}

StartDecision DecideInstanceStart(bool multipleViewersAllowed, bool commandLineEmpty,
                                  bool* holdsInstanceAtom)
{
    if (holdsInstanceAtom) *holdsInstanceAtom = false;
    if (AtomExists(kAlbumShowAtom)) return StartDecision::EndSilently;
    if (multipleViewersAllowed) return StartDecision::Run;
    if (AtomExists(kInstanceAtom)) {
        // A start without a file clears a marker left behind, so the next start succeeds.
        if (commandLineEmpty) DeleteAtom(kInstanceAtom);
        return StartDecision::EndSilently;
    }
    AddAtom(kInstanceAtom);
    if (holdsInstanceAtom) *holdsInstanceAtom = true;
    return StartDecision::Run;
}

} // namespace lumara
