// The run's working structures, created once between the reading of the
// control file and the building of the chains' starting states: the list of
// normal-population haplotypes with missing alleles, the tree-row layout, and
// the chains with their population tables and fresh tree matrices. Nothing
// here draws, reads or writes.
#include <new>
#include <stdexcept>

#include "chain.h"
#include "driver.h"
#include "genealogy.h"
#include "likelihood.h"
#include "messages.h"
#include "mutloc.h"
#include "stop.h"

namespace {

// One record [m, h, j1..jm] per normal haplotype h with m > 0 missing loci
// j1 < ... < jm, in list order; the list is the same for every chain.
void findMissingNormalLoci(const std::vector<std::vector<Haplotype>> &normalHaps) {
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

// Every chain takes its own settings' step widths and starting values, its
// own copy of the normal haplotypes and its own population tables.
void createChains(std::vector<std::vector<Haplotype>> &normalHaps) {
  const int K = pset.numChains;
  chains.assign(K, Chain());
  for (int ch = 0; ch < K; ch++) {
    Chain &chain = chains[ch];
    const ChainSettings &own = chainSettings[ch];
    chain.index = ch;
    chain.mutLoc = own.mutLocStart;
    chain.mutAge = own.mutAgeStart;
    chain.propMutAge = chain.mutAge;
    chain.treeAdjust = own.treeAdjust;
    chain.rootDepthAdjust = own.rootDepthAdjust;
    chain.recDistAdjust = own.recDistAdjust;
    chain.alleleFreqAdjust = own.alleleFreqAdjust;
    chain.rootLoci = own.rootLoci;
    chain.normalHaps = std::move(normalHaps[ch]);
  }
  // Every chain's list is still the reader's list here; the transition
  // counts come from the first one. The reader's floored frequencies only
  // fed its echo: every chain's table is rebuilt from the haplotypes.
  const std::vector<Haplotype> countList =
      chains.empty() ? std::vector<Haplotype>() : chains[0].normalHaps;
  for (Chain &chain : chains)
    buildPopulationTables(chain, countList);
  for (Chain &chain : chains)
    chain.tree = freshTree();
}

void createStructures(std::vector<std::vector<Haplotype>> &normalHaps) {
  const int L = pset.numLoci;
  findMissingNormalLoci(normalHaps);

  hapstate.clear();
  if (pset.saveHaplotypes != 0)
    hapstate.assign(maxTalliedHaplotypes,
                    std::vector<int>(pset.dataAsGenotypes == 1 ? 2 * L + 1 : L + 1, 0));

  // Paired genotypes keep the partner leaf in column 7; unpaired genotypes
  // keep both alleles of every locus on the leaf, in two blocks.
  const bool genotypes = pset.dataAsGenotypes == 1;
  TMAT = genotypes && pset.geneticModel == 1 ? 8 : 7;
  TOTLOCI = genotypes && pset.geneticModel == 0 ? 2 * L : L;

  createChains(normalHaps);

  // Chain 0's starting frequencies, from which the partner alleles of
  // simulated unpaired genotypes are drawn; every label up to A has its row so
  // that a draw can reach the largest label.
  simAlleleFreqs = chains.empty() ? Table() : chains[0].popHapFreqs;
}

} // namespace

// Table sizes come from the control file; one beyond what memory holds ends
// the run with a message rather than an abort.
void setuprun(std::vector<std::vector<Haplotype>> &normalHaps) {
  try {
    createStructures(normalHaps);
  } catch (const std::bad_alloc &) {
    stop(msg::outOfMemoryChains);
  } catch (const std::length_error &) {
    stop(msg::outOfMemoryChains);
  }
}
