#pragma once
// The application object: every exception that escapes an event handler
// reaches one place, which ends the run the orderly way (boxes, close,
// settings written) instead of letting it terminate the process.

#include <QApplication>

#include <functional>

namespace lumara {

class LumaraApplication : public QApplication {
    Q_OBJECT
public:
    LumaraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Called with the exception's text; set by the main window.
    std::function<void(const QString&)> exceptionHandler;
};

} // namespace lumara
