// Log prior densities: the mutation age under a coalescent with exponential
// growth and a sampled fraction of the population, the genealogy's node times
// given that age, and the location weight of the annotated sequence segments.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

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

int ageLeafCount(const Chain &chain) {
  const Membership &m = chain.membership;
  return m.drawn.empty() ? pset.numChromosomes : std::max(1, m.founders);
}

double ageLogPrior(const Chain &chain, double age) {
  return tpriormut(ageLeafCount(chain), age, pset.growthRate);
}

namespace {

// The log of the integral of exp(tpriormut(m, T)) over the age bounds, by
// Simpson's rule in u = log T: the integrand's log changes by at most about m
// per unit of u (it grows like T^m near 0 and falls off smoothly above the
// prior's bulk), so a grid of a few dozen points per unit of m over the
// bounds' log range resolves it. A lower bound of 0 is taken as e^-40 below
// the upper one, which leaves out less than e^-40 of the integral.
double logAgeIntegral(int m) {
  const double high = std::log(pset.mutAgeHigh);
  const double low = pset.mutAgeLow > 0 ? std::log(pset.mutAgeLow) : high - 40;
  const int intervals = 2 * (1000 + 20 * m);
  const double h = (high - low) / intervals;
  std::vector<double> values(intervals + 1);
  double top = -std::numeric_limits<double>::infinity();
  for (int i = 0; i <= intervals; i++) {
    const double u = low + i * h;
    values[i] = tpriormut(m, std::exp(u), pset.growthRate) + u;
    top = std::max(top, values[i]);
  }
  double sum = 0;
  for (int i = 0; i <= intervals; i++) {
    const double weight = i == 0 || i == intervals ? 1 : (i % 2 == 1 ? 4 : 2);
    sum += weight * std::exp(values[i] - top);
  }
  return top + std::log(sum * h / 3);
}

} // namespace

double boundedAgeLogPrior(Chain &chain, int founders, double age) {
  const int m = std::max(1, founders);
  std::vector<double> &norms = chain.membership.ageNorms;
  if (norms.size() <= static_cast<size_t>(m))
    norms.resize(m + 1, std::numeric_limits<double>::quiet_NaN());
  if (norms[m] != norms[m])
    norms[m] = logAgeIntegral(m);
  return tpriormut(m, age, pset.growthRate) - norms[m];
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

// The genealogy of the founder leaves. Under tprior every ranked history of
// the n leaves is equally likely. Here the founder leaves' genealogy is the
// coalescent of m leaves ((m - 1)! q(t)/F(T) per node time, each ranked
// history 1/R_m, R_m = m! (m - 1)! / 2^(m - 1)), and the other nodes complete
// it: their n - m times are independent draws of the same density, and at
// each, taken from the youngest up, a lineage of drawn leaves joins another
// such lineage or a founder lineage, the pair picked evenly among the
// C(d, 2) + d f possible (d drawn-only and f founder lineages at that time).
// Every genealogy arises in one way, the founder leaves' genealogy has its
// m-leaf prior, and the whole has the density tprior takes, times
//   n! / m! (n - m)! / 2^(n - m) / prod over the completing nodes (C(d, 2) + d f).
void orderEvents(const TreeMatrix &tree, std::vector<int> &events) {
  events.clear();
  for (size_t r = 0; r < tree.size(); r++)
    if (tree[r][child1] != -1)
      events.push_back(static_cast<int>(r));
  std::stable_sort(events.begin(), events.end(),
                   [&](int a, int b) { return tree[a][nodeTime] < tree[b][nodeTime]; });
}

void countFounders(const TreeMatrix &tree, const PopulationRows &drawn,
                   std::vector<int> &founders) {
  founders.assign(tree.size(), 0);
  for (size_t r = 0; r < tree.size(); r++)
    if (tree[r][child1] == -1 && !drawn[r])
      for (int v = static_cast<int>(r); v != -1; v = static_cast<int>(tree[v][parent]))
        founders[v]++;
}

// Since C(d, 2) + d f = d (d - 1 + 2 f) / 2 and d takes each value from n - m
// down to 1 once, the term is log n! - log m! - sum log(d - 1 + 2 f), which
// the membership record's tables give.
void takeLogTables(Membership &membership) {
  const int n = pset.numChromosomes;
  membership.logInts.assign(2 * n + 1, 0.0);
  membership.logFactorials.assign(n + 1, 0.0);
  for (int k = 1; k <= 2 * n; k++)
    membership.logInts[k] = std::log(static_cast<double>(k));
  for (int k = 1; k <= n; k++)
    membership.logFactorials[k] = membership.logFactorials[k - 1] + membership.logInts[k];
}

double founderTreeTerm(const TreeMatrix &tree, const std::vector<int> &events,
                       const std::vector<int> &founders, int m, const Membership &tables) {
  const int n = pset.numChromosomes;
  if (m <= 0 || m >= n)
    return 0;
  int d = n - m, f = m;
  double completing = 0;
  for (int v : events) {
    const bool bothFounders = founders[static_cast<int>(tree[v][child1])] > 0 &&
                              founders[static_cast<int>(tree[v][child2])] > 0;
    if (bothFounders) {
      f--;
    } else {
      completing += tables.logInts[d - 1 + 2 * f];
      d--;
    }
  }
  return tables.logFactorials[n] - tables.logFactorials[m] - completing;
}

double founderTreeTerm(const TreeMatrix &tree, const Membership &membership,
                       std::vector<int> &events, std::vector<int> &founders) {
  orderEvents(tree, events);
  countFounders(tree, membership.drawn, founders);
  return founderTreeTerm(tree, events, founders, membership.founders, membership);
}
