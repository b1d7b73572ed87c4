// The one way a run stops on an error: a fixed message line on standard
// output and an immediate exit with a non-zero status. The texts themselves
// are kept together in messages.h.
#pragma once

#include <string>

// Prints text and a line end, flushes, and ends the process with status.
[[noreturn]] void stop(const std::string &text, int status = 1);
// As stop, without the line end.
[[noreturn]] void stopNoNewline(const std::string &text, int status = 1);
// Ends the process with status after a report that has already been printed.
[[noreturn]] void stopAfterReport(int status = 1);
