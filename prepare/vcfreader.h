// VCF and BCF input through htslib: the records of the region with the calls
// of the chosen cases and controls.
#pragma once

#include "callset.h"
#include "options.h"

// Reads options.vcf; the sample lists choose the groups. With an index only
// the region is read, without one the whole file is read and filtered.
// Throws DataError naming the file, the record and the sample.
Callset readVcf(const Options &options);
