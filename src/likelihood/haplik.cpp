// Placeholder until this part of the run is written.
#include "likelihood.h"
void tprob(const Table &, TreeMatrix &, double, const std::vector<double> &, double *,
           const Haplotype &, int, int, const TransTable &) {}
