#pragma once
// The progress window of batch conversion and the unzipper: a small
// stay-on-top window with a status line, two bars ("Thumbs:" and "Folders:")
// set directly by the caller, and Cancel, which sets the cancel request the
// long loop reads. The owner deletes it when the work ends.

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace lumara {

// The status line: one line, vertically centred, a long path shortened in
// its middle so both its start and its file name stay visible.
class TStatusLine : public QWidget {
    Q_OBJECT
  public:
    explicit TStatusLine(QWidget* parent = nullptr);
    void SetText(const QString& text);
    QString Text() const { return text_; }
    // What the line shows at its present width.
    QString DisplayedText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
};

class TStatusForm : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 375;
    static constexpr int kClientHeight = 80;

    // cancelRequest is cleared now and set by Cancel (or Esc); it must outlive
    // the window.
    explicit TStatusForm(bool& cancelRequest, QWidget* parent = nullptr);

    // Captions the window, centres it on the screen and shows it.
    void Open(const QString& caption);
    // Absent texts leave their line as it is; the status line repaints.
    void SetTexts(const std::optional<QString>& status, const std::optional<QString>& first = {},
                  const std::optional<QString>& second = {});

    TStatusLine* Status = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* Bar1 = nullptr; // 0..100
    QProgressBar* Bar2 = nullptr; // 0..100
    QPushButton* CancelButton = nullptr;

  public slots:
    void CancelClick();

  protected:
    // Esc is Cancel; the window stays until its owner closes it.
    void reject() override;

  private:
    bool& cancelRequest_;
};

} // namespace lumara
