// Placeholder until this part of the run is written.
#include "likelihood.h"
void tprob2(const Table &, TreeMatrix &, double, const std::vector<double> &, const Haplotype &,
            int, const TransTable &) {}
void partialtprobs(const Table &, int *, int, int, TreeMatrix &, int, const TransTable &) {}
