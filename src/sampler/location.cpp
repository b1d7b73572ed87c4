// Mutation-location update of one chain: the reflecting random-walk proposal,
// random-walk Metropolis (mode 1), slice sampling with stepping out and
// shrinkage (mode 2) and independence proposals drawn uniformly over the
// allowed interval (mode 3). Every evaluation of a location is a full
// likelihood pass over the chain's genealogy, which rewrites its nodeLogLik
// column; a rejected proposal restores that column.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

#include "likelihood.h"
#include "movesupport.h"
#include "random.h"
#include "sampler.h"

namespace {

constexpr double minusInf = -std::numeric_limits<double>::infinity();
// Independence proposals tried per update before the location is left alone.
constexpr int independenceTries = 10;
// Work count of a rejected shrinkage point in slice mode (a stepping-out step
// counts 1), so that the counter shows both kinds of work in one number.
constexpr double shrinkCount = 0.00001;

// The location prior returns the weight-0 marker for a location that lies in
// a segment of weight 0.
bool isZeroWeight(double prior) {
  return prior > 99.98 && prior < 99.991;
}

// Log-likelihood of the chain's data with the mutation at x, the rest of the
// state held fixed; refreshes every row's nodeLogLik for x.
double locationLik(Chain &chain, ChainWork &work, double x) {
  return chainTprob(chain, work.memo, chain.tree, x, chain.rootLoci);
}

// Log prior of x with sequence weights, where a location of weight 0 is
// impossible (minus infinity) instead of carrying the marker value.
double locationPrior(double x) {
  const double prior = sequenceprob(x);
  return isZeroWeight(prior) ? minusInf : prior;
}

// Log target of the slice sampler at x: the likelihood, plus the location
// prior when sequence weights are used. The likelihood part goes to *lik and
// the prior part to *prior, so that the final point's terms can be stored.
double sliceTarget(Chain &chain, ChainWork &work, double x, bool weights, double *lik,
                   double *prior) {
  *lik = locationLik(chain, work, x);
  *prior = weights ? locationPrior(x) : 0;
  return *lik + *prior;
}

// Steps one end of the slice interval outward by w (dir -1: left, +1: right)
// while it lies strictly inside the bound and its target is above the level y;
// returns the end clamped to the bound. Counted steps add 1 to accMutLoc. A
// step too small to move the end at its magnitude cannot reach the bound, so
// the end then goes to the bound directly.
double stepOut(Chain &chain, ChainWork &work, double end, double w, int dir, double bound, double y,
               bool weights, bool counted) {
  const auto inside = [&](double v) { return dir < 0 ? v > bound : v < bound; };
  double lik, prior;
  while (inside(end) && sliceTarget(chain, work, end, weights, &lik, &prior) > y) {
    const double next = end + dir * w;
    end = next == end ? bound : next;
    if (counted)
      chain.accMutLoc += 1;
  }
  return dir < 0 ? std::max(bound, end) : std::min(bound, end);
}

// Slice sampling of the chain's location; the move is always taken. With
// sequence weights the initial interval is not clamped and the left steps are
// counted; without them the initial interval is clamped to the bounds and
// only the right steps are counted.
void sliceLocation(Rng &rng, Chain &chain, ChainWork &work) {
  chain.accMutLoc = 0;
  const bool weights = pset.useSeqWeights != 0;
  const double x0 = chain.mutLoc;
  const double w = chain.recDistAdjust;
  const double low = pset.mutLocLow;
  const double high = pset.mutLocHigh;

  double y = std::log(ran1(rng)) + chain.logLik;
  if (weights)
    y += locationPrior(x0);
  const double u2 = ran1(rng);
  // Stepping out by a width of 0 would never end: the location stays.
  if (!(w > 0))
    return;

  double left, right;
  if (weights) {
    left = x0 - w * u2;
    right = left + w;
  } else {
    left = std::max(low, x0 - u2 * w);
    right = std::min(high, left + w);
  }
  // Only a current location outside the bounds can leave an end beyond the
  // opposite bound; keeping both ends inside keeps the new location inside.
  left = std::min(high, stepOut(chain, work, left, w, -1, low, y, weights, weights));
  right = std::max(low, stepOut(chain, work, right, w, +1, high, y, weights, true));

  double lik, prior;
  double x1 = left + ran1(rng) * (right - left);
  // A point equal to the level is inside the slice. The interval shrinks
  // towards the current location; should it collapse onto one point outside
  // the slice (a current location outside the bounds), that point is taken.
  while (sliceTarget(chain, work, x1, weights, &lik, &prior) < y && left != right) {
    chain.accMutLoc += shrinkCount;
    if (x1 >= x0)
      right = x1;
    else
      left = x1;
    x1 = left + ran1(rng) * (right - left);
  }
  chain.mutLoc = x1;
  chain.logLik = lik;
  if (weights)
    chain.locPrior = prior;
}

} // namespace

// The proposals of modes 1 and 3 are symmetric. On rejection the genealogy's
// node terms are put back. Returns whether x was accepted.
bool tryLocation(Rng &rng, Chain &chain, ChainWork &work, double x) {
  saveNodeTerms(chain, work);
  const bool weights = pset.useSeqWeights != 0;
  const double lik = locationLik(chain, work, x);
  double logRatio = lik - chain.logLik;
  double prior = 0;
  if (weights) {
    prior = sequenceprob(x);
    logRatio += prior - chain.locPrior;
  }
  double accept = acceptanceProbability(logRatio);
  if (weights && isZeroWeight(prior))
    accept = 0;

  if (ran1(rng) < accept) {
    chain.mutLoc = x;
    chain.logLik = lik;
    if (weights)
      chain.locPrior = prior;
    chain.accMutLoc += 1;
    return true;
  }
  restoreNodeTerms(chain, work);
  return false;
}

void adjrecrate(double &x, Rng &rng, const std::vector<double> &, Chain &chain) {
  const double width = pset.mutLocHigh - pset.mutLocLow;
  if (chain.recDistAdjust > width) {
    chain.recDistAdjust = width;
    std::cout << "Adjustment level for recdist is too large. It has been changed to" << width
              << ", the size of the interval specified." << std::endl;
    return;
  }
  x = x + (2 * ran1(rng) - 1) * chain.recDistAdjust;
  if (x < pset.mutLocLow)
    x = 2 * pset.mutLocLow - x;
  else if (x > pset.mutLocHigh)
    x = 2 * pset.mutLocHigh - x;
}

void updateLocation(Rng &rng, Chain &chain, ChainWork &work) {
  switch (pset.iterMutLocation) {
  case 1: {
    double x = chain.mutLoc;
    adjrecrate(x, rng, pset.mapDist, chain);
    tryLocation(rng, chain, work, x);
    break;
  }
  case 2:
    sliceLocation(rng, chain, work);
    break;
  case 3:
    for (int t = 0; t < independenceTries; t++) {
      const double x = pset.mutLocLow + ran1(rng) * (pset.mutLocHigh - pset.mutLocLow);
      if (tryLocation(rng, chain, work, x))
        break;
    }
    break;
  default:
    break;
  }
}
