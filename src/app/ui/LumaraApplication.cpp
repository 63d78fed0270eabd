#include "LumaraApplication.h"

#include <exception>

namespace lumara {

LumaraApplication::LumaraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Lumara"));
    setApplicationDisplayName(QStringLiteral("Lumara"));
    setOrganizationName(QStringLiteral("Korvane"));
    setApplicationVersion(QStringLiteral("5.7"));
}

bool LumaraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        if (exceptionHandler) exceptionHandler(QString::fromUtf8(e.what()));
    } catch (...) {
        if (exceptionHandler) exceptionHandler(QStringLiteral("Unknown exception."));
    }
    return false;
}

} // namespace lumara
