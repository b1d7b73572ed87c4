// Genotype phase updates: which loci draw, which individuals are treated,
// what an accepted exchange changes and what a rejected one restores.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "controltext.h"
#include "datachains.h"
#include "genealogy.h"
#include "sampler.h"

namespace {

// The missing-allele record chain 0's leaf would get from its current cells.
std::vector<int> recordOf(int leaf) {
  std::vector<int> record;
  missingRecord(chains[0].tree[leaf], record);
  return record;
}

// The cell of marker k on the other chromosome of leaf's individual: the
// partner leaf's with paired genotypes, the second block of the leaf's own
// row with unpaired genotypes.
double &otherCell(TreeMatrix &tree, int leaf, int k) {
  return pset.geneticModel ? tree[static_cast<int>(tree[leaf][partnerLeaf])][TMAT + k]
                           : tree[leaf][TMAT + pset.numLoci + k];
}

// Makes leaf's individual in chain 0 homozygous: its other chromosome takes
// the leaf's alleles.
void makeHomozygous(int leaf) {
  for (int k = 0; k < pset.numLoci; k++)
    otherCell(chains[0].tree, leaf, k) = chains[0].tree[leaf][TMAT + k];
}

// Recomputes chain 0's terms from its state, then stores a log-likelihood so
// low that every exchange is accepted.
void acceptEveryExchange() {
  computeTerms();
  chains[0].logLik = acceptAll;
}

// Exchanges, on leaf's individual in tree, the loci whose number in u exceeds
// one half, as an accepted phase update does; returns whether any was.
bool exchangeLoci(TreeMatrix &tree, int leaf, const std::vector<double> &u) {
  bool any = false;
  for (int k = 0; k < pset.numLoci; k++)
    if (u[k] > 0.5) {
      std::swap(tree[leaf][TMAT + k], otherCell(tree, leaf, k));
      any = true;
    }
  return any;
}

// The allele cells of every row of tree.
std::vector<std::vector<double>> alleleCells(const TreeMatrix &tree) {
  std::vector<std::vector<double>> cells;
  for (const TreeRow &row : tree)
    cells.emplace_back(row.begin() + TMAT, row.begin() + TMAT + TOTLOCI);
  return cells;
}

// Over 20 seeds, one phase update of chain 0 of the given kind, with the
// individual of leaf homozygous made homozygous and every exchange accepted:
// leaf's individual, which differs at all three markers, draws one number per
// marker and an acceptance number when it exchanges; exactly the loci whose
// number exceeds one half are exchanged, and the chain's terms (the partner
// term included) stay current.
void expectAcceptedExchanges(DataKind kind, int homozygous, int leaf) {
  for (Seed seed = -1; seed >= -20; seed--) {
    buildDataChain(kind);
    makeHomozygous(homozygous);
    acceptEveryExchange();
    const TreeMatrix before = chains[0].tree;
    const double partner = chains[0].partnerProb;
    const Seed s = runFrom(seed, updatePhase);
    TreeMatrix expected = before;
    const bool any = exchangeLoci(expected, leaf, firstDraws(seed, 3));
    EXPECT_EQ(drawsBetween(seed, s), any ? 4 : 3) << "seed " << seed;
    EXPECT_EQ(alleleCells(chains[0].tree), alleleCells(expected)) << "seed " << seed;
    if (any) {
      EXPECT_TRUE(termsCurrent(partner, before)) << "seed " << seed;
    }
  }
}

TEST(Phase, HaplotypeDataDrawsNothing) {
  buildDataChain(DataKind::haplotypes);
  const TreeMatrix before = chains[0].tree;
  EXPECT_EQ(runFrom(-3, updatePhase), -3);
  EXPECT_EQ(chains[0].tree, before);
}

// Leaves 3 + 6 and 4 + 5 with paired genotypes, leaves 2, 3 and 4 with
// unpaired ones.
TEST(Phase, HomozygousIndividualsDrawNothing) {
  for (DataKind kind : {DataKind::pairedGenotypes, DataKind::unpairedGenotypes}) {
    buildDataChain(kind);
    for (int leaf :
         kind == DataKind::pairedGenotypes ? std::vector<int>{3, 4} : std::vector<int>{2, 3, 4})
      makeHomozygous(leaf);
    computeTerms();
    const TreeMatrix before = chains[0].tree;
    EXPECT_EQ(runFrom(-3, updatePhase), -3);
    EXPECT_EQ(chains[0].tree, before);
  }
}

// Leaves 3 and 6 differ at marker 3 only, leaves 4 and 5 are made equal: one
// number for that locus, from leaf 6 (leaf 3 has the lower label and is
// skipped), and an acceptance number when it exchanges.
TEST(Phase, PairedIndividualIsTreatedOnceFromItsHigherLabel) {
  int exchanged = 0;
  for (Seed seed = -1; seed >= -20; seed--) {
    buildDataChain(DataKind::pairedGenotypes);
    makeHomozygous(4);
    acceptEveryExchange();
    const TreeMatrix before = chains[0].tree;
    const Seed s = runFrom(seed, updatePhase);
    const bool swap = firstDraws(seed, 1)[0] > 0.5;
    exchanged += swap;
    EXPECT_EQ(drawsBetween(seed, s), swap ? 2 : 1);
    EXPECT_EQ(chains[0].tree[3][TMAT + 2], swap ? 2 : 1);
    EXPECT_EQ(chains[0].tree[6][TMAT + 2], swap ? 1 : 2);
    if (swap) {
      EXPECT_TRUE(termsCurrent(0, before));
    }
  }
  EXPECT_GT(exchanged, 0);
}

// Paired individual 4 + 5 differs at every locus (marker 2 as stored, -3
// against 2); individual 3 + 6 is made homozygous. The exchanged loci are
// those whose number exceeds one half, and an accepted proposal rescoring
// both leaves keeps the chain's terms current.
TEST(Phase, AcceptedPairedExchangeSwapsTheChosenLoci) {
  expectAcceptedExchanges(DataKind::pairedGenotypes, 3, 4);
}

TEST(Phase, RejectedExchangeRestoresBothChromosomesAndNodeTerms) {
  int proposals = 0;
  for (DataKind kind : {DataKind::pairedGenotypes, DataKind::unpairedGenotypes})
    for (Seed seed = -1; seed >= -20; seed--) {
      buildDataChain(kind);
      Chain &c = chains[0];
      c.logLik = rejectAll;
      const TreeMatrix before = c.tree;
      const double partner = c.partnerProb;
      proposals += drawsBetween(seed, runFrom(seed, updatePhase)) > 0;
      EXPECT_EQ(c.tree, before);
      EXPECT_EQ(c.logLik, rejectAll);
      EXPECT_EQ(c.partnerProb, partner);
    }
  EXPECT_GT(proposals, 0);
}

// Unpaired genotypes: leaf 3 differs between its blocks at all three markers
// (marker 2 holds -2 against 2, which differ as stored); leaves 2 and 4 are
// made homozygous. Each differing locus draws one number, an exchange one
// acceptance number, and an accepted exchange moves the alleles within the row
// and replaces the leaf's share of the partner term.
TEST(Phase, UnpairedExchangesWithinTheRowAndKeepsThePartnerTerm) {
  expectAcceptedExchanges(DataKind::unpairedGenotypes, 2, 3);
}

// The two cells of every genotype of chain 0, observed alleles as they are
// and imputed ones as 0, in increasing order: the phase and missing-allele
// moves may reorder a genotype and redraw its imputed alleles, but never
// change what was observed.
std::vector<std::vector<double>> observedGenotypes() {
  std::vector<std::vector<double>> genotypes;
  const TreeMatrix &tree = chains[0].tree;
  for (const TreeRow &row : tree) {
    if (row[child1] != -1 || (pset.geneticModel && row[nodeLabel] < row[partnerLeaf]))
      continue;
    const double *second = pset.geneticModel
                               ? tree[static_cast<int>(row[partnerLeaf])].data() + TMAT
                               : row.data() + TMAT + pset.numLoci;
    for (int k = 0; k < pset.numLoci; k++) {
      std::vector<double> cells = {std::max(row[TMAT + k], 0.0), std::max(second[k], 0.0)};
      std::sort(cells.begin(), cells.end());
      genotypes.push_back(cells);
    }
  }
  return genotypes;
}

// Chain 0's missing-allele lists name exactly the cells that hold imputed
// alleles: one entry per leaf with any, each record built as at start-up.
testing::AssertionResult listsFollowImputedCells() {
  const Chain &c = chains[0];
  if (c.missingLeaves.size() != c.missingLoci.size())
    return testing::AssertionFailure() << "lists of different lengths";
  for (size_t j = 0; j < c.missingLeaves.size(); j++) {
    const int leaf = c.missingLeaves[j];
    if (c.missingLoci[j] != recordOf(leaf))
      return testing::AssertionFailure() << "record of leaf " << leaf << " is stale";
  }
  for (const TreeRow &row : c.tree) {
    if (row[child1] != -1)
      continue;
    const bool imputed = std::any_of(row.begin() + TMAT, row.end(), [](double v) { return v < 0; });
    const auto listed = std::count(c.missingLeaves.begin(), c.missingLeaves.end(), row[nodeLabel]);
    if (listed != (imputed ? 1 : 0))
      return testing::AssertionFailure()
             << "leaf " << row[nodeLabel] << " listed " << listed << " times";
  }
  return testing::AssertionSuccess();
}

// Cells of chain 0's leaves that hold imputed alleles, as (row, column).
std::vector<std::pair<int, int>> imputedCells() {
  std::vector<std::pair<int, int>> cells;
  const TreeMatrix &tree = chains[0].tree;
  for (size_t r = 0; r < tree.size(); r++)
    for (int c = 0; c < TOTLOCI; c++)
      if (tree[r][child1] == -1 && tree[r][TMAT + c] < 0)
        cells.emplace_back(static_cast<int>(r), c);
  return cells;
}

// Both genotype layouts have loci where exactly one allele is missing (an
// observed allele against an imputed one), so the phase exchanges carry
// imputed alleles from cell to cell. Through many rounds of missing-allele
// and phase moves, in both proposal modes of the missing-allele moves, no
// observed allele is ever redrawn or lost and the lists keep naming the
// imputed cells; the same for the update one locus at a time.
TEST(Phase, ImputedAllelesCarriedByExchangesStayListedAndObservedOnesStay) {
  // The update one locus at a time takes the parts of the rows' terms afresh,
  // as the mixing sampler does after its allele draws.
  const auto byLocus = [](Rng &rng, Chain &c, ChainWork &work) {
    takeRowParts(c, work.memo, work.scratch.parts);
    updatePhaseByLocus(rng, c, work, work.scratch.parts);
  };
  for (void (*update)(Rng &, Chain &, ChainWork &) : {+updatePhase, +byLocus})
    for (DataKind kind : {DataKind::unpairedGenotypes, DataKind::pairedGenotypes})
      for (int flipAll : {0, 1}) {
        buildDataChain(kind, flipAll);
        Chain &c = chains[0];
        ChainWork work;
        const std::vector<std::vector<double>> genotypes = observedGenotypes();
        ASSERT_TRUE(listsFollowImputedCells());
        Rng rng = streamFrom(-7);
        int carried = 0;
        for (int i = 0; i < 300; i++) {
          updatePatientMissing(rng, c, work);
          ASSERT_EQ(observedGenotypes(), genotypes) << "missing-allele moves, round " << i;
          const std::vector<std::pair<int, int>> before = imputedCells();
          const TreeMatrix tree = c.tree;
          const double partner = c.partnerProb;
          update(rng, c, work);
          carried += imputedCells() != before;
          ASSERT_EQ(observedGenotypes(), genotypes) << "phase update, round " << i;
          ASSERT_TRUE(listsFollowImputedCells()) << "round " << i;
          ASSERT_TRUE(termsCurrent(partner, tree)) << "round " << i;
        }
        EXPECT_GT(carried, 10);
      }
}

// A sweep of one-locus phase tests remembers the partner term of the leaf it
// scored last while it goes through that leaf's loci. The next sweep, under
// changed frequencies, takes the term afresh even when it begins with the
// leaf the last one ended with (here the only heterozygous individual).
TEST(Phase, ALocusByLocusSweepScoresPartnersUnderItsOwnTables) {
  buildDataChain(DataKind::unpairedGenotypes);
  Chain &c = chains[0];
  ChainWork work;
  makeHomozygous(2);
  Rng rng = streamFrom(-11);
  for (int round = 0; round < 30; round++) {
    for (int k = 0; k < pset.numLoci; k++)
      std::swap(c.popHapFreqs[1][k], c.popHapFreqs[2][k]);
    computeTerms();
    takeRowParts(c, work.memo, work.scratch.parts);
    const TreeMatrix before = c.tree;
    const double partner = c.partnerProb;
    updatePhaseByLocus(rng, c, work, work.scratch.parts);
    ASSERT_TRUE(termsCurrent(partner, before)) << "round " << round;
  }
}

// Paired individual 4 + 5 made to differ only at marker 2, where leaf 4
// holds the imputed -3 against leaf 5's observed 2; individual 3 + 6 is
// homozygous. An accepted exchange leaves leaf 4 without an imputed allele
// and gives leaf 5 its first: leaf 4 leaves the list and leaf 5 joins it.
TEST(Phase, PairedExchangeMovesTheListEntryToTheLeafThatReceivesTheImputedAllele) {
  int exchanged = 0;
  for (Seed seed = -1; seed >= -20; seed--) {
    buildDataChain(DataKind::pairedGenotypes);
    Chain &c = chains[0];
    makeHomozygous(3);
    c.tree[5][TMAT + 0] = c.tree[4][TMAT + 0];
    c.tree[5][TMAT + 2] = c.tree[4][TMAT + 2];
    acceptEveryExchange();
    runFrom(seed, updatePhase);
    const bool swap = firstDraws(seed, 1)[0] > 0.5;
    exchanged += swap;
    EXPECT_EQ(c.tree[swap ? 5 : 4][TMAT + 1], -3);
    EXPECT_EQ(c.missingLeaves, std::vector<int>{swap ? 5 : 4});
    EXPECT_EQ(c.missingLoci, (std::vector<std::vector<int>>{{swap ? 5 : 4, 1, 0, 1, 0, 0}}));
  }
  EXPECT_GT(exchanged, 0);
}

// Unpaired leaf 3 holds [1, -2, 2 | 2, 2, -1]; leaves 2 and 4 are made
// homozygous, which leaves leaf 3 the only leaf with imputed alleles. An
// accepted exchange at marker 2 or 3 moves an imputed allele to the other
// block, and the record lists the new columns block by block in increasing
// order.
TEST(Phase, UnpairedRecordListsTheColumnsThatHoldTheImputedAlleles) {
  for (Seed seed = -1; seed >= -20; seed--) {
    buildDataChain(DataKind::unpairedGenotypes);
    Chain &c = chains[0];
    for (int leaf : {2, 4})
      makeHomozygous(leaf);
    c.missingLeaves = {3};
    c.missingLoci = {recordOf(3)};
    acceptEveryExchange();
    runFrom(seed, updatePhase);
    const std::vector<double> u = firstDraws(seed, 3);
    std::vector<int> expected(9, 0);
    expected[0] = 3;
    // Marker 2: column 1 when kept, 4 when exchanged; marker 3: 5 or 2.
    std::vector<int> columns = {u[1] > 0.5 ? 4 : 1, u[2] > 0.5 ? 2 : 5};
    std::sort(columns.begin(), columns.end());
    for (size_t i = 0; i < columns.size(); i++) {
      expected[3 + i] = columns[i];
      expected[columns[i] < 3 ? 1 : 2]++;
    }
    EXPECT_EQ(c.missingLeaves, std::vector<int>{3});
    EXPECT_EQ(c.missingLoci, std::vector<std::vector<int>>{expected});
  }
}

// A whole run of each genotype layout whose data have genotypes with exactly
// one missing allele finishes normally.
TEST(Phase, RunsWithOneMissingAlleleOfAGenotypeFinish) {
  for (int model : {0, 1}) {
    const std::string control = edited(
        baseControl(),
        {{"genotypes\n0\n", "genotypes\n1\n"},
         {"Genetic model\n0\n", "Genetic model\n" + std::to_string(model) + "\n"},
         {"seed\n-5\n", "seed\n-23\n"},
         {"# chromosomes\n10\n", model ? "# chromosomes\n8\n" : "# chromosomes\n4\n"},
         {"Burn-in iteration\n10\nIterations\n20\n", "Burn-in iteration\n50\nIterations\n200\n"},
         {"genotypes:\n5 1 2 1 1\n5 2 2 1 2\n",
          "genotypes:\n1 -1 2 2 1 1 1 2\n1 1 -1 2 1 1 2 1\n2 2 2 2 -1 1 1 -1\n1 2 2 2 1 1 2 2\n"}});
    const std::string dir = makeTempDir();
    writeFile(dir, "run.in", control);
    const RunResult r = runMutloc(dir, "run.in");
    EXPECT_EQ(r.status, 0) << "genetic model " << model << ": " << r.out;
    ASSERT_GE(r.out.size(), 9u);
    EXPECT_EQ(r.out.substr(r.out.size() - 9), "Finished\n");
  }
}

// Unpaired leaf 2 is the only heterozygous individual, at all three markers
// (its genotype [2, 2, 1 | 1, -3, 2]), on a map long enough that crossovers are
// likely and the likelihood leaves every phase possible. Updated one locus at
// a time, its phase visits each of the eight phases as often as the whole
// posterior (the likelihood and the partner chromosome's population term,
// evaluated afresh for each phase) says.
TEST(Phase, LocusByLocusUpdatesFollowThePhasePosterior) {
  buildDataChain(DataKind::unpairedGenotypes);
  Chain &c = chains[0];
  ChainWork work;
  pset.mapDist = {0, 0, 1, 3};
  pset.mutLocHigh = 3;
  c.mutLoc = 1.5;
  makeHomozygous(3);
  makeHomozygous(4);
  const std::vector<double> first(c.tree[2].begin() + TMAT, c.tree[2].begin() + TMAT + 3);
  const auto setPhase = [&](int mask) {
    for (int k = 0; k < 3; k++)
      if (((mask >> k) & 1) != (c.tree[2][TMAT + k] != first[k]))
        std::swap(c.tree[2][TMAT + k], otherCell(c.tree, 2, k));
  };
  const auto phaseOf = [&]() {
    int mask = 0;
    for (int k = 0; k < 3; k++)
      mask |= (c.tree[2][TMAT + k] != first[k]) << k;
    return mask;
  };
  std::vector<double> p(8);
  double top = -1e300;
  for (int mask = 0; mask < 8; mask++) {
    setPhase(mask);
    computeTerms();
    p[mask] = c.logLik + c.partnerProb;
    top = std::max(top, p[mask]);
  }
  double total = 0;
  for (double &v : p)
    total += (v = std::exp(v - top));
  for (double &v : p)
    v /= total;
  setPhase(0);
  computeTerms();
  Rng rng = streamFrom(-29);
  const int draws = 20000, thinning = 4;
  std::vector<int> counts(8, 0);
  RowParts parts;
  takeRowParts(c, work.memo, parts);
  for (int d = 0; d < draws * thinning; d++) {
    updatePhaseByLocus(rng, c, work, parts);
    if (d % thinning == 0)
      counts[phaseOf()]++;
  }
  int spread = 0;
  for (int mask = 0; mask < 8; mask++) {
    const double expected = p[mask] * draws, sd = std::sqrt(draws * p[mask] * (1 - p[mask]));
    EXPECT_NEAR(counts[mask], expected, 5 * sd + 1) << "phase " << mask;
    spread += p[mask] > 0.02;
  }
  EXPECT_GE(spread, 3) << "the posterior should leave several phases possible";
}

} // namespace
