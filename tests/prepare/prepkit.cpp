// VCF writing with htslib, the converter runner and the read-back.
#include "prepkit.h"

#include <gtest/gtest.h>
#include <htslib/hts.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "input.h"
#include "testkit.h"

std::string vcfText(const std::vector<std::string> &samples, const std::vector<Rec> &recs) {
  std::ostringstream v;
  v << "##fileformat=VCFv4.2\n##contig=<ID=1,length=100000000>\n##contig=<ID=2,length=1000>\n"
    << "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
    << "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (const auto &s : samples)
    v << "\t" << s;
  v << "\n";
  for (const auto &r : recs) {
    v << r.chrom << "\t" << r.pos << "\t" << r.id << "\t" << r.ref << "\t" << r.alt
      << "\t.\t.\t.\tGT";
    for (const auto &g : r.gts)
      v << "\t" << g;
    v << "\n";
  }
  return v.str();
}

void writeVcf(const std::string &path, const std::string &text, VcfForm form, bool index) {
  if (form == VcfForm::plain) {
    std::ofstream(path) << text;
    return;
  }
  const std::string plain = path + ".plain.vcf";
  std::ofstream(plain) << text;
  htsFile *in = hts_open(plain.c_str(), "r");
  bcf_hdr_t *hdr = bcf_hdr_read(in);
  htsFile *out = hts_open(path.c_str(), form == VcfForm::bgzip ? "wz" : "wb");
  if (bcf_hdr_write(out, hdr) != 0)
    ADD_FAILURE() << "cannot write the header of " << path;
  bcf1_t *rec = bcf_init();
  while (bcf_read(in, hdr, rec) == 0)
    if (bcf_write(out, hdr, rec) != 0)
      ADD_FAILURE() << "cannot write a record of " << path;
  bcf_destroy(rec);
  hts_close(out);
  bcf_hdr_destroy(hdr);
  hts_close(in);
  std::remove(plain.c_str());
  if (index) {
    const int built = form == VcfForm::bgzip ? tbx_index_build(path.c_str(), 0, &tbx_conf_vcf)
                                             : bcf_index_build(path.c_str(), 14);
    EXPECT_EQ(built, 0) << "index of " << path;
  }
}

PrepareRun runPrepare(const std::string &dir, const std::string &args) {
  const std::string err = dir + "/.stderr";
  const RunResult run =
      runShell("cd '" + dir + "' && '" PREPARE_BINARY "' " + args + " 2> '" + err + "'");
  PrepareRun r{run.status, run.out, readFile(err)};
  std::remove(err.c_str());
  return r;
}

ReadBack readBack(const std::string &path) {
  std::ifstream in(path);
  EXPECT_TRUE(in.good()) << path;
  std::ostringstream log;
  Rng rng = streamFrom(-1);
  int segCount = 0;
  std::vector<std::vector<int>> patientData(patientRows, std::vector<int>(patientCols, 0));
  std::vector<std::vector<Haplotype>> normalHaps;
  ReadBack b;
  b.maxAllele = readdata3(rng, &segCount, in, log, patientData, normalHaps);
  b.genotypes = pset.dataAsGenotypes;
  b.model = pset.geneticModel;
  b.chromosomes = pset.numChromosomes;
  b.loci = pset.numLoci;
  b.chains = pset.numChains;
  b.locLow = pset.mutLocLow;
  b.locHigh = pset.mutLocHigh;
  b.map.assign(pset.mapDist.begin() + 1, pset.mapDist.end());
  b.normal = normalHaps.at(0);
  std::sort(b.normal.begin(), b.normal.end());
  if (b.genotypes) {
    const int cases = b.model == 1 ? b.chromosomes / 2 : b.chromosomes;
    for (int i = 0; i < cases; i++)
      b.patients.emplace_back(patientData[i].begin(), patientData[i].begin() + 2 * b.loci);
  } else {
    for (const auto &row : patientData)
      for (int c = 0; c < row[0]; c++)
        b.patients.emplace_back(row.begin() + 1, row.begin() + 1 + b.loci);
    std::sort(b.patients.begin(), b.patients.end());
  }
  return b;
}
