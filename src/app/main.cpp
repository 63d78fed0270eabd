// The viewer's entry: start-up of the document, the single-instance rule,
// the main window.
#include "app/shell/InstanceAtoms.h"
#include "app/shell/StartupCommandLine.h"
#include "app/ui/LumaraApplication.h"
#include "app/ui/TWebForm.h"
#include "app/ui/TerminationSignals.h"
#include "codecs/imglib/ImgLib.h"
#include "codecs/model/Version.h"
#include "document/Document.h"

#include <QDir>

#include <cstdio>
#include <cstring>

using namespace lumara;

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", kVersionText);
            return 0;
        }
    }
    LumaraApplication app(argc, argv);

    // Start-up of the document.
    Document doc;
    doc.state.DisplayBitsPerPixel = ReadDisplayBitsPerPixel();
    std::vector<std::string> args;
    const QStringList qargs = app.arguments();
    for (int i = 1; i < qargs.size(); ++i) args.push_back(qargs[i].toStdString());
    StartupInfo startup;
    startup.commandLine = ParseCommandLine(args, QDir::currentPath().toStdString());
    if (startup.commandLine.empty) {
        doc.state.PreviousFile = "*";
        doc.state.CurrentFile.clear();
    } else {
        doc.state.CurrentFile = doc.state.PreviousFile = startup.commandLine.path;
        doc.state.CurrentExt = startup.commandLine.extension;
        startup.deferredOpen = true;
    }

    // Program entry: settings, then the instance rule.
    QCoreApplication::processEvents();
    const bool multipleViewers = false;
    if (DecideInstanceStart(multipleViewers, startup.commandLine.empty,
                            &startup.holdsInstanceAtom) == StartDecision::EndSilently)
        return 0;

    ImgInit();
    TWebForm form(doc, startup);
    CloseOnTerminationSignals(&form);
    form.show();
    const int rc = app.exec();
    if (startup.holdsInstanceAtom) DeleteAtom(kInstanceAtom);
    return rc;
}
