// What every genealogy proposal shares, the default sampler's moves and the
// mixing sampler's alike: the rows a proposal made on the chain's genealogy
// itself keeps to put back, the ascending node ages carried to the proposal,
// and the Metropolis-Hastings test against the chain's genealogy prior, age
// prior and likelihood.
#include <algorithm>
#include <cmath>

#include "genealogy.h"
#include "likelihood.h"

bool ageIsProposed() {
  return pset.iterMutAge != 0 && pset.starGenealogy == 0;
}

void moveSortedAge(std::vector<double> &ages, double old, double now) {
  if (old == now)
    return;
  auto at = std::lower_bound(ages.begin(), ages.end(), old) - ages.begin();
  if (now > old) {
    for (; at + 1 < static_cast<long>(ages.size()) && ages[at + 1] < now; at++)
      ages[at] = ages[at + 1];
  } else {
    for (; at > 0 && ages[at - 1] > now; at--)
      ages[at] = ages[at - 1];
  }
  ages[at] = now;
}

void keepRow(Chain &chain, GenealogyWork &work, int row) {
  std::vector<int> &kept = work.keptRows;
  if (row < 0 || std::find(kept.begin(), kept.end(), row) != kept.end())
    return;
  kept.push_back(row);
  chain.propTree[row] = chain.tree[row];
}

void restoreKeptRows(Chain &chain, const GenealogyWork &work) {
  for (int row : work.keptRows)
    chain.tree[row] = chain.propTree[row];
}

bool acceptGenealogy(Rng &rng, Chain &chain, GenealogyWork &work, const TreeMatrix &proposed,
                     double logLik, double hastings) {
  const int n = pset.numChromosomes;
  const double age = chain.propMutAge;
  const double agePrior = ageLogPrior(chain, age);
  const double founderTerm =
      chain.membership.drawn.empty()
          ? 0
          : founderTreeTerm(proposed, chain.membership, work.events, work.foundersBelow);
  const double treePrior =
      tprior(n, chain.propTimes, age, pset.propSampled, pset.growthRate) + founderTerm;
  const double logRatio = (agePrior + treePrior + logLik) -
                          (chain.logLik + chain.treePrior + chain.mutAgePrior) + hastings;
  double a = logRatio < 0 ? std::exp(logRatio) : 1.0;
  if (ageIsProposed() && !(age >= pset.mutAgeLow && age <= pset.mutAgeHigh))
    a = 0;
  if (!(a > ran1(rng)))
    return false;
  chain.nodeTimes = chain.propTimes;
  chain.logLik = logLik;
  chain.treePrior = treePrior;
  chain.membership.treeTerm = founderTerm;
  chain.mutAgePrior = agePrior;
  chain.mutAge = age;
  return true;
}
