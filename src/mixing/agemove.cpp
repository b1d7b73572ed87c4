// The mixing sampler's moves of the mutation age: alone, and with the whole
// genealogy scaled along. The default sampler proposes
// the age inside its genealogy moves, reflecting the node ages at the proposed
// age and the proposed age at the current root's age, bounds that differ
// between a move and its reverse; the age's marginal then drifts from its
// prior (without informative data its mean is visibly low). Here the
// genealogy moves keep the age, and this move changes it alone, reflecting at
// bounds that the move does not change, so that the proposal is symmetric.
#include <algorithm>
#include <cmath>

#include "genealogy.h"
#include "likelihood.h"
#include "mixing.h"
#include "movesupport.h"

void updateAge(Rng &rng, Chain &chain) {
  const int n = pset.numChromosomes;
  TreeMatrix &tree = chain.tree;
  const int root = rootRow(tree);
  const double rootAge = tree[root][nodeTime];
  const double low = std::max(pset.mutAgeLow, rootAge), high = pset.mutAgeHigh;
  double age = chain.mutAge + (2 * ran1(rng) - 1) * pset.treeAdjust[chain.index];
  if (age < low)
    age = 2 * low - age;
  if (age > high)
    age = 2 * high - age;
  // A step wider than the room left between the bounds is refused.
  if (!(age >= low && age <= high))
    return;

  const double savedBranch = tree[root][branchLength], savedTerm = tree[root][nodeLogLik];
  tree[root][branchLength] = age - rootAge;
  tree[root][nodeLogLik] = nodeTerm(chain.popHapFreqs, tree, chain.mutLoc, pset.mapDist,
                                    chain.rootLoci, root, chain.MP1, chain.memo);
  const double lik = storedLikelihood(tree);
  const double agePrior = tpriormut(n, age, pset.growthRate);
  const double treePrior = tprior(n, chain.nodeTimes, age, pset.propSampled, pset.growthRate);
  const double r =
      (lik + agePrior + treePrior) - (chain.logLik + chain.mutAgePrior + chain.treePrior);
  if (ran1(rng) < acceptanceProbability(r)) {
    chain.mutAge = age;
    chain.propMutAge = age;
    chain.logLik = lik;
    chain.mutAgePrior = agePrior;
    chain.treePrior = treePrior;
    return;
  }
  tree[root][branchLength] = savedBranch;
  tree[root][nodeLogLik] = savedTerm;
}

namespace {

// Half-width of the log-scale step of the whole-genealogy scaling.
constexpr double logScaleStep = 0.1;

} // namespace

// The proposal multiplies the age and the n - 1 internal node ages by one
// factor c = exp(e), e uniform on [-logScaleStep, logScaleStep]: symmetric in
// e, with the Jacobian c^n of the n scaled coordinates in the ratio. Leaves
// keep age 0 and every branch, the root's stem included, scales by c.
void scaleGenealogy(Rng &rng, Chain &chain) {
  const int n = pset.numChromosomes;
  const double factor = std::exp((2 * ran1(rng) - 1) * logScaleStep);
  const double age = chain.mutAge * factor;
  if (!(age >= pset.mutAgeLow && age <= pset.mutAgeHigh))
    return;
  copytree(chain.tree, chain.prop);
  for (TreeRow &row : chain.prop) {
    row[nodeTime] *= factor;
    row[branchLength] *= factor;
  }
  chain.propTimes = chain.nodeTimes;
  for (double &t : chain.propTimes)
    t *= factor;
  const double lik = chainTprob(chain, chain.prop, chain.mutLoc, chain.rootLoci);
  const double agePrior = tpriormut(n, age, pset.growthRate);
  const double treePrior = tprior(n, chain.propTimes, age, pset.propSampled, pset.growthRate);
  const double r = (lik + agePrior + treePrior) -
                   (chain.logLik + chain.mutAgePrior + chain.treePrior) + n * std::log(factor);
  if (ran1(rng) < acceptanceProbability(r)) {
    chain.tree.swap(chain.prop);
    chain.nodeTimes.swap(chain.propTimes);
    chain.mutAge = age;
    chain.propMutAge = age;
    chain.logLik = lik;
    chain.mutAgePrior = agePrior;
    chain.treePrior = treePrior;
  }
}
