// Pieces shared by the frequency, missing-allele and phase moves of a chain:
// the Metropolis-Hastings acceptance probability, the population term of the
// second chromosome of an unpaired genotype, the remembered terms of the
// normal-population sample, and the change of one leaf's alleles, scored and
// then kept or undone. Also the two missing-allele stages that the per-chain
// update calls after the frequency move.
#pragma once

#include <vector>

#include "mutloc.h"

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
double partnerTerm(const Table &freqs, const double *secondBlock);

// The normal-population sample's log probability is the sum, in list order,
// of probhap2 over the chain's normal haplotypes. Each chain remembers every
// haplotype's term with the haplotype's alleles and the tables the terms were
// taken under (the first-locus frequencies and the transition table, all
// that probhap2 reads), so that a move takes again only the terms its change
// reaches.
struct SampleTerms {
  std::vector<double> firstLocus; // popHapFreqs[ch][a][0] for every allele row a
  TransTable trans;               // MP1[ch]
  std::vector<Haplotype> haps;    // the haplotypes' alleles
  std::vector<double> logProbs;   // their probhap2 terms
};
// The remembered terms of chain ch (empty until a frequency move of the chain
// is first accepted).
SampleTerms &sampleTerms(int ch);
// Whether the remembered terms were taken under chain ch's current tables,
// one for each of its normal haplotypes.
bool termsFitTables(const SampleTerms &terms, int ch);
// Records chain ch's current tables as those of its remembered terms.
void recordTables(SampleTerms &terms, int ch);

// Records the allele cells and node term of a leaf (and, with paired
// genotypes, of its partner leaf) before a move changes its alleles.
void saveLeaf(int ch, int leaf);
// Scores a leaf whose alleles were changed after saveLeaf: recomputes its node
// term (and its partner's with paired genotypes), adds the change of the
// chain's partner term with unpaired genotypes, draws the acceptance number,
// and either keeps the change with the chain's new log terms or restores
// everything saveLeaf recorded.
void acceptOrRestoreLeaf(Seed *seed, int ch, int leaf);

// Re-imputation moves of the missing alleles of the chain's patient leaves.
void updatePatientMissing(Seed *seed, int ch);
// Re-imputation moves of the missing alleles of the chain's normal-population
// haplotypes.
void updateNormalMissing(Seed *seed, int ch);
