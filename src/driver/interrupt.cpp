// Signal handlers that note an interruption for the sampler to see.
#include "interrupt.h"

#include <csignal>

namespace {

// Written only by the signal handler; a signal handler can reach no record
// of the run, so the note has to live here.
volatile std::sig_atomic_t noted = 0;

extern "C" void noteInterrupt(int signal) {
  if (noted != 0) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  noted = signal;
}

} // namespace

void watchInterrupts() {
  struct sigaction action {};
  action.sa_handler = noteInterrupt;
  sigemptyset(&action.sa_mask);
  // Reads and writes in progress go on; the sampler checks between iterations.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int interruptSignal() {
  return noted;
}
