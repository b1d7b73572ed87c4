// The acceptance test of a move that changed a few node terms decides as the
// plain test does (sum every stored term, then compare the acceptance number
// with the probability), also when the log ratio lies within rounding of the
// log of the acceptance number, where the shortcut it takes for clear
// refusals must not be taken.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <random>

#include "chain.h"
#include "likelihood.h"
#include "movesupport.h"
#include "random.h"

namespace {

// The plain test on the summed total with the acceptance number u.
bool plainDecision(const Chain &c, double u, double proposed, double current, bool tiesAccept) {
  const double p = acceptanceProbability((storedTotal(c.tree) + proposed) - (c.logLik + current));
  return tiesAccept ? u <= p : u < p;
}

TEST(RowChange, DecidesAsTheSummedTotalDoesEvenAtTies) {
  ChainWork work;
  pset = Settings();
  pset.numChromosomes = 60;
  const int rows = 2 * pset.numChromosomes - 1;
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> pick(0, rows - 1);
  Chain c;
  c.tree.assign(rows, TreeRow(nodeLogLik + 1, 0.0));
  Rng rng = streamFrom(-17);
  // How far the proposal's log ratio is put from the log of the next
  // acceptance number: ties, a few units of rounding either side, and clear
  // decisions.
  const double offsets[] = {0, 1e-15, -1e-15, 1e-13, -1e-13, 1e-11, -1e-11, 1e-6, -1e-6, 2, -2};
  int accepted = 0, refused = 0;
  for (int trial = 0; trial < 4000; trial++) {
    // Terms of ordinary size and, now and then, of a large data set's.
    const double scale = trial % 4 == 0 ? 1e4 : 30;
    for (TreeRow &row : c.tree)
      row[nodeLogLik] = -scale * unit(gen);
    c.logLik = storedTotal(c.tree);
    const int count = 1 + trial % 3;
    int changed[3];
    double oldTerms[3];
    // Distinct rows, as a node and its children or two partner leaves are.
    for (int i = 0; i < count; i++) {
      do
        changed[i] = pick(gen);
      while (std::find(changed, changed + i, changed[i]) != changed + i);
      oldTerms[i] = c.tree[changed[i]][nodeLogLik];
    }
    const bool tiesAccept = trial % 2 == 0;
    const double current = trial % 5 == 0 ? -12.5 : 0;
    const double proposed = trial % 5 == 0 ? -11.25 : 0;
    Rng peek = rng;
    const double u = ran1(peek);
    // The last changed row's new term puts the ratio near its target; the
    // rounding of the sums scatters the exact ratio around it.
    const double target = std::log(u) + offsets[trial % std::size(offsets)];
    for (int i = 0; i + 1 < count; i++)
      c.tree[changed[i]][nodeLogLik] -= unit(gen);
    double &last = c.tree[changed[count - 1]][nodeLogLik];
    last += target - ((storedTotal(c.tree) + proposed) - (c.logLik + current));
    // Within a few units of rounding of the target, step to an exact tie
    // where one exists.
    for (int step = 0; step < 8 && offsets[trial % std::size(offsets)] == 0; step++) {
      const double r = (storedTotal(c.tree) + proposed) - (c.logLik + current);
      if (r < 0 && std::exp(r) == u)
        break;
      last = std::nextafter(last, std::exp(r) > u ? -HUGE_VAL : HUGE_VAL);
    }
    const bool expected = plainDecision(c, u, proposed, current, tiesAccept);
    double total = std::nan("");
    const bool decided = testRowChange(rng, c, work, changed, oldTerms, count, proposed, current,
                                       tiesAccept, &total);
    ASSERT_EQ(decided, expected) << "trial " << trial;
    // One acceptance number was drawn, and an accepted change knows the total.
    ASSERT_EQ(ran1(rng), ran1(peek)) << "trial " << trial;
    if (decided) {
      ASSERT_EQ(total, storedTotal(c.tree)) << "trial " << trial;
    }
    (decided ? accepted : refused)++;
  }
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 1000);
}

// A total that is not finite says nothing about the change: the test sums.
TEST(RowChange, AnImpossibleCurrentStateAcceptsAnyChange) {
  ChainWork work;
  pset = Settings();
  pset.numChromosomes = 3;
  Chain c;
  c.tree.assign(5, TreeRow(nodeLogLik + 1, -1.0));
  c.logLik = -std::numeric_limits<double>::infinity();
  const int row = 2;
  const double old = -1.0;
  c.tree[row][nodeLogLik] = -50;
  Rng rng = streamFrom(-3);
  double total = 0;
  EXPECT_TRUE(testRowChange(rng, c, work, &row, &old, 1, 0, 0, false, &total));
  EXPECT_EQ(total, storedTotal(c.tree));
}

} // namespace
