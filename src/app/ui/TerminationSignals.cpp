#include "TerminationSignals.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace lumara {

namespace {
int gPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(gPipe[1], &c, 1);
}
} // namespace

void CatchTerminationSignals()
{
    if (gPipe[0] >= 0) return;
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

void CloseOnTerminationSignals(QWidget* window)
{
    CatchTerminationSignals();
    if (gPipe[0] < 0) return;
    auto* notifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, window);
    QPointer<QWidget> target(window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [target] {
        char buf[16];
        while (::read(gPipe[0], buf, sizeof buf) > 0) {
        }
        if (target) target->close();
    });
}

} // namespace lumara
