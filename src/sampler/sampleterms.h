// The remembered terms of a chain's normal-population sample (SampleTerms in
// chain.h): taking them, and the changes the frequency move and the
// missing-allele moves on normal haplotypes propose and keep.
#pragma once

#include "chain.h"

// Takes the chain's sample terms from its tables and normal haplotypes unless
// they are already taken.
void takeSampleTerms(Chain &chain);

// The sample's log probability after the frequency move changed its tables at
// locus (the first-locus frequencies when locus is 0, else transition row
// `row` from locus - 1 to locus): the remembered logs of the changed entries
// are taken again (the old ones saved), and the terms that read them are
// proposed in the chain's scratch.
double proposeTableChange(Chain &chain, int locus, int row);
// After an accepted frequency move the proposed terms become the chain's;
// after a rejected one, with the tables restored, the saved logs return.
void keepTableChange(Chain &chain, int locus);
void undoTableChange(Chain &chain, int locus, int row);

// The remembered term of normal haplotype h.
double sampleTerm(const Chain &chain, int h);
// The term of normal haplotype h with allele at locus (stored as in the
// haplotype), proposed in the chain's scratch.
double proposeAllele(Chain &chain, int h, int locus, int allele);
// After normal haplotype h took the proposed allele at locus, its proposed
// term becomes its remembered one.
void keepAllele(Chain &chain, int h, int locus);
