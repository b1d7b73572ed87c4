// A two-chain haplotype run read from a control file, moved on iteration by
// iteration: the remembered terms of the normal-population sample give the
// sample probability that summing every haplotype's logs afresh gives, through
// missing-allele moves and tables changed from outside; and once started, the
// iterations allocate no memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <sstream>

#include "driver.h"
#include "genealogy.h"
#include "input.h"
#include "likelihood.h"
#include "movesupport.h"
#include "sampler.h"

namespace {

// Allocations made while counting is on.
bool countingAllocations = false;
long allocations = 0;

} // namespace

void *operator new(std::size_t size) {
  if (countingAllocations)
    allocations++;
  if (void *p = std::malloc(size == 0 ? 1 : size))
    return p;
  throw std::bad_alloc();
}

void operator delete(void *p) noexcept {
  std::free(p);
}

void operator delete(void *p, std::size_t) noexcept {
  std::free(p);
}

namespace {

// Six patient chromosomes, four markers; normal haplotypes with missing
// alleles (-a: missing, imputed as a) and the Markov population model.
const char *controlText = R"(Data as genotypes
0
Genetic model
0
Read old file
0
Use fixed random seed
-321
# chromosomes
6
#loci per chromosome
4
Numbers of haplotypes in the normal pop
3 1 2 1 2
2 2 1 -1 1
2 1 1 2 2
1 2 2 2 1
2 1 -2 2 2
1 3 1 1 -2
Map distance
0 0.01 0.02 0.035
Run simulation
0
Mutation location
0.015
Mutation's low and high boundary
0 0.035
# Simulation runs (chains)
2
Starting value(s) for mutation
0.015
Population growth rate
0.5
Proportion of population sampled
0.1
Iterate ancestral state, mutation age, mutation location, allele freq
1 1 1 1
Flip all Loci
0
Adjustment level for tree, root, recdist, ancestral, internal states, alleles,algswitch
5 10 0.005 0.3 0.3 0.02 1
Burn-in iteration
10
Iterations
10
Screen and file updates, save acceptance props, save haplotypes, save individual haplotypes...
0 0 0 0
Number of histogram bars
20
Alpha level
0.05
Mutation age
50
Mutation age boundaries
10 200
Star genealogy
0
Loci for the root
1 2 1 1
Patient haplo- or genotypes:
2 1 2 1 1
2 2 2 1 2
1 1 2 2 1
1 3 2 1 -1
Use sequence weights
0
)";

// Reads the control file and starts both chains as the program does; returns
// the stream the run goes on with.
Rng startRun() {
  Rng rng = streamFrom(0);
  std::istringstream control(controlText);
  std::ostringstream log;
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  std::vector<std::vector<Haplotype>> normalHaps;
  int segCount = 0;
  maxAllele = readdata3(rng, &segCount, control, log, patientData, normalHaps);
  setuprun(normalHaps);
  initchains(rng, log);
  return rng;
}

// The sample probability from logs taken here: per haplotype the log of its
// first-locus frequency, plus 0.0, plus the logs of its transitions, and the
// haplotypes summed in list order.
double freshSampleProbability(const Chain &chain) {
  double sum = 0;
  for (const Haplotype &h : chain.normalHaps) {
    double term = std::log(chain.popHapFreqs[std::abs(h[0])][0]) + 0.0;
    for (int k = 1; k < pset.numLoci; k++)
      term += std::log(chain.MP1[k - 1][std::abs(h[k - 1]) - 1][std::abs(h[k]) - 1]);
    sum += term;
  }
  return sum;
}

TEST(SteadyState, AcceptedFrequencyMovesGiveTheFreshSampleProbability) {
  Rng rng = startRun();
  std::vector<ChainWork> works(chains.size());
  ASSERT_EQ(normalHasMissing, 1);
  const std::vector<Haplotype> startHaps[2] = {chains[0].normalHaps, chains[1].normalHaps};
  int accepted = 0;
  for (int i = 0; i < 400; i++)
    for (int ch = 0; ch < 2; ch++) {
      Chain &chain = chains[ch];
      ChainWork &work = works[ch];
      // The normal haplotypes' missing alleles move first, so that the
      // frequency move meets terms the missing-allele move changed.
      updateNormalMissing(rng, chain, work);
      normalHasMissing = 0;
      const int before = chain.accFreq;
      updateFrequenciesAndMissing(rng, chain, work);
      normalHasMissing = 1;
      if (chain.accFreq > before) {
        accepted++;
        EXPECT_EQ(chain.popSampleProb, freshSampleProbability(chain)) << i << " " << ch;
      }
      // Now and then a transition row is changed from outside (its cells
      // exchanged), with the frequencies and log terms that follow from it;
      // a change made outside the moves is announced to the work record.
      if (i % 37 == 0) {
        std::vector<double> &row = chain.MP1[i % 3][0];
        std::swap(row[0], row[1]);
        propagateFrequencies(chain.popHapFreqs, chain.MP1);
        tablesChanged(work);
        chain.popSampleProb = freshSampleProbability(chain);
        chain.logLik = chainTprob(chain, work.memo, chain.tree, chain.mutLoc, chain.rootLoci);
      }
    }
  EXPECT_GT(accepted, 100);
  EXPECT_TRUE(chains[0].normalHaps != startHaps[0] || chains[1].normalHaps != startHaps[1]);
}

TEST(SteadyState, IterationsAllocateNothing) {
  Rng rng = startRun();
  std::vector<ChainWork> works(chains.size());
  const auto iterate = [&](int count) {
    for (int i = 0; i < count; i++)
      for (size_t ch = 0; ch < chains.size(); ch++) {
        Chain &chain = chains[ch];
        ChainWork &work = works[ch];
        updateFrequenciesAndMissing(rng, chain, work);
        updateGenealogy(rng, chain, work, 0);
        updateLocation(rng, chain, work);
        updateStates(rng, chain, work);
      }
  };
  // The first iterations size the moves' scratch and remembered values.
  iterate(50);
  countingAllocations = true;
  iterate(200);
  countingAllocations = false;
  EXPECT_EQ(allocations, 0);
}

} // namespace
