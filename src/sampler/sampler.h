// The Markov chain Monte Carlo loop and the moves it makes besides the
// genealogy move, in the order each chain goes through them.
#pragma once

#include <functional>
#include <iosfwd>
#include <vector>

#include "mutloc.h"

// Runs burn-in and sampling iterations over all chains, writing the trace to
// dat, progress to the screen and the periodic haplotype tallies.
// afterIteration, when given, is called with the number of iterations done
// after each one; when it returns false the loop ends there. Returns the
// number of sampling iterations whose samples are stored (and sorted).
long runSampler(Seed *seed, std::ostream &dat, std::ostream &hpf,
                const std::function<bool(long done)> &afterIteration = nullptr);
// Recomputes props[0..4][ch] from the acceptance counters after iteration i.
void refreshAcceptProps(int ch, long i);
// Between-chain potential scale reduction of the mutation location after
// iteration i >= 1, from each chain's sum and sum of squares of locations.
double convergenceStatistic(const std::vector<double> &locSum, const std::vector<double> &locSumSq,
                            long i);

// Allele-frequency move, then the missing-allele moves of patient leaves and
// normal-population haplotypes.
void updateFrequenciesAndMissing(Seed *seed, int ch);
// Mutation-location update in the mode iterMutLocation gives.
void updateLocation(Seed *seed, int ch);
// Random-walk proposal of a location: x in, proposal out.
void adjrecrate(double &x, Seed *seed, const std::vector<double> &map, int ch);
// Ancestral-state and internal-state proposals.
void updateStates(Seed *seed, int ch);
void adjY0(int *state, Seed *seed, int *changed, int allLoci);
void adjYi(int *state, Seed *seed, int *changed, int allLoci);
// Genotype phase updates (genotype data only).
void updatePhase(Seed *seed, int ch);
