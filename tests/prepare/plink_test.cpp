// mutloc-prepare on PLINK text files: column 6 chooses cases and controls,
// 0 is a missing allele, --phased makes the allele order the phase, and the
// .map's own centimorgans are the genetic map unless another is given.
#include <gtest/gtest.h>

#include "prepkit.h"
#include "testkit.h"

namespace {

using Rows = std::vector<std::vector<int>>;

// Four markers on chromosome 1 (one outside the region, one with a negative
// position) and one on chromosome 2. Samples: two cases, two controls, one
// of unknown affection.
const char *mapText = "1 rs1 0.10 1000\n1 rs2 0.20 2000\n1 rs3 0.5 3000\n1 rsx 0.6 -4000\n"
                      "1 rs9 9 900000\n2 rs5 1 500\n";
const char *pedText = "f1 c1 0 0 1 2 A G  C C  T G  A A  A A  C T\n"
                      "f2 k1 0 0 2 1 A A  C T  T T  A A  A A  T T\n"
                      "f3 u1 0 0 2 0 G G  T T  G G  A A  A A  C C\n"
                      "f4 c2 0 0 1 2 G G  0 C  G G  A A  A A  C T\n"
                      "f5 k2 0 0 2 1 G A  C C  G T  A A  A A  C C\n";

PrepareRun run(const std::string &dir, const std::string &args) {
  writeFile(dir, "a.map", mapText);
  writeFile(dir, "a.ped", pedText);
  return runPrepare(dir, "--ped a.ped --map-plink a.map --region 1:1-10000 --out d.in "
                         "--min-call-rate 0.7 " +
                             args);
}

TEST(PlinkConversion, AffectionChoosesTheGroupsAndTheMapGivesThePositions) {
  const std::string dir = makeTempDir();
  const PrepareRun r = run(dir, "--phased");
  ASSERT_EQ(r.status, 0) << r.err;
  const ReadBack b = readBack(dir + "/d.in");
  EXPECT_EQ(b.genotypes, 0);
  EXPECT_EQ(b.chromosomes, 4);
  ASSERT_EQ(b.loci, 3);
  // Labels in order of appearance: A G, C T, T G.
  EXPECT_EQ(b.patients, (Rows{{1, 1, 1}, {2, -1, 2}, {2, 1, 2}, {2, 1, 2}}));
  EXPECT_EQ(b.normal, (Rows{{1, 1, 1}, {1, 1, 1}, {1, 2, 1}, {2, 1, 2}}));
  EXPECT_NEAR(b.map[1], 0.001, 1e-12);
  EXPECT_NEAR(b.map[2], 0.004, 1e-12);
  // Another map replaces the .map's centimorgans.
  const PrepareRun k = run(dir, "--phased --cm-per-mb 1");
  ASSERT_EQ(k.status, 0) << k.err;
  EXPECT_NEAR(readBack(dir + "/d.in").map[2], 2e-5, 1e-15);
}

TEST(PlinkConversion, WithoutPhaseControlsAreRefusedAndCasesGiveGenotypes) {
  const std::string dir = makeTempDir();
  const PrepareRun r = run(dir, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("a.map line 1 (rs1 at 1:1000), control a.ped line 5, sample k2: an "
                       "unphased genotype"),
            std::string::npos)
      << r.err;
  // With homozygous controls only the cases' phase is unknown (and rs2 is
  // left monomorphic).
  writeFile(dir, "a.map", mapText);
  std::string ped = pedText;
  ped.replace(ped.find("f2 k1 0 0 2 1 A A  C T  T T"), 27, "f2 k1 0 0 2 1 A A  C C  T T");
  ped.replace(ped.find("f5 k2 0 0 2 1 G A  C C  G T"), 27, "f5 k2 0 0 2 1 G G  C C  G G");
  writeFile(dir, "a.ped", ped);
  const PrepareRun k = runPrepare(dir, "--ped a.ped --map-plink a.map --region 1:1-10000 --out "
                                       "d.in --cm-per-mb 1 --min-call-rate 0.7");
  ASSERT_EQ(k.status, 0) << k.err;
  EXPECT_NE(k.out.find("and 1 monomorphic"), std::string::npos) << k.out;
  const ReadBack b = readBack(dir + "/d.in");
  EXPECT_EQ(b.genotypes, 1);
  EXPECT_EQ(b.model, 1);
  EXPECT_EQ(b.patients, (Rows{{1, 2, 1, 2}, {2, 2, 2, 2}}));
}

TEST(PlinkConversion, LinesWithTheWrongNumberOfColumnsAreNamed) {
  const std::string dir = makeTempDir();
  writeFile(dir, "a.map", mapText);
  writeFile(dir, "a.ped", std::string(pedText) + "f6 k3 0 0 2 1 A A\n");
  const PrepareRun r = runPrepare(dir, "--ped a.ped --map-plink a.map --region 1:1-10000 --out "
                                       "d.in --phased");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("a.ped line 6 (sample k3): 18 columns expected for 6 markers of a.map, 8 "
                       "found"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(readFile(dir + "/d.in"), "");
}

TEST(PlinkConversion, TokensOutsideTheFilesCodingAreRefused) {
  const std::string dir = makeTempDir();
  writeFile(dir, "a.map", mapText);
  // Sample k1's second allele of rs3 (column 12), or its affection.
  const std::string intact = "f2 k1 0 0 2 1 A A  C T  T T";
  const std::string at = "a.ped line 2 (sample k1, marker rs3, column 12): ";
  for (const auto &[line, message] : std::vector<std::pair<std::string, std::string>>{
           {"f2 k1 0 0 2 1 A A  C T  T .", at + "'.' is not an allele of the file's coding"},
           {"f2 k1 0 0 2 1 A A  C T  T -9", at + "'-9' is not an allele"},
           {"f2 k1 0 0 2 1 A A  C T  T N", at + "'N' is not an allele"},
           {"f2 k1 0 0 2 1 A A  C T  T 00", at + "'00' is not an allele"},
           {"f2 k1 0 0 2 1 A A  C T  T 3",
            at + "'3' is not an allele of the file's coding (bases A, C, G, T, as first at a.ped "
                 "line 1 (sample c1, marker rs1, column 7); 0 for a missing allele)"},
           {"f2 k1 0 0 2 1 A A  C T  T \x81", at + "'\x81' is not an allele"},
           {"f2 k1 0 0 2 1 A A  C T  T \x02", "a.ped line 2: a control byte (0x02)"},
           {"f2 k1 0 0 2 x A A  C T  T T",
            "a.ped line 2 (sample k1): the affection status 'x' in column 6 is not 1"}}) {
    std::string ped = pedText;
    ped.replace(ped.find(intact), intact.size(), line);
    writeFile(dir, "a.ped", ped);
    const PrepareRun r = runPrepare(dir, "--ped a.ped --map-plink a.map --region 1:1-10000 "
                                         "--out d.in --phased");
    EXPECT_EQ(r.status, 1) << line;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
}

} // namespace
