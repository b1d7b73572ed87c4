// The refresh of a population table against the random-walk move of the
// tables, on the three-marker data chains: both must leave the same
// posterior of the tables (the normal sample, the genealogy's data and the
// ancestral and partner terms together), each alone and with its terms
// recomputed from scratch at the end. The refresh's test leaves out the
// sample's ratio because its proposal cancels it; a proposal from the wrong
// counts (the prior's one left out, say) no longer does, and a test that
// counted the sample's ratio anyway would narrow the tables' posterior.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "batchmeans.h"
#include "mixing.h"
#include "sampler.h"
#include "sampler/datachains.h"

namespace {

// Three cells and the squared distance of the first-locus frequency from
// one half, whose mean the spread of its posterior sets.
struct Cells {
  std::vector<double> first, transition, other, spread;
};

Cells run(DataKind kind, bool refresh, long seed) {
  buildDataChain(kind);
  Chain &c = chains[0];
  ChainWork work;
  c.alleleFreqAdjust = 0.15;
  Rng rng = streamFrom(seed);
  Cells cells;
  for (int i = 0; i < 200000; i++) {
    if (refresh)
      refreshTable(rng, c, work);
    else
      updateFrequenciesWhole(rng, c, work);
    cells.first.push_back(c.popHapFreqs[1][0]);
    cells.transition.push_back(c.MP1[0][1][0]);
    cells.other.push_back(c.MP1[1][2][1]);
    cells.spread.push_back(std::pow(c.popHapFreqs[1][0] - 0.5, 2));
  }
  EXPECT_TRUE(chainMatchesRecomputation(0)) << static_cast<int>(kind);
  return cells;
}

} // namespace

TEST(TableRefresh, KeepsTheTablesPosteriorOfTheRandomWalk) {
  for (DataKind kind : {DataKind::haplotypes, DataKind::unpairedGenotypes}) {
    const std::string name = " (kind " + std::to_string(static_cast<int>(kind)) + ")";
    const Cells refreshed = run(kind, true, -404);
    const Cells walked = run(kind, false, -505);
    expectSameMean(refreshed.first, walked.first, "first-locus frequency" + name);
    expectSameMean(refreshed.transition, walked.transition, "transition 1 -> 1" + name);
    expectSameMean(refreshed.other, walked.other, "transition 3 -> 2" + name);
    expectSameMean(refreshed.spread, walked.spread, "first-locus spread" + name);
  }
}
