// Placeholder until this part of the run is written.
#include "sampler.h"
void runSampler(Seed *, std::ostream &, std::ostream &) {}
