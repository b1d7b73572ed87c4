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

void updateAge(Rng &rng, Chain &chain, ChainWork &work) {
  const int n = pset.numChromosomes;
  TreeMatrix &tree = chain.tree;
  const int root = rootRow(tree);
  const double rootAge = tree[root][nodeTime];
  const double low = std::max(pset.mutAgeLow, rootAge), high = pset.mutAgeHigh;
  double age = chain.mutAge + (2 * ran1(rng) - 1) * chain.treeAdjust;
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
                                    chain.rootLoci, root, chain.MP1, work.memo, drawnRows(chain));
  const double lik = storedTotal(tree);
  const double agePrior = ageLogPrior(chain, age);
  // Neither the topology nor the order of the node ages changes, nor with them
  // the founder genealogy's term.
  const double treePrior = tprior(n, chain.nodeTimes, age, pset.propSampled, pset.growthRate) +
                           chain.membership.treeTerm;
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

// Half-width of the log-scale step of the genealogy stretch. Wide: most
// stretches above the root's age or a deep node's are accepted even so, and
// the age's posterior spans a factor of two or more.
constexpr double logScaleStep = 0.8;

} // namespace

// The proposal stretches the age and every node age above a pivot s away
// from (or towards) s by one factor c = exp(e), e uniform on
// [-logScaleStep, logScaleStep]: t -> s + c (t - s). The pivot is, in equal
// shares, 0 (the whole genealogy, leaves fixed at age 0), the root's age (the
// age alone, on the log scale of its height above the root) or the age of an
// internal node picked uniformly. The pivot node keeps its age and the
// stretch keeps the order of all ages, so the reverse move picks the same
// pivot with the same probability and the proposal is symmetric in e; the
// Jacobian c^m of the m stretched coordinates (the age and the internal ages
// above s) enters the ratio. Stretching the upper part alone moves the age
// with the deep nodes, which the whole-genealogy scaling moves only together
// with every young branch the data pin down.
void scaleGenealogy(Rng &rng, Chain &chain, ChainWork &work) {
  const int n = pset.numChromosomes;
  const TreeMatrix &tree = chain.tree;
  double pivot = 0;
  const double share = ran1(rng);
  if (share < 1.0 / 3) {
    pivot = tree[rootRow(tree)][nodeTime];
  } else if (share < 2.0 / 3) {
    int internal = random2(n - 1, rng);
    for (size_t r = 0; r < tree.size(); r++)
      if (tree[r][child1] != -1 && internal-- == 0) {
        pivot = tree[r][nodeTime];
        break;
      }
  }
  const double factor = std::exp((2 * ran1(rng) - 1) * logScaleStep);
  const auto stretch = [&](double t) { return t > pivot ? pivot + factor * (t - pivot) : t; };
  const double age = stretch(chain.mutAge);
  if (!(age >= pset.mutAgeLow && age <= pset.mutAgeHigh))
    return;
  copytree(tree, chain.propTree);
  chain.propTimes = chain.nodeTimes;
  int stretched = 1;
  std::vector<int> &rows = work.scratch.stretchedRows;
  rows.clear();
  for (size_t r = 0; r < tree.size(); r++) {
    TreeRow &row = chain.propTree[r];
    const int up = static_cast<int>(row[parent]);
    const double upTime = up < 0 ? chain.mutAge : tree[up][nodeTime];
    stretched += row[child1] != -1 && row[nodeTime] > pivot;
    row[nodeTime] = stretch(row[nodeTime]);
    chain.propTimes[r] = stretch(chain.propTimes[r]);
    if (upTime > pivot) {
      row[branchLength] = stretch(upTime) - row[nodeTime];
      rows.push_back(static_cast<int>(r));
    }
  }
  const double lik = recomputeTerms(chain.popHapFreqs, chain.propTree, chain.mutLoc, pset.mapDist,
                                    chain.rootLoci, chain.MP1, rows.data(),
                                    static_cast<int>(rows.size()), work.memo, drawnRows(chain));
  const double agePrior = ageLogPrior(chain, age);
  const double treePrior = tprior(n, chain.propTimes, age, pset.propSampled, pset.growthRate) +
                           chain.membership.treeTerm;
  const double r = (lik + agePrior + treePrior) -
                   (chain.logLik + chain.mutAgePrior + chain.treePrior) +
                   stretched * std::log(factor);
  if (ran1(rng) < acceptanceProbability(r)) {
    chain.tree.swap(chain.propTree);
    chain.nodeTimes.swap(chain.propTimes);
    chain.mutAge = age;
    chain.propMutAge = age;
    chain.logLik = lik;
    chain.mutAgePrior = agePrior;
    chain.treePrior = treePrior;
  }
}
