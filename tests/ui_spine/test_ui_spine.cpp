// The main window's life: start-up, first activation, close query and close,
// the exception path, and the single-instance rule of the real program.
#include "app/settings/SettingsStore.h"
#include "app/settings/ViewSettings.h"
#include "app/shell/InstanceAtoms.h"
#include "app/shell/ui/Dialogs.h"
#include "app/ui/LumaraApplication.h"
#include "app/ui/TWebForm.h"
#include "document/ui/TPix.h"
#include "document/ui/UndoCommand.h"

#include <QAction>
#include <QKeyEvent>

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace lumara;

namespace {

// The viewer as a separate process: its own markers and settings folder, no
// display, and (when asked) an orderly end after its first paint.
QProcessEnvironment viewerEnvironment(const QTemporaryDir& dir, bool exitAfterFirstPaint)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (exitAfterFirstPaint)
        env.insert(QStringLiteral("LUMARA_EXIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
    return env;
}

} // namespace

class SpineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void firstActivationShowsTheBlankImage();
    void missingCommandLineFileGivesTheBlankImage();
    void closeWithUnsavedChanges_data();
    void closeWithUnsavedChanges();
    void closeDuringSlideshowIsRefused();
    void exceptionInAHandlerClosesAndSavesSettings();
    void displayChangeOnlyWarns();
    void suspendedSurfacePaintsNothing();
    void instanceRuleOfTheProgram();
    void terminationSignalClosesInOrder();
    void secondRunKeepsTheFirstRunsBounds();
    void undoRestoresTheBackup();
    void cancelRequests();
    void versionOption();

private:
    QTemporaryDir runtime_;
};

void SpineTest::initTestCase()
{
    QVERIFY(runtime_.isValid());
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
}

void SpineTest::firstActivationShowsTheBlankImage()
{
    ScriptedDialogs dialogs;
    Document doc;
    StartupInfo startup;
    startup.options.BackColor = 0x336699;
    TWebForm form(doc, startup);
    form.FormActivate();
    QCOMPARE(form.StartupStage, 1);
    QCOMPARE(QString::fromStdString(doc.state.CurrentFile), QStringLiteral("Untitled"));
    QCOMPARE(doc.surface.Width(), 16);
    QCOMPARE(doc.surface.PixelColor(0, 0), 0x336699u);
    QCOMPARE(form.windowTitle(), QStringLiteral("Lumara 5.7"));
    QVERIFY(!form.actReload->isEnabled());
    QVERIFY(!doc.state.ImageModified);
    QCOMPARE(form.StatusPanel[0]->text(), QStringLiteral("Ready."));
    QCOMPARE(form.StatusPanel[2]->text(), QStringLiteral("16x16(24) dib"));
    QVERIFY(dialogs.asked.empty());
    // A second activation does not redo the first one's work.
    doc.state.CurrentFile = "kept";
    form.FormActivate();
    QCOMPARE(QString::fromStdString(doc.state.CurrentFile), QStringLiteral("kept"));
}

void SpineTest::missingCommandLineFileGivesTheBlankImage()
{
    ScriptedDialogs dialogs;
    Document doc;
    doc.state.CurrentFile = doc.state.PreviousFile = "/no/such/file.png";
    doc.state.CurrentExt = ".PNG";
    StartupInfo startup;
    startup.deferredOpen = true;
    TWebForm form(doc, startup);
    form.FormActivate();
    QVERIFY(form.Timer2.isActive());
    QCOMPARE(form.Timer2.interval(), 333);
    QTRY_VERIFY(!form.Timer2.isActive());
    QVERIFY(!form.DeferredOpen);
    QCOMPARE(QString::fromStdString(doc.state.CurrentFile), QStringLiteral("Untitled"));
    QCOMPARE(doc.surface.Width(), 16);
    // The reason, naming the file, before the blank image.
    QCOMPARE(dialogs.asked.size(), size_t(1));
    QCOMPARE(dialogs.asked[0].kind, BoxKind::Error);
    QVERIFY(dialogs.asked[0].text.startsWith(QStringLiteral("/no/such/file.png: ")));
}

void SpineTest::closeWithUnsavedChanges_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("No keeps the window") << int(BoxResult::No) << false;
    QTest::newRow("Yes discards") << int(BoxResult::Yes) << true;
}

void SpineTest::closeWithUnsavedChanges()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    ScriptedDialogs dialogs;
    dialogs.messageAnswers.push_back(BoxResult(answer));
    Document doc;
    TWebForm form(doc, StartupInfo{});
    int saved = 0;
    form.saveSettings = [&] { ++saved; };
    form.show();
    form.FormActivate();
    doc.state.ImageModified = true;
    const QByteArray before(reinterpret_cast<const char*>(doc.surface.Bits()),
                            qsizetype(doc.surface.ImageSize()));
    QCOMPARE(form.close(), closes);
    QCOMPARE(dialogs.asked.size(), size_t(1));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("You have unsaved changes.\nDiscard modified image?"));
    QCOMPARE(dialogs.asked[0].kind, BoxKind::Confirmation);
    QCOMPARE(dialogs.asked[0].buttons, BoxButtons::YesNo);
    QCOMPARE(saved, closes ? 1 : 0);
    QCOMPARE(doc.state.ImageModified, !closes);
    QCOMPARE(form.isVisible(), !closes);
    const QByteArray after(reinterpret_cast<const char*>(doc.surface.Bits()),
                           qsizetype(doc.surface.ImageSize()));
    QCOMPARE(after, before);
}

void SpineTest::closeDuringSlideshowIsRefused()
{
    ScriptedDialogs dialogs;
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.show();
    doc.state.SlideshowRunning = true;
    QVERIFY(!form.close());
    QVERIFY(doc.state.SlideshowStopRequest);
    QVERIFY(dialogs.asked.empty());
    doc.state.SlideshowRunning = false;
    QVERIFY(form.close());
}

void SpineTest::exceptionInAHandlerClosesAndSavesSettings()
{
    ScriptedDialogs dialogs;
    Document doc;
    TWebForm form(doc, StartupInfo{});
    int saved = 0;
    form.saveSettings = [&] { ++saved; };
    form.show();
    form.FormActivate();
    doc.state.ImageModified = true; // no question on this way out
    QTimer thrower;
    thrower.setSingleShot(true);
    QObject::connect(&thrower, &QTimer::timeout, [] { throw std::runtime_error("Disk on fire"); });
    thrower.start(0);
    QTRY_VERIFY(!form.isVisible());
    QVERIFY(form.ClosedByException());
    QCOMPARE(saved, 1);
    QCOMPARE(dialogs.asked.size(), size_t(2));
    QCOMPARE(dialogs.asked[0].text,
             QStringLiteral("Unexpected exception.  Please report following\n"
                            "error and what you were doing before this error.\n"));
    QCOMPARE(dialogs.asked[0].kind, BoxKind::Error);
    QCOMPARE(dialogs.asked[0].buttons, BoxButtons::OK);
    QCOMPARE(dialogs.asked[1].text, QStringLiteral("Disk on fire"));
}

void SpineTest::displayChangeOnlyWarns()
{
    ScriptedDialogs dialogs;
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    const uint32_t before = doc.surface.PixelColor(0, 0);
    form.DisplayChanged();
    QCOMPARE(dialogs.asked.size(), size_t(1));
    QCOMPARE(dialogs.asked[0].text,
             QStringLiteral("Display has changed.\nLumara 5.7 should be closed and restarted."));
    QCOMPARE(dialogs.asked[0].kind, BoxKind::Warning);
    QCOMPARE(doc.surface.PixelColor(0, 0), before);
}

void SpineTest::suspendedSurfacePaintsNothing()
{
    TPix pix;
    pix.GetBitmap().Create(10, 10, 24);
    pix.GetBitmap().Fill(0xFF0000);
    pix.resize(30, 30);
    pix.Stretch = true;
    pix.SuspendPainting(true);
    pix.grab();
    QCOMPARE(pix.PaintCount(), 0);
    pix.SuspendPainting(false);
    const QImage shot = pix.grab().toImage();
    QCOMPARE(pix.PaintCount(), 1);
    QCOMPARE(shot.pixelColor(15, 15), QColor(255, 0, 0));

    // The fast path shows the same picture as the standard draw.
    pix.FastPaint = true;
    uint8_t* p = pix.GetBitmap().ScanLine(9) + 27; // pixel (9, 9)
    p[0] = 255;
    p[1] = 0;
    p[2] = 0;
    const QImage fast = pix.grab().toImage();
    QCOMPARE(fast.pixelColor(29, 29), QColor(0, 0, 255));
    QCOMPARE(fast.pixelColor(27, 27), QColor(0, 0, 255));
    QCOMPARE(fast.pixelColor(26, 26), QColor(255, 0, 0));
}

void SpineTest::instanceRuleOfTheProgram()
{
    QTemporaryDir runtime;
    QProcessEnvironment env = viewerEnvironment(runtime, true);
    auto run = [&](const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(LUMARA_VIEWER_PATH), args);
        if (!p.waitForFinished(30000)) p.kill();
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    const QString atom = runtime.path() + QStringLiteral("/lumara/LUMARA");
    // Another instance holds the marker: a start with a file ends and leaves it.
    QDir().mkpath(runtime.path() + QStringLiteral("/lumara"));
    QFile(atom).open(QIODevice::WriteOnly);
    QCOMPARE(run({QStringLiteral("/tmp/some picture.png")}), QString());
    QVERIFY(QFile::exists(atom));
    // A start without arguments clears the stale marker and ends.
    QCOMPARE(run({}), QString());
    QVERIFY(!QFile::exists(atom));
    // So the third start opens its window (and, here, ends after the first paint).
    QCOMPARE(run({}), QStringLiteral("first paint\n"));
    QVERIFY(!QFile::exists(atom)); // released at its close
}

void SpineTest::terminationSignalClosesInOrder()
{
    QTemporaryDir runtime;
    QProcessEnvironment env = viewerEnvironment(runtime, false);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LUMARA_VIEWER_PATH), QStringList{});
    QVERIFY(p.waitForStarted());
    const QString atom = runtime.path() + QStringLiteral("/lumara/LUMARA");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(atom), 10000);
    QTest::qWait(300);
    p.terminate(); // SIGTERM, as at logout
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY(!QFile::exists(atom));
}

void SpineTest::secondRunKeepsTheFirstRunsBounds()
{
    QTemporaryDir home;
    QProcessEnvironment env = viewerEnvironment(home, true);
    const std::string conf = home.path().toStdString() + "/config/Korvane/LUMARA.conf";
    auto run = [&] {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(LUMARA_VIEWER_PATH), QStringList{});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
    };
    run();
    SettingsStore first(conf);
    QCOMPARE(first.State(), SettingsStore::LoadState::Read);
    const auto record = first.ReadBinary(kViewSettingsValue);
    QVERIFY(record.has_value());
    QCOMPARE(record->size(), size_t(148));
    QVERIFY(first.ReadString(kOpenDirValue).has_value());

    // Move the stored window and change an option, as a first run's user would have.
    ViewSettings vs = *ViewSettings::FromBytes(record->data(), record->size());
    vs.MainBounds = {40, 30, 640, 510};
    vs.AutoCenter = false;
    const auto bytes = vs.ToBytes();
    first.WriteBinary(kViewSettingsValue, bytes.data(), bytes.size());
    QVERIFY(first.Flush());

    run();
    SettingsStore second(conf);
    const auto again = second.ReadBinary(kViewSettingsValue);
    QVERIFY(again.has_value());
    QCOMPARE(again->size(), size_t(148));
    const ViewSettings after = *ViewSettings::FromBytes(again->data(), again->size());
    QCOMPARE(after.MainBounds.Left, 40);
    QCOMPARE(after.MainBounds.Top, 30);
    QCOMPARE(after.MainBounds.Right, 640);
    QCOMPARE(after.MainBounds.Bottom, 510);
    QCOMPARE(after.AutoCenter, false);
}

void SpineTest::undoRestoresTheBackup()
{
    ScriptedDialogs dialogs;
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    QVERIFY(!form.actUndo->isEnabled());
    QCOMPARE(form.actUndo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    const uint32_t before = doc.surface.PixelColor(3, 3);
    QVERIFY(AutoBackUpWithMessage(doc, form.busy.get(), form.actUndo));
    QVERIFY(form.actUndo->isEnabled());
    doc.surface.Fill(0x00FF00);
    doc.state.ImageModified = true;
    form.actUndo->trigger();
    QCOMPARE(doc.surface.PixelColor(3, 3), before);
    QVERIFY(!doc.state.ImageModified);
    QVERIFY(!form.actUndo->isEnabled());
    form.actUndo->trigger(); // nothing left to undo
    QCOMPARE(doc.surface.PixelColor(3, 3), before);
    QVERIFY(dialogs.asked.empty());
}

void SpineTest::cancelRequests()
{
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(doc.state.CancelRequest);
    doc.state.CancelRequest = false;
    QTest::mouseRelease(form.Sky95, Qt::RightButton);
    QVERIFY(!doc.state.CancelRequest);
    QTest::mouseRelease(form.Sky95, Qt::LeftButton);
    QVERIFY(doc.state.CancelRequest);
}

void SpineTest::versionOption()
{
    QProcess p;
    p.start(QStringLiteral(LUMARA_VIEWER_PATH), {QStringLiteral("--version")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QStringLiteral("Lumara 5.7\n"));
}

int main(int argc, char** argv)
{
    LumaraApplication app(argc, argv);
    SpineTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_ui_spine.moc"
