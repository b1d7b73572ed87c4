// Error stops: every failure of the run passes through here, so the output
// files (static streams of the driver) are flushed and closed by the normal
// exit path and the status is always non-zero. The installed handler, if
// any, sees the stop first and may end it another way (by throwing).
#include "stop.h"

#include <cstdlib>
#include <iostream>
#include <utility>

namespace {

// The one process-wide hook of the stops; set only through setStopHandler.
StopHandler &installedHandler() {
  static StopHandler handler;
  return handler;
}

} // namespace

StopHandler setStopHandler(StopHandler handler) {
  return std::exchange(installedHandler(), std::move(handler));
}

void stopNoNewline(const std::string &text, int status) {
  // A copy: the handler may install another one while it runs.
  if (const StopHandler handler = installedHandler())
    handler(text, status);
  std::cout << text << std::flush;
  std::exit(status);
}

void stop(const std::string &text, int status) {
  stopNoNewline(text + "\n", status);
}

void stopWithNote(const std::string &note, const std::string &text, int status) {
  std::cerr << note << std::endl;
  stopNoNewline(text.empty() ? text : text + "\n", status);
}

void stopAfterReport(int status) {
  stopNoNewline("", status);
}
