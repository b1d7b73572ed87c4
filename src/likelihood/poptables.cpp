// Placeholder until this part of the run is written.
#include "likelihood.h"
void buildPopulationTables() {}
void propagateFrequencies(int) {}
void allfreqright(const double *, int, double *, const Table &) {}
void allfreqleft(const double *, int, double *, const Table &) {}
void hapfreqcountsright(const double *, double *, const TransTable &, const Table &) {}
void hapfreqcountsleft(const double *, double *, const TransTable &, const Table &) {}
double probhap2(const Table &, const TransTable &, const int *) {
  return 0;
}
