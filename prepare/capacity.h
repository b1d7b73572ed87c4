// What a mutloc control file can hold: the reader's table sizes.
#pragma once

#include "mutloc.h"

// Allele labels run from 1 to 498 (the reader's count table has 500 rows,
// the last for totals).
inline constexpr int maxLabel = 498;
// Markers: a patient row holds at most patientCols values, a count and one
// label per marker, or two labels per marker.
inline constexpr int maxHaplotypeMarkers = patientCols - 1;
inline constexpr int maxGenotypeMarkers = patientCols / 2;
// Rows of the patient table.
inline constexpr int maxPatientRows = patientRows;
// Normal chromosomes, each a haplotype of its own in the reader's lists.
inline constexpr long maxNormalChromosomes = 1000000;
