// Shared by the mutloc-prepare tests: small VCFs written in every form with
// htslib, a runner for the built converter, and a control file read back with
// mutloc's own reader.
#pragma once

#include <string>
#include <vector>

// One VCF record: genotypes as written in the file ("0|1", "1/2", "./.").
struct Rec {
  long pos;
  std::string ref, alt;
  std::vector<std::string> gts;
  std::string chrom = "1";
  std::string id = ".";
};

// The text of a VCF with these samples and records.
std::string vcfText(const std::vector<std::string> &samples, const std::vector<Rec> &recs);

enum class VcfForm { plain, bgzip, bcf };
// Writes text (a VCF) to path in form: plain as is, bgzip and BCF through
// htslib's writer; indexed (.tbi for bgzip, .csi for BCF) when index is set.
void writeVcf(const std::string &path, const std::string &text, VcfForm form, bool index);

struct PrepareRun {
  int status;
  std::string out, err;
};
// Runs mutloc-prepare with args (quoted as needed) inside dir.
PrepareRun runPrepare(const std::string &dir, const std::string &args);

// What mutloc reads from a control file.
struct ReadBack {
  int genotypes = 0, model = 0, chromosomes = 0, loci = 0, chains = 0;
  double locLow = 0, locHigh = 0;
  std::vector<double> map;                // one position per marker
  std::vector<std::vector<int>> normal;   // every normal chromosome, sorted
  std::vector<std::vector<int>> patients; // haplotypes: one per chromosome, sorted;
                                          // genotypes: one row per case, in order
  int maxAllele = 0;
};
// Reads path with mutloc's reader (a bad file ends the test program with the
// reader's message).
ReadBack readBack(const std::string &path);
