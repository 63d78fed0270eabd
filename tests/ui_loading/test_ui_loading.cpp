// Opening files in the main window: the Open command, several files, drops,
// the failure path, pages of multi-page files, Reload and the Options command.
#include "app/shell/ui/Dialogs.h"
#include "app/ui/LumaraApplication.h"
#include "app/ui/TWebForm.h"
#include "../support/MultiPageFiles.h"
#include "codecs/jpeg/TJPEGImage.h"
#include "document/ImageWriter.h"
#include "document/ui/TPix.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <tiffio.h>

using namespace lumara;

namespace {

Bitmap picture(int w, int h, uint32_t color)
{
    Bitmap b(w, h, 24);
    b.Fill(color);
    return b;
}

} // namespace

class LoadingTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openDialogShowsThePicture();
    void openDialogOffersTheTypesInOrder();
    void severalFilesGoToTheBrowsingList();
    void dropOfFiveFiles();
    void corruptFileGivesTheBlankImageAndSaysWhy();
    void unsavedChangesQuestionCanStopTheOpen();
    void pagesOfADcxWrapAround();
    void pagesOfATiffWrapAround();
    void jpegShowsLoadedTime();
    void reloadReadsTheFileAgain();
    void optionsCommandOpensTheDialog();
    void textFileBecomesAnUntitledPicture_data();
    void textFileBecomesAnUntitledPicture();

private:
    QString file(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    std::string path(const QString& name) const { return file(name).toStdString(); }
    QTemporaryDir dir_;
};

void LoadingTest::initTestCase()
{
    QVERIFY(dir_.isValid());
    qputenv("XDG_RUNTIME_DIR", dir_.path().toUtf8());
    WriteImageFile(picture(40, 30, 0x336699), path("blue.png"), stPng);
    WriteImageFile(picture(20, 10, 0xFF0000), path("red.bmp"), stBmp);
    for (int i = 0; i < 5; ++i)
        WriteImageFile(picture(8 + i, 8, MakeColor(i * 50, 0, 0)), path(QStringLiteral("d%1.tga").arg(i)), stTga);
    std::ofstream(path("corrupt.bmp"), std::ios::binary) << "BM this is not a bitmap at all";
    WriteImageFile(picture(64, 48, 0x80C040), path("photo.jpg"), stJpegColor);

    // A DCX of three PCX pages 4, 5 and 6 pixels wide.
    const std::string dcx = testing_support::MakeDcx(
        {picture(4, 3, 0x000000), picture(5, 3, 0x003C00), picture(6, 3, 0x007800)});
    std::ofstream(path("three.dcx"), std::ios::binary) << dcx;

    // A TIFF of three 8-bit gray pages 5, 6 and 7 pixels wide, LZW-compressed.
    TIFF* tif = TIFFOpen(path("three.tif").c_str(), "w");
    QVERIFY(tif);
    for (int i = 0; i < 3; ++i) {
        const int w = 5 + i, h = 2;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, i, 3);
        std::vector<uint8_t> row(size_t(w), uint8_t(40 * (i + 1)));
        for (int y = 0; y < h; ++y) TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
}

void LoadingTest::openDialogShowsThePicture()
{
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back({file(QStringLiteral("blue.png"))});
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    form.actOpen->trigger();
    QCOMPARE(QString::fromStdString(doc.state.CurrentFile), file(QStringLiteral("blue.png")));
    QCOMPARE(doc.state.ImageWidth, 40);
    QCOMPARE(doc.surface.PixelColor(39, 29), 0x336699u);
    QVERIFY(doc.state.ImageLoaded);
    QVERIFY(!doc.state.ImageModified);
    QVERIFY(form.actReload->isEnabled());
    QCOMPARE(form.windowTitle(), QStringLiteral("Lumara 5.7 - blue.png"));
    // True colour on a true-colour screen with Fast Refresh and Auto Reduce: display-ready.
    QCOMPARE(form.StatusPanel[2]->text(), QStringLiteral("40x30(24) ddb"));
    QCOMPARE(form.History.Count(), 1);
    QVERIFY(dialogs.asked.empty());
    QCOMPARE(dialogs.fileRequests.size(), size_t(1));
    QVERIFY(dialogs.fileRequests[0].multiple);
}

void LoadingTest::openDialogOffersTheTypesInOrder()
{
    const QStringList names = OpenDialogFilter().split(QStringLiteral(";;"));
    const QStringList expected = {
        "All validated formats", "All Windows multimedia", "VUR (RA Vode Slideshow)",
        "BMP (Windows Bitmaps)", "JPG (JPEG/JFIF)", "PCD (Kodak Photo-CD)", "PCX (ZSoft)",
        "PNG (Portable Network Graphics)", "PSD (Photoshop)", "RTF (Rich Text)", "Text (ASCII)",
        "TGA (Truevision Targa)", "TIF (Aldus TIFF)", "VideoCD (MPEG-1)", "WMF (Windows Metafile)",
        "All files (no validation)"};
    QCOMPARE(names.size(), expected.size());
    for (int i = 0; i < names.size(); ++i) QVERIFY2(names[i].startsWith(expected[i] + " ("), qPrintable(names[i]));
    for (const char* ext : {"*.gif", "*.webp", "*.dcx", "*.JPEG", "*.tiff"})
        QVERIFY2(names[0].contains(QLatin1String(ext)), ext);
}

void LoadingTest::severalFilesGoToTheBrowsingList()
{
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back(
        {file("d0.tga"), file("d1.tga"), file("d2.tga")});
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    form.actOpen->trigger();
    QCOMPARE(QString::fromStdString(doc.state.CurrentFile), file("d0.tga"));
    const auto& items = form.History.Items();
    QCOMPARE(items.size(), size_t(3));
    QCOMPARE(QString::fromStdString(items[0]), file("d2.tga"));
    QCOMPARE(QString::fromStdString(items[1]), file("d1.tga"));
    QCOMPARE(QString::fromStdString(items[2]), file("d0.tga"));
    QCOMPARE(form.History.Selected(), 2);
}

void LoadingTest::dropOfFiveFiles()
{
    ScriptedDialogs dialogs;
    Document doc;
    TWebForm form(doc, StartupInfo{});
    QStringList five;
    for (int i = 0; i < 5; ++i) five << file(QStringLiteral("d%1.tga").arg(i));
    form.DropFiles(five); // before the first activation: ignored
    QCOMPARE(form.History.Count(), 0);
    form.FormActivate();
    form.DropFiles(five);
    QCOMPARE(QString::fromStdString(doc.state.CurrentFile), five[0]);
    QCOMPARE(doc.state.ImageWidth, 8);
    const auto& items = form.History.Items();
    QCOMPARE(items.size(), size_t(5));
    QCOMPARE(QString::fromStdString(items[0]), five[4]); // the fifth first
    QCOMPARE(QString::fromStdString(items[3]), five[1]);
    QCOMPARE(QString::fromStdString(items[4]), five[0]);
}

void LoadingTest::corruptFileGivesTheBlankImageAndSaysWhy()
{
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back({file("corrupt.bmp")});
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    form.actOpen->trigger();
    QCOMPARE(QString::fromStdString(doc.state.CurrentFile), QStringLiteral("Untitled"));
    QCOMPARE(doc.surface.Width(), 16);
    QCOMPARE(dialogs.asked.size(), size_t(1));
    QCOMPARE(dialogs.asked[0].kind, BoxKind::Error);
    QVERIFY2(dialogs.asked[0].text.startsWith(file("corrupt.bmp") + ": "), qPrintable(dialogs.asked[0].text));
}

void LoadingTest::unsavedChangesQuestionCanStopTheOpen()
{
    ScriptedDialogs dialogs;
    dialogs.messageAnswers.push_back(BoxResult::No);
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    doc.state.ImageModified = true;
    form.actOpen->trigger();
    QCOMPARE(dialogs.asked.size(), size_t(1));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("You have unsaved changes.\nDiscard modified image?"));
    QVERIFY(dialogs.fileRequests.empty()); // no dialog after No
    QVERIFY(doc.state.ImageModified);
}

void LoadingTest::pagesOfADcxWrapAround()
{
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back({file("three.dcx")});
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    form.actOpen->trigger();
    QCOMPARE(doc.state.PageCount, 3);
    QCOMPARE(doc.surface.Width(), 4);
    QCOMPARE(form.StatusPanel[0]->text(), QStringLiteral("Page 1 of 3"));
    QVERIFY(form.actPage[0]->isEnabled());
    QCOMPARE(form.actPage[0]->shortcut(), QKeySequence(Qt::ALT | Qt::Key_PageDown));
    form.PageCommand(TWebForm::PageMove::Last);
    QCOMPARE(doc.surface.Width(), 6);
    QCOMPARE(form.StatusPanel[0]->text(), QStringLiteral("Page 3 of 3"));
    form.PageCommand(TWebForm::PageMove::Next); // wraps to the first
    QCOMPARE(doc.surface.Width(), 4);
    QCOMPARE(form.StatusPanel[0]->text(), QStringLiteral("Page 1 of 3"));
    form.PageCommand(TWebForm::PageMove::Previous); // wraps to the last
    QCOMPARE(doc.surface.Width(), 6);
    form.PageCommand(TWebForm::PageMove::First);
    QCOMPARE(doc.surface.Width(), 4);
    QVERIFY(dialogs.asked.empty());
}

void LoadingTest::pagesOfATiffWrapAround()
{
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back({file("three.tif")});
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    form.actOpen->trigger();
    QVERIFY2(dialogs.asked.empty(), dialogs.asked.empty() ? "" : qPrintable(dialogs.asked[0].text));
    QCOMPARE(doc.state.PageCount, 3);
    QCOMPARE(doc.surface.Width(), 5);
    form.PageCommand(TWebForm::PageMove::Previous);
    QCOMPARE(doc.surface.Width(), 7);
    QCOMPARE(doc.surface.PixelColor(0, 0), MakeColor(120, 120, 120));
    form.PageCommand(TWebForm::PageMove::Next);
    QCOMPARE(doc.surface.Width(), 5);
    QCOMPARE(form.StatusPanel[0]->text(), QStringLiteral("Page 1 of 3"));
}

void LoadingTest::jpegShowsLoadedTime()
{
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back({file("photo.jpg")});
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    form.actOpen->trigger();
    QCOMPARE(doc.state.ImageWidth, 64);
    QVERIFY2(form.StatusPanel[0]->text().startsWith(QStringLiteral("Loaded ")),
             qPrintable(form.StatusPanel[0]->text()));
    QVERIFY(form.StatusPanel[0]->text().endsWith(QLatin1Char('s')));
    const uint32_t c = doc.surface.PixelColor(10, 10);
    QVERIFY(std::abs(RedOf(c) - 0x80) < 6 && std::abs(GreenOf(c) - 0xC0) < 6 &&
            std::abs(BlueOf(c) - 0x40) < 6);
}

void LoadingTest::reloadReadsTheFileAgain()
{
    ScriptedDialogs dialogs;
    WriteImageFile(picture(10, 10, 0x00FF00), path("changing.png"), stPng);
    dialogs.fileAnswers.push_back({file("changing.png")});
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.FormActivate();
    form.actOpen->trigger();
    QCOMPARE(doc.surface.PixelColor(0, 0), 0x00FF00u);
    WriteImageFile(picture(12, 10, 0x0000FF), path("changing.png"), stPng);
    form.actReload->trigger();
    QCOMPARE(doc.surface.Width(), 12);
    QCOMPARE(doc.surface.PixelColor(0, 0), 0x0000FFu);
    QCOMPARE(form.History.Count(), 1); // the same file is not listed twice
}

void LoadingTest::optionsCommandOpensTheDialog()
{
    ScriptedDialogs dialogs;
    Document doc;
    TWebForm form(doc, StartupInfo{});
    QCOMPARE(form.actOptions->shortcut(), QKeySequence(Qt::ALT | Qt::Key_O));
    QString title;
    QTimer::singleShot(0, [&] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            title = d->windowTitle();
            d->reject();
        }
    });
    form.actOptions->trigger();
    QCOMPARE(title, QStringLiteral("Options"));
}

void LoadingTest::textFileBecomesAnUntitledPicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("txt") << "notes.txt" << QByteArray("Hello Lumara\nSecond line\n");
    QTest::newRow("rtf") << "letter.rtf"
                         << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hello\\par World}");
}

void LoadingTest::textFileBecomesAnUntitledPicture()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    {
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    ScriptedDialogs dialogs;
    dialogs.fileAnswers.push_back({file(name)});
    Document doc;
    TWebForm form(doc, StartupInfo{});
    form.resize(500, 400);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.FormActivate();
    form.actOpen->trigger();
    QVERIFY(dialogs.asked.empty());
    QCOMPARE(QString::fromStdString(doc.state.CurrentFile), QStringLiteral("Untitled"));
    QCOMPARE(doc.state.ImageBitsPerPixel, 24);
    QCOMPARE(doc.surface.Depth(), 24);
    QVERIFY(doc.surface.Width() > 100);
    QVERIFY(!form.actReload->isEnabled());
    QVERIFY(!doc.state.ImageModified);
    // White paper with dark text on it.
    QCOMPARE(doc.surface.PixelColor(doc.surface.Width() - 2, doc.surface.Height() - 2), 0xFFFFFFu);
    int dark = 0;
    for (int y = 0; y < 30 && y < doc.surface.Height(); ++y)
        for (int x = 0; x < 120; ++x)
            if (RedOf(doc.surface.PixelColor(x, y)) < 100) ++dark;
    QVERIFY(dark > 20);
}

int main(int argc, char** argv)
{
    LumaraApplication app(argc, argv);
    LoadingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_ui_loading.moc"
