// The checks a VCF record must pass before its calls are used. htslib reads a
// POS of ".", "-5", "1.2e6" or "12O1000" as some number, drops sample
// columns beyond the header's, and only warns about undefined contigs and
// tags; each of these is a damaged record here.
#pragma once

#include <htslib/vcf.h>

#include <string>

// What is wrong with the text line of a record, before htslib parses it: a
// control byte, a number of columns other than the header's, an undefined
// chromosome, a POS that is not a whole number within the contig. "" when
// nothing is.
std::string textProblem(const std::string &line, bcf_hdr_t *hdr);
// What is wrong with a parsed record (text or BCF): what htslib flagged in
// it, or a position outside the contig. "" when nothing is.
std::string parsedProblem(bcf_hdr_t *hdr, const bcf1_t *rec);
