// The genealogy moves against the coalescent prior they must keep when the
// data say nothing (one allele at every marker, so every node term is 0).
// With the mutation age held, the n - 1 internal ages are independent draws
// of the growth-coalescent density truncated to [0, T], and the ranked
// topology is uniform over ranked histories: for four leaves, one in three
// genealogies joins two pairs under the root. Each kind of move alone and
// the two mixed must reproduce the order statistics of the ages and that
// share, within sampling error of long runs on fixed seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "batchmeans.h"
#include "flatchain.h"
#include "genealogy.h"
#include "genealogy/chaincheck.h"
#include "likelihood.h"
#include "mixing.h"
#include "testkit.h"

namespace {

using flat::age;
using flat::expectNear;
using flat::growth;
using flat::sampled;

// CDF of one internal age on [0, T]: the integral of exp(-r t) / D(t)^2,
// D(t) = s + (2r - s) exp(-r t), is proportional to (1 - exp(-r t)) / D(t).
double ageCdf(double t, double T = age) {
  const auto integral = [](double v) {
    const double e = std::exp(-growth * v);
    return (1 - e) / (sampled + (2 * growth - sampled) * e);
  };
  return integral(t) / integral(T);
}

// Runs a genealogy move and compares the probability-integral transforms of
// the three ordered ages (uniform under the prior) and the share of balanced
// genealogies with the prior's.
void checkPrior(const std::function<void(Rng &, Chain &, ChainWork &, int)> &move,
                const std::string &moves, int iterations) {
  Chain &c = flat::flatChain();
  ChainWork work;
  Rng rng = streamFrom(-4711);
  std::vector<double> youngest, middle, oldest, below, balanced;
  for (int i = 0; i < iterations; i++) {
    move(rng, c, work, i);
    ASSERT_EQ(c.mutAge, age);
    std::vector<double> t;
    int root = 0;
    for (const TreeRow &row : c.tree)
      if (row[child1] != -1)
        t.push_back(row[nodeTime]);
    while (c.tree[root][parent] != -1)
      root++;
    std::sort(t.begin(), t.end());
    ASSERT_EQ(t.size(), 3u);
    const double f0 = ageCdf(t[0]), f1 = ageCdf(t[1]), f2 = ageCdf(t[2]);
    youngest.push_back(1 - std::pow(1 - f0, 3));
    middle.push_back(3 * f1 * f1 - 2 * f1 * f1 * f1);
    oldest.push_back(std::pow(f2, 3));
    below.push_back(std::pow(f2, 3) < 0.2 ? 1.0 : 0.0);
    const int a = static_cast<int>(c.tree[root][child1]),
              b = static_cast<int>(c.tree[root][child2]);
    balanced.push_back(c.tree[a][child1] != -1 && c.tree[b][child1] != -1 ? 1.0 : 0.0);
  }
  expectNear(youngest, 0.5, "youngest age's transform" + moves);
  expectNear(middle, 0.5, "middle age's transform" + moves);
  expectNear(oldest, 0.5, "root age's transform" + moves);
  expectNear(below, 0.2, "root age in its prior's lowest fifth" + moves);
  expectNear(balanced, 1.0 / 3, "balanced genealogies" + moves);
}

} // namespace

// The genealogy moves at a fixed mutation age, each kind alone and the two
// mixed in the default sampler's proportions.
TEST(GenealogyPrior, NodeTimeMovesAloneKeepTheCoalescentPrior) {
  checkPrior([](Rng &rng, Chain &c, ChainWork &work, int) { nodeTimeMoveAtAge(rng, c, work); },
             " (node-time moves)", 200000);
}

TEST(GenealogyPrior, RegraftMovesAloneKeepTheCoalescentPrior) {
  checkPrior([](Rng &rng, Chain &c, ChainWork &work, int) { regraftMoveAtAge(rng, c, work); },
             " (regraft moves)", 200000);
}

TEST(GenealogyPrior, MixedMovesKeepTheCoalescentPrior) {
  checkPrior([](Rng &rng, Chain &c, ChainWork &work, int) { updateGenealogyAtAge(rng, c, work); },
             " (mixed moves)", 200000);
}

// The mixing sampler's guided regraft, which moves a node's age only with a
// new place for it.
TEST(GenealogyPrior, GuidedRegraftsKeepTheCoalescentPrior) {
  checkPrior([](Rng &rng, Chain &c, ChainWork &work, int) { guidedRegraft(rng, c, work); },
             " (guided regrafts)", 200000);
}

// The mixing sampler's age moves (the age alone, and the age with every node
// age scaled) with the genealogy moves: the age follows its prior truncated
// to its bounds, and the root's age its prior given the age.
TEST(GenealogyPrior, AgeMovesKeepTheJointPriorOfAgeAndGenealogy) {
  Chain &c = flat::flatChain();
  ChainWork work;
  // The age prior's CDF on a grid over its bounds, by the midpoint rule.
  const int steps = 20000;
  const double low = pset.mutAgeLow, h = (pset.mutAgeHigh - low) / steps;
  std::vector<double> cdf(steps + 1, 0.0);
  for (int s = 0; s < steps; s++)
    cdf[s + 1] = cdf[s] + std::exp(tpriormut(4, low + (s + 0.5) * h, growth));
  const auto ageTransform = [&](double T) {
    const double at = (T - low) / h;
    const int s = std::min(steps - 1, static_cast<int>(at));
    return (cdf[s] + (at - s) * (cdf[s + 1] - cdf[s])) / cdf[steps];
  };
  Rng rng = streamFrom(-815);
  std::vector<double> agePit, ageLow, rootPit;
  for (int i = 0; i < 300000; i++) {
    updateGenealogyAtAge(rng, c, work);
    updateAge(rng, c, work);
    scaleGenealogy(rng, c, work);
    const double u = ageTransform(c.mutAge);
    agePit.push_back(u);
    ageLow.push_back(u < 0.2 ? 1.0 : 0.0);
    double root = 0;
    for (const TreeRow &row : c.tree)
      root = std::max(root, row[nodeTime]);
    rootPit.push_back(std::pow(ageCdf(root, c.mutAge), 3));
  }
  ASSERT_TRUE(genealogyIsConsistent(c.tree, c.mutAge));
  expectNear(agePit, 0.5, "age's transform");
  expectNear(ageLow, 0.2, "age in its prior's lowest fifth");
  expectNear(rootPit, 0.5, "root age's transform given the age");
}
