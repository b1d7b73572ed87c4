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

#include "chain.h"
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

// Which data row each leaf carries, by the leaf's label.
void noteDataRow(Chain &chain, const TreeRow &leaf, int dataRow) {
  chain.dataRow[static_cast<int>(leaf[nodeLabel])] = dataRow;
}

// Haplotype data: each data row goes to as many leaves as its count says,
// the leaves taken in a fresh random order. The matrix has its leaves first.
void loadHaplotypes(Rng &rng, Chain &chain, std::vector<int> &perm) {
  TreeMatrix &tree = chain.tree;
  const int n = leafCount();
  systemShuffle(perm, rng);
  int g = nextHaplotypeRow(0);
  int bound = patientData[g][0];
  for (int i = 0; i < n; i++) {
    noteDataRow(chain, tree[perm[i]], g);
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
void loadUnpairedGenotypes(Rng &rng, Chain &chain, std::vector<int> &perm) {
  const int L = pset.numLoci;
  systemShuffle(perm, rng);
  for (int r = 0; r < leafCount(); r++) {
    TreeRow &leaf = chain.tree[perm[r]];
    noteDataRow(chain, leaf, r);
    for (int k = 0; k < L; k++) {
      const double u = ran1(rng);
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
void pairLeaves(Rng &rng, TreeMatrix &tree, std::vector<int> &perm, SetPhase setPhase) {
  const int n = leafCount();
  for (int i = 0; i < n; i++)
    perm[i] = static_cast<int>(tree[i][nodeLabel]);
  systemShuffle(perm, rng);
  sortTree(tree, nodeLabel);
  for (int i = 0; i < n / 2; i++) {
    TreeRow &a = tree[perm[2 * i]];
    TreeRow &b = tree[perm[2 * i + 1]];
    a[partnerLeaf] = perm[2 * i + 1];
    b[partnerLeaf] = perm[2 * i];
    for (int k = 0; k < pset.numLoci; k++)
      setPhase(i, k, ran1(rng) > 0.5, a, b);
  }
  sortTree(tree, child1);
}

void loadPairedGenotypes(Rng &rng, Chain &chain, std::vector<int> &perm) {
  pairLeaves(rng, chain.tree, perm, [&chain](int i, int k, bool inOrder, TreeRow &a, TreeRow &b) {
    if (k == 0) {
      noteDataRow(chain, a, i);
      noteDataRow(chain, b, i);
    }
    a[TMAT + k] = patientData[i][inOrder ? 2 * k : 2 * k + 1];
    b[TMAT + k] = patientData[i][inOrder ? 2 * k + 1 : 2 * k];
  });
}

void loadPatientData(Rng &rng, std::vector<int> &perm) {
  for (Chain &chain : chains) {
    chain.dataRow.assign(rowCount(), -1);
    if (pset.dataAsGenotypes == 0)
      loadHaplotypes(rng, chain, perm);
    else if (pset.geneticModel == 0)
      loadUnpairedGenotypes(rng, chain, perm);
    else
      loadPairedGenotypes(rng, chain, perm);
  }
}

// Simulated data: generation has given every leaf a chromosome. Unpaired
// genotypes draw each leaf's partner chromosome from chain 0's population
// frequencies and then mix the two blocks locus by locus; paired genotypes
// pair the leaves into individuals and mix the partners' alleles.
void simulateGenotypes(Rng &rng, std::vector<int> &perm) {
  const int L = pset.numLoci;
  if (pset.dataAsGenotypes == 0)
    return;
  if (pset.geneticModel == 1) {
    for (Chain &chain : chains)
      pairLeaves(rng, chain.tree, perm, [](int, int k, bool exchange, TreeRow &a, TreeRow &b) {
        if (exchange)
          std::swap(a[TMAT + k], b[TMAT + k]);
      });
    return;
  }
  for (Chain &chain : chains)
    for (int v = 0; v < leafCount(); v++)
      for (int c = L; c < TOTLOCI; c++) {
        const int j = populationAllele(ran1(rng), simAlleleFreqs, c - L);
        if (j > 0)
          chain.tree[v][TMAT + c] = j;
      }
  for (Chain &chain : chains)
    for (int v = 0; v < leafCount(); v++)
      for (int k = 0; k < L; k++)
        if (ran1(rng) > 0.5)
          std::swap(chain.tree[v][TMAT + k], chain.tree[v][TMAT + L + k]);
}

// A missing allele is stored as -a, a being a uniformly drawn label that the
// missing-allele moves later resample.
void imputeBlock(Rng &rng, TreeMatrix &tree, int offset) {
  for (TreeRow &row : tree)
    for (int k = 0; k < pset.numLoci; k++)
      if (row[TMAT + offset + k] < 0)
        row[TMAT + offset + k] = -(1 + random2(maxall[k], rng));
}

void imputeMissingAlleles(Rng &rng) {
  for (Chain &chain : chains)
    imputeBlock(rng, chain.tree, 0);
  if (TOTLOCI == 2 * pset.numLoci)
    for (Chain &chain : chains)
      imputeBlock(rng, chain.tree, pset.numLoci);
}

// Log-likelihood of every chain (which also fills every row's node term) and,
// with unpaired genotypes, the population probability of the leaves' partner
// chromosomes. The memo serves these evaluations alone: the run's moves
// remember in memos of their own, which give the same numbers.
void initialLikelihoods() {
  const int L = pset.numLoci;
  const int width = TMAT + TOTLOCI;
  for (Chain &chain : chains) {
    TreeMatrix &tree = chain.tree;
    sortTree(tree, nodeLabel);
    LikelihoodMemo memo;
    chain.logLik = chainTprob(chain, memo, tree, chain.mutLoc, chain.rootLoci);
    mysorttreematrev(tree, rowCount(), width);
    chain.partnerProb = 0;
    if (TOTLOCI != 2 * L)
      continue;
    for (const TreeRow &row : tree) {
      if (row[child1] != -1)
        continue;
      for (int k = 0; k < L; k++) {
        const int a = static_cast<int>(std::fabs(row[TMAT + L + k]));
        chain.partnerProb += std::log(chain.popHapFreqs[a][k]);
      }
    }
  }
}

// Priors of the genealogy and the mutation age, and the population
// probabilities of the ancestral haplotype and of the normal sample. A
// starting location of zero prior weight gets log prior minus infinity.
void initialPriors() {
  const int n = leafCount();
  LikelihoodMemo memo;
  for (Chain &chain : chains) {
    chain.propTimes = chain.nodeTimes;
    chain.propMutAge = chain.mutAge;
    chain.mutAgePrior = tpriormut(n, chain.mutAge, pset.growthRate);
    chain.treePrior = tprior(n, chain.nodeTimes, chain.mutAge, pset.propSampled, pset.growthRate);
    chain.rootHapProb = probhap2(chain.popHapFreqs, chain.MP1, chain.rootLoci.data(), memo);
    chain.popSampleProb = sampleLogProb(chain, memo);
    if (pset.useSeqWeights != 0 && pset.iterMutLocation != 0) {
      const double prior = sequenceprob(chain.mutLoc);
      chain.locPrior = prior == zeroWeightMarker ? -std::numeric_limits<double>::infinity() : prior;
    }
  }
}

// Each chain lists its own leaves with a missing allele (its leaves received
// the chromosomes in their own random order) and, per listed leaf, the record
// [label, missing loci in the first block, in the second block, the missing
// allele columns counted from TMAT, zeros]. The matrices come in time order,
// leaves first, and leave in label order.
void listMissingAlleles() {
  for (Chain &chain : chains) {
    chain.missingLeaves.clear();
    chain.missingLoci.clear();
    const TreeMatrix &tree = chain.tree;
    for (int r = 0; r < leafCount(); r++)
      for (int c = 0; c < TOTLOCI; c++)
        if (tree[r][TMAT + c] < 0) {
          chain.missingLeaves.push_back(static_cast<int>(tree[r][nodeLabel]));
          break;
        }
  }
  for (Chain &chain : chains)
    sortTree(chain.tree, nodeLabel);
  for (Chain &chain : chains)
    for (int label : chain.missingLeaves) {
      chain.missingLoci.emplace_back();
      missingRecord(chain.tree[label], chain.missingLoci.back());
    }
}

void checkRecDistAdjust() {
  const double c = chainSettings[0].recDistAdjust;
  if (c > 0.5 || !(c >= 0))
    stop(msg::recDistAdjustRange);
}

void checkTreeAdjust() {
  const double a = chainSettings[0].treeAdjust;
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
  for (const Chain &chain : chains)
    for (const TreeRow &row : chain.tree)
      if (row[child1] != -1 && !(row[nodeTime] > 0 && std::isfinite(row[nodeTime])))
        stop(msg::nodeAgesNotPositive);
}

void startChains(Rng &rng, std::ostream &log) {
  const int rows = rowCount();
  const int width = TMAT + TOTLOCI;
  std::vector<int> perm(leafCount());
  for (int i = 0; i < leafCount(); i++)
    perm[i] = i;

  for (Chain &chain : chains) {
    generatetree(rng, chain);
    sortTree(chain.tree, child1);
  }
  if (pset.runSimulation == 0)
    loadPatientData(rng, perm);
  else
    simulateGenotypes(rng, perm);

  for (Chain &chain : chains)
    chain.labelOrder.assign(rows, 0);

  if (pset.readOldFile == 1)
    readmat(chains[0].tree);
  // The ancestral haplotypes are now final: drawn, read or stored.
  for (Chain &chain : chains)
    chain.rootLoci = chainSettings[chain.index].rootLoci;

  log << "Rootstate" << std::endl;
  for (int k = 0; k < pset.numLoci; k++)
    log << chainSettings[0].rootLoci[k] << " ";
  log << std::endl;

  for (Chain &chain : chains) {
    sortTree(chain.tree, child1);
    mysorttreematrev(chain.tree, rows, width);
    chain.nodeTimes.assign(rows, 0.0);
    chain.propTimes.assign(rows, 0.0);
  }

  checkRecDistAdjust();

  for (Chain &chain : chains) {
    chain.locationSamples.assign(pset.realIterations, 0.0);
    chain.ageSamples.assign(pset.realIterations, 0.0);
  }

  imputeMissingAlleles(rng);
  initialLikelihoods();

  checkTreeAdjust();
  checkNodeAges();

  for (Chain &chain : chains) {
    sortTree(chain.tree, nodeTime);
    for (int r = 0; r < rows; r++)
      chain.nodeTimes[r] = chain.tree[r][nodeTime];
  }

  initialPriors();

  for (Chain &chain : chains) {
    chain.ageOrder.assign(rows, 0);
    chain.propTree = freshTree();
  }

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
void initchains(Rng &rng, std::ostream &log) {
  try {
    startChains(rng, log);
  } catch (const std::bad_alloc &) {
    stop(msg::outOfMemoryChains);
  } catch (const std::length_error &) {
    stop(msg::outOfMemoryChains);
  }
}
