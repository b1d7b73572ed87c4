// The two ways mutloc-prepare gives up: a command line it cannot use (exit
// status 2) and data it cannot convert (exit status 1). Both are thrown up to
// main, which prints the text; nothing has been written by then.
#pragma once

#include <stdexcept>
#include <string>

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
