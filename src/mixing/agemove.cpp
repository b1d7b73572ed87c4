// The mixing sampler's move of the mutation age. The default sampler proposes
// the age inside its genealogy moves, reflecting the node ages at the proposed
// age and the proposed age at the current root's age, bounds that differ
// between a move and its reverse; the age's marginal then drifts from its
// prior (without informative data its mean is visibly low). Here the
// genealogy moves keep the age, and this move changes it alone, reflecting at
// bounds that the move does not change, so that the proposal is symmetric.
#include <algorithm>

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
