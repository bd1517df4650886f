#include "cli/signal_cleanup.h"

#include "cli/cli_host.h"

#include <csignal>

namespace framolo {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Shared with the signal handler, which may only read these and call
// async-signal-safe functions.
volatile std::sig_atomic_t gStoppable = 0;
volatile std::sig_atomic_t gStopAsked = 0;

extern "C" void OnEndingSignal(int signal) {
    if (gStoppable != 0 && gStopAsked == 0) {
        gStopAsked = 1;
        TCliHost::Interrupted.store(true);
        return;
    }
    RemoveTemporaryOutput();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    // Delivered with the default action as soon as the handler returns.
    raise(signal);
}

} // namespace

void InstallSignalCleanup() {
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    for (const int s : kEndingSignals)
        sigaddset(&action.sa_mask, s);
    for (const int s : kEndingSignals)
        sigaction(s, &action, nullptr);
}

void SetStoppable(bool stoppable) {
    gStoppable = stoppable ? 1 : 0;
}

bool StopSignalled() {
    return gStopAsked != 0;
}

} // namespace framolo
