// The whole conversion: read the input, keep and label the markers, place
// them on the genetic map, build the tables and write the control file.
#pragma once

#include <ostream>
#include <string>

#include "options.h"

// Converts as the options say and writes options.out with its lists
// options.out.markers.tsv and options.out.dropped.tsv; returns the lines that
// tell what was read, kept, dropped and separated. Notes (names matched
// loosely, skipped records, why haplotype or genotype data) go to notes as
// they arise. Throws DataError, with nothing written, when the data cannot be
// converted.
std::string convert(const Options &options, std::ostream &notes);
