#pragma once
// TOptionsForm: the modal "Options" dialog with the tabs Viewer, Graphics,
// Slideshow and Multimedia and the buttons Ok, Apply, Cancel and Help.
//
// The main window opens it through ShowOptionsDialog():
//
//     ShowOptionsDialog(this, options, target,
//                       OptionsStartPage(MediaMode, fullScreen));
//
// options are the program's working options (changed by Ok and Apply only;
// Cancel keeps what an earlier Apply did); target is the window's
// OptionsTarget, which supplies the screen depth, full-screen and media state
// and carries out what a changed option means for the running program.

#include "app/settings/OptionsTarget.h"
#include "app/settings/TOptions.h"

#include <QDialog>
#include <QFrame>
#include <QGroupBox>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QSlider;
class QTabWidget;

namespace lumara {

// Runs the dialog on the given page (OptionsPage); true when it was closed
// with Ok.
bool ShowOptionsDialog(QWidget* parent, TOptions& options, OptionsTarget& target, int page);

// A group box of radio buttons whose checked item is an index.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
  public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);
    int ItemIndex() const;
    // An index outside the items checks none.
    void SetItemIndex(int index);
    QStringList Items() const;

  signals:
    void Changed();

  private:
    QButtonGroup* buttons_;
};

// The background colour panel: opens the colour dialog when clicked, or when
// reached with the Tab key.
class TColorPanel : public QFrame {
    Q_OBJECT
  public:
    explicit TColorPanel(QWidget* parent = nullptr);
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);

  signals:
    void Clicked();
    void Entered();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    QColor color_;
};

class TOptionsForm : public QDialog {
    Q_OBJECT
  public:
    TOptionsForm(TOptions& options, OptionsTarget& target, int page, QWidget* parent = nullptr);

    // What the controls show, as options (the delay is kMaximumDelay when
    // Maximum delay is checked).
    TOptions Boxes() const;
    // The Ok and Apply work; disables Apply.
    void ApplyChanges();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void buildViewerTab(QWidget* page);
    void buildGraphicsTab(QWidget* page);
    void buildSlideshowTab(QWidget* page);
    void buildMultimediaTab(QWidget* page);
    void loadControls();
    void controlChanged();
    void applyDependencies();
    void updateDelayLabel();
    void delayMoved(int position);
    void maxDelayToggled(bool checked);
    void chooseBackColor(const QColor& preset);
    void okClicked();
    void helpClicked();

    TOptions& options_;
    OptionsTarget& target_;
    int bitsPerPixel_;
    bool fullScreen_;
    bool loaded_ = false;
    bool loading_ = false;

    QTabWidget* tabs_;
    // Viewer
    QCheckBox* chkAutoSize_;
    QCheckBox* chkAutoCenter_;
    QCheckBox* chkMaxFullScreen_;
    QCheckBox* chkStatusBar_;
    QCheckBox* chkButtonText_;
    QCheckBox* chkToolBar_;
    QCheckBox* chkMenus_;
    QCheckBox* chkPathBox_;
    TColorPanel* pnlBackColor_;
    QCheckBox* chkMultipleViewers_;
    // Graphics
    TRadioGroup* grpFaxQuality_;
    TRadioGroup* grpPhotoCd_;
    TRadioGroup* grpJpegPalette_;
    QCheckBox* chkAutoReduce_;
    QCheckBox* chkUseScreen_;
    QCheckBox* chkFastRefresh_;
    // Slideshow
    TRadioGroup* grpEffectsSpeed_;
    QLabel* lblDelay_;
    QScrollBar* sbDelay_;
    QCheckBox* chkMaxDelay_;
    QPushButton* btnEffects_;
    TRadioGroup* grpSvgaPalette_;
    QCheckBox* chkAutoSizeVideo_;
    QCheckBox* chkAlwaysFullScreen_;
    QCheckBox* chkVurJukebox_;
    TRadioGroup* grpTextPosition_;
    // Multimedia
    QCheckBox* chkMediaMaxFullScreen_;
    QCheckBox* chkStatusLine_;
    QCheckBox* chkTrackBar_;
    QCheckBox* chkPlayerControls_;
    QCheckBox* chkAutoPlayLoop_;
    QSlider* tbVolume_;
    // Buttons
    QPushButton* btnOk_;
    QPushButton* btnApply_;
    QPushButton* btnCancel_;
    QPushButton* btnHelp_;
};

} // namespace lumara
