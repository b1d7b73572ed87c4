// Pieces shared by the frequency, missing-allele and phase moves of a chain:
// the Metropolis-Hastings acceptance probability, the population term of the
// second chromosome of an unpaired genotype, and the change of one leaf's
// alleles, scored and then kept or undone. Also the two missing-allele stages that the per-chain
// update calls after the frequency move.
#pragma once

#include <vector>

#include "chain.h"
#include "chainwork.h"
#include "mutloc.h"
#include "random.h"

// Acceptance probability of a proposal whose log ratio is r: 1 when r >= 0,
// else exp(r).
double acceptanceProbability(double r);

// Whether the patient data are genotypes with both chromosomes of an
// individual in one leaf row (the second in the second allele block).
bool unpairedGenotypes();
// Whether the two chromosomes of an individual are two partner leaves.
bool pairedGenotypes();

// Log probability of the chromosome in the second allele block of a leaf row
// (unpaired genotypes) under independent allele frequencies: the sum over the
// loci of log freqs[|allele|][k].
double partnerTerm(Chain &chain, ChainWork &work, const double *secondBlock);
// The sum of partnerTerm over the chain's leaves, in row order: the chain's
// partner term (unpaired genotypes).
double allPartnerTerms(Chain &chain, ChainWork &work);

// The Metropolis-Hastings test of a move that changed the node terms of count
// rows of the chain's genealogy (oldTerms their terms before) and whose log
// ratio is (total + proposed) - (chain.logLik + current), total being the new
// sum of the stored terms. The acceptance number is drawn first; when not even
// the largest total the rounding of the sums allows could pass, the proposal is
// refused without summing the rows (most such proposals are refused, and a sum
// over every row costs more than the terms that changed). Otherwise the total
// is summed into *total and the test made with it: u < probability, or
// u <= probability with tiesAccept. The decision is always that of the test
// with the summed total.
bool testRowChange(Rng &rng, Chain &chain, ChainWork &work, const int *rows, const double *oldTerms,
                   int count, double proposed, double current, bool tiesAccept, double *total);

// Takes the logs of the frequency table that acceptOrRestoreLeaf and
// acceptOrRestoreLocus read, at the start of a sweep of leaf moves: the tables
// do not change within a sweep.
void takeSweepLogs(Chain &chain, ChainWork &work);
// Records the allele cells and node term of a leaf (and, with paired
// genotypes, of its partner leaf) before a move changes its alleles.
void saveLeaf(Chain &chain, ChainWork &work, int leaf);
// Scores a leaf whose alleles were changed after saveLeaf: recomputes the node
// terms of the rows whose cells changed (the leaf's, and its partner leaf's
// with paired genotypes), adds the change of the chain's partner term with
// unpaired genotypes, draws the acceptance number, and either keeps the change
// with the chain's new log terms or restores everything saveLeaf recorded. True when the change is
// kept. The partner term is summed from the logs takeSweepLogs took.
bool acceptOrRestoreLeaf(Rng &rng, Chain &chain, ChainWork &work, int leaf);
// The same for a change of the cells at locus alone (one exchange of a sweep
// of one-locus phase tests, which sets work.scratch.scoredLeaf to -1 before
// it): only those cells are compared and restored, the rows' terms come from
// their parts (see takeRowParts), which a kept change brings up to date, and
// the leaf's partner term is carried from one test of the leaf to its next.
bool acceptOrRestoreLocus(Rng &rng, Chain &chain, ChainWork &work, int leaf, RowParts &parts,
                          int locus);

// Saves and restores every row's node term around a move that rewrites them.
void saveNodeTerms(Chain &chain, ChainWork &work);
void restoreNodeTerms(Chain &chain, ChainWork &work);

// Re-imputation moves of the missing alleles of the chain's patient leaves.
void updatePatientMissing(Rng &rng, Chain &chain, ChainWork &work);
// Re-imputation moves of the missing alleles of the chain's normal-population
// haplotypes.
void updateNormalMissing(Rng &rng, Chain &chain, ChainWork &work);
