#pragma once
// The main window: owns the document's surface (Sky95), runs start-up,
// first activation, the close query and close, and the surface services'
// window-side steps (repaint, caption, command state).

#include "app/settings/TOptions.h"
#include "app/shell/StartupCommandLine.h"
#include "codecs/model/Geometry.h"
#include "document/Document.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QScrollArea;

namespace lumara {

class TPix;

// What the program entry hands the window.
struct StartupInfo {
    CommandLineFile commandLine;
    bool holdsInstanceAtom = false;
    bool settingsPresent = false;
    bool imageLoadedAtStartup = false; // a command-line JPEG was read in advance
    bool deferredOpen = false;
    TOptions options;
};

class TWebForm : public QMainWindow {
    Q_OBJECT
public:
    TWebForm(Document& document, const StartupInfo& startup, QWidget* parent = nullptr);
    ~TWebForm() override;

    Document& doc;
    TPix* Sky95 = nullptr;
    QScrollArea* ScrollBox = nullptr;
    QTimer Timer2;
    TOptions options;
    int StartupStage = 0;
    bool DeferredOpen = false;
    bool AcceptDrops = false;

    // Surface services with their window-side steps.
    void BlankImage(bool rename);
    void Repaint();
    void RepaintAndRescroll();
    void ImageChanged();
    void RefreshCaption();
    void StatusReady();
    void Busy(const QString& description);

    // The caption the window shows now.
    QString CaptionText() const;

    // The application exception handler: two boxes, then a close without
    // questions that still writes the settings.
    void ApplicationException(const QString& text);

    // Close query and close, callable directly by tests.
    bool FormCloseQuery();
    void FormClose();
    bool ClosedByException() const { return closeByException_; }

    // Hooks the later subsystems fill in.
    std::function<void()> saveSettings;       // the close's settings write
    std::function<bool(const std::string&)> openFile; // open without a dialog

    QAction* actReload = nullptr;
    QAction* actExit = nullptr;
    QLabel* StatusPanel[4] = {};

public slots:
    void FormActivate();
    void Timer2Timer();
    void DisplayChanged();
    void mnuExitClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateMenus();
    void CreateStatusBar();
    void ApplyStartBounds();
    void WatchDisplay();

    StartupInfo startup_;
    bool closeByException_ = false;
    bool closed_ = false;
    QMenu* menuFile_ = nullptr;
    QMenu* menuView_ = nullptr;
};

// Screen depth used as DisplayBitsPerPixel: the screen's, or
// LUMARA_DISPLAY_BPP when set (8 forces the 256-colour paths).
int ReadDisplayBitsPerPixel();

} // namespace lumara
