// The run's working structures, created between the reading of the control
// file and the building of the chains' starting states.
#pragma once

#include <vector>

#include "mutloc.h"

// Creates the working structures and the tree-row layout, and builds every
// chain with its share of the normal haplotypes (moved out of normalHaps,
// one list per chain as the reader gives them), its population tables and a
// fresh tree matrix.
void setuprun(std::vector<std::vector<Haplotype>> &normalHaps);
