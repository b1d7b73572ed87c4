// Placeholder until this part of the run is written.
#include "genealogy.h"
void generatetree(Seed *, TreeMatrix &, int) {}
