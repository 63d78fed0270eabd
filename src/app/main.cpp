// The viewer's entry: start-up of the document, the settings, the
// single-instance rule, the main window.
#include "app/settings/SettingsLifecycle.h"
#include "app/shell/InstanceAtoms.h"
#include "app/shell/StartupCommandLine.h"
#include "app/ui/LumaraApplication.h"
#include "app/ui/TWebForm.h"
#include "app/ui/TerminationSignals.h"
#include "codecs/imglib/ImgLib.h"
#include "codecs/model/Version.h"
#include "document/Document.h"
#include "document/Loader.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstring>

using namespace lumara;

namespace {

// The window's own start rectangle when no bounds were saved: two thirds of
// the screen, centred.
TRect DefaultStartBounds()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int w = avail.width() * 2 / 3, h = avail.height() * 2 / 3;
    const int left = (avail.width() - w) / 2, top = (avail.height() - h) / 2;
    return {left, top, left + w, top + h};
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", kVersionText);
            return 0;
        }
    }
    CatchTerminationSignals();
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
    }
    // A JPEG is read at once, while the rest of the start-up goes on; any
    // other file (or a JPEG that could not be read) opens after the first
    // activation.
    auto loader = std::make_unique<TLoader>(doc);
    if (!startup.commandLine.empty) {
        if (doc.state.CurrentExt.find(".JP") != std::string::npos) {
            LoadSettings settings;
            settings.BeforeFirstActivation = true;
            bool defer = false;
            startup.imageLoadedAtStartup = loader->OpenByType(settings, &defer) > 0;
            startup.deferredOpen = !startup.imageLoadedAtStartup;
        } else {
            startup.deferredOpen = true;
        }
    }

    // Program entry: the settings record, then the instance rule (a record
    // that is absent reads as zeros, so the rule applies on a first run).
    SettingsStore store;
    StoredViewSettings stored = ReadViewSettings(store);
    QCoreApplication::processEvents();
    if (DecideInstanceStart(stored.Record.MultipleViewers, startup.commandLine.empty,
                            &startup.holdsInstanceAtom) == StartDecision::EndSilently)
        return 0;

    startup.settingsPresent = stored.Present;
    startup.options = OptionsAtWindowCreation(stored, store, doc.state.DisplayBitsPerPixel,
                                              DefaultStartBounds());
    ImgInit();
    TWebForm form(doc, startup, std::move(loader));
    form.saveSettings = [&] {
        const QRect g = form.geometry();
        const TRect bounds{std::abs(g.left()), std::abs(g.top()), std::abs(g.left()) + g.width(),
                           std::abs(g.top()) + g.height()};
        StoreBoundsAtClose(form.options, bounds, nullptr, nullptr, startup.settingsPresent);
        WriteSettingsAtClose(store, stored.Record, form.options);
    };
    CloseOnTerminationSignals(&form);
    form.show();
    const int rc = app.exec();
    if (startup.holdsInstanceAtom) DeleteAtom(kInstanceAtom);
    return rc;
}
