// Placeholder until this part of the run is written.
#include "sampler.h"
void updatePhase(Seed *, int) {}
