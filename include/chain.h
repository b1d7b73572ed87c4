// One record per chain: its genealogy and working copies, its population
// tables and normal haplotypes, its current location and age, its log terms,
// acceptance counters and samples and its missing-allele lists: the chain's
// state and nothing else. What its moves and its likelihood keep between
// steps without being part of the state (buffers, saved values, remembered
// terms) lies in a work record that the code running the chain holds beside
// it and hands to the moves with it, as it hands them the random stream; so
// a chain can be built, copied and compared whole, and run apart.
#pragma once

#include <vector>

#include "mutloc.h"

// By row of a genealogy: nonzero for a leaf whose chromosome is a draw from
// the normal population rather than a descendant of the founder.
using PopulationRows = std::vector<char>;

// Heterogeneity (the mixing sampler's --heterogeneity). Each patient
// chromosome, a leaf of the genealogy, either descends from the founder or
// is a draw from the normal population (another mutation, another founder, a
// misdiagnosis); a founder share s in [0, 1] is the prior probability of the
// first. With the option off, drawn is empty and every leaf descends from
// the founder.
struct Membership {
  PopulationRows drawn; // by row
  int founders = 0;     // leaves that descend from the founder
  double share = 1;
  // The founder genealogy's part of the chain's genealogy prior (see
  // founderTreeTerm), included in the chain's treePrior, and the logs of the
  // whole numbers and their factorials it is made of.
  double treeTerm = 0;
  std::vector<double> logInts, logFactorials;
  // The share's Beta prior, or the share held fixed.
  double priorA = 1, priorB = 1;
  bool shareFixed = false;
  // The log of the age prior's integral over the age bounds, by founder
  // count (NaN where not yet taken).
  std::vector<double> ageNorms;
  // Sampling iterations each row spent as a founder leaf; the share of each
  // sampling iteration.
  std::vector<long> founderIterations;
  std::vector<double> shareSamples;
};

// Acceptance proportions shown in the trace: genealogy, location, root
// state, internal states, frequencies.
constexpr int propCount = 5;

struct Chain {
  // The chain's place in the run, which picks its per-chain settings.
  int index = 0;

  // The genealogy and the proposal genealogy built from it (a node-time or
  // scaling proposal, or the rows a regraft keeps to put back); the ordered
  // node ages of the genealogy and of the proposal; the in-order leaf
  // sequence of a node-time move and the labels of the nodes in the order of
  // their ages.
  TreeMatrix tree, propTree;
  std::vector<double> nodeTimes, propTimes;
  std::vector<int> labelOrder, ageOrder;

  // Population tables: allele frequencies [allele][locus] and transitions;
  // the chain's normal haplotypes (missing alleles imputed as -a).
  Table popHapFreqs;
  TransTable MP1;
  std::vector<Haplotype> normalHaps;

  // Current state: ancestral haplotype, location, age, and the age a
  // genealogy proposal carries.
  Haplotype rootLoci;
  double mutLoc = 0;
  double mutAge = 0;
  double propMutAge = 0;

  // The chain's step widths: of the age and node-time moves, the regraft's
  // depth, the location move (reduced once when wider than the location
  // interval) and the frequency move.
  double treeAdjust = 0;
  double rootDepthAdjust = 0;
  double recDistAdjust = 0;
  double alleleFreqAdjust = 0;

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

  // Samples of the sampling iterations; the mixing sampler also keeps the
  // log-likelihood at the end of each.
  std::vector<double> locationSamples, ageSamples, logLikSamples;

  // By row: the row of the control file's patient data whose chromosome the
  // leaf carries (with paired genotypes, the individual's); -1 for internal
  // rows.
  std::vector<int> dataRow;
  Membership membership;

  // Leaves with imputed alleles and their records [label, m1, m2, columns].
  std::vector<int> missingLeaves;
  std::vector<std::vector<int>> missingLoci;
};

// The run's chains.
extern std::vector<Chain> chains;
