// The run's working structures, created once between the reading of the
// control file and the building of the chains' starting states: the list of
// normal-population haplotypes with missing alleles, the population tables of
// every chain, the per-chain log terms, the tree-row layout and fresh tree
// matrices. Nothing here draws, reads or writes.
#include <new>
#include <stdexcept>

#include "driver.h"
#include "genealogy.h"
#include "likelihood.h"
#include "messages.h"
#include "mutloc.h"
#include "stop.h"

namespace {

// One record [m, h, j1..jm] per normal haplotype h with m > 0 missing loci
// j1 < ... < jm, in list order; the list is the same for every chain.
void findMissingNormalLoci() {
  missingNormalLoci.clear();
  normalHasMissing = 0;
  if (normalHaps.empty())
    return;
  const std::vector<Haplotype> &haps = normalHaps[0];
  for (size_t h = 0; h < haps.size(); h++) {
    std::vector<int> record = {static_cast<int>(h)};
    for (int j = 0; j < pset.numLoci; j++)
      if (haps[h][j] < 0)
        record.push_back(j);
    const int m = static_cast<int>(record.size()) - 1;
    if (m > 0) {
      record.insert(record.begin(), m);
      missingNormalLoci.push_back(record);
      normalHasMissing = 1;
    }
  }
}

void createStructures() {
  const int L = pset.numLoci;
  const int K = pset.numChains;
  const int A = maxAllele;

  chainPopSampleProb.assign(K, 0.0);
  findMissingNormalLoci();
  answer.assign(L, 0.0);

  // The reader's floored frequencies only feed its echo: every chain's table
  // is rebuilt from the normal-population haplotypes.
  pset.popHapFreqs.resize(K);
  for (Table &freqs : pset.popHapFreqs)
    freqs.assign(A + 1, std::vector<double>(L, 0.0));
  buildPopulationTables();

  hapstate.clear();
  if (pset.saveHaplotypes != 0)
    hapstate.assign(sizething, std::vector<int>(pset.dataAsGenotypes == 1 ? 2 * L + 1 : L + 1, 0));

  props.assign(5, std::vector<double>(K, 0.0));

  // Chain 0's starting frequencies, from which the partner alleles of
  // simulated unpaired genotypes are drawn; every label up to A has its row so
  // that a draw can reach the largest label.
  simAlleleFreqs = pset.popHapFreqs[0];

  chainMutAgePrior.assign(K, 0.0);
  chainTreePrior.assign(K, 0.0);
  chainLocPrior.assign(K, 0.0);
  chainRootHapProb.assign(K, 0.0);

  // Paired genotypes keep the partner leaf in column 7; unpaired genotypes
  // keep both alleles of every locus on the leaf, in two blocks.
  const bool genotypes = pset.dataAsGenotypes == 1;
  TMAT = genotypes && pset.geneticModel == 1 ? 8 : 7;
  TOTLOCI = genotypes && pset.geneticModel == 0 ? 2 * L : L;

  chainTree.assign(K, freshTree());
}

} // namespace

// Table sizes come from the control file; one beyond what memory holds ends
// the run with a message rather than an abort.
void setuprun() {
  try {
    createStructures();
  } catch (const std::bad_alloc &) {
    stop(msg::outOfMemoryChains);
  } catch (const std::length_error &) {
    stop(msg::outOfMemoryChains);
  }
}
