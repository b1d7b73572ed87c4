// Placeholder until this part of the run is written.
#include "input.h"
int readdata3(Seed *, int *, std::istream &, std::ostream &, std::vector<std::vector<int>> &,
              std::vector<std::vector<Haplotype>> &) {
  return 0;
}
