// Log prior densities: the mutation age under a coalescent with exponential
// growth and a sampled fraction of the population, the genealogy's node times
// given that age, and the location weight of the annotated sequence segments.
#include <cmath>

#include "likelihood.h"

double tpriormut(int n, double T, double lambda) {
  const double rho = pset.propSampled;
  if (std::fabs(lambda) > 1e-8) {
    const double e = std::exp(-lambda * T);
    return std::log(2 * lambda) - lambda * T + (n - 1) * std::log(rho * (1 - e)) -
           n * std::log(rho + (2 * lambda - rho) * e);
  }
  // The limit of the growth form as lambda goes to 0.
  return std::log(2.0) + (n - 1) * std::log(rho) + (n - 1) * std::log(T) -
         n * std::log(rho * T + 2);
}

// times holds the 2n - 1 node times in ascending order; the internal nodes are
// entries n..2n-2, T is the mutation age. Each node time has its own density term; the T term
// conditions all n - 1 of them on lying below the mutation age.
double tprior(int n, const std::vector<double> &times, double T, double rho, double lambda) {
  if (lambda != 0.0) {
    double sum = 0.0;
    for (int k = 2 * n - 2; k >= n; k--) {
      const double q = 2 * rho * lambda / (rho + (2 * lambda - rho) * std::exp(-lambda * times[k]));
      sum += std::log(q * q / (2 * rho)) - lambda * times[k];
    }
    const double atT = rho + (2 * lambda - rho) * std::exp(-lambda * T);
    return sum - (n - 1) * std::log(1 - 2 * lambda * std::exp(-lambda * T) / atT);
  }
  double sum = (n - 1) * std::log(2 * rho * T + 4) - (n - 1) * std::log(T);
  for (int k = 2 * n - 2; k >= n; k--)
    sum -= 2 * std::log(rho * times[k] + 2);
  return sum;
}

// Segment i covers (segStart[i], segStart[i + 1]] and weighs segWeight[i]; a
// location exactly at the first boundary belongs to the first segment, and
// outside the boundaries (or with no segments) the non-gene weight holds.
double sequenceprob(double x) {
  double w;
  if (pset.numsegs <= 0 || x < pset.segStart[0] || x > pset.segStart[pset.numsegs - 1]) {
    w = pset.segweights[2];
  } else {
    int i = 1;
    while (i < pset.numsegs - 1 && x > pset.segStart[i])
      i++;
    w = pset.segWeight[i - 1];
  }
  if (w == 0.0)
    return zeroWeightMarker;
  return std::log(w);
}
