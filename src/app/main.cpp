#include "codecs/model/Version.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", lumara::kVersionText);
            return 0;
        }
    }
    QApplication app(argc, argv);
    return 0;
}
