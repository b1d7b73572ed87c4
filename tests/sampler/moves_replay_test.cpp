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
void plainPropagate(Chain &chain, int from) {
  Table &f = chain.popHapFreqs;
  for (int k = from; k < pset.numLoci; k++)
    for (int b = 1; b <= maxall[k]; b++) {
      double sum = 0;
      for (int a = 1; a <= maxall[k - 1]; a++)
        sum += f[a][k - 1] * chain.MP1[k - 1][a - 1][b - 1];
      f[b][k] = sum;
    }
}

// Steps cell chosen of a distribution and rescales the others by one factor.
void plainStep(std::vector<double *> cells, size_t chosen, double width, Rng &rng) {
  const double v = plainReflect(*cells[chosen] + (2 * ran1(rng) - 1) * width);
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

void plainFrequencyMove(Rng &rng, Chain &chain) {
  Table &f = chain.popHapFreqs;
  TreeMatrix &tree = chain.tree;
  const double width = chain.alleleFreqAdjust;
  const int lambda = random2(pset.numLoci, rng);
  std::vector<double> savedLik;
  for (const TreeRow &row : tree)
    savedLik.push_back(row[nodeLogLik]);
  const Table savedFreqs = f;
  std::vector<double> savedRow;
  int i = 0;
  if (lambda == 0) {
    const int A = random2(maxall[0], rng) + 1;
    std::vector<double *> cells;
    for (int a = 1; a <= maxall[0]; a++)
      cells.push_back(&f[a][0]);
    plainStep(cells, A - 1, width, rng);
    plainPropagate(chain, 1);
  } else {
    i = random2(maxall[lambda - 1], rng);
    const int j = random2(maxall[lambda], rng);
    std::vector<double> &row = chain.MP1[lambda - 1][i];
    savedRow = row;
    std::vector<double *> cells;
    for (double &c : row)
      cells.push_back(&c);
    plainStep(cells, j, width, rng);
    plainPropagate(chain, lambda);
  }
  LikelihoodMemo memo;
  double lik = 0;
  tprob(f, tree, chain.mutLoc, pset.mapDist, &lik, chain.rootLoci, -1, 0, chain.MP1, memo);
  double sample = 0;
  for (const Haplotype &h : chain.normalHaps)
    sample += probhap2(f, chain.MP1, h.data(), memo);
  const double r = (lik + sample) - (chain.logLik + chain.popSampleProb);
  if (ran1(rng) < plainAlpha(r)) {
    chain.popSampleProb = sample;
    chain.logLik = lik;
    chain.accFreq++;
    return;
  }
  for (size_t v = 0; v < tree.size(); v++)
    tree[v][nodeLogLik] = savedLik[v];
  if (lambda > 0)
    chain.MP1[lambda - 1][i] = savedRow;
  for (int a = 1; a <= maxAllele; a++)
    f[a] = savedFreqs[a];
}

double plainPartner(const Chain &chain, const double *second) {
  double q = 0;
  for (int k = 0; k < pset.numLoci; k++)
    q += std::log(chain.popHapFreqs[static_cast<int>(std::fabs(second[k]))][k]);
  return q;
}

bool plainReimpute(TreeRow &row, int c, Rng &rng) {
  const double old = row[TMAT + c];
  row[TMAT + c] = -(random2(maxall[c], rng) + 1);
  return row[TMAT + c] != old;
}

// One leaf proposal on the count listed columns from record position 3 +
// from on; true when a cell changed.
bool plainPropose(TreeRow &row, const std::vector<int> &R, int from, int count, Rng &rng,
                  bool skipWhenNone) {
  if (pset.flipAllLoci != 0) {
    bool changed = false;
    for (int i = 0; i < count; i++)
      if (ran1(rng) > 0.5 && plainReimpute(row, R[3 + from + i], rng))
        changed = true;
    return changed;
  }
  if (ran1(rng) <= 0.5 || (skipWhenNone && count == 0))
    return false;
  return plainReimpute(row, R[3 + from + random2(count, rng)], rng);
}

// Scores the leaf's changed cells against savedCells; only the leaf's own
// node term is restored on rejection.
void plainEvaluate(Rng &rng, Chain &chain, int leaf, const std::vector<double> &savedCells) {
  TreeRow &row = chain.tree[leaf];
  const bool unpaired = pset.dataAsGenotypes && !pset.geneticModel;
  const double savedLik = row[nodeLogLik];
  LikelihoodMemo memo;
  double lik = 0;
  tprob(chain.popHapFreqs, chain.tree, chain.mutLoc, pset.mapDist, &lik, chain.rootLoci, leaf,
        pset.dataAsGenotypes && pset.geneticModel ? 2 : 1, chain.MP1, memo);
  double Q = chain.partnerProb;
  double r = lik - chain.logLik;
  if (unpaired) {
    Q = chain.partnerProb - plainPartner(chain, savedCells.data() + pset.numLoci) +
        plainPartner(chain, row.data() + TMAT + pset.numLoci);
    r = (lik + Q) - (chain.logLik + chain.partnerProb);
  }
  if (ran1(rng) < plainAlpha(r)) {
    chain.logLik = lik;
    chain.partnerProb = Q;
    return;
  }
  row[nodeLogLik] = savedLik;
  std::copy(savedCells.begin(), savedCells.end(), row.begin() + TMAT);
}

void plainPatientMissing(Rng &rng, Chain &chain) {
  const bool unpaired = pset.dataAsGenotypes && !pset.geneticModel;
  for (size_t j = 0; j < chain.missingLeaves.size(); j++) {
    const std::vector<int> &R = chain.missingLoci[j];
    const int leaf = R[0], m1 = R[1], m2 = R[2];
    TreeRow &row = chain.tree[leaf];
    std::vector<double> saved(row.begin() + TMAT, row.begin() + TMAT + TOTLOCI);
    if (plainPropose(row, R, 0, m1, rng, false))
      plainEvaluate(rng, chain, leaf, saved);
    if (!unpaired)
      continue;
    saved.assign(row.begin() + TMAT, row.begin() + TMAT + TOTLOCI);
    if (plainPropose(row, R, m1, m2, rng, true))
      plainEvaluate(rng, chain, leaf, saved);
  }
}

void plainNormalMissing(Rng &rng, Chain &chain) {
  if (normalHasMissing == 0)
    return;
  LikelihoodMemo memo;
  for (const std::vector<int> &R : missingNormalLoci) {
    const int lambda = R[2 + random2(R[0], rng)];
    const int h = R[1];
    Haplotype &hap = chain.normalHaps[h];
    const int old = hap[lambda];
    Haplotype buffer = hap;
    const double before = probhap2(chain.popHapFreqs, chain.MP1, buffer.data(), memo);
    const int proposed = -(random2(maxall[lambda], rng) + 1);
    hap[lambda] = proposed;
    if (proposed == old)
      continue;
    buffer[lambda] = proposed;
    const double after = probhap2(chain.popHapFreqs, chain.MP1, buffer.data(), memo);
    if (ran1(rng) <= plainAlpha(after - before))
      chain.popSampleProb += after - before;
    else
      hap[lambda] = old;
  }
}

void plainFrequenciesAndMissing(Rng &rng, Chain &chain) {
  plainFrequencyMove(rng, chain);
  plainPatientMissing(rng, chain);
  plainNormalMissing(rng, chain);
}

// Phase updates: each individual once (paired: from its higher label), one
// number per locus whose stored alleles differ, exchange above one half, one
// acceptance number when anything was exchanged.
void plainPhase(Rng &rng, Chain &chain) {
  if (pset.dataAsGenotypes == 0)
    return;
  TreeMatrix &tree = chain.tree;
  const int L = pset.numLoci;
  const bool paired = pset.geneticModel != 0;
  LikelihoodMemo memo;
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
      if (first[k] != second[k] && ran1(rng) > 0.5) {
        std::swap(first[k], second[k]);
        exchanged = true;
      }
    if (!exchanged)
      continue;
    const double likT = tree[t][nodeLogLik], likQ = tree[q][nodeLogLik];
    double lik = 0;
    tprob(chain.popHapFreqs, tree, chain.mutLoc, pset.mapDist, &lik, chain.rootLoci,
          static_cast<int>(t), paired ? 2 : 1, chain.MP1, memo);
    double P = chain.partnerProb;
    double r = lik - chain.logLik;
    if (!paired) {
      P = chain.partnerProb - plainPartner(chain, savedCells.data() + L) +
          plainPartner(chain, &tree[t][TMAT + L]);
      r = (lik + P) - (chain.logLik + chain.partnerProb);
    }
    if (ran1(rng) < plainAlpha(r)) {
      chain.logLik = lik;
      chain.partnerProb = P;
      continue;
    }
    tree[t][nodeLogLik] = likT;
    tree[q][nodeLogLik] = likQ;
    std::copy(scratchFirst.begin(), scratchFirst.end(), first);
    std::copy(scratchSecond.begin(), scratchSecond.end(), second);
  }
}

// Bitwise equality, NaN equal to NaN.
bool same(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

// Everything the moves read or change: the genealogy, the tables, the normal
// haplotypes, the log terms and the acceptance counter.
testing::AssertionResult sameState(const Chain &a, const Chain &b) {
  for (size_t r = 0; r < a.tree.size(); r++)
    for (size_t c = 0; c < a.tree[r].size(); c++)
      if (!same(a.tree[r][c], b.tree[r][c]))
        return testing::AssertionFailure() << "tree row " << r << " column " << c << ": "
                                           << a.tree[r][c] << " against " << b.tree[r][c];
  for (size_t x = 0; x < a.popHapFreqs.size(); x++)
    for (size_t k = 0; k < a.popHapFreqs[x].size(); k++)
      if (!same(a.popHapFreqs[x][k], b.popHapFreqs[x][k]))
        return testing::AssertionFailure() << "frequency " << x << "," << k;
  for (size_t k = 0; k < a.MP1.size(); k++)
    for (size_t x = 0; x < a.MP1[k].size(); x++)
      for (size_t y = 0; y < a.MP1[k][x].size(); y++)
        if (!same(a.MP1[k][x][y], b.MP1[k][x][y]))
          return testing::AssertionFailure() << "transition " << k << "," << x << "," << y;
  if (a.normalHaps != b.normalHaps)
    return testing::AssertionFailure() << "normal haplotypes";
  if (!same(a.logLik, b.logLik) || !same(a.popSampleProb, b.popSampleProb) ||
      !same(a.partnerProb, b.partnerProb))
    return testing::AssertionFailure()
           << "log terms " << a.logLik << " " << a.popSampleProb << " " << a.partnerProb
           << " against " << b.logLik << " " << b.popSampleProb << " " << b.partnerProb;
  if (a.accFreq != b.accFreq)
    return testing::AssertionFailure() << "accepted " << a.accFreq << " against " << b.accFreq;
  return testing::AssertionSuccess();
}

// Iterations of chain 0: from each state the program's moves and the plain
// rendering run on the same fresh stream and must agree, and so must the
// phase update that follows. Each starts from a whole copy of the chain, so
// the program's moves find their remembered terms as they left them.
void compareWithPlainRules(int iterations, Seed firstSeed) {
  Chain &chain = chains[0];
  ChainWork work;
  for (int it = 0; it < iterations; it++) {
    const Chain start = chain;
    Rng plainRng = streamFrom(firstSeed - it);
    plainFrequenciesAndMissing(plainRng, chain);
    const Chain plain = chain;
    chain = start;
    Rng rng = streamFrom(firstSeed - it);
    updateFrequenciesAndMissing(rng, chain, work);
    ASSERT_EQ(rng.seed, plainRng.seed) << "iteration " << it;
    ASSERT_TRUE(sameState(chain, plain)) << "iteration " << it;
    const Chain beforePhase = chain;
    plainRng = streamFrom(firstSeed - 1000 - it);
    plainPhase(plainRng, chain);
    const Chain plainPhased = chain;
    chain = beforePhase;
    rng = streamFrom(firstSeed - 1000 - it);
    updatePhase(rng, chain, work);
    ASSERT_EQ(rng.seed, plainRng.seed) << "phase, iteration " << it;
    ASSERT_TRUE(sameState(chain, plainPhased)) << "phase, iteration " << it;
  }
}

void onePopulationModel(double algSwitch) {
  pset.algSwitch = algSwitch;
  chains[0].alleleFreqAdjust = 0.3;
  computeTerms();
  chains[0].accFreq = 0;
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
        EXPECT_GT(chains[0].accFreq, 0);
      }
}

// One marker: no transition table; a leaf and a normal haplotype with an
// imputed allele.
TEST(MovesAgainstPlainRules, SingleMarker) {
  for (int flip = 0; flip <= 1; flip++)
    for (double algSwitch : {0.0, 1.0}) {
      Chain &c = oneMarkerChain({{1}, {2}, {-3}, {1}}, -2, 1);
      pset.flipAllLoci = flip;
      missingNormalLoci = {{1, 2, 0}};
      normalHasMissing = 1;
      c.missingLeaves = {1};
      c.missingLoci = {{1, 1, 0, 0}};
      onePopulationModel(algSwitch);
      compareWithPlainRules(200, -5);
      EXPECT_GT(c.accFreq, 0);
      EXPECT_TRUE(c.MP1.empty());
    }
}

} // namespace
