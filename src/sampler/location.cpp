// Placeholder until this part of the run is written.
#include "sampler.h"
void updateLocation(Seed *, int) {}
void adjrecrate(double &, Seed *, const std::vector<double> &, int) {}
