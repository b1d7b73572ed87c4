// Every chain's starting state: a generated (or, for chain 0, stored)
// genealogy whose leaves carry the patient chromosomes, imputed values for
// missing alleles, the chain's initial log terms, its ordered node ages, and
// the lists of leaves with missing alleles that the missing-allele moves walk.
// All chains draw from one stream, so the order of the steps below is part of
// the run's behaviour.
#include <cmath>
#include <limits>
#include <new>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "genealogy.h"
#include "input.h"
#include "likelihood.h"
#include "messages.h"
#include "random.h"
#include "stop.h"

namespace {

int leafCount() {
  return pset.numChromosomes;
}
int rowCount() {
  return 2 * pset.numChromosomes - 1;
}

// The data row that carries the next chromosomes: rows whose count is 0 carry
// none and are passed over.
int nextHaplotypeRow(int g) {
  while (g < patientRows - 1 && patientData[g][0] <= 0)
    g++;
  return g;
}

// Haplotype data: each data row goes to as many leaves as its count says,
// the leaves taken in a fresh random order. The matrix has its leaves first.
void loadHaplotypes(TreeMatrix &tree, std::vector<int> &perm) {
  const int n = leafCount();
  systemShuffle(perm);
  int g = nextHaplotypeRow(0);
  int bound = patientData[g][0];
  for (int i = 0; i < n; i++) {
    for (int k = 0; k < pset.numLoci; k++)
      tree[perm[i]][TMAT + k] = patientData[g][k + 1];
    if (bound == i + 1 && i < n - 1) {
      g = nextHaplotypeRow(g + 1);
      bound += patientData[g][0];
    }
  }
}

// Unpaired genotypes: one leaf per individual, in a fresh random order; the
// two alleles of every locus go into the leaf's two blocks in a random order.
void loadUnpairedGenotypes(Seed *seed, TreeMatrix &tree, std::vector<int> &perm) {
  const int L = pset.numLoci;
  systemShuffle(perm);
  for (int r = 0; r < leafCount(); r++) {
    TreeRow &leaf = tree[perm[r]];
    for (int k = 0; k < L; k++) {
      const double u = ran1(seed);
      const int first = patientData[r][2 * k];
      const int second = patientData[r][2 * k + 1];
      leaf[TMAT + k] = u > 0.5 ? first : second;
      leaf[TMAT + L + k] = u > 0.5 ? second : first;
    }
  }
}

// Paired genotypes: the leaves are paired at random into individuals, each
// naming the other as its partner; then, for individual i and locus k, one
// draw u decides the phase through setPhase(i, k, u > 0.5, a, b). The matrix
// enters and leaves with its leaves first.
template <class SetPhase>
void pairLeaves(Seed *seed, TreeMatrix &tree, std::vector<int> &perm, SetPhase setPhase) {
  const int n = leafCount();
  for (int i = 0; i < n; i++)
    perm[i] = static_cast<int>(tree[i][nodeLabel]);
  systemShuffle(perm);
  sortTree(tree, nodeLabel);
  for (int i = 0; i < n / 2; i++) {
    TreeRow &a = tree[perm[2 * i]];
    TreeRow &b = tree[perm[2 * i + 1]];
    a[partnerLeaf] = perm[2 * i + 1];
    b[partnerLeaf] = perm[2 * i];
    for (int k = 0; k < pset.numLoci; k++)
      setPhase(i, k, ran1(seed) > 0.5, a, b);
  }
  sortTree(tree, child1);
}

void loadPairedGenotypes(Seed *seed, TreeMatrix &tree, std::vector<int> &perm) {
  pairLeaves(seed, tree, perm, [](int i, int k, bool inOrder, TreeRow &a, TreeRow &b) {
    a[TMAT + k] = patientData[i][inOrder ? 2 * k : 2 * k + 1];
    b[TMAT + k] = patientData[i][inOrder ? 2 * k + 1 : 2 * k];
  });
}

void loadPatientData(Seed *seed, std::vector<int> &perm) {
  for (TreeMatrix &tree : chainTree) {
    if (pset.dataAsGenotypes == 0)
      loadHaplotypes(tree, perm);
    else if (pset.geneticModel == 0)
      loadUnpairedGenotypes(seed, tree, perm);
    else
      loadPairedGenotypes(seed, tree, perm);
  }
}

// Simulated data: generation has given every leaf a chromosome. Unpaired
// genotypes draw each leaf's partner chromosome from chain 0's population
// frequencies and then mix the two blocks locus by locus; paired genotypes
// pair the leaves into individuals and mix the partners' alleles.
void simulateGenotypes(Seed *seed, std::vector<int> &perm) {
  const int L = pset.numLoci;
  if (pset.dataAsGenotypes == 0)
    return;
  if (pset.geneticModel == 1) {
    for (TreeMatrix &tree : chainTree)
      pairLeaves(seed, tree, perm, [](int, int k, bool exchange, TreeRow &a, TreeRow &b) {
        if (exchange)
          std::swap(a[TMAT + k], b[TMAT + k]);
      });
    return;
  }
  for (TreeMatrix &tree : chainTree)
    for (int v = 0; v < leafCount(); v++)
      for (int c = L; c < TOTLOCI; c++) {
        const int j = populationAllele(ran1(seed), simAlleleFreqs, c - L);
        if (j > 0)
          tree[v][TMAT + c] = j;
      }
  for (TreeMatrix &tree : chainTree)
    for (int v = 0; v < leafCount(); v++)
      for (int k = 0; k < L; k++)
        if (ran1(seed) > 0.5)
          std::swap(tree[v][TMAT + k], tree[v][TMAT + L + k]);
}

// A missing allele is stored as -a, a being a uniformly drawn label that the
// missing-allele moves later resample.
void imputeBlock(Seed *seed, TreeMatrix &tree, int offset) {
  for (TreeRow &row : tree)
    for (int k = 0; k < pset.numLoci; k++)
      if (row[TMAT + offset + k] < 0)
        row[TMAT + offset + k] = -(1 + random2(maxall[k], seed));
}

void imputeMissingAlleles(Seed *seed) {
  for (TreeMatrix &tree : chainTree)
    imputeBlock(seed, tree, 0);
  if (TOTLOCI == 2 * pset.numLoci)
    for (TreeMatrix &tree : chainTree)
      imputeBlock(seed, tree, pset.numLoci);
}

// Log-likelihood of every chain (which also fills every row's node term) and,
// with unpaired genotypes, the population probability of the leaves' partner
// chromosomes.
void initialLikelihoods() {
  const int L = pset.numLoci;
  const int width = TMAT + TOTLOCI;
  for (int ch = 0; ch < pset.numChains; ch++) {
    TreeMatrix &tree = chainTree[ch];
    sortTree(tree, nodeLabel);
    tprob(pset.popHapFreqs[ch], tree, pset.mutLocStart[ch], pset.mapDist, &chainLogLik[ch],
          pset.rootLoci[ch], -1, 0, MP1[ch]);
    mysorttreematrev(tree, rowCount(), width);
    if (TOTLOCI != 2 * L)
      continue;
    for (const TreeRow &row : tree) {
      if (row[child1] != -1)
        continue;
      for (int k = 0; k < L; k++) {
        const int a = static_cast<int>(std::fabs(row[TMAT + L + k]));
        chainPartnerProb[ch] += std::log(pset.popHapFreqs[ch][a][k]);
      }
    }
  }
}

// Priors of the genealogy and the mutation age, and the population
// probabilities of the ancestral haplotype and of the normal sample. A
// starting location of zero prior weight gets log prior minus infinity.
void initialPriors() {
  const int n = leafCount();
  for (int ch = 0; ch < pset.numChains; ch++) {
    chainPopSampleProb[ch] = 0;
    propTimes = nodeTimes[ch];
    pset.curMutAge = pset.mutAgeStart[ch];
    chainMutAgePrior[ch] = tpriormut(n, pset.mutAgeStart[ch], pset.growthRate);
    chainTreePrior[ch] = tprior(n, nodeTimes[ch], pset.propSampled, pset.growthRate);
    chainRootHapProb[ch] = probhap2(pset.popHapFreqs[ch], MP1[ch], pset.rootLoci[ch].data());
    for (const Haplotype &h : normalHaps[ch])
      chainPopSampleProb[ch] += probhap2(pset.popHapFreqs[ch], MP1[ch], h.data());
    if (pset.useSeqWeights != 0 && pset.iterMutLocation != 0) {
      const double prior = sequenceprob(pset.mutLocStart[ch]);
      chainLocPrior[ch] =
          prior == zeroWeightMarker ? -std::numeric_limits<double>::infinity() : prior;
    }
  }
}

// Each chain lists its own leaves with a missing allele (its leaves received
// the chromosomes in their own random order) and, per listed leaf, the record
// [label, missing loci in the first block, in the second block, the missing
// allele columns counted from TMAT, zeros]. The matrices come in time order,
// leaves first, and leave in label order.
void listMissingAlleles() {
  const int K = pset.numChains;
  missingLeaves.assign(K, {});
  missingLoci.assign(K, {});
  for (int ch = 0; ch < K; ch++) {
    TreeMatrix &tree = chainTree[ch];
    for (int r = 0; r < leafCount(); r++)
      for (int c = 0; c < TOTLOCI; c++)
        if (tree[r][TMAT + c] < 0) {
          missingLeaves[ch].push_back(static_cast<int>(tree[r][nodeLabel]));
          break;
        }
  }
  for (TreeMatrix &tree : chainTree)
    sortTree(tree, nodeLabel);
  for (int ch = 0; ch < K; ch++)
    for (int label : missingLeaves[ch]) {
      missingLoci[ch].emplace_back();
      missingRecord(chainTree[ch][label], missingLoci[ch].back());
    }
}

void checkRecDistAdjust() {
  const double c = pset.recDistAdjust[0];
  if (c > 0.5 || !(c >= 0))
    stop(msg::recDistAdjustRange);
}

void checkTreeAdjust() {
  const double a = pset.treeAdjust[0];
  if (!(a > 0)) {
    std::ostringstream text;
    text.precision(8);
    text << msg::treeAdjustBefore << a << msg::treeAdjustAfter;
    stop(text.str());
  }
}

// Every internal node of a starting genealogy must have a positive, finite
// age: extreme growth rates or sampled proportions can make the age formula
// collapse to 0 (or NaN), and the genealogy moves rank nodes by age.
void checkNodeAges() {
  for (const TreeMatrix &tree : chainTree)
    for (const TreeRow &row : tree)
      if (row[child1] != -1 && !(row[nodeTime] > 0 && std::isfinite(row[nodeTime])))
        stop(msg::nodeAgesNotPositive);
}

void startChains(Seed *seed, std::ostream &log) {
  const int K = pset.numChains;
  const int rows = rowCount();
  const int width = TMAT + TOTLOCI;
  std::vector<int> perm(leafCount());
  for (int i = 0; i < leafCount(); i++)
    perm[i] = i;

  for (int ch = 0; ch < K; ch++) {
    generatetree(seed, chainTree[ch], ch);
    sortTree(chainTree[ch], child1);
  }
  if (pset.runSimulation == 0)
    loadPatientData(seed, perm);
  else
    simulateGenotypes(seed, perm);

  accTree.assign(K, 0);
  accMutLoc.assign(K, 0.0);
  accRoot.assign(K, 0);
  accInternal.assign(K, 0);
  accFreq.assign(K, 0);
  labelOrder.assign(rows, 0);

  if (pset.readOldFile == 1)
    readmat(chainTree[0]);

  log << "Rootstate" << std::endl;
  for (int k = 0; k < pset.numLoci; k++)
    log << pset.rootLoci[0][k] << " ";
  log << std::endl;

  for (TreeMatrix &tree : chainTree) {
    sortTree(tree, child1);
    mysorttreematrev(tree, rows, width);
  }
  nodeTimes.assign(K, std::vector<double>(rows, 0.0));
  propTimes.assign(rows, 0.0);

  checkRecDistAdjust();

  locationSamples.assign(K, std::vector<double>(pset.realIterations, 0.0));
  ageSamples.assign(K, std::vector<double>(pset.realIterations, 0.0));
  chainLogLik.assign(K, 0.0);

  imputeMissingAlleles(seed);

  chainPartnerProb.assign(K, 0.0);
  initialLikelihoods();

  checkTreeAdjust();
  checkNodeAges();

  for (int ch = 0; ch < K; ch++) {
    sortTree(chainTree[ch], nodeTime);
    for (int r = 0; r < rows; r++)
      nodeTimes[ch][r] = chainTree[ch][r][nodeTime];
  }

  initialPriors();

  sortedTree.assign(K, freshTree());
  propTree.assign(K, freshTree());

  listMissingAlleles();
}

} // namespace

void missingRecord(const TreeRow &leaf, std::vector<int> &record) {
  record.assign(TOTLOCI + 3, 0);
  record[0] = static_cast<int>(leaf[nodeLabel]);
  int pos = 3;
  for (int c = 0; c < TOTLOCI; c++)
    if (leaf[TMAT + c] < 0) {
      record[pos++] = c;
      record[c < pset.numLoci ? 1 : 2]++;
    }
}

// The sample stores grow with the iteration count and the genealogies with
// the chromosome count: sizes beyond what memory holds end the run with a
// message rather than an abort.
void initchains(Seed *seed, std::ostream &log) {
  try {
    startChains(seed, log);
  } catch (const std::bad_alloc &) {
    stop(msg::outOfMemoryChains);
  } catch (const std::length_error &) {
    stop(msg::outOfMemoryChains);
  }
}
