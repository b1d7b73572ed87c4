// The default sampler's run and the moves it makes besides the genealogy
// move, in the order each chain goes through them.
#pragma once

#include <functional>
#include <iosfwd>
#include <vector>

#include "chain.h"
#include "chainwork.h"
#include "mutloc.h"
#include "random.h"
#include "runrecord.h"

// The default sampler's run (runChains with one-iteration blocks on one
// thread, every chain drawing from rng in turn): writes the trace to dat,
// progress to the screen and the periodic haplotype tallies; with a record,
// also each chain's trace row at every .dat record and the draws in sampling
// order. afterIteration, when given, is called with the number of iterations
// done after each one; when it returns false the run ends there. Returns the
// number of sampling iterations whose samples are stored (and sorted).
long runSampler(Rng &rng, std::ostream &dat, std::ostream &hpf, RunRecord *record = nullptr,
                const std::function<bool(long done)> &afterIteration = nullptr);
// Allele-frequency move, then the missing-allele moves of patient leaves and
// normal-population haplotypes.
void updateFrequenciesAndMissing(Rng &rng, Chain &chain, ChainWork &work);
// The allele-frequency move alone, as the default sampler makes it.
void updateFrequencies(Rng &rng, Chain &chain, ChainWork &work);
// The same step as the mixing sampler makes it: its acceptance also holds the
// ancestral haplotype's and the partner chromosomes' population terms and the
// Jacobian of the rescaling, so that it leaves the whole posterior of the
// trace invariant.
void updateFrequenciesWhole(Rng &rng, Chain &chain, ChainWork &work);
// Mutation-location update in the mode iterMutLocation gives.
void updateLocation(Rng &rng, Chain &chain, ChainWork &work);
// One Metropolis test of location x against the chain's own (a symmetric
// proposal): on acceptance x becomes the chain's location with its terms.
bool tryLocation(Rng &rng, Chain &chain, ChainWork &work, double x);
// Random-walk proposal of a location: x in, proposal out. The first call
// with a step wider than the location interval narrows the chain's step to
// the interval instead of proposing.
void adjrecrate(double &x, Rng &rng, const std::vector<double> &map, Chain &chain);
// Ancestral-state and internal-state proposals.
void updateStates(Rng &rng, Chain &chain, ChainWork &work);
void adjY0(int *state, Rng &rng, int *changed, int allLoci);
void adjYi(int *state, Rng &rng, int *changed, int allLoci);
// Genotype phase updates (genotype data only), of every individual in turn:
// one test of exchanges at each heterozygous locus with probability one half,
// or (ByLocus) one test for the exchange at each heterozygous locus in turn,
// the leaves' terms from the parts of the rows' terms (taken by takeRowParts
// at the chain's state, every change since kept in them), which it keeps
// current.
void updatePhase(Rng &rng, Chain &chain, ChainWork &work);
void updatePhaseByLocus(Rng &rng, Chain &chain, ChainWork &work, RowParts &parts);
