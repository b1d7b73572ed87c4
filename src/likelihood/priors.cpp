// Placeholder until this part of the run is written.
#include "likelihood.h"
double tpriormut(int, double, double) {
  return 0;
}
double tprior(int, const std::vector<double> &, double, double) {
  return 0;
}
double sequenceprob(double) {
  return 0;
}
