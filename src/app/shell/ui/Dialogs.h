#pragma once
// Every modal question the program asks (message boxes, input boxes, file,
// folder and colour dialogs) goes through ModalDialogs, so that tests can
// answer without a human and check the exact texts asked.

#include <QColor>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

class QWidget;

namespace lumara {

enum class BoxKind { Warning, Error, Information, Confirmation };
enum class BoxButtons { OK, OKCancel, YesNo, YesNoIgnore };
enum class BoxResult { OK, Cancel, Yes, No, Ignore };

struct FileDialogRequest {
    QString caption;
    QString directory;
    QString filter;        // "Name (*.a *.b);;Other (*.c)"
    QString selectedFilter;
    bool multiple = false;
};

class ModalDialogs {
public:
    virtual ~ModalDialogs() = default;
    virtual BoxResult Message(const QString& text, BoxKind kind, BoxButtons buttons) = 0;
    // false on Cancel; value holds the default on entry and the answer on OK.
    virtual bool Input(const QString& caption, const QString& prompt, QString& value) = 0;
    // Empty on Cancel. request.selectedFilter is updated with the chosen filter.
    virtual QStringList OpenFiles(FileDialogRequest& request) = 0;
    virtual QString SaveFile(FileDialogRequest& request) = 0;
    virtual QString ExistingDirectory(const QString& caption, const QString& directory) = 0;
    // false on Cancel.
    virtual bool ChooseColor(QColor& color) = 0;
};

// The dialogs in use: the real ones unless a test installed its own.
ModalDialogs& Dialogs();
// Installs d (not owned); nullptr goes back to the real dialogs.
void SetDialogs(ModalDialogs* d);
// Parent for the real dialogs (the main window).
void SetDialogParent(QWidget* parent);

// Shorthands for the boxes the program shows.
inline void ShowError(const QString& text) { Dialogs().Message(text, BoxKind::Error, BoxButtons::OK); }
inline void ShowWarning(const QString& text) { Dialogs().Message(text, BoxKind::Warning, BoxButtons::OK); }
inline void ShowInformation(const QString& text)
{
    Dialogs().Message(text, BoxKind::Information, BoxButtons::OK);
}

// Real Qt dialogs, captioned with the application title.
class QtDialogs : public ModalDialogs {
public:
    BoxResult Message(const QString& text, BoxKind kind, BoxButtons buttons) override;
    bool Input(const QString& caption, const QString& prompt, QString& value) override;
    QStringList OpenFiles(FileDialogRequest& request) override;
    QString SaveFile(FileDialogRequest& request) override;
    QString ExistingDirectory(const QString& caption, const QString& directory) override;
    bool ChooseColor(QColor& color) override;
};

// For tests: answers from queues, and a record of everything asked. A
// question with no queued answer gets the safe one (OK, Cancel, No).
class ScriptedDialogs : public ModalDialogs {
public:
    struct Asked {
        QString text;
        BoxKind kind;
        BoxButtons buttons;
    };
    std::vector<Asked> asked;
    std::deque<BoxResult> messageAnswers;
    std::deque<std::pair<bool, QString>> inputAnswers;
    std::deque<QStringList> fileAnswers;
    std::deque<QString> directoryAnswers;
    std::deque<std::pair<bool, QColor>> colorAnswers;
    std::vector<FileDialogRequest> fileRequests;

    BoxResult Message(const QString& text, BoxKind kind, BoxButtons buttons) override;
    bool Input(const QString& caption, const QString& prompt, QString& value) override;
    QStringList OpenFiles(FileDialogRequest& request) override;
    QString SaveFile(FileDialogRequest& request) override;
    QString ExistingDirectory(const QString& caption, const QString& directory) override;
    bool ChooseColor(QColor& color) override;

    // Installs itself for the lifetime of the object.
    ScriptedDialogs() { SetDialogs(this); }
    ~ScriptedDialogs() override { SetDialogs(nullptr); }
};

} // namespace lumara
