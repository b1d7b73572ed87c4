// The whole conversion: read the input, keep and label the markers, place
// them on the genetic map, build the tables and write the control file.
#pragma once

#include <string>

#include "options.h"

// Converts as the options say and writes options.out; returns the lines that
// tell what was kept, dropped and separated. Throws DataError, with nothing
// written, when the data cannot be converted.
std::string convert(const Options &options);
