// PLINK text input: a .ped file of genotypes with its .map of marker
// positions. Column 6 of the .ped chooses the groups.
#pragma once

#include "callset.h"
#include "options.h"

// Reads options.ped and options.mapPlink: the markers of the region, the
// cases (affection 2) and controls (affection 1) in file order. Without
// options.pedPhased heterozygous calls are unphased. Throws DataError naming
// the file, the line and the sample.
Callset readPed(const Options &options);
