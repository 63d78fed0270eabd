#include "TOptionsForm.h"

#include "app/shell/ui/Dialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

namespace lumara {

// ---- TRadioGroup

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], this);
        buttons_->addButton(radio, i);
        layout->addWidget(radio);
    }
    layout->addStretch(1);
    connect(buttons_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) emit Changed();
    });
}

int TRadioGroup::ItemIndex() const {
    return buttons_->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* b = buttons_->button(index)) {
        b->setChecked(true);
        return;
    }
    // No item for this index: show none checked.
    buttons_->setExclusive(false);
    for (QAbstractButton* b : buttons_->buttons())
        b->setChecked(false);
    buttons_->setExclusive(true);
}

QStringList TRadioGroup::Items() const {
    QStringList items;
    for (QAbstractButton* b : buttons_->buttons())
        items << b->text();
    return items;
}

// ---- TColorPanel

TColorPanel::TColorPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setMinimumSize(48, 24);
    SetColor(Qt::black);
}

void TColorPanel::SetColor(const QColor& color) {
    color_ = color;
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
}

void TColorPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        event->accept();
        emit Clicked();
        return;
    }
    QFrame::mousePressEvent(event);
}

void TColorPanel::focusInEvent(QFocusEvent* event) {
    QFrame::focusInEvent(event);
    // Only a move of the keyboard focus counts; focus coming back after the
    // colour dialog closed must not open it again.
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        emit Entered();
}

// ---- TOptionsForm

namespace {

QCheckBox* check(const QString& caption, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

} // namespace

TOptionsForm::TOptionsForm(TOptions& options, OptionsTarget& target, int page, QWidget* parent)
    : QDialog(parent), options_(options), target_(target),
      bitsPerPixel_(target.DisplayBitsPerPixel()), fullScreen_(target.FullScreen()) {
    setObjectName(QStringLiteral("OptionsForm"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);
    QFont f = font();
    f.setPointSize(logicalDpiY() > 96 ? 9 : 8);
    setFont(f);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabs"));
    const char* names[] = {"Viewer", "Graphics", "Slideshow", "Multimedia"};
    QWidget* pages[4];
    for (int i = 0; i < 4; ++i) {
        pages[i] = new QWidget(tabs_);
        pages[i]->setObjectName(QLatin1String("tab") + QLatin1String(names[i]));
        tabs_->addTab(pages[i], QLatin1String(names[i]));
    }
    buildViewerTab(pages[kViewerPage]);
    buildGraphicsTab(pages[kGraphicsPage]);
    buildSlideshowTab(pages[kSlideshowPage]);
    buildMultimediaTab(pages[kMultimediaPage]);
    tabs_->setCurrentIndex(page >= 0 && page < 4 ? page : kViewerPage);

    btnOk_ = new QPushButton(QStringLiteral("Ok"), this);
    btnApply_ = new QPushButton(QStringLiteral("Apply"), this);
    btnCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    btnHelp_ = new QPushButton(QStringLiteral("Help"), this);
    btnOk_->setObjectName(QStringLiteral("btnOk"));
    btnApply_->setObjectName(QStringLiteral("btnApply"));
    btnCancel_->setObjectName(QStringLiteral("btnCancel"));
    btnHelp_->setObjectName(QStringLiteral("btnHelp"));
    btnOk_->setDefault(true);
    btnApply_->setEnabled(false);
    connect(btnOk_, &QPushButton::clicked, this, &TOptionsForm::okClicked);
    connect(btnApply_, &QPushButton::clicked, this, &TOptionsForm::ApplyChanges);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp_, &QPushButton::clicked, this, &TOptionsForm::helpClicked);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {btnOk_, btnApply_, btnCancel_, btnHelp_})
        buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);
}

void TOptionsForm::buildViewerTab(QWidget* page) {
    chkAutoSize_ = check(QStringLiteral("Auto Size"), "chkAutoSize", page);
    chkAutoCenter_ = check(QStringLiteral("Auto Center"), "chkAutoCenter", page);
    chkMultipleViewers_ = check(QStringLiteral("Multiple viewers"), "chkMultipleViewers", page);

    auto* controls = new QGroupBox(QStringLiteral("Controls"), page);
    controls->setObjectName(QStringLiteral("grpViewerControls"));
    chkMaxFullScreen_ = check(QStringLiteral("Max Full screen"), "chkMaxFullScreen", controls);
    chkStatusBar_ = check(QStringLiteral("Status bar"), "chkStatusBar", controls);
    chkButtonText_ = check(QStringLiteral("Button text"), "chkButtonText", controls);
    chkToolBar_ = check(QStringLiteral("Tool bar"), "chkToolBar", controls);
    chkMenus_ = check(QStringLiteral("Menus"), "chkMenus", controls);
    chkPathBox_ = check(QStringLiteral("Path box"), "chkPathBox", controls);
    auto* controlsLayout = new QVBoxLayout(controls);
    controlsLayout->setSpacing(2);
    for (QCheckBox* b :
         {chkMaxFullScreen_, chkStatusBar_, chkButtonText_, chkToolBar_, chkMenus_, chkPathBox_})
        controlsLayout->addWidget(b);

    auto* backLabel = new QLabel(QStringLiteral("Back color"), page);
    pnlBackColor_ = new TColorPanel(page);
    pnlBackColor_->setObjectName(QStringLiteral("pnlBackColor"));
    pnlBackColor_->setFixedSize(64, 24);
    auto* back = new QHBoxLayout;
    back->addWidget(backLabel);
    back->addWidget(pnlBackColor_);
    back->addStretch(1);

    auto* left = new QVBoxLayout;
    left->addWidget(chkAutoSize_);
    left->addWidget(chkAutoCenter_);
    left->addSpacing(12);
    left->addLayout(back);
    left->addSpacing(12);
    left->addWidget(chkMultipleViewers_);
    left->addStretch(1);

    auto* layout = new QHBoxLayout(page);
    layout->addLayout(left);
    layout->addSpacing(16);
    layout->addWidget(controls, 0, Qt::AlignTop);
    layout->addStretch(1);

    // Keyboard order follows the page: left column, then the Controls group.
    QWidget::setTabOrder(chkAutoSize_, chkAutoCenter_);
    QWidget::setTabOrder(chkAutoCenter_, pnlBackColor_);
    QWidget::setTabOrder(pnlBackColor_, chkMultipleViewers_);
    QWidget::setTabOrder(chkMultipleViewers_, chkMaxFullScreen_);

    for (QCheckBox* b : {chkAutoSize_, chkAutoCenter_, chkMultipleViewers_, chkMaxFullScreen_,
                         chkStatusBar_, chkButtonText_, chkToolBar_, chkMenus_, chkPathBox_})
        connect(b, &QCheckBox::toggled, this, &TOptionsForm::controlChanged);
    connect(pnlBackColor_, &TColorPanel::Clicked, this,
            [this] { chooseBackColor(QApplication::palette().color(QPalette::Base)); });
    connect(pnlBackColor_, &TColorPanel::Entered, this,
            [this] { chooseBackColor(QApplication::palette().color(QPalette::Button)); });
}

void TOptionsForm::buildGraphicsTab(QWidget* page) {
    grpFaxQuality_ = new TRadioGroup(QStringLiteral("Fax quality"),
                                     {QStringLiteral("b/w"), QStringLiteral("4 shades"),
                                      QStringLiteral("16 shades"), QStringLiteral("64 shades")},
                                     page);
    grpFaxQuality_->setObjectName(QStringLiteral("grpFaxQuality"));
    grpPhotoCd_ = new TRadioGroup(QStringLiteral("Photo-CD step"),
                                  {QStringLiteral("    64x96"), QStringLiteral("  128x192"),
                                   QStringLiteral("  256x384"), QStringLiteral("  512x768"),
                                   QStringLiteral("1024x1536"), QStringLiteral("2048x3072"),
                                   QStringLiteral("4096x6144")},
                                  page);
    grpPhotoCd_->setObjectName(QStringLiteral("grpPhotoCd"));
    grpJpegPalette_ =
        new TRadioGroup(QStringLiteral("JPEG palette"),
                        {QStringLiteral("fixed + ordered"), QStringLiteral("fixed + dithered"),
                         QStringLiteral("color matched"), QStringLiteral("optimal + dithered")},
                        page);
    grpJpegPalette_->setObjectName(QStringLiteral("grpJpegPalette"));
    chkAutoReduce_ = check(QStringLiteral("Auto Reduce"), "chkAutoReduce", page);
    chkUseScreen_ = check(QStringLiteral("Use Screen"), "chkUseScreen", page);
    chkFastRefresh_ = check(QStringLiteral("Fast Refresh"), "chkFastRefresh", page);

    auto* left = new QVBoxLayout;
    left->addWidget(grpFaxQuality_);
    left->addWidget(grpJpegPalette_);
    left->addStretch(1);
    auto* checks = new QVBoxLayout;
    checks->addWidget(chkAutoReduce_);
    checks->addWidget(chkUseScreen_);
    checks->addWidget(chkFastRefresh_);
    checks->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(grpPhotoCd_);
    right->addLayout(checks);
    auto* layout = new QHBoxLayout(page);
    layout->addLayout(left);
    layout->addLayout(right);
    layout->addStretch(1);

    for (TRadioGroup* g : {grpFaxQuality_, grpPhotoCd_, grpJpegPalette_})
        connect(g, &TRadioGroup::Changed, this, &TOptionsForm::controlChanged);
    for (QCheckBox* b : {chkAutoReduce_, chkUseScreen_, chkFastRefresh_})
        connect(b, &QCheckBox::toggled, this, &TOptionsForm::controlChanged);
}

void TOptionsForm::buildSlideshowTab(QWidget* page) {
    grpEffectsSpeed_ = new TRadioGroup(QStringLiteral("Effects speed"),
                                       {QStringLiteral("Faster"), QStringLiteral("Normal"),
                                        QStringLiteral("Slower"), QStringLiteral("Slowest")},
                                       page);
    grpEffectsSpeed_->setObjectName(QStringLiteral("grpEffectsSpeed"));
    lblDelay_ = new QLabel(page);
    lblDelay_->setObjectName(QStringLiteral("lblDelay"));
    sbDelay_ = new QScrollBar(Qt::Horizontal, page);
    sbDelay_->setObjectName(QStringLiteral("sbDelay"));
    sbDelay_->setRange(0, kMaxSlideshowDelay);
    sbDelay_->setSingleStep(100);
    sbDelay_->setPageStep(1000);
    sbDelay_->setMinimumWidth(200);
    lblDelay_->setBuddy(sbDelay_);
    chkMaxDelay_ = check(QStringLiteral("Maximum delay"), "chkMaxDelay", page);
    btnEffects_ = new QPushButton(QStringLiteral("Effects"), page);
    btnEffects_->setObjectName(QStringLiteral("btnEffects"));
    grpSvgaPalette_ = new TRadioGroup(QStringLiteral("SVGA Palette"),
                                      {QStringLiteral("optimal (for graphics)"),
                                       QStringLiteral("fixed (for effects)"),
                                       QStringLiteral("VGA (for multimedia)")},
                                      page);
    grpSvgaPalette_->setObjectName(QStringLiteral("grpSvgaPalette"));
    chkAutoSizeVideo_ = check(QStringLiteral("Auto Size video"), "chkAutoSizeVideo", page);
    chkAlwaysFullScreen_ = check(QStringLiteral("Always Full screen"), "chkAlwaysFullScreen", page);
    chkVurJukebox_ = check(QStringLiteral("VUR Jukebox"), "chkVurJukebox", page);
    grpTextPosition_ = new TRadioGroup(
        QStringLiteral("Text position"),
        {QStringLiteral("Auto"), QStringLiteral("Top"), QStringLiteral("Bottom")}, page);
    grpTextPosition_->setObjectName(QStringLiteral("grpTextPosition"));

    auto* left = new QVBoxLayout;
    left->addWidget(grpEffectsSpeed_);
    left->addWidget(grpTextPosition_);
    left->addStretch(1);

    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(chkMaxDelay_);
    delayRow->addStretch(1);
    delayRow->addWidget(btnEffects_);
    auto* right = new QVBoxLayout;
    right->addWidget(lblDelay_);
    right->addWidget(sbDelay_);
    right->addLayout(delayRow);
    right->addSpacing(6);
    right->addWidget(grpSvgaPalette_);
    right->addWidget(chkAutoSizeVideo_);
    right->addWidget(chkAlwaysFullScreen_);
    right->addWidget(chkVurJukebox_);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(page);
    layout->addLayout(left);
    layout->addSpacing(8);
    layout->addLayout(right, 1);

    for (TRadioGroup* g : {grpEffectsSpeed_, grpSvgaPalette_, grpTextPosition_})
        connect(g, &TRadioGroup::Changed, this, &TOptionsForm::controlChanged);
    for (QCheckBox* b : {chkAutoSizeVideo_, chkAlwaysFullScreen_, chkVurJukebox_})
        connect(b, &QCheckBox::toggled, this, &TOptionsForm::controlChanged);
    connect(sbDelay_, &QScrollBar::valueChanged, this, &TOptionsForm::delayMoved);
    connect(chkMaxDelay_, &QCheckBox::toggled, this, &TOptionsForm::maxDelayToggled);
    connect(btnEffects_, &QPushButton::clicked, this, [this] { target_.ShowEffectSelection(); });
}

void TOptionsForm::buildMultimediaTab(QWidget* page) {
    auto* controls = new QGroupBox(QStringLiteral("Controls"), page);
    controls->setObjectName(QStringLiteral("grpMediaControls"));
    chkMediaMaxFullScreen_ =
        check(QStringLiteral("Max Full screen"), "chkMediaMaxFullScreen", controls);
    chkStatusLine_ = check(QStringLiteral("Status line"), "chkStatusLine", controls);
    chkTrackBar_ = check(QStringLiteral("Track bar"), "chkTrackBar", controls);
    chkPlayerControls_ = check(QStringLiteral("Player controls"), "chkPlayerControls", controls);
    auto* controlsLayout = new QVBoxLayout(controls);
    controlsLayout->setSpacing(2);
    for (QCheckBox* b : {chkMediaMaxFullScreen_, chkStatusLine_, chkTrackBar_, chkPlayerControls_})
        controlsLayout->addWidget(b);

    chkAutoPlayLoop_ = check(QStringLiteral("Auto Play + Loop"), "chkAutoPlayLoop", page);
    auto* volumeLabel = new QLabel(QStringLiteral("Volume"), page);
    tbVolume_ = new QSlider(Qt::Horizontal, page);
    tbVolume_->setObjectName(QStringLiteral("tbVolume"));
    tbVolume_->setRange(0, kMaxVolume);
    tbVolume_->setSingleStep(10);
    tbVolume_->setPageStep(100);
    tbVolume_->setTickPosition(QSlider::TicksBelow);
    tbVolume_->setTickInterval(100);
    tbVolume_->setMinimumWidth(180);
    volumeLabel->setBuddy(tbVolume_);

    auto* right = new QVBoxLayout;
    right->addWidget(chkAutoPlayLoop_);
    right->addSpacing(12);
    right->addWidget(volumeLabel);
    right->addWidget(tbVolume_);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(page);
    layout->addWidget(controls, 0, Qt::AlignTop);
    layout->addSpacing(8);
    layout->addLayout(right, 1);

    for (QCheckBox* b : {chkMediaMaxFullScreen_, chkStatusLine_, chkTrackBar_, chkPlayerControls_,
                         chkAutoPlayLoop_})
        connect(b, &QCheckBox::toggled, this, &TOptionsForm::controlChanged);
    connect(tbVolume_, &QSlider::valueChanged, this, &TOptionsForm::controlChanged);
}

void TOptionsForm::showEvent(QShowEvent* event) {
    if (!loaded_) {
        loaded_ = true;
        loadControls();
        adjustSize();
        if (const QScreen* screen =
                this->screen() ? this->screen() : QApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - rect().center());
        }
    }
    QDialog::showEvent(event);
}

void TOptionsForm::loadControls() {
    loading_ = true;
    TOptions& o = options_;
    chkAutoSize_->setChecked(o.AutoSize);
    chkAutoCenter_->setChecked(o.AutoCenter);
    chkMaxFullScreen_->setChecked(o.MaxFullScreen);
    chkStatusBar_->setChecked(o.StatusBar);
    chkButtonText_->setChecked(o.ButtonText);
    chkToolBar_->setChecked(o.ToolBar);
    chkMenus_->setChecked(o.MenuBar);
    chkPathBox_->setChecked(o.PathBox);
    pnlBackColor_->SetColor(BackColorToQColor(o.BackColor));
    chkMultipleViewers_->setChecked(o.MultipleViewers);
    grpFaxQuality_->SetItemIndex(o.FaxQuality);
    grpPhotoCd_->SetItemIndex(o.PhotoCdStep);
    grpJpegPalette_->SetItemIndex(o.JpegPalette);
    chkAutoReduce_->setChecked(o.AutoReduce);
    chkUseScreen_->setChecked(o.UseScreen);
    chkFastRefresh_->setChecked(o.FastRefresh);
    grpEffectsSpeed_->SetItemIndex(o.EffectsSpeed);
    grpSvgaPalette_->SetItemIndex(o.SvgaPalette);
    grpTextPosition_->SetItemIndex(o.TextPosition);
    chkAutoSizeVideo_->setChecked(o.AutoSizeVideo);
    chkAlwaysFullScreen_->setChecked(o.AlwaysFullScreen);
    chkVurJukebox_->setChecked(o.VurJukebox);
    chkMediaMaxFullScreen_->setChecked(o.MediaMaxFullScreen);
    chkStatusLine_->setChecked(o.MediaStatusLine);
    chkTrackBar_->setChecked(o.MediaTrackBar);
    chkPlayerControls_->setChecked(o.MediaPlayerControls);
    chkAutoPlayLoop_->setChecked(o.MediaAutoPlayLoop);
    tbVolume_->setValue(o.Volume);

    const bool maxDelay = o.SlideshowDelay == kMaximumDelay;
    chkMaxDelay_->setChecked(maxDelay);
    sbDelay_->setValue(o.SlideshowDelay);
    sbDelay_->setEnabled(!maxDelay);
    updateDelayLabel();

    applyDependencies();

    // Use Screen only means something on screens of 15 bits and more.
    chkUseScreen_->setEnabled(chkAutoReduce_->isChecked());
    if (bitsPerPixel_ < 15) {
        chkUseScreen_->setEnabled(false);
        chkUseScreen_->setChecked(false);
        o.UseScreen = false;
    }
    if (!chkAutoSize_->isChecked()) o.AutoCenter = false;
    // The palettes matter on 256-colour screens only.
    if (bitsPerPixel_ != 8) {
        grpSvgaPalette_->setEnabled(false);
        grpJpegPalette_->setEnabled(false);
    }
    if (fullScreen_) {
        chkMaxFullScreen_->setEnabled(false);
        chkStatusBar_->setEnabled(false);
        if (o.MaxFullScreen)
            for (QCheckBox* b : {chkMenus_, chkToolBar_, chkButtonText_, chkPathBox_})
                b->setEnabled(false);
        if (o.MediaMaxFullScreen)
            for (QCheckBox* b :
                 {chkStatusLine_, chkPlayerControls_, chkTrackBar_, chkMediaMaxFullScreen_})
                b->setEnabled(false);
    }
    btnApply_->setEnabled(false);
    loading_ = false;
}

void TOptionsForm::applyDependencies() {
    if (chkToolBar_->isEnabled()) chkButtonText_->setEnabled(chkToolBar_->isChecked());
    if (bitsPerPixel_ > 8) {
        chkFastRefresh_->setEnabled(true);
        chkUseScreen_->setEnabled(chkAutoReduce_->isChecked() && bitsPerPixel_ >= 15);
        if (!chkAutoReduce_->isChecked()) chkUseScreen_->setChecked(false);
    } else {
        chkFastRefresh_->setEnabled(false);
    }
    chkAutoCenter_->setEnabled(chkAutoSize_->isChecked());
    if (!chkAutoSize_->isChecked()) chkAutoCenter_->setChecked(false);
    if (!fullScreen_) chkTrackBar_->setEnabled(chkPlayerControls_->isChecked());
}

void TOptionsForm::controlChanged() {
    if (loading_) return;
    loading_ = true; // the rules below change boxes themselves
    btnApply_->setEnabled(true);
    applyDependencies();
    loading_ = false;
}

void TOptionsForm::updateDelayLabel() {
    lblDelay_->setText(QString::fromStdString(DelayLabelText(sbDelay_->value())));
}

void TOptionsForm::delayMoved(int position) {
    updateDelayLabel();
    if (!loading_ && position != options_.SlideshowDelay) btnApply_->setEnabled(true);
}

void TOptionsForm::maxDelayToggled(bool checked) {
    if (loading_) return;
    if (checked) {
        sbDelay_->setValue(kMaximumDelay);
        sbDelay_->setEnabled(false);
    } else {
        sbDelay_->setEnabled(true);
        sbDelay_->setValue(options_.SlideshowDelay == kMaximumDelay ? 1000
                                                                    : options_.SlideshowDelay);
    }
    updateDelayLabel();
    controlChanged();
}

void TOptionsForm::chooseBackColor(const QColor& preset) {
    QColor color = preset;
    if (!Dialogs().ChooseColor(color)) return;
    pnlBackColor_->SetColor(color);
    controlChanged();
}

TOptions TOptionsForm::Boxes() const {
    TOptions b = options_;
    b.AutoSize = chkAutoSize_->isChecked();
    b.AutoCenter = chkAutoCenter_->isChecked();
    b.MaxFullScreen = chkMaxFullScreen_->isChecked();
    b.StatusBar = chkStatusBar_->isChecked();
    b.ButtonText = chkButtonText_->isChecked();
    b.ToolBar = chkToolBar_->isChecked();
    b.MenuBar = chkMenus_->isChecked();
    b.PathBox = chkPathBox_->isChecked();
    b.BackColor = QColorToBackColor(pnlBackColor_->Color());
    // A stored value that is not a plain colour stays until a colour is chosen.
    if (BackColorToQColor(options_.BackColor) == pnlBackColor_->Color())
        b.BackColor = options_.BackColor;
    b.MultipleViewers = chkMultipleViewers_->isChecked();
    // A group showing no item keeps the setting.
    auto index = [](const TRadioGroup* g, int current) {
        return g->ItemIndex() >= 0 ? g->ItemIndex() : current;
    };
    b.FaxQuality = index(grpFaxQuality_, options_.FaxQuality);
    b.PhotoCdStep = index(grpPhotoCd_, options_.PhotoCdStep);
    b.JpegPalette = index(grpJpegPalette_, options_.JpegPalette);
    b.AutoReduce = chkAutoReduce_->isChecked();
    b.UseScreen = chkUseScreen_->isChecked();
    b.FastRefresh = chkFastRefresh_->isChecked();
    b.EffectsSpeed = index(grpEffectsSpeed_, options_.EffectsSpeed);
    b.SvgaPalette = index(grpSvgaPalette_, options_.SvgaPalette);
    b.TextPosition = index(grpTextPosition_, options_.TextPosition);
    b.SlideshowDelay = chkMaxDelay_->isChecked() ? kMaximumDelay : sbDelay_->value();
    b.AutoSizeVideo = chkAutoSizeVideo_->isChecked();
    b.AlwaysFullScreen = chkAlwaysFullScreen_->isChecked();
    b.VurJukebox = chkVurJukebox_->isChecked();
    b.MediaMaxFullScreen = chkMediaMaxFullScreen_->isChecked();
    b.MediaStatusLine = chkStatusLine_->isChecked();
    b.MediaTrackBar = chkTrackBar_->isChecked();
    b.MediaPlayerControls = chkPlayerControls_->isChecked();
    b.MediaAutoPlayLoop = chkAutoPlayLoop_->isChecked();
    b.Volume = tbVolume_->value();
    return b;
}

void TOptionsForm::ApplyChanges() {
    ApplyOptions(Boxes(), options_, target_);
    btnApply_->setEnabled(false);
}

void TOptionsForm::okClicked() {
    ApplyChanges();
    accept();
}

void TOptionsForm::helpClicked() {
    target_.ShowHelp(OptionsHelpContext(tabs_->currentIndex()));
}

bool ShowOptionsDialog(QWidget* parent, TOptions& options, OptionsTarget& target, int page) {
    TOptionsForm form(options, target, page, parent);
    return form.exec() == QDialog::Accepted;
}

} // namespace lumara
