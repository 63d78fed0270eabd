#include "Dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

namespace lumara {

namespace {
ModalDialogs* gInstalled = nullptr;
QPointer<QWidget> gParent;

QString title() { return QApplication::applicationDisplayName().isEmpty() ? QStringLiteral("Lumara") : QApplication::applicationDisplayName(); }
} // namespace

ModalDialogs& Dialogs()
{
    static QtDialogs real;
    return gInstalled ? *gInstalled : real;
}

void SetDialogs(ModalDialogs* d) { gInstalled = d; }
void SetDialogParent(QWidget* parent) { gParent = parent; }

BoxResult QtDialogs::Message(const QString& text, BoxKind kind, BoxButtons buttons)
{
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (kind) {
    case BoxKind::Warning: icon = QMessageBox::Warning; break;
    case BoxKind::Error: icon = QMessageBox::Critical; break;
    case BoxKind::Information: icon = QMessageBox::Information; break;
    case BoxKind::Confirmation: icon = QMessageBox::Question; break;
    }
    QMessageBox box(icon, title(), text, QMessageBox::NoButton, gParent);
    switch (buttons) {
    case BoxButtons::OK: box.setStandardButtons(QMessageBox::Ok); break;
    case BoxButtons::OKCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case BoxButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case BoxButtons::YesNoIgnore:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ignore);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return BoxResult::OK;
    case QMessageBox::Yes: return BoxResult::Yes;
    case QMessageBox::No: return BoxResult::No;
    case QMessageBox::Ignore: return BoxResult::Ignore;
    default: return buttons == BoxButtons::OK ? BoxResult::OK : BoxResult::Cancel;
    }
}

bool QtDialogs::Input(const QString& caption, const QString& prompt, QString& value)
{
    bool ok = false;
    const QString answer =
        QInputDialog::getText(gParent, caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok) value = answer;
    return ok;
}

QStringList QtDialogs::OpenFiles(FileDialogRequest& request)
{
    if (request.multiple)
        return QFileDialog::getOpenFileNames(gParent, request.caption, request.directory,
                                             request.filter, &request.selectedFilter);
    const QString one = QFileDialog::getOpenFileName(gParent, request.caption, request.directory,
                                                     request.filter, &request.selectedFilter);
    return one.isEmpty() ? QStringList() : QStringList{one};
}

QString QtDialogs::SaveFile(FileDialogRequest& request)
{
    return QFileDialog::getSaveFileName(gParent, request.caption, request.directory, request.filter,
                                        &request.selectedFilter);
}

QString QtDialogs::ExistingDirectory(const QString& caption, const QString& directory)
{
    return QFileDialog::getExistingDirectory(gParent, caption, directory);
}

bool QtDialogs::ChooseColor(QColor& color)
{
    const QColor c = QColorDialog::getColor(color, gParent);
    if (!c.isValid()) return false;
    color = c;
    return true;
}

BoxResult ScriptedDialogs::Message(const QString& text, BoxKind kind, BoxButtons buttons)
{
    asked.push_back({text, kind, buttons});
    if (!messageAnswers.empty()) {
        const BoxResult r = messageAnswers.front();
        messageAnswers.pop_front();
        return r;
    }
    switch (buttons) {
    case BoxButtons::OK: return BoxResult::OK;
    case BoxButtons::OKCancel: return BoxResult::Cancel;
    default: return BoxResult::No;
    }
}

bool ScriptedDialogs::Input(const QString& caption, const QString& prompt, QString& value)
{
    asked.push_back({caption + QLatin1Char('\n') + prompt, BoxKind::Information, BoxButtons::OKCancel});
    if (inputAnswers.empty()) return false;
    auto [ok, text] = inputAnswers.front();
    inputAnswers.pop_front();
    if (ok) value = text;
    return ok;
}

QStringList ScriptedDialogs::OpenFiles(FileDialogRequest& request)
{
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return {};
    QStringList r = fileAnswers.front();
    fileAnswers.pop_front();
    return r;
}

QString ScriptedDialogs::SaveFile(FileDialogRequest& request)
{
    const QStringList r = OpenFiles(request);
    return r.isEmpty() ? QString() : r.front();
}

QString ScriptedDialogs::ExistingDirectory(const QString&, const QString&)
{
    if (directoryAnswers.empty()) return {};
    QString r = directoryAnswers.front();
    directoryAnswers.pop_front();
    return r;
}

bool ScriptedDialogs::ChooseColor(QColor& color)
{
    if (colorAnswers.empty()) return false;
    auto [ok, c] = colorAnswers.front();
    colorAnswers.pop_front();
    if (ok) color = c;
    return ok;
}

} // namespace lumara
