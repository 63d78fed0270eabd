#pragma once
// The main window: owns the document's surface (Sky95), runs start-up,
// first activation, the close query and close, and the surface services'
// window-side steps (repaint, caption, command state).

#include "app/settings/OptionsTarget.h"
#include "app/settings/TOptions.h"
#include "app/shell/StartupCommandLine.h"
#include "codecs/model/Geometry.h"
#include "document/BrowsingList.h"
#include "document/Document.h"
#include "document/Loader.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QScrollArea;

namespace lumara {

class TPix;
class BusyStatus;

// What the program entry hands the window.
struct StartupInfo {
    CommandLineFile commandLine;
    bool holdsInstanceAtom = false;
    bool settingsPresent = false;
    bool imageLoadedAtStartup = false; // a command-line JPEG was read in advance
    bool deferredOpen = false;
    TOptions options;
};

class TWebForm : public QMainWindow, public OptionsTarget {
    Q_OBJECT
public:
    // loader: the one start-up used for a command-line JPEG, or none.
    TWebForm(Document& document, const StartupInfo& startup,
             std::unique_ptr<TLoader> startupLoader = nullptr, QWidget* parent = nullptr);
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

    // Loading: the Open command in its three entry modes, opening without the
    // dialog (deferred opens, drops, Reload), dropped files, pages.
    enum class OpenMode { Interactive, WithProbe, WithoutProbe };
    enum class PageMove { Next, Previous, First, Last };
    void OpenCommand(OpenMode mode);
    bool OpenWithoutDialog();
    void DropFiles(const QStringList& files);
    void PageCommand(PageMove move);
    LoadSettings CurrentLoadSettings() const;
    bool ConfirmDiscard();
    std::unique_ptr<TLoader> loader;
    TBrowsingList History;

    // Hooks the later subsystems fill in.
    std::function<void()> saveSettings;       // the close's settings write

    QAction* actOpen = nullptr;
    QAction* actUndo = nullptr;
    std::unique_ptr<BusyStatus> busy;
    QAction* actOptions = nullptr;

    // What the Options dialog needs from the window.
    int DisplayBitsPerPixel() const override { return doc.state.DisplayBitsPerPixel; }
    bool MediaMode() const override { return doc.state.MediaMode; }
    std::string CurrentExt() const override { return doc.state.CurrentExt; }
    int PageCount() const override { return doc.state.PageCount; }
    void CloseLibraryImage() override { doc.CloseLibraryImage(); }
    void ShowBar(OptionsBar bar, bool shown) override;
    void SetFastPaint(bool on) override;
    void ReopenCurrentFile(ReopenReason reason) override;
    void SetBackColor(const QColor& color) override;
    QAction* actReload = nullptr;
    QAction* actPage[4] = {}; // Next, Previous, First, Last
    QAction* actExit = nullptr;
    QLabel* StatusPanel[4] = {};

public slots:
    void FormActivate();
    void Timer2Timer();
    void DisplayChanged();
    void mnuExitClick();
    void mnuOpenClick();
    void mnuUndoClick();
    void mnuOptionsClick();
    void mnuReloadClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenus();
    void CreateStatusBar();
    void ApplyStartBounds();
    void WatchDisplay();
    void Decode();
    void UpdatePageCommands();
    void ReportUnsupported(const QString& what);
    void ImportText();
    void ImportMetafile();
    void ShowImportedPicture(Bitmap&& picture);

    StartupInfo startup_;
    bool closeByException_ = false;
    bool closed_ = false;
    QMenu* menuFile_ = nullptr;
    QMenu* menuView_ = nullptr;
    QMenu* menuPage_ = nullptr;
    QString openFilter_;
    QString loaderMessage_;
};

// Screen depth used as DisplayBitsPerPixel: the screen's, or
// LUMARA_DISPLAY_BPP when set (8 forces the 256-colour paths).
int ReadDisplayBitsPerPixel();

// The open dialog's list of file types, in its order.
QString OpenDialogFilter();

} // namespace lumara
