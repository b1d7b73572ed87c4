// The allele-frequency move and the missing-allele moves of patient leaves and
// normal haplotypes: what each proposal changes, the draws it makes, the
// restoration on rejection, the chain's log terms kept current, and the
// long-run law of the mixing sampler's move on the whole target.
#include <gtest/gtest.h>

#include "datachains.h"
#include "mixing/batchmeans.h"
#include "sampler.h"

namespace {

void withoutMissingAlleles() {
  chains[0].missingLeaves.clear();
  chains[0].missingLoci.clear();
  missingNormalLoci.clear();
  normalHasMissing = 0;
}

double reflected(double v) {
  return v < 0 ? -v : v > 1 ? 2 - v : v;
}

// The chain of one marker with three alleles and no transition table.
Chain &buildOneLocusChain() {
  Chain &c = oneMarkerChain({{1}, {2}, {3}, {1}}, 2, 1);
  pset.algSwitch = 1;
  c.alleleFreqAdjust = 0.2;
  withoutMissingAlleles();
  computeTerms();
  return c;
}

TEST(FrequencyMove, RejectionRestoresTablesNodeTermsAndLogTerms) {
  bool firstLocus = false, transitionRow = false;
  for (Seed seed = -1; seed >= -30; seed--) {
    buildDataChain(DataKind::haplotypes);
    withoutMissingAlleles();
    Chain &c = chains[0];
    c.alleleFreqAdjust = 0.3;
    c.logLik = rejectAll;
    const Table freqs = c.popHapFreqs;
    const TransTable trans = c.MP1;
    const TreeMatrix tree = c.tree;
    const double sample = c.popSampleProb;
    const Seed s = runFrom(seed, updateFrequenciesAndMissing);
    const int locus = static_cast<int>(firstDraws(seed, 1)[0] * 3);
    (locus == 0 ? firstLocus : transitionRow) = true;
    // Locus, allele or row and cell, the step, the acceptance number.
    EXPECT_EQ(drawsBetween(seed, s), locus == 0 ? 4 : 5);
    EXPECT_EQ(c.popHapFreqs, freqs);
    EXPECT_EQ(c.MP1, trans);
    EXPECT_EQ(c.tree, tree);
    EXPECT_EQ(c.logLik, rejectAll);
    EXPECT_EQ(c.popSampleProb, sample);
    EXPECT_EQ(c.accFreq, 0);
  }
  EXPECT_TRUE(firstLocus && transitionRow);
}

TEST(FrequencyMove, AcceptedStepChangesOneDistributionAndRescalesTheRest) {
  for (Seed seed = -1; seed >= -30; seed--) {
    buildDataChain(DataKind::haplotypes);
    withoutMissingAlleles();
    Chain &c = chains[0];
    c.logLik = acceptAll;
    const Table freqs = c.popHapFreqs;
    const TransTable trans = c.MP1;
    runFrom(seed, updateFrequenciesAndMissing);
    const std::vector<double> u = firstDraws(seed, 4);
    const int locus = static_cast<int>(u[0] * 3);
    if (locus == 0) {
      const int allele = static_cast<int>(u[1] * 2) + 1;
      const double f = reflected(freqs[allele][0] + (2 * u[2] - 1) * 0.05);
      EXPECT_EQ(c.popHapFreqs[allele][0], f);
      EXPECT_NEAR(c.popHapFreqs[1][0] + c.popHapFreqs[2][0], 1.0, 1e-12);
      EXPECT_EQ(c.MP1, trans);
    } else {
      const int row = static_cast<int>(u[1] * maxall[locus - 1]);
      const int cell = static_cast<int>(u[2] * maxall[locus]);
      const std::vector<double> &cells = c.MP1[locus - 1][row];
      const double v = reflected(trans[locus - 1][row][cell] + (2 * u[3] - 1) * 0.05);
      EXPECT_EQ(cells[cell], v);
      const double factor = (1 - v) / (1 - trans[locus - 1][row][cell]);
      double sum = 0;
      for (int j = 0; j < maxall[locus]; j++) {
        sum += cells[j];
        if (j != cell) {
          EXPECT_NEAR(cells[j], trans[locus - 1][row][j] * factor, 1e-12);
        }
      }
      EXPECT_NEAR(sum, 1.0, 1e-12);
      for (size_t k = 0; k < trans.size(); k++)
        for (size_t i = 0; i < trans[k].size(); i++)
          if (k != static_cast<size_t>(locus - 1) || i != static_cast<size_t>(row)) {
            EXPECT_EQ(c.MP1[k][i], trans[k][i]);
          }
      EXPECT_EQ(c.popHapFreqs[1][0], freqs[1][0]);
    }
    // Later loci hold the marginal frequencies of the changed chain.
    for (int k = 1; k < 3; k++)
      for (int b = 1; b <= maxall[k]; b++) {
        double m = 0;
        for (int a = 1; a <= maxall[k - 1]; a++)
          m += c.popHapFreqs[a][k - 1] * c.MP1[k - 1][a - 1][b - 1];
        EXPECT_EQ(c.popHapFreqs[b][k], m);
      }
    EXPECT_EQ(c.accFreq, 1);
    EXPECT_EQ(c.popSampleProb, sampleSum(0));
    EXPECT_TRUE(termsCurrent(0, c.tree));
  }
}

// A step is reflected into [0, 1] once: below 0 it becomes its negative,
// above 1 two minus it, and a result still outside stays as it is. With one
// allele of frequency 1 no other cell is rescaled and every leaf and normal
// haplotype carries that allele, so a frequency above 1 still gives finite
// log terms and is accepted; a negative one gives NaN and is refused.
TEST(FrequencyMove, ReflectsTheSteppedValueOnce) {
  bool below = false, above = false, farBelow = false;
  for (Seed seed = -1; seed >= -200 && !(below && above && farBelow); seed--) {
    Chain &c = buildOneLocusChain();
    maxall = {1};
    c.popHapFreqs = {{0}, {1.0}, {0}, {0}};
    c.normalHaps = {{1}, {1}};
    c.tree[1][TMAT] = 1;
    computeTerms();
    c.alleleFreqAdjust = 3.0;
    c.logLik = acceptAll;
    runFrom(seed, updateFrequenciesAndMissing);
    const double v = 1.0 + (2 * firstDraws(seed, 3)[2] - 1) * 3.0;
    double expected = reflected(v);
    if (v < -1)
      farBelow = true;
    else if (v < 0)
      below = true;
    else if (v > 1 && v < 2)
      above = true;
    if (expected < 0)
      expected = 1.0; // refused and restored
    EXPECT_EQ(c.popHapFreqs[1][0], expected) << "step to " << v;
  }
  EXPECT_TRUE(below && above && farBelow);
}

TEST(FrequencyMove, WithOneLocusOnlyTheFirstLocusChanges) {
  for (Seed seed = -1; seed >= -20; seed--) {
    const Chain &c = buildOneLocusChain();
    const Seed s = runFrom(seed, updateFrequenciesAndMissing);
    EXPECT_EQ(drawsBetween(seed, s), 4);
    EXPECT_TRUE(c.MP1.empty());
    const Table &f = c.popHapFreqs;
    EXPECT_NEAR(f[1][0] + f[2][0] + f[3][0], 1.0, 1e-12);
    EXPECT_TRUE(termsCurrent(0, c.tree));
  }
}

// The whole-target move alone on one marker of unpaired genotypes leaves the
// table's posterior in place: under the flat prior it is the genealogy's
// likelihood times p1^3 p2 p3 from the normal sample (alleles 1, 2, 3, 1) and
// the ancestral allele 1, times p3^2 from the partner alleles 3 and 3. Its
// means, by quadrature over the simplex, against the long-run means.
TEST(FrequencyMove, WholeTargetMoveKeepsTheOneMarkerPosterior) {
  Chain &c = buildOneLocusChain();
  ChainWork work;
  pset.dataAsGenotypes = 1;
  TOTLOCI = 2;
  maxall = {3, 3};
  c.tree = makeTree(
      {{0, 1, 2, -1, 1, 1, 0, 1}, {1, -1, -1, 0, 0, 1, 0, 2, 3}, {2, -1, -1, 0, 0, 1, 0, 1, 3}});
  const auto logPosterior = [&](double p1, double p2, double p3) {
    c.popHapFreqs = {{0}, {p1}, {p2}, {p3}};
    return chainTprob(c, work.memo, c.tree, c.mutLoc, c.rootLoci) + 3 * std::log(p1) +
           std::log(p2) + 3 * std::log(p3);
  };
  // p1 = s, p2 = (1 - s) t, p3 = (1 - s)(1 - t), of Jacobian 1 - s.
  const int grid = 300;
  const double top = logPosterior(0.4, 0.2, 0.4);
  double mass = 0, exact[3] = {0, 0, 0};
  for (int i = 0; i < grid; i++)
    for (int j = 0; j < grid; j++) {
      const double s = (i + 0.5) / grid, t = (j + 0.5) / grid;
      const double p[3] = {s, (1 - s) * t, (1 - s) * (1 - t)};
      const double w = (1 - s) * std::exp(logPosterior(p[0], p[1], p[2]) - top);
      mass += w;
      for (int k = 0; k < 3; k++)
        exact[k] += w * (k < 2 ? p[k] : 2 * std::log(p[2]));
    }
  c.popHapFreqs = {{0}, {0.5}, {0.3}, {0.2}};
  computeTerms();
  c.rootHapProb = probhap2(c.popHapFreqs, c.MP1, c.rootLoci.data(), work.memo);
  // The mean frequencies of alleles 1 and 2 and the mean partner term.
  std::vector<double> draws[3];
  Rng rng = streamFrom(-11);
  for (int i = 0; i < 200000; i++) {
    updateFrequenciesWhole(rng, c, work);
    draws[0].push_back(c.popHapFreqs[1][0]);
    draws[1].push_back(c.popHapFreqs[2][0]);
    draws[2].push_back(c.partnerProb);
  }
  const char *figure[] = {"frequency of allele 1", "frequency of allele 2", "partner term"};
  for (int k = 0; k < 3; k++) {
    const Estimate e = batchMeans(draws[k]);
    EXPECT_NEAR(e.mean, exact[k] / mass, 4.5 * e.se) << figure[k];
  }
}

// Tables and haplotypes built anew outside the moves, and announced to the
// chain's work record, replace the ones the sample terms were remembered
// under: the next moves score the sample under the new tables and
// haplotypes, not with terms left from the old ones.
TEST(FrequencyMove, RebuiltTablesAreScoredAfresh) {
  buildDataChain(DataKind::haplotypes);
  withoutMissingAlleles();
  Chain &c = chains[0];
  ChainWork work;
  Rng rng = streamFrom(-5);
  updateFrequenciesAndMissing(rng, c, work);
  c.normalHaps = {{2, 3, 2}, {2, 1, 1}, {1, 2, 2}};
  buildPopulationTables(c, c.normalHaps);
  tablesChanged(work);
  computeTerms();
  for (int i = 0; i < 10; i++) {
    c.logLik = acceptAll;
    updateFrequenciesAndMissing(rng, c, work);
    ASSERT_TRUE(termsCurrent(0, c.tree)) << "move " << i;
  }
}

// The patient moves in single-cell mode: one number decides whether the leaf
// proposes; then a listed column, its new allele and, only when the value
// changed, the acceptance number, which decides by the likelihood ratio.
TEST(PatientMissing, SingleCellProposalOnOneListedColumn) {
  int evaluated = 0, unchanged = 0;
  for (Seed seed = -1; seed >= -60; seed--) {
    buildDataChain(DataKind::haplotypes);
    Chain &c = chains[0];
    c.missingLeaves = {4};
    c.missingLoci = {{4, 2, 0, 0, 2, 0}};
    const TreeMatrix before = c.tree;
    const double likBefore = c.logLik;
    const Seed s = runFrom(seed, updatePatientMissing);
    const std::vector<double> u = firstDraws(seed, 4);
    if (u[0] <= 0.5) {
      EXPECT_EQ(drawsBetween(seed, s), 1);
      EXPECT_EQ(c.tree, before);
      continue;
    }
    const int column = u[1] < 0.5 ? 0 : 2;
    const double proposed = -(static_cast<int>(u[2] * 2) + 1);
    if (proposed == before[4][TMAT + column]) {
      unchanged++;
      EXPECT_EQ(drawsBetween(seed, s), 3);
      EXPECT_EQ(c.tree, before);
      continue;
    }
    evaluated++;
    EXPECT_EQ(drawsBetween(seed, s), 4);
    TreeMatrix changed = before;
    changed[4][TMAT + column] = proposed;
    LikelihoodMemo memo;
    double lik = 0;
    tprob(c.popHapFreqs, changed, c.mutLoc, pset.mapDist, &lik, c.rootLoci, -1, 0, c.MP1, memo);
    const bool accept = u[3] < acceptanceProbability(lik - likBefore);
    EXPECT_EQ(c.tree, accept ? changed : before);
    EXPECT_EQ(c.logLik, accept ? lik : likBefore);
  }
  EXPECT_GT(evaluated, 0);
  EXPECT_GT(unchanged, 0);
}

// Flip-all mode: every listed column draws a number and redraws its allele
// when that exceeds one half; a leaf whose redraws all give back the current
// alleles is not evaluated and draws no acceptance number.
TEST(PatientMissing, FlipAllRedrawsEachColumnAndSkipsUnchangedLeaves) {
  int skipped = 0;
  for (Seed seed = -1; seed >= -60; seed--) {
    buildDataChain(DataKind::haplotypes, 1);
    Chain &c = chains[0];
    c.missingLeaves = {4};
    c.missingLoci = {{4, 2, 0, 0, 2, 0}};
    const TreeMatrix before = c.tree;
    const Seed s = runFrom(seed, updatePatientMissing);
    const std::vector<double> u = firstDraws(seed, 5);
    int next = 0;
    bool changed = false;
    for (int column : {0, 2})
      if (u[next++] > 0.5 && -(static_cast<int>(u[next++] * 2) + 1) != before[4][TMAT + column])
        changed = true;
    if (!changed) {
      skipped++;
      EXPECT_EQ(c.tree, before);
    }
    EXPECT_EQ(drawsBetween(seed, s), next + (changed ? 1 : 0));
    EXPECT_TRUE(termsCurrent(0, before));
  }
  EXPECT_GT(skipped, 0);
}

// Unpaired genotypes: a leaf whose missing alleles all lie in the second
// block has its first single-cell move re-impute the first of them, among the
// labels of that block's own marker maximum; in flip-all mode that first move
// draws nothing. Every proposal here is accepted.
TEST(PatientMissing, UnpairedLeafWithMissingSecondBlockOnly) {
  int firstMoveProposed = 0;
  for (int flip = 0; flip <= 1; flip++)
    for (Seed seed = -1; seed >= -40; seed--) {
      buildDataChain(DataKind::unpairedGenotypes, flip);
      Chain &c = chains[0];
      c.missingLeaves = {2};
      c.missingLoci = {{2, 0, 1, 4, 0, 0, 0, 0, 0}};
      maxall[4] = 2; // differs from maxall[1] to show which maximum is used
      c.logLik = acceptAll;
      const TreeMatrix before = c.tree;
      const double partner = c.partnerProb;
      const Seed s = runFrom(seed, updatePatientMissing);
      const std::vector<double> u = firstDraws(seed, 8);
      int next = 0;
      double cell = before[2][TMAT + 4];
      bool evaluated = false;
      // One proposal on the listed second-block column: single-cell mode
      // draws its number, the choice among one column and the allele;
      // flip-all mode its number and the allele.
      auto propose = [&]() {
        if (u[next++] <= 0.5)
          return;
        if (flip == 0)
          next++;
        const double proposed = -(static_cast<int>(u[next++] * 2) + 1);
        if (proposed != cell) {
          next++;
          cell = proposed;
          evaluated = true;
        }
      };
      if (flip == 0) {
        firstMoveProposed += u[0] > 0.5;
        propose();
      }
      propose();
      EXPECT_EQ(drawsBetween(seed, s), next);
      EXPECT_EQ(c.tree[2][TMAT + 4], cell);
      for (int k = 0; k < 6; k++)
        if (k != 4) {
          EXPECT_EQ(c.tree[2][TMAT + k], before[2][TMAT + k]);
        }
      if (evaluated) {
        EXPECT_TRUE(termsCurrent(partner, before));
      }
    }
  EXPECT_GT(firstMoveProposed, 0);
}

// A normal haplotype proposes one of its missing loci and a new label; an
// unchanged label ends the move without an acceptance number, and a label the
// tables make impossible is always refused.
TEST(NormalMissing, ProposalsKeepTheSampleTermAndRefuseImpossibleLabels) {
  int refused = 0;
  for (Seed seed = -1; seed >= -40; seed--) {
    buildDataChain(DataKind::haplotypes);
    Chain &c = chains[0];
    missingNormalLoci = {{1, 2, 1}};
    c.MP1[0][0] = {1.0, 0.0, 0.0}; // after allele 1 at marker 1 only allele 1 at marker 2
    computeTerms();
    const Seed s = runFrom(seed, updateNormalMissing);
    const std::vector<double> u = firstDraws(seed, 3);
    const int proposed = -(static_cast<int>(u[1] * 3) + 1);
    EXPECT_EQ(drawsBetween(seed, s), proposed == -1 ? 2 : 3);
    if (proposed != -1)
      refused++;
    EXPECT_EQ(c.normalHaps[2], (Haplotype{1, -1, 2}));
    EXPECT_TRUE(termsCurrent(0, c.tree));
  }
  EXPECT_GT(refused, 0);
}

TEST(MissingMoves, WithoutMissingAllelesOnlyTheFrequencyMoveDraws) {
  for (Seed seed = -1; seed >= -10; seed--) {
    buildDataChain(DataKind::unpairedGenotypes);
    withoutMissingAlleles();
    const Seed s = runFrom(seed, updateFrequenciesAndMissing);
    const int locus = static_cast<int>(firstDraws(seed, 1)[0] * 3);
    EXPECT_EQ(drawsBetween(seed, s), locus == 0 ? 4 : 5);
  }
}

// A few hundred iterations of the frequency and missing-allele moves and the
// phase updates in each data kind and both flip modes, comparing the chain's
// stored terms with a recomputation after every call.
TEST(MissingMoves, TermsStayCurrentOverManyIterations) {
  for (DataKind kind :
       {DataKind::haplotypes, DataKind::unpairedGenotypes, DataKind::pairedGenotypes})
    for (int flip = 0; flip <= 1; flip++) {
      buildDataChain(kind, flip);
      Chain &c = chains[0];
      ChainWork work;
      Rng rng = streamFrom(-7);
      for (int i = 0; i < 200; i++) {
        TreeMatrix before = c.tree;
        double partner = c.partnerProb;
        updateFrequenciesAndMissing(rng, c, work);
        ASSERT_TRUE(termsCurrent(partner, before))
            << "kind " << static_cast<int>(kind) << " flip " << flip << " iteration " << i;
        before = c.tree;
        partner = c.partnerProb;
        updatePhase(rng, c, work);
        ASSERT_TRUE(termsCurrent(partner, before))
            << "phase, kind " << static_cast<int>(kind) << " flip " << flip << " iteration " << i;
      }
      EXPECT_GT(c.accFreq, 0);
      if (kind == DataKind::haplotypes) {
        // Observed alleles are never touched; imputed ones stay imputed.
        EXPECT_EQ(c.tree[3][TMAT + 0], 1);
        EXPECT_EQ(c.tree[4][TMAT + 1], 1);
        EXPECT_LT(c.tree[2][TMAT + 1], 0);
        EXPECT_LT(c.tree[4][TMAT + 2], 0);
      }
    }
}

} // namespace
