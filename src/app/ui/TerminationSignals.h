#pragma once

class QWidget;

namespace lumara {

// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C, a closed terminal) close the
// window the ordinary way, so the close query runs and the settings and the
// instance marker are written and released, instead of the process dying.
void CloseOnTerminationSignals(QWidget* window);
// Catches the signals from now on; one that arrives before the window exists
// closes it as soon as the window is there.
void CatchTerminationSignals();

} // namespace lumara
