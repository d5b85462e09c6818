#pragma once

namespace pagelume::app {

// Lets a write past a file-size limit (ulimit -f) fail with an error the
// archive writer reports, instead of the kernel ending the process.
void ignoreFileSizeSignal();

// Lets a write to a closed pipe (pagelume ... | head -1) fail with EPIPE:
// nothing more is shown, and the run goes on to its end and its own status.
void ignoreBrokenPipeSignal();

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is
// closed, so that no file the program opens later (the staging lock) takes
// one of their numbers and receives its messages.
void openMissingStandardDescriptors();

// While one of these lives, SIGINT, SIGTERM and SIGHUP do not end the
// process: they are recorded, and the run stops at its next block, cleans up
// and the program exits with 128 + the signal's number. The previous
// handlers come back when it goes.
class InterruptSignals {
public:
    InterruptSignals();
    ~InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

    // The first signal received, 0 for none.
    static int received();
    // Readable once a signal has arrived (for an event loop to watch).
    static int notifyFd();
    // 128 + the signal's number: the status of a program ended by it.
    static int exitStatus(int signal) { return 128 + signal; }
};

}  // namespace pagelume::app
