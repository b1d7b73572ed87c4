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

// Log-likelihood of chain ch's data with the mutation at x, the rest of the
// state held fixed; refreshes every row's nodeLogLik for x.
double locationLik(int ch, double x) {
  double total = 0;
  tprob(pset.popHapFreqs[ch], chainTree[ch], x, pset.mapDist, &total, pset.rootLoci[ch], -1, 0,
        MP1[ch]);
  return total;
}

// Log prior of x with sequence weights, where a location of weight 0 is
// impossible (minus infinity) instead of carrying the marker value.
double locationPrior(double x) {
  const double prior = sequenceprob(x);
  return isZeroWeight(prior) ? minusInf : prior;
}

// The node terms a rejected proposal puts back.
std::vector<double> savedTerms;

// One Metropolis test of the proposed location x against chain ch's current
// one (the proposals of modes 1 and 3 are symmetric). On acceptance x becomes
// the chain's location with its log terms; on rejection the genealogy's node
// terms are put back. Returns whether x was accepted.
bool tryLocation(Seed *seed, int ch, double x) {
  TreeMatrix &tree = chainTree[ch];
  savedTerms.resize(tree.size());
  for (size_t r = 0; r < tree.size(); r++)
    savedTerms[r] = tree[r][nodeLogLik];

  const bool weights = pset.useSeqWeights != 0;
  const double lik = locationLik(ch, x);
  double logRatio = lik - chainLogLik[ch];
  double prior = 0;
  if (weights) {
    prior = sequenceprob(x);
    logRatio += prior - chainLocPrior[ch];
  }
  double accept = acceptanceProbability(logRatio);
  if (weights && isZeroWeight(prior))
    accept = 0;

  if (ran1(seed) < accept) {
    pset.mutLocStart[ch] = x;
    chainLogLik[ch] = lik;
    if (weights)
      chainLocPrior[ch] = prior;
    accMutLoc[ch] += 1;
    return true;
  }
  for (size_t r = 0; r < tree.size(); r++)
    tree[r][nodeLogLik] = savedTerms[r];
  return false;
}

// Log target of the slice sampler at x: the likelihood, plus the location
// prior when sequence weights are used. The likelihood part goes to *lik and
// the prior part to *prior, so that the final point's terms can be stored.
double sliceTarget(int ch, double x, bool weights, double *lik, double *prior) {
  *lik = locationLik(ch, x);
  *prior = weights ? locationPrior(x) : 0;
  return *lik + *prior;
}

// Steps one end of the slice interval outward by w (dir -1: left, +1: right)
// while it lies strictly inside the bound and its target is above the level y;
// returns the end clamped to the bound. Counted steps add 1 to accMutLoc. A
// step too small to move the end at its magnitude cannot reach the bound, so
// the end then goes to the bound directly.
double stepOut(int ch, double end, double w, int dir, double bound, double y, bool weights,
               bool counted) {
  const auto inside = [&](double v) { return dir < 0 ? v > bound : v < bound; };
  double lik, prior;
  while (inside(end) && sliceTarget(ch, end, weights, &lik, &prior) > y) {
    const double next = end + dir * w;
    end = next == end ? bound : next;
    if (counted)
      accMutLoc[ch] += 1;
  }
  return dir < 0 ? std::max(bound, end) : std::min(bound, end);
}

// Slice sampling of chain ch's location; the move is always taken. With
// sequence weights the initial interval is not clamped and the left steps are
// counted; without them the initial interval is clamped to the bounds and
// only the right steps are counted.
void sliceLocation(Seed *seed, int ch) {
  accMutLoc[ch] = 0;
  const bool weights = pset.useSeqWeights != 0;
  const double x0 = pset.mutLocStart[ch];
  const double w = pset.recDistAdjust[ch];
  const double low = pset.mutLocLow;
  const double high = pset.mutLocHigh;

  double y = std::log(ran1(seed)) + chainLogLik[ch];
  if (weights)
    y += locationPrior(x0);
  const double u2 = ran1(seed);
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
  left = std::min(high, stepOut(ch, left, w, -1, low, y, weights, weights));
  right = std::max(low, stepOut(ch, right, w, +1, high, y, weights, true));

  double lik, prior;
  double x1 = left + ran1(seed) * (right - left);
  // A point equal to the level is inside the slice. The interval shrinks
  // towards the current location; should it collapse onto one point outside
  // the slice (a current location outside the bounds), that point is taken.
  while (sliceTarget(ch, x1, weights, &lik, &prior) < y && left != right) {
    accMutLoc[ch] += shrinkCount;
    if (x1 >= x0)
      right = x1;
    else
      left = x1;
    x1 = left + ran1(seed) * (right - left);
  }
  pset.mutLocStart[ch] = x1;
  chainLogLik[ch] = lik;
  if (weights)
    chainLocPrior[ch] = prior;
}

} // namespace

void adjrecrate(double &x, Seed *seed, const std::vector<double> &, int ch) {
  const double width = pset.mutLocHigh - pset.mutLocLow;
  if (pset.recDistAdjust[ch] > width) {
    pset.recDistAdjust[ch] = width;
    std::cout << "Adjustment level for recdist is too large. It has been changed to" << width
              << ", the size of the interval specified." << std::endl;
    return;
  }
  x = x + (2 * ran1(seed) - 1) * pset.recDistAdjust[ch];
  if (x < pset.mutLocLow)
    x = 2 * pset.mutLocLow - x;
  else if (x > pset.mutLocHigh)
    x = 2 * pset.mutLocHigh - x;
}

void updateLocation(Seed *seed, int ch) {
  switch (pset.iterMutLocation) {
  case 1: {
    double x = pset.mutLocStart[ch];
    adjrecrate(x, seed, pset.mapDist, ch);
    tryLocation(seed, ch, x);
    break;
  }
  case 2:
    sliceLocation(seed, ch);
    break;
  case 3:
    for (int t = 0; t < independenceTries; t++) {
      const double x = pset.mutLocLow + ran1(seed) * (pset.mutLocHigh - pset.mutLocLow);
      if (tryLocation(seed, ch, x))
        break;
    }
    break;
  default:
    break;
  }
}
