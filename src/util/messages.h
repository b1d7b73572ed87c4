// Every message with which the run stops for an error, in one list, grouped by
// the part of the run that detects it.
#pragma once

namespace msg {

// Entry and output files.
inline constexpr const char *noInputFile = "You haven't opened the input file yet.";
inline constexpr const char *cantBeOpened = " can't be opened.";

// Control file.

// Starting state and stored genealogies.

// Sequence annotation.

} // namespace msg
