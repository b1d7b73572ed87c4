// The Markov chain Monte Carlo loop and the moves it makes besides the
// genealogy move, in the order each chain goes through them.
#pragma once

#include <iosfwd>
#include <vector>

#include "chain.h"
#include "mutloc.h"
#include "random.h"
#include "runrecord.h"

// Runs burn-in and sampling iterations over all chains, writing the trace to
// dat, progress to the screen and the periodic haplotype tallies. With a
// record, also writes each chain's trace row at every .dat record and keeps
// the draws in sampling order.
void runSampler(Rng &rng, std::ostream &dat, std::ostream &hpf, RunRecord *record = nullptr);
// Recomputes the chain's acceptance proportions from its counters after
// iteration i.
void refreshAcceptProps(Chain &chain, long i);
// Between-chain potential scale reduction of the mutation location after
// iteration i >= 1, from each chain's sum and sum of squares of locations.
double convergenceStatistic(const std::vector<double> &locSum, const std::vector<double> &locSumSq,
                            long i);

// Allele-frequency move, then the missing-allele moves of patient leaves and
// normal-population haplotypes.
void updateFrequenciesAndMissing(Rng &rng, Chain &chain);
// Mutation-location update in the mode iterMutLocation gives.
void updateLocation(Rng &rng, Chain &chain);
// Random-walk proposal of a location: x in, proposal out. The first call
// with a step wider than the location interval narrows the chain's step to
// the interval instead of proposing.
void adjrecrate(double &x, Rng &rng, const std::vector<double> &map, Chain &chain);
// Ancestral-state and internal-state proposals.
void updateStates(Rng &rng, Chain &chain);
void adjY0(int *state, Rng &rng, int *changed, int allLoci);
void adjYi(int *state, Rng &rng, int *changed, int allLoci);
// Genotype phase updates (genotype data only).
void updatePhase(Rng &rng, Chain &chain);
