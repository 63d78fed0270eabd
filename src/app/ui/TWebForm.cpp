#include "TWebForm.h"

#include "LumaraApplication.h"
#include "app/settings/ui/TOptionsForm.h"
#include "app/shell/InstanceAtoms.h"
#include "app/shell/ui/Dialogs.h"
#include "codecs/model/Version.h"
#include "document/Undo.h"
#include "document/ui/BusyStatus.h"
#include "document/ui/TPix.h"
#include "document/ui/TStatusPanel.h"
#include "document/ui/UndoCommand.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

namespace lumara {

namespace {

const QString kUnexpected = QStringLiteral(
    "Unexpected exception.  Please report following\n"
    "error and what you were doing before this error.\n");
const QString kDisplayChanged =
    QStringLiteral("Display has changed.\nLumara 5.7 should be closed and restarted.");
const QString kDiscardQuestion = QStringLiteral("You have unsaved changes.\nDiscard modified image?");

QColor toQColor(uint32_t c) { return QColor(int((c >> 16) & 255), int((c >> 8) & 255), int(c & 255)); }

} // namespace

int ReadDisplayBitsPerPixel()
{
    if (const char* forced = std::getenv("LUMARA_DISPLAY_BPP")) {
        const int v = std::atoi(forced);
        if (v > 0) return v;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 24;
}

TWebForm::TWebForm(Document& document, const StartupInfo& startup,
                   std::unique_ptr<TLoader> startupLoader, QWidget* parent)
    : QMainWindow(parent), doc(document), options(startup.options),
      loader(std::move(startupLoader)), startup_(startup)
{
    // 1. Desktop font, capped at 12 points.
    QFont f = font();
    if (f.pointSizeF() > 12) {
        f.setPointSizeF(12);
        setFont(f);
    }

    // 2. Objects, the exception handler, the caption.
    if (auto* app = qobject_cast<LumaraApplication*>(QCoreApplication::instance()))
        app->exceptionHandler = [this](const QString& text) { ApplicationException(text); };
    setWindowTitle(QString::fromUtf8(kVersionText));
    SetDialogParent(this);

    if (!loader) loader = std::make_unique<TLoader>(doc);
    ScrollBox = new QScrollArea(this);
    ScrollBox->setWidgetResizable(false);
    ScrollBox->setFrameShape(QFrame::NoFrame);
    Sky95 = new TPix;
    Sky95->BindBitmap(&doc.surface);
    Sky95->Stretch = true;
    Sky95->installEventFilter(this);
    ScrollBox->setWidget(Sky95);
    setCentralWidget(ScrollBox);
    CreateMenus();
    CreateStatusBar();

    Timer2.setSingleShot(true);
    Timer2.setInterval(333);
    connect(&Timer2, &QTimer::timeout, this, &TWebForm::Timer2Timer);

    DeferredOpen = startup.deferredOpen;

    // 6. Background colour to the scroll box and the window.
    SetBackColor(toQColor(options.BackColor));

    // 7, 9. Menu bar and status bar as the options say.
    menuBar()->setVisible(options.MenuBar);
    statusBar()->setVisible(options.StatusBar);

    // 10. Fast refresh only on true-colour screens.
    Sky95->FastPaint = doc.state.DisplayBitsPerPixel < 9 ? false : options.FastRefresh;

    // 12. Restored bounds fitted to the screen.
    ApplyStartBounds();
    WatchDisplay();

    // For the start-up benchmark and the process tests: end after the first
    // paint of the image, the orderly way.
    if (qEnvironmentVariableIsSet("LUMARA_EXIT_AFTER_FIRST_PAINT")) {
        Sky95->onPainted = [this] {
            Sky95->onPainted = nullptr;
            if (qgetenv("LUMARA_EXIT_AFTER_FIRST_PAINT") == "time") {
                timespec ts{};
                clock_gettime(CLOCK_REALTIME, &ts);
                std::printf("first paint %lld\n", (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec);
            } else {
                std::printf("first paint\n");
            }
            std::fflush(stdout);
            QTimer::singleShot(0, this, &TWebForm::close);
        };
    }
}

TWebForm::~TWebForm()
{
    if (auto* app = qobject_cast<LumaraApplication*>(QCoreApplication::instance()))
        app->exceptionHandler = nullptr;
    SetDialogParent(nullptr);
}

void TWebForm::CreateMenus()
{
    menuFile_ = menuBar()->addMenu(QStringLiteral("&File"));
    actOpen = menuFile_->addAction(QStringLiteral("&Open..."));
    actOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(actOpen, &QAction::triggered, this, &TWebForm::mnuOpenClick);
    actReload = menuFile_->addAction(QStringLiteral("&Reload"));
    actReload->setShortcut(Qt::Key_F5);
    actReload->setEnabled(false);
    connect(actReload, &QAction::triggered, this, &TWebForm::mnuReloadClick);
    menuFile_->addSeparator();
    actExit = menuFile_->addAction(QStringLiteral("E&xit"));
    connect(actExit, &QAction::triggered, this, &TWebForm::mnuExitClick);
    QMenu* menuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    actUndo = menuEdit->addAction(QStringLiteral("&Undo"));
    actUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    actUndo->setEnabled(false);
    connect(actUndo, &QAction::triggered, this, &TWebForm::mnuUndoClick);

    menuView_ = menuBar()->addMenu(QStringLiteral("&View"));
    actOptions = menuView_->addAction(QStringLiteral("&Options..."));
    actOptions->setShortcut(QKeySequence(Qt::ALT | Qt::Key_O));
    connect(actOptions, &QAction::triggered, this, &TWebForm::mnuOptionsClick);

    menuPage_ = menuBar()->addMenu(QStringLiteral("&Page"));
    static constexpr struct {
        const char* text;
        QKeyCombination key;
        PageMove move;
    } kPages[4] = {{"&Next page", Qt::ALT | Qt::Key_PageDown, PageMove::Next},
                   {"&Previous page", Qt::ALT | Qt::Key_PageUp, PageMove::Previous},
                   {"&First page", Qt::ALT | Qt::Key_Home, PageMove::First},
                   {"&Last page", Qt::ALT | Qt::Key_End, PageMove::Last}};
    for (int i = 0; i < 4; ++i) {
        actPage[i] = menuPage_->addAction(QString::fromUtf8(kPages[i].text));
        actPage[i]->setShortcut(QKeySequence(kPages[i].key));
        const PageMove move = kPages[i].move;
        connect(actPage[i], &QAction::triggered, this, [this, move] { PageCommand(move); });
    }
    menuPage_->menuAction()->setVisible(false);
}

void TWebForm::CreateStatusBar()
{
    static constexpr int kWidths[4] = {110, 44, 0, 0};
    for (int i = 0; i < 4; ++i) {
        // Panel 0 shows the status text and, during long work, its progress bar.
        StatusPanel[i] = i == 0 ? new TStatusPanel(this) : new QLabel(this);
        StatusPanel[i]->setFrameShape(QFrame::StyledPanel);
        if (kWidths[i] > 0) StatusPanel[i]->setMinimumWidth(kWidths[i]);
        if (i == 1 || i == 2) StatusPanel[i]->setAlignment(Qt::AlignCenter);
        statusBar()->addWidget(StatusPanel[i], i == 3 ? 1 : 0);
    }
    busy = std::make_unique<BusyStatus>(doc, StatusPanel[0], StatusPanel[2], statusBar());
}

void TWebForm::ApplyStartBounds()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect full = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    bool tooSmall = false;
    TRect fitted = FitBoundsToScreen(options.MainBounds, full.width(), full.height(), &tooSmall);
    if (tooSmall) {
        // Half the screen, keeping the position; back on screen and centred
        // as the sizing options say.
        const int w = full.width() / 2, h = full.height() / 2;
        int left = fitted.Left, top = fitted.Top;
        if (options.AutoSize) {
            if (left + w > full.width()) left = full.width() - w;
            if (top + h > full.height()) top = full.height() - h;
        }
        if (options.AutoCenter) {
            left = (full.width() - w) / 2;
            top = (full.height() - h) / 2;
        }
        fitted = {left, top, left + w, top + h};
    }
    setGeometry(fitted.Left, fitted.Top, fitted.Width(), fitted.Height());
}

void TWebForm::WatchDisplay()
{
    auto watch = [this](QScreen* s) {
        connect(s, &QScreen::geometryChanged, this, &TWebForm::DisplayChanged);
    };
    for (QScreen* s : QGuiApplication::screens()) watch(s);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this, watch](QScreen* s) {
        watch(s);
        DisplayChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &TWebForm::DisplayChanged);
}

void TWebForm::DisplayChanged() { ShowWarning(kDisplayChanged); }

bool TWebForm::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return QMainWindow::event(e);
}

void TWebForm::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    // Without a window manager a window may never be activated; the first
    // activation's work must still happen once the window is on screen.
    if (StartupStage == 0)
        QTimer::singleShot(0, this, [this] {
            if (StartupStage == 0) FormActivate();
        });
}

void TWebForm::FormActivate()
{
    menuFile_->setEnabled(true);
    menuView_->setEnabled(true);
    if (StartupStage != 0) return;

    // First activation.
    AcceptDrops = true;
    bool opened = false;
    if (startup_.imageLoadedAtStartup) {
        QCoreApplication::processEvents();
        OpenCommand(OpenMode::WithoutProbe);
        opened = doc.state.ImageLoaded && doc.state.CurrentFile != kUntitled;
    }
    QCoreApplication::processEvents();
    setAcceptDrops(true);
    StartupStage = 1;
    std::srand(unsigned(std::time(nullptr)));
    if (const QScreen* s = screen(); s && s->logicalDotsPerInch() > 96) {
        QFont f = statusBar()->font();
        f.setPointSize(9);
        statusBar()->setFont(f);
    }
    if (!opened) doc.state.StatusText = "Ready.";
    if (DeferredOpen) {
        if (doc.state.CurrentExt == ".VUR") {
            QCoreApplication::processEvents();
            BlankImage(false);
            QCoreApplication::processEvents();
            QThread::msleep(333);
        }
        Timer2.start();
    } else if (!opened) {
        BlankImage(true);
    }
}

void TWebForm::Timer2Timer()
{
    Timer2.stop();
    DeferredOpen = false;
    if (doc.state.CurrentExt == ".VUR") {
        ShowError(QString::fromStdString(doc.state.CurrentFile) +
                  QStringLiteral(": album slideshows cannot be played yet"));
        BlankImage(true);
        return;
    }
    OpenWithoutDialog();
}

void TWebForm::BlankImage(bool rename)
{
    doc.MakeBlank(options.BackColor, rename);
    actReload->setEnabled(false);
    ImageChanged();
    UpdatePageCommands();
    RefreshCaption();
    doc.state.ImageModified = false;
}

void TWebForm::Repaint()
{
    Sky95->SuspendPainting(false);
    Sky95->update();
}

void TWebForm::RepaintAndRescroll()
{
    Sky95->SuspendPainting(false);
    Sky95->resize(doc.state.ImageWidth * doc.state.ZoomPercent / 100,
                  doc.state.ImageHeight * doc.state.ZoomPercent / 100);
    Sky95->update();
}

void TWebForm::ImageChanged()
{
    doc.state.ZoomPercent = 100;
    RepaintAndRescroll();
    StatusPanel[1]->setText(QStringLiteral("100%"));
    unsetCursor();
    doc.state.CurrentPage = 0;
    doc.state.PageCount = 0;
    StatusReady();
    doc.state.ImageModified = true;
}

void TWebForm::StatusReady() { busy->Ready(); }

void TWebForm::Busy(const QString& description) { busy->Busy(description); }

void TWebForm::mnuUndoClick()
{
    RunUndo(doc, busy.get(), [this] {
        UpdatePageCommands();
        ImageChanged();
    }, actUndo);
    RefreshCaption();
}

void TWebForm::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) doc.state.CancelRequest = true;
    QMainWindow::keyPressEvent(e);
}

void TWebForm::changeEvent(QEvent* e)
{
    // Minimising or maximising during a batch run asks it to stop.
    if (e->type() == QEvent::WindowStateChange && doc.state.BatchRunning &&
        (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        doc.state.CancelRequest = true;
    QMainWindow::changeEvent(e);
}

bool TWebForm::eventFilter(QObject* watched, QEvent* e)
{
    // A click on the image other than the right button stops long work.
    if (watched == Sky95 && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() != Qt::RightButton)
        doc.state.CancelRequest = true;
    return QMainWindow::eventFilter(watched, e);
}

QString TWebForm::CaptionText() const
{
    const QString program = QString::fromUtf8(kVersionText);
    if (doc.state.CurrentFile.empty() || doc.state.CurrentFile == kUntitled) return program;
    return program + QStringLiteral(" - ") + QString::fromStdString(doc.FileName());
}

void TWebForm::RefreshCaption() { setWindowTitle(CaptionText()); }

void TWebForm::ApplicationException(const QString& text)
{
    if (closeByException_) return; // already on the way out
    closeByException_ = true;
    Dialogs().Message(kUnexpected, BoxKind::Error, BoxButtons::OK);
    Dialogs().Message(text, BoxKind::Error, BoxButtons::OK);
    close();
}

bool TWebForm::FormCloseQuery()
{
    DocumentState& s = doc.state;
    if (s.SlideshowRunning) {
        s.SlideshowStopRequest = true;
        return false;
    }
    if (!closeByException_) {
        if (s.ImageModified) {
            if (Dialogs().Message(kDiscardQuestion, BoxKind::Confirmation, BoxButtons::YesNo) !=
                BoxResult::Yes) {
                show();
                return false;
            }
            s.ImageModified = false;
        }
    }
    // The instance marker goes only with a close that happens, so a refused
    // close keeps this instance the only one.
    if (startup_.holdsInstanceAtom) {
        DeleteAtom(kInstanceAtom);
        startup_.holdsInstanceAtom = false;
    }
    doc.CloseLibraryImage();
    QCoreApplication::processEvents();
    ImgShutdown();
    Sky95->SuspendPainting(true);
    return true;
}

void TWebForm::FormClose()
{
    if (closed_) return;
    closed_ = true;
    if (saveSettings) saveSettings();
}

void TWebForm::closeEvent(QCloseEvent* e)
{
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    FormClose();
    e->accept();
}

void TWebForm::mnuExitClick() { close(); }

void TWebForm::mnuOptionsClick()
{
    ShowOptionsDialog(this, options, *this, OptionsStartPage(doc.state.MediaMode, false));
}

void TWebForm::ShowBar(OptionsBar bar, bool shown)
{
    switch (bar) {
    case OptionsBar::StatusBar: statusBar()->setVisible(shown); break;
    case OptionsBar::Menus: menuBar()->setVisible(shown); break;
    default: break; // tool bar, button text and path box come with the window layout
    }
}

void TWebForm::SetFastPaint(bool on)
{
    Sky95->FastPaint = doc.state.DisplayBitsPerPixel < 9 ? false : on;
    Sky95->update();
}

void TWebForm::ReopenCurrentFile(ReopenReason)
{
    if (doc.state.CurrentFile.empty() || doc.state.CurrentFile == kUntitled) return;
    if (!ConfirmDiscard()) return;
    doc.state.ImageModified = false;
    OpenWithoutDialog();
}

void TWebForm::SetBackColor(const QColor& color)
{
    QPalette pal = ScrollBox->palette();
    pal.setColor(QPalette::Window, color);
    ScrollBox->setPalette(pal);
    ScrollBox->setAutoFillBackground(true);
    ScrollBox->viewport()->setPalette(pal);
    ScrollBox->viewport()->setAutoFillBackground(true);
}

} // namespace lumara
