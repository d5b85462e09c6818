#include "app/signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace pagelume::app {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t g_received = 0;
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[3];

void onSignal(int sig) {
    const int saved = errno;
    if (g_received == 0)
        g_received = sig;
    if (g_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    }
    errno = saved;
}

}  // namespace

void ignoreFileSizeSignal() {
    ::signal(SIGXFSZ, SIG_IGN);
}

void ignoreBrokenPipeSignal() {
    ::signal(SIGPIPE, SIG_IGN);
}

void openMissingStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() takes the lowest free number, which is this one.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd)
            ::close(opened);
    }
}

InterruptSignals::InterruptSignals() {
    g_received = 0;
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_pipe[0] = g_pipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a prompt waiting for input gives up
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

InterruptSignals::~InterruptSignals() {
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
}

int InterruptSignals::received() {
    return g_received;
}

int InterruptSignals::notifyFd() {
    return g_pipe[0];
}

}  // namespace pagelume::app
