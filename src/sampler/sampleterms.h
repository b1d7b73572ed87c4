// The remembered terms of a chain's normal-population sample: taking them,
// the changes the frequency move and the missing-allele moves on normal
// haplotypes propose and keep, and forgetting them after any other change.
#pragma once

#include <vector>

#include "chain.h"

struct ChainWork;

// The normal-population sample's log probability is the sum, in list order,
// of the haplotypes' terms: log f(|h_0|, 0) + 0.0, then the log of each
// transition along the haplotype, added in locus order. A chain's work record
// remembers the logs of the table entries these terms read and, for every
// haplotype, where its entries lie among them and its running sums after each
// locus. A change at locus k leaves a haplotype's running sums before k as
// they were, so a move continues from there and adds exactly what a whole
// evaluation adds. The frequency and missing-allele moves keep all of it
// current; anything else that changes the tables or the haplotypes calls
// tablesChanged.
struct SampleTerms {
  bool taken = false;              // false until taken and after forgetting
  std::vector<double> logs;        // first-locus entries by allele, then MP1
  std::vector<int> tableStart;     // where each of MP1's tables starts in logs
  std::vector<int> entries;        // per haplotype, loci places in logs
  std::vector<double> runningSums; // per haplotype, loci sums; the last its term
};

// The one rule for a chain's tables (popHapFreqs, MP1) and normal haplotypes:
// the sample terms in its work record were taken from them, and hold only
// while they change through the moves below that keep the terms current
// (proposeTableChange with keepTableChange or undoTableChange, proposeAllele
// with keepAllele). Whatever else changes them, in place or anew, calls
// tablesChanged with the chain's work record before the next move, which
// forgets the terms; the next move that reads them takes them afresh.
// Nothing else a work record keeps needs forgetting: the likelihood's memo
// checks every remembered log against the entry it was taken from, and the
// moves' scratch holds nothing beyond the move or sweep of draws that fills
// it, none of which changes the tables. A work record made after the tables
// were built (as the samplers make theirs, after set-up) has nothing to
// forget.
void tablesChanged(ChainWork &work);

// Takes the chain's sample terms into its work record, from its tables and
// normal haplotypes, unless they are already taken.
void takeSampleTerms(const Chain &chain, ChainWork &work);

// The sample's log probability after the frequency move changed its tables at
// locus (the first-locus frequencies when locus is 0, else transition row
// `row` from locus - 1 to locus): the remembered logs of the changed entries
// are taken again (the old ones saved), and the terms that read them are
// proposed in the scratch of its work record.
double proposeTableChange(const Chain &chain, ChainWork &work, int locus, int row);
// After an accepted frequency move the proposed terms become the chain's;
// after a rejected one, with the tables restored, the saved logs return.
void keepTableChange(ChainWork &work, int locus);
void undoTableChange(const Chain &chain, ChainWork &work, int locus, int row);

// The remembered term of normal haplotype h.
double sampleTerm(const ChainWork &work, int h);
// The term of normal haplotype h with allele at locus (stored as in the
// haplotype), proposed in the scratch of the work record.
double proposeAllele(const Chain &chain, ChainWork &work, int h, int locus, int allele);
// After normal haplotype h took the proposed allele at locus, its proposed
// term becomes its remembered one.
void keepAllele(ChainWork &work, int h, int locus);
