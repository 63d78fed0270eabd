// The main window's side of loading: the Open command, opening without a
// dialog, dropped files, Reload and the page commands.
#include "TWebForm.h"

#include "app/shell/ShellServices.h"
#include "app/shell/ui/Dialogs.h"
#include "codecs/imglib/ImgLib.h"
#include "document/Metafile.h"
#include "document/Undo.h"
#include "document/ui/BusyStatus.h"
#include "document/ui/TPix.h"
#include "document/ui/UndoCommand.h"
#include "document/ui/TextImporter.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QUrl>

namespace lumara {

namespace {

const QString kDiscardQuestion = QStringLiteral("You have unsaved changes.\nDiscard modified image?");

// "Name (*.a *.A *.b *.B)" from a name and extensions without dots.
QString filterOf(const QString& name, const QStringList& exts)
{
    QStringList patterns;
    for (const QString& e : exts) {
        patterns << QStringLiteral("*.") + e.toLower();
        patterns << QStringLiteral("*.") + e.toUpper();
    }
    return name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

} // namespace

QString OpenDialogFilter()
{
    const QStringList validated = {"bmp", "dib", "jpg", "jpeg", "pcd", "pcx", "dcx", "png",
                                   "psd", "tga", "tif", "tiff", "gif", "webp", "rtf", "txt",
                                   "wmf", "vur"};
    const QStringList media = {"avi", "mpg", "m1v", "mpe", "mpeg", "mpv", "qt", "mov",
                               "rm", "dat", "wav", "mp2", "mp3", "mpa", "aif", "aiff",
                               "aifx", "mid", "rmi", "au", "snd", "ra"};
    QStringList filters;
    filters << filterOf(QStringLiteral("All validated formats"), validated)
            << filterOf(QStringLiteral("All Windows multimedia"), media)
            << filterOf(QStringLiteral("VUR (RA Vode Slideshow)"), {"vur"})
            << filterOf(QStringLiteral("BMP (Windows Bitmaps)"), {"bmp", "dib"})
            << filterOf(QStringLiteral("JPG (JPEG/JFIF)"), {"jpg", "jpeg", "jpe"})
            << filterOf(QStringLiteral("PCD (Kodak Photo-CD)"), {"pcd"})
            << filterOf(QStringLiteral("PCX (ZSoft)"), {"pcx", "dcx"})
            << filterOf(QStringLiteral("PNG (Portable Network Graphics)"), {"png"})
            << filterOf(QStringLiteral("PSD (Photoshop)"), {"psd"})
            << filterOf(QStringLiteral("RTF (Rich Text)"), {"rtf"})
            << filterOf(QStringLiteral("Text (ASCII)"), {"txt"})
            << filterOf(QStringLiteral("TGA (Truevision Targa)"), {"tga"})
            << filterOf(QStringLiteral("TIF (Aldus TIFF)"), {"tif", "tiff"})
            << filterOf(QStringLiteral("VideoCD (MPEG-1)"), {"dat", "mpg"})
            << filterOf(QStringLiteral("WMF (Windows Metafile)"), {"wmf"})
            << QStringLiteral("All files (no validation) (*)");
    return filters.join(QStringLiteral(";;"));
}

LoadSettings TWebForm::CurrentLoadSettings() const
{
    LoadSettings s;
    s.FaxQuality = options.FaxQuality;
    s.AutoReduce = options.AutoReduce;
    s.FastRefresh = options.FastRefresh;
    s.JpegPalette = options.JpegPalette;
    s.BackColor = options.BackColor;
    s.VisibleWidth = ScrollBox->viewport()->width();
    s.VisibleHeight = ScrollBox->viewport()->height();
    s.BeforeFirstActivation = StartupStage == 0;
    return s;
}

bool TWebForm::ConfirmDiscard()
{
    if (!doc.state.ImageModified) return true;
    return Dialogs().Message(kDiscardQuestion, BoxKind::Confirmation, BoxButtons::YesNo) ==
           BoxResult::Yes;
}

void TWebForm::mnuOpenClick() { OpenCommand(OpenMode::Interactive); }

void TWebForm::OpenCommand(OpenMode mode)
{
    DocumentState& s = doc.state;
    // 2. Unsaved changes.
    if (!ConfirmDiscard()) return;
    // 3.
    s.JpegPreloaded = false;
    int probe = prImage;
    bool probed = false;

    // 4. The dialog.
    if (mode == OpenMode::Interactive) {
        FileDialogRequest request;
        request.caption = QStringLiteral("Open");
        request.directory = QString::fromStdString(options.OpenDir);
        request.filter = OpenDialogFilter();
        request.selectedFilter = openFilter_;
        request.multiple = true;
        const QStringList files = Dialogs().OpenFiles(request);
        if (files.isEmpty()) return;
        openFilter_ = request.selectedFilter;
        std::vector<std::string> paths;
        for (const QString& f : files) paths.push_back(f.toStdString());
        if (paths.size() > 1) History.AppendOthers(paths);
        s.PreviousFile = s.CurrentFile;
        s.CurrentFile = paths.front();
        s.CurrentExt = UpperExtension(s.CurrentFile);
        if (paths.size() == 1) {
            if (ExtensionInList(s.CurrentExt, kTextTypes)) {
                ImportText();
                return;
            }
            if (ExtensionInList(s.CurrentExt, kMetafileTypes)) {
                ImportMetafile();
                return;
            }
        }
    }

    // 5. The probe.
    if (mode != OpenMode::WithoutProbe) {
        probe = loader->OpenByType(CurrentLoadSettings());
        probed = true;
    }
    if (probed && probe == prMedia) {
        s.ImageLoaded = false;
        loaderMessage_ = QString::fromStdString(s.CurrentFile) +
                         QStringLiteral(": playing media files is not available yet");
        s.CurrentFile = s.PreviousFile;
    } else if (!probed || probe >= 0) {
        // 6, 7.
        s.ImageLoaded = false;
        Decode();
    } else {
        s.ImageLoaded = false;
        loaderMessage_ = QString::fromStdString(loader->LastError());
    }

    // 8, 9.
    unsetCursor();
    if (!s.ImageLoaded) {
        if (!loaderMessage_.isEmpty()) ShowError(loaderMessage_);
        loaderMessage_.clear();
        BlankImage(true);
        return;
    }
    // 10.
    History.AppendCurrent(s.CurrentFile);
    UpdatePageCommands();
    if (s.PageCount >= 2) {
        s.StatusText = "Page " + std::to_string(s.CurrentPage + 1) + " of " +
                       std::to_string(s.PageCount);
        StatusPanel[0]->setText(QString::fromStdString(s.StatusText));
    }
}

void TWebForm::Decode()
{
    DocumentState& s = doc.state;
    StatusPanel[0]->setText(QStringLiteral("Loading..."));
    QCoreApplication::processEvents();
    Sky95->SuspendPainting(true);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    loader->OnProgress = busy->ProgressCallback();
    loader->AbortRequested = [this] {
        QCoreApplication::processEvents();
        return doc.state.CancelRequest;
    };
    doc.state.CancelRequest = false;
    const bool ok = loader->Decode(CurrentLoadSettings());
    busy->EndProgress();
    loader->OnProgress = nullptr;
    loader->AbortRequested = nullptr;
    QGuiApplication::restoreOverrideCursor();
    // A new document has nothing to undo.
    DiscardBackUp(doc);
    UpdateUndoAction(doc, actUndo);
    if (!ok) {
        loaderMessage_ = QString::fromStdString(loader->LastError());
        Sky95->SuspendPainting(false);
        return;
    }
    s.ImageModified = false;
    // The view at 100 percent from the origin.
    s.ZoomPercent = 100;
    Sky95->SuspendPainting(false);
    Sky95->resize(s.ImageWidth, s.ImageHeight);
    ScrollBox->horizontalScrollBar()->setValue(0);
    ScrollBox->verticalScrollBar()->setValue(0);
    Sky95->update();
    StatusPanel[1]->setText(QStringLiteral("100%"));
    RefreshCaption();
    StatusPanel[0]->setText(QString::fromStdString(s.StatusText));
    StatusPanel[2]->setText(QString::fromStdString(doc.ImageDescription()));
    actReload->setEnabled(true);
    options.OpenDir = QFileInfo(QString::fromStdString(s.CurrentFile)).absolutePath().toStdString();
}

void TWebForm::ImportText()
{
    DocumentState& s = doc.state;
    QString text;
    try {
        text = ReadTextDocument(s.CurrentFile);
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(s.CurrentFile) + QStringLiteral(": ") +
                  QString::fromUtf8(e.what()));
        s.CurrentFile = s.PreviousFile;
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The page is the visible part of the scroll box, as the text viewer shows it.
    const QSize area = ScrollBox->viewport()->size();
    Bitmap page = RenderTextPage(text, area.width(), area.height(), font());
    QGuiApplication::restoreOverrideCursor();
    ShowImportedPicture(std::move(page));
}

void TWebForm::ImportMetafile()
{
    DocumentState& s = doc.state;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    Bitmap picture;
    try {
        picture = RenderMetafile(s.CurrentFile, options.BackColor);
    } catch (const std::exception& e) {
        QGuiApplication::restoreOverrideCursor();
        ShowError(QString::fromStdString(s.CurrentFile) + QStringLiteral(": ") +
                  QString::fromUtf8(e.what()));
        s.CurrentFile = s.PreviousFile;
        return;
    }
    QGuiApplication::restoreOverrideCursor();
    ShowImportedPicture(std::move(picture));
}

void TWebForm::ShowImportedPicture(Bitmap&& picture)
{
    DocumentState& s = doc.state;
    doc.surface = std::move(picture);
    s.CurrentFile = kUntitled;
    s.ImageWidth = doc.surface.Width();
    s.ImageHeight = doc.surface.Height();
    s.ImageBitsPerPixel = 24;
    s.ReducedDecode = false;
    actReload->setEnabled(false);
    s.ImageLoaded = true;
    ImageChanged();
    UpdatePageCommands();
    RefreshCaption();
    s.ImageModified = false;
}

void TWebForm::ReportUnsupported(const QString& what)
{
    ShowError(QString::fromStdString(doc.state.CurrentFile) + QStringLiteral(": ") + what);
    doc.state.CurrentFile = doc.state.PreviousFile;
}

bool TWebForm::OpenWithoutDialog()
{
    DocumentState& s = doc.state;
    const int probe = loader->OpenByType(CurrentLoadSettings());
    if (probe == prText) {
        ImportText();
        return doc.state.ImageLoaded;
    }
    if (probe == prMetafile) {
        ImportMetafile();
        return false;
    }
    // Probed already when it is an image: decode without probing again.
    OpenCommand(probe < 1 ? OpenMode::WithProbe : OpenMode::WithoutProbe);
    return s.ImageLoaded && s.CurrentFile != kUntitled;
}

void TWebForm::DropFiles(const QStringList& files)
{
    if (doc.state.SlideshowRunning || !AcceptDrops || files.isEmpty()) return;
    activateWindow();
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    if (paths.size() > 1) History.AppendOthers(paths);
    if (!ConfirmDiscard()) return;
    DocumentState& s = doc.state;
    s.PreviousFile = s.CurrentFile;
    s.CurrentFile = paths.front();
    s.CurrentExt = UpperExtension(s.CurrentFile);
    Sky95->SuspendPainting(true);
    s.ImageModified = false;
    raise();
    OpenWithoutDialog();
}

void TWebForm::dragEnterEvent(QDragEnterEvent* e)
{
    if (AcceptDrops && e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TWebForm::dropEvent(QDropEvent* e)
{
    QStringList files;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    e->acceptProposedAction();
    DropFiles(files);
}

void TWebForm::mnuReloadClick()
{
    if (doc.state.CurrentFile == kUntitled || doc.state.CurrentFile.empty()) return;
    if (!ConfirmDiscard()) return;
    doc.state.ImageModified = false;
    OpenWithoutDialog();
}

void TWebForm::UpdatePageCommands()
{
    const bool pages = doc.state.PageCount >= 2 && doc.state.ImgHandle != 0;
    menuPage_->menuAction()->setVisible(pages);
    for (QAction* a : menuPage_->actions()) a->setEnabled(pages);
}

void TWebForm::PageCommand(PageMove move)
{
    DocumentState& s = doc.state;
    if (!menuPage_->menuAction()->isVisible() || s.ImgHandle == 0) return;
    if (!ConfirmDiscard()) return;
    int count = 1, page = 0;
    ImgPageCount(s.ImgHandle, &count);
    ImgGetPage(s.ImgHandle, &page);
    switch (move) {
    case PageMove::Previous: page = page == 0 ? count - 1 : page - 1; break;
    case PageMove::First: page = 0; break;
    case PageMove::Next: page = page + 1 >= count ? 0 : page + 1; break;
    case PageMove::Last: page = count - 1; break;
    }
    Sky95->Stretch = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    Sky95->SuspendPainting(true);
    const bool ok = loader->MultiPageLoad(page, CurrentLoadSettings());
    Sky95->SuspendPainting(false);
    QGuiApplication::restoreOverrideCursor();
    if (!ok) {
        ShowError(QString::fromStdString(loader->LastError()));
        return;
    }
    s.PageCount = count;
    s.CurrentPage = page;
    s.ImageModified = false;
    s.ZoomPercent = 100;
    Sky95->resize(s.ImageWidth, s.ImageHeight);
    Sky95->update();
    StatusPanel[1]->setText(QStringLiteral("100%"));
    s.StatusText = "Page " + std::to_string(page + 1) + " of " + std::to_string(count);
    StatusPanel[0]->setText(QString::fromStdString(s.StatusText));
    StatusPanel[2]->setText(QString::fromStdString(doc.ImageDescription()));
}

} // namespace lumara
