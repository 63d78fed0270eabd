// Busy status, the progress bar of status panel 0, the progress window and
// the window side of undo.
#include "app/shell/ui/Dialogs.h"
#include "codecs/model/Bitmap.h"
#include "document/Document.h"
#include "document/Undo.h"
#include "document/ui/BusyStatus.h"
#include "document/ui/TStatusForm.h"
#include "document/ui/TStatusPanel.h"
#include "document/ui/UndoCommand.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace lumara;

namespace {

// Counts the paints a widget receives.
class PaintCounter : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

void LoadPicture(Document& doc, int w, int h) {
    doc.surface.Create(w, h, 24);
    doc.surface.Fill(0x336699);
    doc.state.ImageWidth = w;
    doc.state.ImageHeight = h;
    doc.state.ImageBitsPerPixel = 24;
    doc.state.DisplayBitsPerPixel = 24;
    doc.state.ImageModified = false;
    doc.state.ImageLoaded = true;
}

QString OutputPath(const char* name) {
    return QDir::tempPath() + QLatin1Char('/') + QLatin1String(name);
}

} // namespace

class BusyTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup();

    void progressWindowLayout();
    void progressWindowClearsTheCancelRequest();
    void cancelButtonSetsTheRequest();
    void escapeIsCancel();
    void absentTextsLeaveTheirLines();
    void progressWindowIsCentredAndRepaintsItsStatus();
    void longPathIsShortenedInTheMiddle_data();
    void longPathIsShortenedInTheMiddle();

    void panelDrawsOnlyNewFivePercentSteps();
    void panelBarCoversThePercentOfThePanel();
    void panelShowsTheTextAgainAfterProgress();

    void busyAndReady();
    void backupFailureShowsTheMessage();
    void backupAndUndoKeepTheCommandState();
    void undoHandledWhileBusyRestoresOnce();
};

void BusyTest::cleanup() {
    Bitmap::SetAllocationLimitForTesting(0);
    ShowDefaultCursor();
}

void BusyTest::progressWindowLayout() {
    bool cancel = false;
    TStatusForm form(cancel);
    form.Open(QStringLiteral("Batch conversion"));
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.size(), QSize(375, 80));
    QCOMPARE(form.windowTitle(), QStringLiteral("Batch conversion"));
    QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(form.windowFlags() & Qt::WindowContextHelpButtonHint);
    QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(form.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(form.Status->Text(), QStringLiteral("One moment ..."));
    QCOMPARE(form.Status->DisplayedText(), QStringLiteral("One moment ..."));
    QCOMPARE(form.Label1->text(), QStringLiteral("Thumbs:"));
    QCOMPARE(form.Label2->text(), QStringLiteral("Folders:"));
    for (QProgressBar* bar : {form.Bar1, form.Bar2}) {
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
    }
    QCOMPARE(form.CancelButton->text(), QStringLiteral("Cancel"));
    QVERIFY(!form.CancelButton->icon().isNull());
    // Status on top, then the two rows; Cancel to the right of the bars.
    QVERIFY(form.Status->geometry().bottom() < form.Bar1->geometry().top());
    QVERIFY(form.Bar1->geometry().bottom() < form.Bar2->geometry().top());
    QVERIFY(form.Label1->geometry().right() < form.Bar1->geometry().left());
    QVERIFY(form.CancelButton->geometry().left() > form.Bar1->geometry().right());
    QVERIFY(QRect(0, 0, 375, 80).contains(form.CancelButton->geometry()));
    form.Bar1->setValue(40);
    form.Bar2->setValue(100);
    QCOMPARE(form.Bar1->value(), 40);
    form.grab().save(OutputPath("lumara_status_form.png"));
}

void BusyTest::progressWindowClearsTheCancelRequest() {
    bool cancel = true;
    TStatusForm form(cancel);
    QVERIFY(!cancel);
}

void BusyTest::cancelButtonSetsTheRequest() {
    Document doc;
    TStatusForm form(doc.state.CancelRequest);
    form.Open(QStringLiteral("Unzip"));
    QVERIFY(!doc.state.CancelRequest);
    QTest::mouseClick(form.CancelButton, Qt::LeftButton);
    QVERIFY(doc.state.CancelRequest);
    QVERIFY(HourglassShown());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QVERIFY(form.isVisible()); // the loop closes it when it sees the request
}

void BusyTest::escapeIsCancel() {
    bool cancel = false;
    TStatusForm form(cancel);
    form.Open(QStringLiteral("Unzip"));
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(cancel);
    QVERIFY(form.isVisible());
}

void BusyTest::absentTextsLeaveTheirLines() {
    bool cancel = false;
    TStatusForm form(cancel);
    form.SetTexts(QStringLiteral("Converting"), std::nullopt, QStringLiteral("Files:"));
    QCOMPARE(form.Status->Text(), QStringLiteral("Converting"));
    QCOMPARE(form.Label1->text(), QStringLiteral("Thumbs:"));
    QCOMPARE(form.Label2->text(), QStringLiteral("Files:"));
    form.SetTexts(std::nullopt, QStringLiteral("Pictures:"));
    QCOMPARE(form.Status->Text(), QStringLiteral("Converting"));
    QCOMPARE(form.Label1->text(), QStringLiteral("Pictures:"));
    QCOMPARE(form.Label2->text(), QStringLiteral("Files:"));
}

void BusyTest::progressWindowIsCentredAndRepaintsItsStatus() {
    bool cancel = false;
    TStatusForm form(cancel);
    form.Open(QStringLiteral("Unzip"));
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // Within the width of the window frame the platform adds.
    const QPoint offset = form.geometry().center() - screen.center();
    QVERIFY2(offset.manhattanLength() <= 8,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));

    PaintCounter counter;
    form.Status->installEventFilter(&counter);
    form.SetTexts(QStringLiteral("picture.jpg"));
    QVERIFY(counter.paints >= 1);
    const int before = counter.paints;
    form.SetTexts(std::nullopt, QStringLiteral("Files:"));
    QVERIFY(counter.paints > before);
}

void BusyTest::longPathIsShortenedInTheMiddle_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("head");
    QTest::addColumn<QString>("tail");
    QTest::newRow("deep folders") << QStringLiteral(
                                         "/home/someone/pictures/2026/holidays/the coast in august/"
                                         "second week/morning walks/beach_at_sunrise_0042.jpg")
                                  << QStringLiteral("/home") << QStringLiteral("0042.jpg");
    QTest::newRow("one long name")
        << QStringLiteral("/tmp/") + QString(200, QLatin1Char('x')) + QStringLiteral("_end.png")
        << QStringLiteral("/tmp/") << QStringLiteral("_end.png");
}

void BusyTest::longPathIsShortenedInTheMiddle() {
    QFETCH(QString, path);
    QFETCH(QString, head);
    QFETCH(QString, tail);
    bool cancel = false;
    TStatusForm form(cancel);
    form.Open(QStringLiteral("Batch conversion"));
    form.SetTexts(path);
    QCOMPARE(form.Status->Text(), path);
    const QString shown = form.Status->DisplayedText();
    QVERIFY2(shown != path, qPrintable(shown));
    QVERIFY2(shown.contains(QChar(0x2026)) || shown.contains(QStringLiteral("...")),
             qPrintable(shown));
    QVERIFY2(shown.startsWith(head), qPrintable(shown));
    QVERIFY2(shown.endsWith(tail), qPrintable(shown));
    QVERIFY(form.Status->fontMetrics().horizontalAdvance(shown) <= form.Status->width());
    form.grab().save(OutputPath("lumara_status_form_long.png"));
}

void BusyTest::panelDrawsOnlyNewFivePercentSteps() {
    TStatusPanel panel;
    panel.resize(110, 20);
    panel.setText(QStringLiteral("Loading..."));
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    PaintCounter counter;
    panel.installEventFilter(&counter);

    panel.StartProgress();
    QVERIFY(panel.InProgress());
    const int afterStart = counter.paints;
    QCOMPARE(afterStart, 1);
    int drawn = 0;
    for (int p : {1, 3, 5, 5, 7, 10}) {
        const int before = counter.paints;
        panel.SetProgress(p);
        if (counter.paints > before) {
            ++drawn;
            QVERIFY2(p == 5 || p == 10, qPrintable(QString::number(p)));
            QCOMPARE(panel.ProgressStep(), p);
        }
    }
    QCOMPARE(drawn, 2);
    QCOMPARE(panel.ProgressStep(), 10);
}

void BusyTest::panelBarCoversThePercentOfThePanel() {
    TStatusPanel panel;
    panel.resize(110, 20);
    panel.setText(QStringLiteral("Loading..."));
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.SetProgress(50); // starts the progress on its own
    QVERIFY(panel.InProgress());
    QCOMPARE(panel.ProgressStep(), 50);

    const QImage image = panel.grab().toImage();
    QVERIFY(image.save(OutputPath("lumara_status_panel_50.png")));
    const QRect r = panel.ProgressRect();
    QVERIFY(r.width() > 50);
    const int barEnd = r.left() + r.width() * 50 / 100; // first pixel after the bar
    const int y = r.center().y();
    const QRgb bar = panel.BarColor().rgb();
    const QRgb trough = panel.TroughColor().rgb();
    QVERIFY(bar != trough);
    QCOMPARE(image.pixel(r.left(), y), bar);
    QCOMPARE(image.pixel(barEnd - 1, y), bar);
    QCOMPARE(image.pixel(barEnd, y), trough);
    QCOMPARE(image.pixel(r.right(), y), trough);
    QCOMPARE(image.pixel(r.left() + 2, r.top()), bar);
    QCOMPARE(image.pixel(r.left() + 2, r.bottom()), bar);

    panel.SetProgress(100);
    const QImage full = panel.grab().toImage();
    QVERIFY(full.save(OutputPath("lumara_status_panel_100.png")));
    QCOMPARE(full.pixel(r.right(), y), bar);
}

void BusyTest::panelShowsTheTextAgainAfterProgress() {
    TStatusPanel panel;
    panel.resize(110, 20);
    panel.setText(QStringLiteral("Loaded 0.12"));
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.SetProgress(100);
    panel.EndProgress();
    QVERIFY(!panel.InProgress());
    QCOMPARE(panel.ProgressStep(), 0);
    const QImage image = panel.grab().toImage();
    QVERIFY(image.save(OutputPath("lumara_status_panel_text.png")));
    const QRgb bar = panel.BarColor().rgb();
    int barPixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == bar) ++barPixels;
    QCOMPARE(barPixels, 0);
    // A new run draws its first step again.
    panel.SetProgress(100);
    QCOMPARE(panel.ProgressStep(), 100);
}

void BusyTest::busyAndReady() {
    Document doc;
    LoadPicture(doc, 40, 30);
    TStatusPanel panel0;
    QLabel panel2;
    BusyStatus busy(doc, &panel0, &panel2);
    QCOMPARE(busy.ProgressPanel(), &panel0);

    busy.Busy(QStringLiteral("Rotating..."));
    QCOMPARE(doc.state.StatusText, std::string("Busy..."));
    QCOMPARE(panel0.text(), QStringLiteral("Busy..."));
    QCOMPARE(panel2.text(), QStringLiteral("Rotating..."));
    QVERIFY(HourglassShown());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    busy.Busy(QStringLiteral("Promoting...")); // nested: still one hourglass
    QCOMPARE(panel2.text(), QStringLiteral("Promoting..."));

    busy.Ready();
    QCOMPARE(doc.state.StatusText, std::string("Ready."));
    QCOMPARE(panel0.text(), QStringLiteral("Ready."));
    QCOMPARE(panel2.text(), QStringLiteral("40x30(24) dib"));
    QVERIFY(!HourglassShown());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    // Progress through the callback a decoder gets.
    const auto progress = busy.ProgressCallback();
    progress(3);
    QVERIFY(panel0.InProgress());
    QCOMPARE(panel0.ProgressStep(), 0);
    progress(25);
    QCOMPARE(panel0.ProgressStep(), 25);
    busy.EndProgress();
    QVERIFY(!panel0.InProgress());
    // A failed decode that never ends its progress still gets its text back.
    progress(40);
    QVERIFY(panel0.InProgress());
    busy.SetStatusText(QStringLiteral("Error."));
    QVERIFY(!panel0.InProgress());
    progress(40);
    busy.Ready();
    QVERIFY(!panel0.InProgress());
    QCOMPARE(panel0.text(), QStringLiteral("Ready."));

    // A plain label as panel 0 still shows the texts; progress does nothing.
    QLabel plain;
    BusyStatus simple(doc, &plain, &panel2);
    QVERIFY(simple.ProgressPanel() == nullptr);
    simple.SetProgress(50);
    simple.SetStatusText(QStringLiteral("Loading..."));
    QCOMPARE(plain.text(), QStringLiteral("Loading..."));
    QCOMPARE(doc.state.StatusText, std::string("Loading..."));
}

void BusyTest::backupFailureShowsTheMessage() {
    ScriptedDialogs dialogs;
    Document doc;
    LoadPicture(doc, 64, 48);
    const Bitmap original = doc.surface;
    TStatusPanel panel0;
    QLabel panel2;
    BusyStatus busy(doc, &panel0, &panel2);
    QAction undo(QStringLiteral("&Undo"));

    QVERIFY(AutoBackUpWithMessage(doc, &busy, &undo)); // an earlier backup
    QVERIFY(undo.isEnabled());
    QVERIFY(dialogs.asked.empty());

    Bitmap::SetAllocationLimitForTesting(original.ImageSize() - 1);
    QVERIFY(!AutoBackUpWithMessage(doc, &busy, &undo));
    QCOMPARE(dialogs.asked.size(), size_t(1));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Insufficient memory; backup failed."));
    QCOMPARE(dialogs.asked[0].kind, BoxKind::Error);
    QCOMPARE(dialogs.asked[0].buttons, BoxButtons::OK);
    QCOMPARE(doc.state.StatusText, std::string("Error."));
    QCOMPARE(panel0.text(), QStringLiteral("Error."));
    QCOMPARE(panel2.text(), QStringLiteral("Creating backup..."));
    QVERIFY(!undo.isEnabled());
    QVERIFY(!HourglassShown());
    QVERIFY(doc.surface.SamePixels(original));

    // Without a status bar the box is the same.
    QVERIFY(!AutoBackUpWithMessage(doc));
    QCOMPARE(dialogs.asked.size(), size_t(2));
    QCOMPARE(dialogs.asked[1].text, BackupFailedMessage());
    QVERIFY(!HourglassShown());
}

void BusyTest::backupAndUndoKeepTheCommandState() {
    ScriptedDialogs dialogs;
    Document doc;
    LoadPicture(doc, 20, 10);
    const Bitmap original = doc.surface;
    TStatusPanel panel0;
    QLabel panel2;
    BusyStatus busy(doc, &panel0, &panel2);
    QAction undo(QStringLiteral("&Undo"));
    UpdateUndoAction(doc, &undo);
    QVERIFY(!undo.isEnabled());

    QVERIFY(AutoBackUpWithMessage(doc, &busy, &undo));
    QVERIFY(undo.isEnabled());
    QCOMPARE(panel0.text(), QStringLiteral("Ready."));
    QVERIFY(!HourglassShown());
    doc.surface.Fill(0xFFFFFF); // the operation
    doc.state.ImageModified = true;

    int changes = 0;
    QString busyText;
    const auto imageChanged = [&] {
        ++changes;
        busyText = panel2.text();
        doc.state.ImageModified = true; // as the window's routine does
        busy.Ready();
    };
    QVERIFY(RunUndo(doc, &busy, imageChanged, &undo));
    QCOMPARE(changes, 1);
    QCOMPARE(busyText, QStringLiteral("Loading backup..."));
    QVERIFY(doc.surface.SamePixels(original));
    QVERIFY(!doc.state.ImageModified);
    QVERIFY(!undo.isEnabled());
    QCOMPARE(panel0.text(), QStringLiteral("Ready."));
    QVERIFY(!HourglassShown());

    // Undo twice: nothing happens the second time.
    QVERIFY(!RunUndo(doc, &busy, imageChanged, &undo));
    QCOMPARE(changes, 1);
    QVERIFY(!undo.isEnabled());
    QVERIFY(dialogs.asked.empty());
}

void BusyTest::undoHandledWhileBusyRestoresOnce() {
    Document doc;
    LoadPicture(doc, 8, 8);
    const Bitmap original = doc.surface;
    TStatusPanel panel0;
    QLabel panel2;
    BusyStatus busy(doc, &panel0, &panel2);
    QAction undo(QStringLiteral("&Undo"));
    QVERIFY(AutoBackUpWithMessage(doc, &busy, &undo));
    doc.surface.Fill(0);
    doc.state.ImageModified = true;

    // A second Ctrl+Z waits in the queue and runs while the first one is busy.
    int changes = 0;
    const auto imageChanged = [&] { ++changes; };
    bool innerResult = false;
    QTimer::singleShot(0, [&] { innerResult = RunUndo(doc, &busy, imageChanged, &undo); });
    const bool outerResult = RunUndo(doc, &busy, imageChanged, &undo);
    QVERIFY(innerResult);  // it ran inside the first one's Busy
    QVERIFY(!outerResult); // which then found nothing left to restore
    QCOMPARE(changes, 1);
    QVERIFY(doc.surface.SamePixels(original));
    QVERIFY(!doc.state.ImageModified);
    QVERIFY(!undo.isEnabled());
    QVERIFY(!HourglassShown());
}

QTEST_MAIN(BusyTest)
#include "test_ui_busy.moc"
