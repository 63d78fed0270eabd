// lumara-cli: Lumara's image commands without a display.
#include "codecs/model/Version.h"

#include <cstdio>
#include <cstring>

namespace {

void printUsage(std::FILE* out)
{
    std::fprintf(out, "Usage: lumara-cli COMMAND [ARGS...]\n"
                      "\n"
                      "Options:\n"
                      "  --help       show this help and exit\n"
                      "  --version    show the version and exit\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", lumara::kVersionText);
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "lumara-cli: unknown command '%s'\n", argv[1]);
    printUsage(stderr);
    return 2;
}
