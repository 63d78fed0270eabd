// The Options dialog: what it shows, the rules between its controls, what Ok,
// Apply and Cancel do to the options, and the colour dialog.
#include "app/settings/ui/TOptionsForm.h"
#include "app/shell/ui/Dialogs.h"

#include "RecordingTarget.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace lumara;

namespace {

// Remembers the colour each colour dialog was opened with.
class ColorDialogs : public ScriptedDialogs {
  public:
    std::vector<QColor> presets;
    bool ChooseColor(QColor& color) override {
        presets.push_back(color);
        return ScriptedDialogs::ChooseColor(color);
    }
};

struct Fixture {
    TOptions options;
    RecordingTarget target;
    std::unique_ptr<TOptionsForm> form;

    void open(int page = kViewerPage) {
        form = std::make_unique<TOptionsForm>(options, target, page);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    template <class T = QCheckBox> T* get(const char* name) const {
        T* w = form->findChild<T*>(QLatin1String(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    QCheckBox* box(const char* name) const { return get<QCheckBox>(name); }
    QPushButton* button(const char* name) const { return get<QPushButton>(name); }
    QLabel* delayLabel() const { return get<QLabel>("lblDelay"); }
    QScrollBar* delay() const { return get<QScrollBar>("sbDelay"); }
    TRadioGroup* group(const char* name) const { return get<TRadioGroup>(name); }
    void click(const char* name) const {
        QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton);
    }
    void pickRadio(const char* groupName, int index) const {
        const auto radios = group(groupName)->findChildren<QRadioButton*>();
        QTest::mouseClick(radios.at(index), Qt::LeftButton);
    }
};

QStringList texts(const QList<QRadioButton*>& radios) {
    QStringList t;
    for (auto* r : radios)
        t << r->text();
    return t;
}

} // namespace

class OptionsFormTest : public QObject {
    Q_OBJECT
  private slots:
    void captions();
    void opensOnTheRequestedTab_data();
    void opensOnTheRequestedTab();
    void controlsShowTheOptions();
    void autoSizeUncheckedDisablesAndClearsAutoCenter();
    void openingWithAutoSizeOffSwitchesAutoCenterOff();
    void buttonTextNeedsTheToolBar();
    void useScreenFollowsAutoReduce();
    void useScreenIsOffOnScreensBelowFifteenBits();
    void fastRefreshOnlyAboveEightBits();
    void palettesOnlyOnEightBitScreens();
    void fullScreenDisablesTheWindowControls_data();
    void fullScreenDisablesTheWindowControls();
    void trackBarFollowsPlayerControls();
    void delayLabel_data();
    void delayLabel();
    void maximumDelay();
    void movingTheDelayEnablesApplyOnlyWhenItDiffers();
    void okAppliesAndCloses();
    void applyKeepsTheDialogOpenAndCancelKeepsWhatWasApplied();
    void cancelChangesNothing();
    void volumeZeroIsStoredAsOne();
    void jpegPaletteChangeReloadsOnEightBitScreens();
    void colourDialogFromAClick();
    void colourDialogFromTheKeyboard();
    void colourDialogCancelled();
    void helpAndEffectsButtons();
    void showOptionsDialogEntry();
    void radioGroupWithoutAMatchingItem();
    void grabTabs();
};

void OptionsFormTest::captions() {
    Fixture f;
    f.open();
    QCOMPARE(f.form->windowTitle(), QStringLiteral("Options"));
    auto* tabs = f.get<QTabWidget>("tabs");
    QCOMPARE(tabs->count(), 4);
    const QStringList tabNames = {"Viewer", "Graphics", "Slideshow", "Multimedia"};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(tabs->tabText(i), tabNames[i]);
    const std::pair<const char*, const char*> buttons[] = {{"btnOk", "Ok"},
                                                           {"btnApply", "Apply"},
                                                           {"btnCancel", "Cancel"},
                                                           {"btnHelp", "Help"},
                                                           {"btnEffects", "Effects"}};
    for (const auto& [name, text] : buttons)
        QCOMPARE(f.button(name)->text(), QString(text));
    const std::pair<const char*, const char*> checks[] = {
        {"chkAutoSize", "Auto Size"},
        {"chkAutoCenter", "Auto Center"},
        {"chkMaxFullScreen", "Max Full screen"},
        {"chkStatusBar", "Status bar"},
        {"chkButtonText", "Button text"},
        {"chkToolBar", "Tool bar"},
        {"chkMenus", "Menus"},
        {"chkPathBox", "Path box"},
        {"chkMultipleViewers", "Multiple viewers"},
        {"chkAutoReduce", "Auto Reduce"},
        {"chkUseScreen", "Use Screen"},
        {"chkFastRefresh", "Fast Refresh"},
        {"chkMaxDelay", "Maximum delay"},
        {"chkAutoSizeVideo", "Auto Size video"},
        {"chkAlwaysFullScreen", "Always Full screen"},
        {"chkVurJukebox", "VUR Jukebox"},
        {"chkMediaMaxFullScreen", "Max Full screen"},
        {"chkStatusLine", "Status line"},
        {"chkTrackBar", "Track bar"},
        {"chkPlayerControls", "Player controls"},
        {"chkAutoPlayLoop", "Auto Play + Loop"},
    };
    for (const auto& [name, text] : checks)
        QCOMPARE(f.box(name)->text(), QString(text));
    const std::pair<const char*, QStringList> groups[] = {
        {"grpFaxQuality", {"b/w", "4 shades", "16 shades", "64 shades"}},
        {"grpPhotoCd",
         {"    64x96", "  128x192", "  256x384", "  512x768", "1024x1536", "2048x3072",
          "4096x6144"}},
        {"grpJpegPalette",
         {"fixed + ordered", "fixed + dithered", "color matched", "optimal + dithered"}},
        {"grpEffectsSpeed", {"Faster", "Normal", "Slower", "Slowest"}},
        {"grpSvgaPalette",
         {"optimal (for graphics)", "fixed (for effects)", "VGA (for multimedia)"}},
        {"grpTextPosition", {"Auto", "Top", "Bottom"}},
    };
    for (const auto& [name, items] : groups) {
        QCOMPARE(f.group(name)->Items(), items);
        QCOMPARE(texts(f.group(name)->findChildren<QRadioButton*>()), items);
    }
    QCOMPARE(f.group("grpFaxQuality")->title(), QStringLiteral("Fax quality"));
    QCOMPARE(f.group("grpPhotoCd")->title(), QStringLiteral("Photo-CD step"));
    QCOMPARE(f.group("grpJpegPalette")->title(), QStringLiteral("JPEG palette"));
    QCOMPARE(f.group("grpEffectsSpeed")->title(), QStringLiteral("Effects speed"));
    QCOMPARE(f.group("grpSvgaPalette")->title(), QStringLiteral("SVGA Palette"));
    QCOMPARE(f.group("grpTextPosition")->title(), QStringLiteral("Text position"));
    QCOMPARE(f.delay()->minimum(), 0);
    QCOMPARE(f.delay()->maximum(), 60000);
    QCOMPARE(f.delay()->singleStep(), 100);
    QCOMPARE(f.delay()->pageStep(), 1000);
    QCOMPARE(f.get<QSlider>("tbVolume")->minimum(), 0);
    QCOMPARE(f.get<QSlider>("tbVolume")->maximum(), 1000);
    QVERIFY(!f.button("btnApply")->isEnabled());
}

void OptionsFormTest::opensOnTheRequestedTab_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("tab");
    QTest::newRow("viewer") << int(kViewerPage) << "Viewer";
    QTest::newRow("graphics") << int(kGraphicsPage) << "Graphics";
    QTest::newRow("slideshow") << int(kSlideshowPage) << "Slideshow";
    QTest::newRow("multimedia") << int(kMultimediaPage) << "Multimedia";
    QTest::newRow("full screen") << OptionsStartPage(false, true) << "Graphics";
    QTest::newRow("media mode") << OptionsStartPage(true, false) << "Multimedia";
    QTest::newRow("neither") << OptionsStartPage(false, false) << "Viewer";
}

void OptionsFormTest::opensOnTheRequestedTab() {
    QFETCH(int, page);
    QFETCH(QString, tab);
    Fixture f;
    f.open(page);
    auto* tabs = f.get<QTabWidget>("tabs");
    QCOMPARE(tabs->tabText(tabs->currentIndex()), tab);
}

void OptionsFormTest::controlsShowTheOptions() {
    Fixture f;
    f.target.bitsPerPixel = 8;
    f.options.MenuBar = false;
    f.options.FaxQuality = 2;
    f.options.PhotoCdStep = 6;
    f.options.JpegPalette = 1;
    f.options.EffectsSpeed = 3;
    f.options.SvgaPalette = 2;
    f.options.TextPosition = 1;
    f.options.SlideshowDelay = 4300;
    f.options.Volume = 250;
    f.options.VurJukebox = true;
    f.options.MediaAutoPlayLoop = false;
    f.options.BackColor = 0x00204080;
    f.open();
    QVERIFY(!f.box("chkMenus")->isChecked());
    QVERIFY(f.box("chkToolBar")->isChecked());
    QCOMPARE(f.group("grpFaxQuality")->ItemIndex(), 2);
    QCOMPARE(f.group("grpPhotoCd")->ItemIndex(), 6);
    QCOMPARE(f.group("grpJpegPalette")->ItemIndex(), 1);
    QCOMPARE(f.group("grpEffectsSpeed")->ItemIndex(), 3);
    QCOMPARE(f.group("grpSvgaPalette")->ItemIndex(), 2);
    QCOMPARE(f.group("grpTextPosition")->ItemIndex(), 1);
    QCOMPARE(f.delay()->value(), 4300);
    QCOMPARE(f.delayLabel()->text(), QStringLiteral("&Delay = 4.3s"));
    QCOMPARE(f.get<QSlider>("tbVolume")->value(), 250);
    QVERIFY(f.box("chkVurJukebox")->isChecked());
    QVERIFY(!f.box("chkAutoPlayLoop")->isChecked());
    QCOMPARE(f.get<TColorPanel>("pnlBackColor")->Color(), QColor(0x20, 0x40, 0x80));
    QVERIFY(!f.button("btnApply")->isEnabled());
    // Ok without a change keeps every option.
    const TOptions before = f.options;
    f.click("btnOk");
    QCOMPARE(f.form->result(), int(QDialog::Accepted));
    QVERIFY(f.options == before);
}

void OptionsFormTest::autoSizeUncheckedDisablesAndClearsAutoCenter() {
    Fixture f;
    f.open();
    QVERIFY(f.box("chkAutoCenter")->isEnabled());
    QVERIFY(f.box("chkAutoCenter")->isChecked());
    f.click("chkAutoSize");
    QVERIFY(!f.box("chkAutoSize")->isChecked());
    QVERIFY(!f.box("chkAutoCenter")->isEnabled());
    QVERIFY(!f.box("chkAutoCenter")->isChecked());
    QVERIFY(f.button("btnApply")->isEnabled());
    // Checking Auto Size again enables Auto Center, still unchecked.
    f.click("chkAutoSize");
    QVERIFY(f.box("chkAutoCenter")->isEnabled());
    QVERIFY(!f.box("chkAutoCenter")->isChecked());
    f.click("chkAutoSize");
    f.click("btnOk");
    QVERIFY(!f.options.AutoSize);
    QVERIFY(!f.options.AutoCenter);
}

void OptionsFormTest::openingWithAutoSizeOffSwitchesAutoCenterOff() {
    Fixture f;
    f.options.AutoSize = false;
    f.options.AutoCenter = true;
    f.open();
    QVERIFY(!f.box("chkAutoCenter")->isEnabled());
    QVERIFY(!f.box("chkAutoCenter")->isChecked());
    f.click("btnCancel");
    QVERIFY(!f.options.AutoCenter);
}

void OptionsFormTest::buttonTextNeedsTheToolBar() {
    Fixture f;
    f.options.ToolBar = false;
    f.open();
    QVERIFY(!f.box("chkButtonText")->isEnabled());
    f.click("chkToolBar");
    QVERIFY(f.box("chkButtonText")->isEnabled());
    f.click("chkToolBar");
    QVERIFY(!f.box("chkButtonText")->isEnabled());
    QVERIFY(f.box("chkButtonText")->isChecked()); // disabled, not cleared
}

void OptionsFormTest::useScreenFollowsAutoReduce() {
    Fixture f;
    f.options.AutoReduce = false;
    f.options.UseScreen = false;
    f.open();
    QVERIFY(!f.box("chkUseScreen")->isEnabled());
    f.click("chkAutoReduce");
    QVERIFY(f.box("chkUseScreen")->isEnabled());
    f.click("chkUseScreen");
    QVERIFY(f.box("chkUseScreen")->isChecked());
    f.click("chkAutoReduce");
    QVERIFY(!f.box("chkUseScreen")->isEnabled());
    QVERIFY(!f.box("chkUseScreen")->isChecked());
}

void OptionsFormTest::useScreenIsOffOnScreensBelowFifteenBits() {
    for (int bpp : {8, 12}) {
        Fixture f;
        f.target.bitsPerPixel = bpp;
        f.options.UseScreen = true;
        f.open();
        QVERIFY(!f.box("chkUseScreen")->isEnabled());
        QVERIFY(!f.box("chkUseScreen")->isChecked());
        QVERIFY(!f.options.UseScreen);
        f.click("chkAutoReduce");
        f.click("chkAutoReduce");
        QVERIFY(!f.box("chkUseScreen")->isEnabled());
    }
    Fixture f;
    f.target.bitsPerPixel = 16;
    f.options.UseScreen = true;
    f.open();
    QVERIFY(f.box("chkUseScreen")->isEnabled());
    QVERIFY(f.box("chkUseScreen")->isChecked());
}

void OptionsFormTest::fastRefreshOnlyAboveEightBits() {
    Fixture f;
    f.open();
    QVERIFY(f.box("chkFastRefresh")->isEnabled());
    Fixture g;
    g.target.bitsPerPixel = 8;
    g.options.FastRefresh = false;
    g.open();
    QVERIFY(!g.box("chkFastRefresh")->isEnabled());
}

void OptionsFormTest::palettesOnlyOnEightBitScreens() {
    for (int bpp : {8, 16, 24, 32}) {
        Fixture f;
        f.target.bitsPerPixel = bpp;
        f.open();
        QCOMPARE(f.group("grpSvgaPalette")->isEnabled(), bpp == 8);
        QCOMPARE(f.group("grpJpegPalette")->isEnabled(), bpp == 8);
        QVERIFY(f.group("grpFaxQuality")->isEnabled());
    }
}

void OptionsFormTest::fullScreenDisablesTheWindowControls_data() {
    QTest::addColumn<bool>("fullScreen");
    QTest::addColumn<bool>("maxFull");
    QTest::addColumn<bool>("mediaMaxFull");
    QTest::addColumn<QStringList>("disabled");
    const QStringList all = {"chkMaxFullScreen",     "chkStatusBar",      "chkMenus",
                             "chkToolBar",           "chkButtonText",     "chkPathBox",
                             "chkStatusLine",        "chkPlayerControls", "chkTrackBar",
                             "chkMediaMaxFullScreen"};
    QTest::newRow("window") << false << true << true << QStringList{};
    QTest::newRow("full screen") << true << false << false
                                 << QStringList{"chkMaxFullScreen", "chkStatusBar"};
    QTest::newRow("full screen, max full")
        << true << true << false << QStringList{"chkMaxFullScreen", "chkStatusBar",  "chkMenus",
                                                "chkToolBar",       "chkButtonText", "chkPathBox"};
    QTest::newRow("full screen, media max full")
        << true << false << true
        << QStringList{"chkMaxFullScreen",  "chkStatusBar", "chkStatusLine",
                       "chkPlayerControls", "chkTrackBar",  "chkMediaMaxFullScreen"};
    QTest::newRow("full screen, both") << true << true << true << all;
}

void OptionsFormTest::fullScreenDisablesTheWindowControls() {
    QFETCH(bool, fullScreen);
    QFETCH(bool, maxFull);
    QFETCH(bool, mediaMaxFull);
    QFETCH(QStringList, disabled);
    Fixture f;
    f.target.fullScreen = fullScreen;
    f.options.MaxFullScreen = maxFull;
    f.options.MediaMaxFullScreen = mediaMaxFull;
    f.open(OptionsStartPage(false, fullScreen));
    for (const char* name : {"chkMaxFullScreen", "chkStatusBar", "chkMenus", "chkToolBar",
                             "chkButtonText", "chkPathBox", "chkStatusLine", "chkPlayerControls",
                             "chkTrackBar", "chkMediaMaxFullScreen"}) {
        const bool shouldBeEnabled = !disabled.contains(QLatin1String(name));
        QVERIFY2(f.box(name)->isEnabled() == shouldBeEnabled, name);
    }
    // A change elsewhere does not bring them back.
    f.click("chkVurJukebox");
    f.click("chkPlayerControls");
    for (const QString& name : disabled)
        QVERIFY2(!f.box(name.toLatin1())->isEnabled(), qPrintable(name));
}

void OptionsFormTest::trackBarFollowsPlayerControls() {
    Fixture f;
    f.open();
    QVERIFY(f.box("chkTrackBar")->isEnabled());
    f.click("chkPlayerControls");
    QVERIFY(!f.box("chkTrackBar")->isEnabled());
    f.click("chkPlayerControls");
    QVERIFY(f.box("chkTrackBar")->isEnabled());
}

void OptionsFormTest::delayLabel_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "&Delay = 0.0s";
    QTest::newRow("100") << 100 << "&Delay = 0.1s";
    QTest::newRow("1000") << 1000 << "&Delay = 1.0s";
    QTest::newRow("2500") << 2500 << "&Delay = 2.5s";
    QTest::newRow("59900") << 59900 << "&Delay = 59.9s";
    QTest::newRow("60000") << 60000 << "&Delay = 60.0s";
}

void OptionsFormTest::delayLabel() {
    QFETCH(int, position);
    QFETCH(QString, text);
    Fixture f;
    f.open(kSlideshowPage);
    f.delay()->setValue(position);
    QCOMPARE(f.delayLabel()->text(), text);
    QCOMPARE(f.delayLabel()->buddy(), static_cast<QWidget*>(f.delay()));
}

void OptionsFormTest::maximumDelay() {
    Fixture f;
    f.options.SlideshowDelay = kMaximumDelay;
    f.open(kSlideshowPage);
    QVERIFY(f.box("chkMaxDelay")->isChecked());
    QVERIFY(!f.delay()->isEnabled());
    QCOMPARE(f.delayLabel()->text(), QStringLiteral("&Delay = 2 hours"));
    // Unchecked: the stored delay was the maximum, so the bar goes to 1000.
    f.click("chkMaxDelay");
    QVERIFY(f.delay()->isEnabled());
    QCOMPARE(f.delay()->value(), 1000);
    QCOMPARE(f.delayLabel()->text(), QStringLiteral("&Delay = 1.0s"));
    QVERIFY(f.button("btnApply")->isEnabled());
    f.click("btnApply");
    QCOMPARE(f.options.SlideshowDelay, 1000);

    // Checked again: position 1, bar disabled; unchecked: back at the stored delay.
    f.delay()->setValue(3000);
    f.click("btnApply");
    f.click("chkMaxDelay");
    QCOMPARE(f.delay()->value(), 1);
    QVERIFY(!f.delay()->isEnabled());
    QCOMPARE(f.delayLabel()->text(), QStringLiteral("&Delay = 2 hours"));
    f.click("chkMaxDelay");
    QCOMPARE(f.delay()->value(), 3000);
    f.click("chkMaxDelay");
    f.click("btnOk");
    QCOMPARE(f.options.SlideshowDelay, kMaximumDelay);
}

void OptionsFormTest::movingTheDelayEnablesApplyOnlyWhenItDiffers() {
    Fixture f;
    f.options.SlideshowDelay = 2000;
    f.open(kSlideshowPage);
    f.delay()->setValue(2000);
    QVERIFY(!f.button("btnApply")->isEnabled());
    f.delay()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(f.delay()->value(), 2100);
    QVERIFY(f.button("btnApply")->isEnabled());
    f.delay()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(f.delay()->value(), 3100);
    f.click("btnOk");
    QCOMPARE(f.options.SlideshowDelay, 3100);
}

void OptionsFormTest::okAppliesAndCloses() {
    Fixture f;
    f.open();
    f.click("chkToolBar"); // hides the tool bar
    f.click("chkMultipleViewers");
    f.pickRadio("grpFaxQuality", 3);
    f.pickRadio("grpPhotoCd", 0);
    f.pickRadio("grpEffectsSpeed", 2);
    f.pickRadio("grpTextPosition", 2);
    f.click("chkAlwaysFullScreen");
    f.click("chkStatusLine");
    f.click("chkAutoPlayLoop");
    f.get<QSlider>("tbVolume")->setValue(800);
    f.click("chkMediaMaxFullScreen");
    f.target.calls.clear();
    f.click("btnOk");
    QVERIFY(!f.form->isVisible());
    QCOMPARE(f.form->result(), int(QDialog::Accepted));
    QVERIFY(!f.options.ToolBar);
    QVERIFY(!f.options.MultipleViewers);
    QCOMPARE(f.options.FaxQuality, 3);
    QCOMPARE(f.options.PhotoCdStep, 0);
    QCOMPARE(f.options.EffectsSpeed, 2);
    QCOMPARE(f.options.TextPosition, 2);
    QVERIFY(!f.options.AlwaysFullScreen);
    QVERIFY(!f.options.MediaStatusLine);
    QVERIFY(!f.options.MediaAutoPlayLoop);
    QCOMPARE(f.options.Volume, 800);
    QVERIFY(!f.options.MediaMaxFullScreen);
    const std::vector<std::string> expected = {"close library image", "hide tool bar",
                                               "fast paint on", "relayout"};
    QCOMPARE(f.target.calls, expected);
}

void OptionsFormTest::applyKeepsTheDialogOpenAndCancelKeepsWhatWasApplied() {
    Fixture f;
    f.open();
    f.click("chkStatusBar");
    QVERIFY(f.button("btnApply")->isEnabled());
    f.click("btnApply");
    QVERIFY(f.form->isVisible());
    QVERIFY(!f.button("btnApply")->isEnabled());
    QVERIFY(!f.options.StatusBar);
    QVERIFY(f.target.called("hide status bar"));
    f.click("chkPathBox");
    f.click("btnCancel");
    QCOMPARE(f.form->result(), int(QDialog::Rejected));
    QVERIFY(!f.options.StatusBar);
    QVERIFY(f.options.PathBox);
    QVERIFY(!f.target.called("hide path box"));
}

void OptionsFormTest::cancelChangesNothing() {
    Fixture f;
    const TOptions before = f.options;
    f.open();
    f.click("chkAutoSize");
    f.click("chkMenus");
    f.pickRadio("grpPhotoCd", 5);
    f.get<QSlider>("tbVolume")->setValue(0);
    f.delay()->setValue(7000);
    f.click("btnCancel");
    QVERIFY(f.options == before);
    QVERIFY(f.target.calls.empty());
}

void OptionsFormTest::volumeZeroIsStoredAsOne() {
    Fixture f;
    f.target.playerExists = true;
    f.open(kMultimediaPage);
    f.get<QSlider>("tbVolume")->setValue(0);
    QVERIFY(f.button("btnApply")->isEnabled());
    f.click("btnOk");
    QCOMPARE(f.options.Volume, 1);
    QVERIFY(f.target.called("player volume -6908"));
}

void OptionsFormTest::jpegPaletteChangeReloadsOnEightBitScreens() {
    Fixture f;
    f.target.bitsPerPixel = 8;
    f.target.currentExt = ".JPG";
    f.open(kGraphicsPage);
    QVERIFY(f.group("grpJpegPalette")->isEnabled());
    f.pickRadio("grpJpegPalette", 0);
    f.click("btnOk");
    QCOMPARE(f.options.JpegPalette, 0);
    QVERIFY(f.target.called("reopen for jpeg palette"));
}

void OptionsFormTest::colourDialogFromAClick() {
    ColorDialogs dialogs;
    dialogs.colorAnswers.push_back({true, QColor(10, 20, 30)});
    Fixture f;
    f.open();
    auto* panel = f.get<TColorPanel>("pnlBackColor");
    QTest::mouseClick(panel, Qt::LeftButton);
    QCOMPARE(dialogs.presets.size(), size_t(1));
    QCOMPARE(dialogs.presets[0], QApplication::palette().color(QPalette::Base));
    QCOMPARE(panel->Color(), QColor(10, 20, 30));
    QVERIFY(f.button("btnApply")->isEnabled());
    QCOMPARE(f.options.BackColor, 0u);
    f.click("btnOk");
    QCOMPARE(f.options.BackColor, 0x000A141Eu);
    QVERIFY(f.target.called("back color #0a141e"));
}

void OptionsFormTest::colourDialogFromTheKeyboard() {
    ColorDialogs dialogs;
    dialogs.colorAnswers.push_back({true, QColor(200, 100, 0)});
    Fixture f;
    f.open();
    f.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    auto* panel = f.get<TColorPanel>("pnlBackColor");
    f.box("chkAutoCenter")->setFocus(Qt::OtherFocusReason);
    QVERIFY(dialogs.presets.empty());
    QTest::keyClick(f.box("chkAutoCenter"), Qt::Key_Tab);
    QVERIFY(panel->hasFocus());
    QCOMPARE(dialogs.presets.size(), size_t(1));
    QCOMPARE(dialogs.presets[0], QApplication::palette().color(QPalette::Button));
    QCOMPARE(panel->Color(), QColor(200, 100, 0));
    // Focus coming back from the closed colour dialog opens nothing.
    QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(panel, &back);
    QCOMPARE(dialogs.presets.size(), size_t(1));
    // Leaving with Tab opens nothing either.
    QTest::keyClick(panel, Qt::Key_Tab);
    QVERIFY(f.box("chkMultipleViewers")->hasFocus());
    QCOMPARE(dialogs.presets.size(), size_t(1));
    f.click("btnApply");
    QCOMPARE(f.options.BackColor, 0x00C86400u);
}

void OptionsFormTest::colourDialogCancelled() {
    ColorDialogs dialogs;
    dialogs.colorAnswers.push_back({false, QColor(1, 2, 3)});
    Fixture f;
    f.options.BackColor = 0x00336699;
    f.open();
    auto* panel = f.get<TColorPanel>("pnlBackColor");
    QTest::mouseClick(panel, Qt::LeftButton);
    QCOMPARE(dialogs.presets.size(), size_t(1));
    QCOMPARE(panel->Color(), QColor(0x33, 0x66, 0x99));
    QVERIFY(!f.button("btnApply")->isEnabled());
    f.click("btnOk");
    QCOMPARE(f.options.BackColor, 0x00336699u);
    QVERIFY(!f.target.called("back color #336699"));
}

void OptionsFormTest::helpAndEffectsButtons() {
    const std::pair<int, const char*> cases[] = {{kViewerPage, "help 103"},
                                                 {kGraphicsPage, "help 103"},
                                                 {kSlideshowPage, "help 300"},
                                                 {kMultimediaPage, "help 500"}};
    for (const auto& [page, call] : cases) {
        Fixture f;
        f.open(page);
        f.click("btnHelp");
        QVERIFY2(f.target.called(call), call);
        QVERIFY(f.form->isVisible());
    }
    Fixture f;
    f.open(kSlideshowPage);
    f.click("btnEffects");
    QVERIFY(f.target.called("effect selection"));
}

void OptionsFormTest::showOptionsDialogEntry() {
    for (const char* answer : {"btnOk", "btnCancel"}) {
        TOptions options;
        RecordingTarget target;
        QTimer::singleShot(0, [answer] {
            auto* form = qobject_cast<TOptionsForm*>(QApplication::activeModalWidget());
            QVERIFY(form);
            form->findChild<QCheckBox*>("chkVurJukebox")->click();
            form->findChild<QPushButton*>(answer)->click();
        });
        const bool ok = ShowOptionsDialog(nullptr, options, target, kSlideshowPage);
        QCOMPARE(ok, QByteArray(answer) == "btnOk");
        QCOMPARE(options.VurJukebox, ok);
    }
}

void OptionsFormTest::radioGroupWithoutAMatchingItem() {
    TRadioGroup group(QStringLiteral("Text position"), {"Auto", "Top", "Bottom"});
    QSignalSpy changed(&group, &TRadioGroup::Changed);
    group.SetItemIndex(2);
    QCOMPARE(group.ItemIndex(), 2);
    QCOMPARE(changed.count(), 1);
    group.SetItemIndex(7);
    QCOMPARE(group.ItemIndex(), -1);
    group.SetItemIndex(-1);
    QCOMPARE(group.ItemIndex(), -1);
    group.SetItemIndex(0);
    QCOMPARE(group.ItemIndex(), 0);

    // Options that no item shows (never the case after the record's repairs)
    // are kept by Ok rather than replaced.
    Fixture f;
    f.options.TextPosition = 5;
    f.open(kSlideshowPage);
    QCOMPARE(f.group("grpTextPosition")->ItemIndex(), -1);
    f.click("btnOk");
    QCOMPARE(f.options.TextPosition, 5);
}

void OptionsFormTest::grabTabs() {
    Fixture f;
    f.target.bitsPerPixel = 8; // every group enabled
    f.options.BackColor = 0x00004080;
    f.open();
    auto* tabs = f.get<QTabWidget>("tabs");
    const char* names[] = {"viewer", "graphics", "slideshow", "multimedia"};
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        const QPixmap shot = f.form->grab();
        QVERIFY(!shot.isNull());
        QVERIFY(shot.save(QStringLiteral("/tmp/options_%1.png").arg(QLatin1String(names[i]))));
    }
}

QTEST_MAIN(OptionsFormTest)
#include "test_ui_options.moc"
