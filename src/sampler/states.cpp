// Placeholder until this part of the run is written.
#include "sampler.h"
void updateStates(Seed *, int) {}
void adjY0(int *, Seed *, int *, int) {}
void adjYi(int *, Seed *, int *, int) {}
