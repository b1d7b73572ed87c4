// A round trip through the formats users hold: a control file made by the
// validation harness's simulator (tests/data/prepare/simulated.in: 20 disease
// chromosomes, 60 normal ones, 10 markers over 0.02 Morgans, a few missing
// alleles) is written out as a phased, bgzipped, indexed VCF with a genetic
// map, converted back, and must give mutloc the same normal population,
// patient alleles and map, and run to the end.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "prepkit.h"
#include "testkit.h"

namespace {

// Allele strings for labels 1, 2, ...: label 1 is the REF.
const char *const bases[] = {"A", "C", "G", "T", "AC", "AG", "AT", "CA"};

std::string allele(int label) {
  return label < 0 ? "." : std::to_string(label - 1);
}

TEST(RoundTrip, SimulatedDataComeBackThroughVcfAndMap) {
  const ReadBack original = readBack(MUTLOC_TEST_DATA "/prepare/simulated.in");
  ASSERT_EQ(original.genotypes, 0);
  const int loci = original.loci;
  const auto &cases = original.patients; // one haplotype per disease chromosome
  const auto &controls = original.normal;
  ASSERT_EQ(cases.size() % 2, 0u);
  ASSERT_EQ(controls.size() % 2, 0u);

  // Each pair of chromosomes is one diploid sample; 1 cM per Mb places the
  // markers, and the map has a point at every marker.
  std::vector<std::string> samples;
  for (size_t i = 0; i < cases.size() / 2; i++)
    samples.push_back("case" + std::to_string(i));
  for (size_t i = 0; i < controls.size() / 2; i++)
    samples.push_back("control" + std::to_string(i));
  std::vector<Rec> recs;
  std::ostringstream map;
  map << "Chromosome\tPosition(bp)\tRate(cM/Mb)\tMap(cM)\n";
  for (int l = 0; l < loci; l++) {
    int labels = 0;
    for (const auto *table : {&cases, &controls})
      for (const auto &h : *table)
        labels = std::max(labels, h[l]);
    ASSERT_LE(labels, 8);
    Rec r{10000 + std::lround(original.map[l] * 1e8), bases[0], "", {}};
    for (int a = 2; a <= labels; a++)
      r.alt += std::string(a > 2 ? "," : "") + bases[a - 1];
    for (const auto *table : {&cases, &controls})
      for (size_t i = 0; i < table->size(); i += 2)
        r.gts.push_back(allele((*table)[i][l]) + "|" + allele((*table)[i + 1][l]));
    recs.push_back(r);
    map << "chr1\t" << r.pos << "\t1\t" << original.map[l] * 100 << "\n";
  }
  const std::string dir = makeTempDir();
  writeVcf(dir + "/sim.vcf.gz", vcfText(samples, recs), VcfForm::bgzip, true);
  writeFile(dir, "map.txt", map.str());
  std::string caseList;
  for (size_t i = 0; i < cases.size() / 2; i++)
    caseList += samples[i] + "\n";
  writeFile(dir, "cases.txt", caseList);

  const PrepareRun r = runPrepare(dir, "--vcf sim.vcf.gz --cases cases.txt --region "
                                       "1:1-100000000 --map map.txt --out back.in "
                                       "--iterations 200 --burn-in 50 --screen-every 100");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("dropped 0 below the call rate 0.9 and 0 monomorphic"), std::string::npos)
      << r.out;
  const ReadBack back = readBack(dir + "/back.in");
  EXPECT_EQ(back.genotypes, 0);
  EXPECT_EQ(back.chromosomes, original.chromosomes);
  EXPECT_EQ(back.normal, original.normal);
  EXPECT_EQ(back.patients, original.patients);
  ASSERT_EQ(back.map.size(), original.map.size());
  // The map is written to at least 8 significant digits.
  for (int l = 0; l < loci; l++)
    EXPECT_NEAR(back.map[l], original.map[l], 1e-8 * original.map.back()) << l;

  const RunResult run = runMutloc(dir, "back.in");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Finished"), std::string::npos) << run.out;
}

} // namespace
