// One record per chain: its genealogy and working copies, its population
// tables and normal haplotypes, its current location and age, its log terms,
// acceptance counters and samples, its missing-allele lists, and the scratch
// and memos its moves use. A move takes the chain it works on; nothing of a
// chain lives anywhere else, so chains can be built, copied and run apart.
#pragma once

#include <vector>

#include "likelihoodmemo.h"
#include "mutloc.h"

// The normal-population sample's log probability is the sum, in list order,
// of probhap2 over the chain's normal haplotypes. A chain remembers every
// haplotype's term with the haplotype's alleles and the tables the terms were
// taken under (the first-locus frequencies and the transition table, all
// that probhap2 reads), so that a move takes again only the terms its change
// reaches.
struct SampleTerms {
  std::vector<double> firstLocus; // popHapFreqs[a][0] for every allele row a
  TransTable trans;               // MP1
  std::vector<Haplotype> haps;    // the haplotypes' alleles
  std::vector<double> logProbs;   // their probhap2 terms
};

// What a move saves to put back on rejection, and its buffers.
struct MoveScratch {
  // A leaf's allele cells and node term, and its partner leaf's.
  std::vector<double> leafCells, partnerCells;
  double leafLik = 0, partnerLik = 0;
  // Every row's node term (frequency and location moves).
  std::vector<double> nodeLik;
  // The frequency move's saved tables and proposed sample terms.
  Table freqs;
  std::vector<double> transRow;
  std::vector<double> proposedTerms;
  // Proposed and saved haplotype of a state move; one normal haplotype.
  Haplotype proposedState, savedState, hapBuffer;
  // A leaf's missing-allele record being rebuilt.
  std::vector<int> record;
  // The terms of each candidate allele of a full-conditional draw.
  std::vector<double> candidateTerms;
  // The rows whose node terms a genealogy stretch changes; the rows a
  // regraft changes.
  std::vector<int> changedRows;
};

// Acceptance proportions shown in the trace: genealogy, location, root
// state, internal states, frequencies.
constexpr int propCount = 5;

struct Chain {
  // The chain's place in the run, which picks its per-chain settings.
  int index = 0;

  // The genealogy and the proposal built from it; the ordered node ages of
  // the genealogy and of the proposal; the in-order leaf sequence of a
  // node-time move and the labels of the nodes in the order of their ages.
  TreeMatrix tree, prop;
  std::vector<double> nodeTimes, propTimes;
  std::vector<int> labelOrder, ageOrder;

  // Population tables: allele frequencies [allele][locus] and transitions;
  // the chain's normal haplotypes (missing alleles imputed as -a).
  Table popHapFreqs;
  TransTable MP1;
  std::vector<Haplotype> normalHaps;

  // Current state: ancestral haplotype, location, age, the age a genealogy
  // proposal carries, and the location move's step width (reduced once when
  // wider than the location interval).
  Haplotype rootLoci;
  double mutLoc = 0;
  double mutAge = 0;
  double propMutAge = 0;
  double recDistAdjust = 0;

  // Log terms of the state.
  double logLik = 0;
  double treePrior = 0;
  double mutAgePrior = 0;
  double rootHapProb = 0;
  double locPrior = 0;
  double partnerProb = 0;
  double popSampleProb = 0;

  // Acceptance counters and the proportions last refreshed from them.
  int accTree = 0;
  double accMutLoc = 0;
  int accRoot = 0;
  int accInternal = 0;
  int accFreq = 0;
  double props[propCount] = {0, 0, 0, 0, 0};

  // Samples of the sampling iterations.
  std::vector<double> locationSamples, ageSamples;

  // Leaves with imputed alleles and their records [label, m1, m2, columns].
  std::vector<int> missingLeaves;
  std::vector<std::vector<int>> missingLoci;

  SampleTerms sampleTerms;
  MoveScratch scratch;
  LikelihoodMemo memo;
};

// The run's chains.
extern std::vector<Chain> chains;
