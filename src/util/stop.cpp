// Error stops: every failure of the run passes through here, so the output
// files (static streams of the driver) are flushed and closed by the normal
// exit path and the status is always non-zero.
#include "stop.h"

#include <cstdlib>
#include <iostream>

void stopNoNewline(const std::string &text, int status) {
  std::cout << text << std::flush;
  std::exit(status);
}

void stop(const std::string &text, int status) {
  stopNoNewline(text + "\n", status);
}

void stopAfterReport(int status) {
  stopNoNewline("", status);
}
