// Fuzz target: the stored-genealogy reader. The first byte picks the run's
// shape (chromosomes, loci and data kind); the rest is "inmat.txt".
#include "fuzzkit.h"
#include "genealogy.h"
#include "input.h"
#include "mutloc.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  prepareFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const int shape = data[0];
  pset = Settings();
  pset.numChromosomes = 2 + shape % 4;
  pset.numLoci = 1 + (shape / 4) % 3;
  pset.numChains = 1;
  const int kind = (shape / 12) % 3; // haplotypes, paired or unpaired genotypes
  pset.dataAsGenotypes = kind != 0;
  pset.geneticModel = kind == 1;
  if (kind == 1 && pset.numChromosomes % 2 != 0)
    pset.numChromosomes++;
  TMAT = kind == 1 ? 8 : 7;
  TOTLOCI = kind == 2 ? 2 * pset.numLoci : pset.numLoci;
  maxall.assign(2 * pset.numLoci, 3);
  chainSettings.assign(1, ChainSettings());
  chainSettings[0].rootLoci = Haplotype(pset.numLoci, 1);
  writeInput("inmat.txt", data + 1, size - 1);
  TreeMatrix tree = freshTree();
  untilStopped([&] { readmat(tree); });
  return 0;
}
