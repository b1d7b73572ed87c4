// The one way a run stops on an error: a fixed message line on standard
// output and an immediate exit with a non-zero status. The texts themselves
// are kept together in messages.h.
//
// A stop handler may be installed to see every stop before it happens: the
// driver uses it to say where in the control file the reader was and to keep
// earlier results, a test or fuzz driver to turn a stop into an exception.
// A handler that returns lets the stop go ahead as usual.
#pragma once

#include <functional>
#include <string>

// Prints text and a line end, flushes, and ends the process with status.
[[noreturn]] void stop(const std::string &text, int status = 1);
// As stop, without the line end.
[[noreturn]] void stopNoNewline(const std::string &text, int status = 1);
// Ends the process with status after a report that has already been printed.
[[noreturn]] void stopAfterReport(int status = 1);
// Writes note and a line end to standard error, then stops as stop does with
// text, or with nothing on standard output when text is empty.
[[noreturn]] void stopWithNote(const std::string &note, const std::string &text, int status);

// Called with the text (as it would be printed) and the status of a stop.
using StopHandler = std::function<void(const std::string &text, int status)>;
// Installs handler (an empty one restores the plain stop) and returns the one
// it replaces.
StopHandler setStopHandler(StopHandler handler);
