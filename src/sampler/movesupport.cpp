// Acceptance, the partner-chromosome term and the save / score / restore cycle
// of one leaf, shared by the missing-allele and phase moves.
#include "movesupport.h"

#include <algorithm>
#include <cmath>

#include "likelihood.h"
#include "random.h"

namespace {

// What saveLeaf recorded: the leaf's allele cells and node term, and those of
// its partner leaf when there is one.
std::vector<double> savedLeafCells;
std::vector<double> savedPartnerCells;
double savedLeafLik = 0;
double savedPartnerLik = 0;

std::vector<SampleTerms> chainSampleTerms;

int partnerOf(int ch, int leaf) {
  return static_cast<int>(chainTree[ch][leaf][partnerLeaf]);
}

} // namespace

double acceptanceProbability(double r) {
  return r >= 0 ? 1.0 : std::exp(r);
}

bool unpairedGenotypes() {
  return pset.dataAsGenotypes != 0 && pset.geneticModel == 0;
}

bool pairedGenotypes() {
  return pset.dataAsGenotypes != 0 && pset.geneticModel != 0;
}

double partnerTerm(const Table &freqs, const double *secondBlock) {
  return allelesLogProb(freqs, secondBlock);
}

SampleTerms &sampleTerms(int ch) {
  if (chainSampleTerms.size() <= static_cast<size_t>(ch))
    chainSampleTerms.resize(ch + 1);
  return chainSampleTerms[ch];
}

// Equal entries have equal logarithms, the only use probhap2 makes of them; a
// NaN entry never compares equal, so its terms are taken again.
bool termsFitTables(const SampleTerms &terms, int ch) {
  const Table &freqs = pset.popHapFreqs[ch];
  if (terms.firstLocus.size() != freqs.size() || terms.logProbs.size() != normalHaps[ch].size() ||
      terms.haps.size() != normalHaps[ch].size())
    return false;
  for (size_t a = 0; a < freqs.size(); a++)
    if (!(terms.firstLocus[a] == freqs[a][0]))
      return false;
  return terms.trans == MP1[ch];
}

void recordTables(SampleTerms &terms, int ch) {
  const Table &freqs = pset.popHapFreqs[ch];
  terms.firstLocus.resize(freqs.size());
  for (size_t a = 0; a < freqs.size(); a++)
    terms.firstLocus[a] = freqs[a][0];
  terms.trans = MP1[ch];
}

void saveLeaf(int ch, int leaf) {
  const TreeRow &row = chainTree[ch][leaf];
  savedLeafCells.assign(row.begin() + TMAT, row.begin() + TMAT + TOTLOCI);
  savedLeafLik = row[nodeLogLik];
  if (pairedGenotypes()) {
    const TreeRow &mate = chainTree[ch][partnerOf(ch, leaf)];
    savedPartnerCells.assign(mate.begin() + TMAT, mate.begin() + TMAT + TOTLOCI);
    savedPartnerLik = mate[nodeLogLik];
  }
}

void acceptOrRestoreLeaf(Seed *seed, int ch, int leaf) {
  TreeMatrix &tree = chainTree[ch];
  TreeRow &row = tree[leaf];
  const bool paired = pairedGenotypes();
  const bool unpaired = unpairedGenotypes();
  const Table &freqs = pset.popHapFreqs[ch];
  // Only the leaf's own term changes, and with paired genotypes the term of
  // its partner is recomputed with it.
  double total = 0;
  tprob(freqs, tree, pset.mutLocStart[ch], pset.mapDist, &total, pset.rootLoci[ch], leaf,
        paired ? 2 : 1, MP1[ch]);
  double partnerProb = chainPartnerProb[ch];
  double r;
  if (unpaired) {
    const double before = partnerTerm(freqs, savedLeafCells.data() + pset.numLoci);
    const double after = partnerTerm(freqs, row.data() + TMAT + pset.numLoci);
    partnerProb = chainPartnerProb[ch] - before + after;
    r = (total + partnerProb) - (chainLogLik[ch] + chainPartnerProb[ch]);
  } else {
    r = total - chainLogLik[ch];
  }
  if (ran1(seed) < acceptanceProbability(r)) {
    chainLogLik[ch] = total;
    chainPartnerProb[ch] = partnerProb;
    return;
  }
  row[nodeLogLik] = savedLeafLik;
  std::copy(savedLeafCells.begin(), savedLeafCells.end(), row.begin() + TMAT);
  if (paired) {
    TreeRow &mate = tree[partnerOf(ch, leaf)];
    mate[nodeLogLik] = savedPartnerLik;
    std::copy(savedPartnerCells.begin(), savedPartnerCells.end(), mate.begin() + TMAT);
  }
}
