// Placeholder until this part of the run is written.
#include "sampler.h"
void updateFrequenciesAndMissing(Seed *, int) {}
