// The frequency and missing-allele moves set against a plain rendering of
// their rules, written out step by step without any remembered terms: from
// the same state and the same stream both must make the same draws and leave
// the same tables, alleles, node terms and log terms, bit for bit. Run over
// many iterations of every data kind, both flip modes, both population
// models and a single marker, with phase updates in between so that the
// genotypes' phases and the lists of imputed cells keep changing.
#include <gtest/gtest.h>

#include <cmath>

#include "datachains.h"
#include "sampler.h"

namespace {

double plainAlpha(double r) {
  return r >= 0 ? 1.0 : std::exp(r);
}

double plainReflect(double v) {
  if (v < 0)
    return -v;
  if (v > 1)
    return 2 - v;
  return v;
}

// Marginal frequencies of loci from..L-1 from those of the locus before.
void plainPropagate(int ch, int from) {
  Table &f = pset.popHapFreqs[ch];
  for (int k = from; k < pset.numLoci; k++)
    for (int b = 1; b <= maxall[k]; b++) {
      double sum = 0;
      for (int a = 1; a <= maxall[k - 1]; a++)
        sum += f[a][k - 1] * MP1[ch][k - 1][a - 1][b - 1];
      f[b][k] = sum;
    }
}

// Steps cell chosen of a distribution and rescales the others by one factor.
void plainStep(std::vector<double *> cells, size_t chosen, double width, Seed *seed) {
  const double v = plainReflect(*cells[chosen] + (2 * ran1(seed) - 1) * width);
  *cells[chosen] = v;
  double others = 0;
  for (size_t i = 0; i < cells.size(); i++)
    if (i != chosen)
      others += *cells[i];
  const double factor = (1 - v) / others;
  for (size_t i = 0; i < cells.size(); i++)
    if (i != chosen)
      *cells[i] *= factor;
}

void plainFrequencyMove(Seed *seed, int ch) {
  Table &f = pset.popHapFreqs[ch];
  TreeMatrix &tree = chainTree[ch];
  const double width = pset.alleleFreqAdjust[ch];
  const int lambda = random2(pset.numLoci, seed);
  std::vector<double> savedLik;
  for (const TreeRow &row : tree)
    savedLik.push_back(row[nodeLogLik]);
  const Table savedFreqs = f;
  std::vector<double> savedRow;
  int i = 0;
  if (lambda == 0) {
    const int A = random2(maxall[0], seed) + 1;
    std::vector<double *> cells;
    for (int a = 1; a <= maxall[0]; a++)
      cells.push_back(&f[a][0]);
    plainStep(cells, A - 1, width, seed);
    plainPropagate(ch, 1);
  } else {
    i = random2(maxall[lambda - 1], seed);
    const int j = random2(maxall[lambda], seed);
    std::vector<double> &row = MP1[ch][lambda - 1][i];
    savedRow = row;
    std::vector<double *> cells;
    for (double &c : row)
      cells.push_back(&c);
    plainStep(cells, j, width, seed);
    plainPropagate(ch, lambda);
  }
  double lik = 0;
  tprob(f, tree, pset.mutLocStart[ch], pset.mapDist, &lik, pset.rootLoci[ch], -1, 0, MP1[ch]);
  double sample = 0;
  for (const Haplotype &h : normalHaps[ch])
    sample += probhap2(f, MP1[ch], h.data());
  const double r = (lik + sample) - (chainLogLik[ch] + chainPopSampleProb[ch]);
  if (ran1(seed) < plainAlpha(r)) {
    chainPopSampleProb[ch] = sample;
    chainLogLik[ch] = lik;
    accFreq[ch]++;
    return;
  }
  for (size_t v = 0; v < tree.size(); v++)
    tree[v][nodeLogLik] = savedLik[v];
  if (lambda > 0)
    MP1[ch][lambda - 1][i] = savedRow;
  for (int a = 1; a <= maxAllele; a++)
    f[a] = savedFreqs[a];
}

double plainPartner(int ch, const double *second) {
  double q = 0;
  for (int k = 0; k < pset.numLoci; k++)
    q += std::log(pset.popHapFreqs[ch][static_cast<int>(std::fabs(second[k]))][k]);
  return q;
}

bool plainReimpute(TreeRow &row, int c, Seed *seed) {
  const double old = row[TMAT + c];
  row[TMAT + c] = -(random2(maxall[c], seed) + 1);
  return row[TMAT + c] != old;
}

// One leaf proposal on the count listed columns from record position 3 +
// from on; true when a cell changed.
bool plainPropose(TreeRow &row, const std::vector<int> &R, int from, int count, Seed *seed,
                  bool skipWhenNone) {
  if (pset.flipAllLoci != 0) {
    bool changed = false;
    for (int i = 0; i < count; i++)
      if (ran1(seed) > 0.5 && plainReimpute(row, R[3 + from + i], seed))
        changed = true;
    return changed;
  }
  if (ran1(seed) <= 0.5 || (skipWhenNone && count == 0))
    return false;
  return plainReimpute(row, R[3 + from + random2(count, seed)], seed);
}

// Scores the leaf's changed cells against savedCells; only the leaf's own
// node term is restored on rejection.
void plainEvaluate(Seed *seed, int ch, int leaf, const std::vector<double> &savedCells) {
  TreeRow &row = chainTree[ch][leaf];
  const bool unpaired = pset.dataAsGenotypes && !pset.geneticModel;
  const double savedLik = row[nodeLogLik];
  double lik = 0;
  tprob(pset.popHapFreqs[ch], chainTree[ch], pset.mutLocStart[ch], pset.mapDist, &lik,
        pset.rootLoci[ch], leaf, pset.dataAsGenotypes && pset.geneticModel ? 2 : 1, MP1[ch]);
  double Q = chainPartnerProb[ch];
  double r = lik - chainLogLik[ch];
  if (unpaired) {
    Q = chainPartnerProb[ch] - plainPartner(ch, savedCells.data() + pset.numLoci) +
        plainPartner(ch, row.data() + TMAT + pset.numLoci);
    r = (lik + Q) - (chainLogLik[ch] + chainPartnerProb[ch]);
  }
  if (ran1(seed) < plainAlpha(r)) {
    chainLogLik[ch] = lik;
    chainPartnerProb[ch] = Q;
    return;
  }
  row[nodeLogLik] = savedLik;
  std::copy(savedCells.begin(), savedCells.end(), row.begin() + TMAT);
}

void plainPatientMissing(Seed *seed, int ch) {
  const bool unpaired = pset.dataAsGenotypes && !pset.geneticModel;
  for (size_t j = 0; j < missingLeaves[ch].size(); j++) {
    const std::vector<int> &R = missingLoci[ch][j];
    const int leaf = R[0], m1 = R[1], m2 = R[2];
    TreeRow &row = chainTree[ch][leaf];
    std::vector<double> saved(row.begin() + TMAT, row.begin() + TMAT + TOTLOCI);
    if (plainPropose(row, R, 0, m1, seed, false))
      plainEvaluate(seed, ch, leaf, saved);
    if (!unpaired)
      continue;
    saved.assign(row.begin() + TMAT, row.begin() + TMAT + TOTLOCI);
    if (plainPropose(row, R, m1, m2, seed, true))
      plainEvaluate(seed, ch, leaf, saved);
  }
}

void plainNormalMissing(Seed *seed, int ch) {
  if (normalHasMissing == 0)
    return;
  for (const std::vector<int> &R : missingNormalLoci) {
    const int lambda = R[2 + random2(R[0], seed)];
    const int h = R[1];
    const int old = normalHaps[ch][h][lambda];
    Haplotype buffer = normalHaps[ch][h];
    const double before = probhap2(pset.popHapFreqs[ch], MP1[ch], buffer.data());
    const int proposed = -(random2(maxall[lambda], seed) + 1);
    normalHaps[ch][h][lambda] = proposed;
    if (proposed == old)
      continue;
    buffer[lambda] = proposed;
    const double after = probhap2(pset.popHapFreqs[ch], MP1[ch], buffer.data());
    if (ran1(seed) <= plainAlpha(after - before))
      chainPopSampleProb[ch] += after - before;
    else
      normalHaps[ch][h][lambda] = old;
  }
}

void plainFrequenciesAndMissing(Seed *seed, int ch) {
  plainFrequencyMove(seed, ch);
  plainPatientMissing(seed, ch);
  plainNormalMissing(seed, ch);
}

// Phase updates: each individual once (paired: from its higher label), one
// number per locus whose stored alleles differ, exchange above one half, one
// acceptance number when anything was exchanged.
void plainPhase(Seed *seed, int ch) {
  if (pset.dataAsGenotypes == 0)
    return;
  TreeMatrix &tree = chainTree[ch];
  const int L = pset.numLoci;
  const bool paired = pset.geneticModel != 0;
  for (size_t t = 0; t < tree.size(); t++) {
    if (tree[t][child1] != -1)
      continue;
    if (paired && !(tree[t][nodeLabel] > tree[static_cast<int>(tree[t][partnerLeaf])][nodeLabel]))
      continue;
    const int q = paired ? static_cast<int>(tree[t][partnerLeaf]) : static_cast<int>(t);
    double *first = &tree[t][TMAT];
    double *second = paired ? &tree[q][TMAT] : &tree[t][TMAT + L];
    const std::vector<double> scratchFirst(first, first + L), scratchSecond(second, second + L);
    const std::vector<double> savedCells(tree[t].begin() + TMAT, tree[t].begin() + TMAT + TOTLOCI);
    bool exchanged = false;
    for (int k = 0; k < L; k++)
      if (first[k] != second[k] && ran1(seed) > 0.5) {
        std::swap(first[k], second[k]);
        exchanged = true;
      }
    if (!exchanged)
      continue;
    const double likT = tree[t][nodeLogLik], likQ = tree[q][nodeLogLik];
    double lik = 0;
    tprob(pset.popHapFreqs[ch], tree, pset.mutLocStart[ch], pset.mapDist, &lik, pset.rootLoci[ch],
          static_cast<int>(t), paired ? 2 : 1, MP1[ch]);
    double P = chainPartnerProb[ch];
    double r = lik - chainLogLik[ch];
    if (!paired) {
      P = chainPartnerProb[ch] - plainPartner(ch, savedCells.data() + L) +
          plainPartner(ch, &tree[t][TMAT + L]);
      r = (lik + P) - (chainLogLik[ch] + chainPartnerProb[ch]);
    }
    if (ran1(seed) < plainAlpha(r)) {
      chainLogLik[ch] = lik;
      chainPartnerProb[ch] = P;
      continue;
    }
    tree[t][nodeLogLik] = likT;
    tree[q][nodeLogLik] = likQ;
    std::copy(scratchFirst.begin(), scratchFirst.end(), first);
    std::copy(scratchSecond.begin(), scratchSecond.end(), second);
  }
}

// Everything the moves read or change.
struct ChainState {
  TreeMatrix tree;
  Table freqs;
  TransTable trans;
  std::vector<Haplotype> normal;
  double logLik, sample, partner;
  int accepted;

  static ChainState take() {
    return {chainTree[0],          pset.popHapFreqs[0], MP1[0],    normalHaps[0], chainLogLik[0],
            chainPopSampleProb[0], chainPartnerProb[0], accFreq[0]};
  }
  void put() const {
    chainTree[0] = tree;
    pset.popHapFreqs[0] = freqs;
    MP1[0] = trans;
    normalHaps[0] = normal;
    chainLogLik[0] = logLik;
    chainPopSampleProb[0] = sample;
    chainPartnerProb[0] = partner;
    accFreq[0] = accepted;
  }
};

// Bitwise equality, NaN equal to NaN.
bool same(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

testing::AssertionResult sameState(const ChainState &a, const ChainState &b) {
  for (size_t r = 0; r < a.tree.size(); r++)
    for (size_t c = 0; c < a.tree[r].size(); c++)
      if (!same(a.tree[r][c], b.tree[r][c]))
        return testing::AssertionFailure() << "tree row " << r << " column " << c << ": "
                                           << a.tree[r][c] << " against " << b.tree[r][c];
  for (size_t x = 0; x < a.freqs.size(); x++)
    for (size_t k = 0; k < a.freqs[x].size(); k++)
      if (!same(a.freqs[x][k], b.freqs[x][k]))
        return testing::AssertionFailure() << "frequency " << x << "," << k;
  for (size_t k = 0; k < a.trans.size(); k++)
    for (size_t x = 0; x < a.trans[k].size(); x++)
      for (size_t y = 0; y < a.trans[k][x].size(); y++)
        if (!same(a.trans[k][x][y], b.trans[k][x][y]))
          return testing::AssertionFailure() << "transition " << k << "," << x << "," << y;
  if (a.normal != b.normal)
    return testing::AssertionFailure() << "normal haplotypes";
  if (!same(a.logLik, b.logLik) || !same(a.sample, b.sample) || !same(a.partner, b.partner))
    return testing::AssertionFailure()
           << "log terms " << a.logLik << " " << a.sample << " " << a.partner << " against "
           << b.logLik << " " << b.sample << " " << b.partner;
  if (a.accepted != b.accepted)
    return testing::AssertionFailure() << "accepted " << a.accepted << " against " << b.accepted;
  return testing::AssertionSuccess();
}

// Iterations of chain 0: from each state the program's moves and the plain
// rendering run on the same fresh stream and must agree, and so must the
// phase update that follows.
void compareWithPlainRules(int iterations, Seed firstSeed) {
  for (int it = 0; it < iterations; it++) {
    const ChainState start = ChainState::take();
    resetRandomState();
    Seed plainSeed = firstSeed - it;
    plainFrequenciesAndMissing(&plainSeed, 0);
    const ChainState plain = ChainState::take();
    start.put();
    resetRandomState();
    Seed seed = firstSeed - it;
    updateFrequenciesAndMissing(&seed, 0);
    ASSERT_EQ(seed, plainSeed) << "iteration " << it;
    ASSERT_TRUE(sameState(ChainState::take(), plain)) << "iteration " << it;
    const ChainState beforePhase = ChainState::take();
    resetRandomState();
    plainSeed = firstSeed - 1000 - it;
    plainPhase(&plainSeed, 0);
    const ChainState plainPhased = ChainState::take();
    beforePhase.put();
    resetRandomState();
    seed = firstSeed - 1000 - it;
    updatePhase(&seed, 0);
    ASSERT_EQ(seed, plainSeed) << "phase, iteration " << it;
    ASSERT_TRUE(sameState(ChainState::take(), plainPhased)) << "phase, iteration " << it;
  }
}

void onePopulationModel(double algSwitch) {
  pset.algSwitch = algSwitch;
  pset.alleleFreqAdjust = {0.3};
  computeTerms();
  accFreq = {0};
}

TEST(MovesAgainstPlainRules, EveryDataKindFlipModeAndPopulationModel) {
  for (DataKind kind :
       {DataKind::haplotypes, DataKind::unpairedGenotypes, DataKind::pairedGenotypes})
    for (int flip = 0; flip <= 1; flip++)
      for (double algSwitch : {0.0, 1.0}) {
        SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << " flip " << flip
                                        << " algSwitch " << algSwitch);
        buildDataChain(kind, flip);
        onePopulationModel(algSwitch);
        compareWithPlainRules(300, -11);
        EXPECT_GT(accFreq[0], 0);
      }
}

// One marker: no transition table; a leaf and a normal haplotype with an
// imputed allele.
TEST(MovesAgainstPlainRules, SingleMarker) {
  for (int flip = 0; flip <= 1; flip++)
    for (double algSwitch : {0.0, 1.0}) {
      setSmallRun(2, 1, 1);
      pset.mapDist = {0, 0};
      pset.mutLocStart = {0.5};
      pset.mutAgeStart = {2};
      pset.growthRate = 0.5;
      pset.propSampled = 0.1;
      pset.rootLoci = {{1}};
      pset.flipAllLoci = flip;
      maxall = {3};
      maxAllele = 3;
      answer.assign(1, 0.0);
      pset.popHapFreqs = {{{0}, {0.5}, {0.3}, {0.2}}};
      MP1 = {TransTable()};
      normalHaps = {{{1}, {2}, {-3}, {1}}};
      missingNormalLoci = {{1, 2, 0}};
      normalHasMissing = 1;
      chainTree = {makeTree(
          {{0, 1, 2, -1, 1, 1, 0, 1}, {1, -1, -1, 0, 0, 1, 0, -2}, {2, -1, -1, 0, 0, 1, 0, 1}})};
      missingLeaves = {{1}};
      missingLoci = {{{1, 1, 0, 0}}};
      onePopulationModel(algSwitch);
      compareWithPlainRules(200, -5);
      EXPECT_GT(accFreq[0], 0);
      for (const TransTable &t : MP1)
        EXPECT_TRUE(t.empty());
    }
}

} // namespace
