// One iteration of the mixing sampler on one chain. It keeps the default
// sampler's moves where they leave the whole posterior of the trace invariant
// (genealogy, missing alleles, phase, the location mode of the control file)
// and replaces or adds the ones that stall it:
// - the frequency move also scores the ancestral and partner terms, which the
//   tables change, and the Jacobian of its rescaling, and a whole table is
//   drawn afresh from the normal sample's conditional (tablerefresh.cpp);
// - regrafts guided by the haplotypes offer a subtree the branches it
//   matches (guidedregraft.cpp);
// - the hidden haplotypes are moved allele by allele, each towards the
//   alleles of its neighbours in the genealogy (the ancestral haplotype from
//   its exact conditionals), instead of blind redraws that are almost always
//   refused, and the allele a clade's internal nodes share at a marker is
//   changed for the whole clade at once (blockflip.cpp);
// - the age moves alone, with a symmetric proposal, and together with the
//   node ages above a pivot stretched by one factor (agemove.cpp);
// - the phase of a genotype is moved one heterozygous locus at a time;
// - every hidden allele is moved in every iteration;
// - a location drawn uniformly over the allowed interval is tried besides
//   the control file's move, so a chain can leave one marker interval for a
//   distant one without walking through the valley between them.
#include "genealogy.h"
#include "likelihood.h"
#include "mixing.h"
#include "movesupport.h"
#include "sampler.h"

namespace {

// The age is the slowest quantity to mix; its stretches cost a fraction of a
// likelihood pass each (a whole pass for the whole genealogy only), and three
// per iteration raised its effective draws per processor second about
// threefold on a 94-chromosome data set.
constexpr int stretchesPerIteration = 3;

// The guided regrafts and allele blocks change few rows each; these counts
// raised the log-likelihood's effective draws per processor second on
// simulated data of 94 chromosomes and 23 markers, where one table refresh
// took the population sample's term from about 15 effective draws in 25,000
// iterations to several hundred.
constexpr int guidedRegraftsPerIteration = 3;
constexpr int alleleBlocksPerIteration = 20;

// An independence proposal uniform over the location interval: symmetric, so
// the plain Metropolis test of the location move applies. The acceptance
// counter keeps counting the control file's move only.
void jumpLocation(Rng &rng, Chain &chain, ChainWork &work) {
  const double counted = chain.accMutLoc;
  const double x = pset.mutLocLow + ran1(rng) * (pset.mutLocHigh - pset.mutLocLow);
  tryLocation(rng, chain, work, x);
  chain.accMutLoc = counted;
}

// Every internal node draws its alleles at every locus, and the root its
// whole ancestral haplotype. The hidden alleles decide which marker intervals
// the location can enter and which regrafts fit the data: drawn one random
// locus at a time, they hold the location in one place for thousands of
// iterations, while a sweep over every locus lets it move freely (and costs
// little, since most proposals keep the allele and need no evaluation). The
// counters of the state moves count the draws that changed a haplotype.
void drawHiddenHaplotypes(Rng &rng, Chain &chain, ChainWork &work, RowParts &parts) {
  if (pset.iterAncestral) {
    bool changed = false;
    for (int k = 0; k < pset.numLoci; k++)
      changed = drawRootAllele(rng, chain, work, parts, k) || changed;
    chain.accRoot += changed;
  }
  for (size_t v = 0; v < chain.tree.size(); v++)
    if (chain.tree[v][child1] != -1)
      for (int k = 0; k < pset.numLoci; k++)
        chain.accInternal += drawNodeAllele(rng, chain, work, parts, static_cast<int>(v), k);
}

} // namespace

void mixingIteration(Rng &rng, Chain &chain, ChainWork &work, long i) {
  if (pset.iterAlleleFreq) {
    updateFrequenciesWhole(rng, chain, work);
    refreshTable(rng, chain, work);
  }
  updatePatientMissing(rng, chain, work);
  updateNormalMissing(rng, chain, work);
  // The genealogy moves keep the age; the age has its own moves.
  updateGenealogyAtAge(rng, chain, work);
  for (int r = 0; r < guidedRegraftsPerIteration; r++)
    guidedRegraft(rng, chain, work);
  for (int r = 0; r < alleleBlocksPerIteration; r++)
    flipAlleleBlock(rng, chain, work);
  if (pset.iterMutAge != 0 && pset.starGenealogy == 0) {
    updateAge(rng, chain, work);
    for (int s = 0; s < stretchesPerIteration; s++)
      scaleGenealogy(rng, chain, work);
    if (i >= pset.burnInIterations)
      chain.ageSamples[i - pset.burnInIterations] = chain.mutAge;
  }
  if (pset.iterMutLocation != 0) {
    updateLocation(rng, chain, work);
    jumpLocation(rng, chain, work);
  }
  if (i >= pset.burnInIterations)
    chain.locationSamples[i - pset.burnInIterations] = chain.mutLoc;
  // The parts of every row's term serve the membership draws (a leaf's
  // descent term) and then the allele and phase draws.
  RowParts &parts = work.scratch.parts;
  takeRowParts(chain, work.memo, parts);
  const bool heterogeneity = !chain.membership.drawn.empty();
  if (heterogeneity) {
    drawMemberships(rng, chain, work, parts);
    drawShare(rng, chain);
  }
  drawHiddenHaplotypes(rng, chain, work, parts);
  if (pset.dataAsGenotypes)
    updatePhaseByLocus(rng, chain, work, parts);
  if (heterogeneity && i >= pset.burnInIterations)
    recordMembership(chain, i - pset.burnInIterations);
  if (i >= pset.burnInIterations)
    chain.logLikSamples[i - pset.burnInIterations] = chain.logLik;
}
