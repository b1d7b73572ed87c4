// The genetic map: both file forms, interpolation to Morgans from the first
// marker, the spreading of markers at one genetic position, the map's
// refusals, and the printing of positions that must stay increasing.
#include <gtest/gtest.h>

#include "failure.h"
#include "geneticmap.h"
#include "numbers.h"
#include "testkit.h"

namespace {

GeneticMap mapOf(const std::string &name, const std::string &text,
                 MapFormat format = MapFormat::automatic, const std::string &chrom = "1") {
  const std::string dir = makeTempDir();
  writeFile(dir, name, text);
  return readGeneticMap(dir + "/" + name, format, chrom);
}

std::string errorOf(const std::function<void()> &f) {
  try {
    f();
  } catch (const DataError &e) {
    return e.what();
  }
  return "no error";
}

TEST(GeneticMapFile, BothFormsGiveTheSamePointsOfTheChromosome) {
  const auto rate =
      mapOf("g.txt", "Chromosome Position(bp) Rate(cM/Mb) Map(cM)\n"
                     "chr1 1000 1 0\nchr1 3000 2 0.2\nchr2 500 1 9\nchr1 2000 1 0.1\n");
  const auto plink = mapOf("g.txt", "1 rs1 0 1000\n1 rs2 0.1 2000\n1 rs3 0.2 3000\n2 rs4 9 500\n");
  const auto named = mapOf("g.map", "1 7 0 1000\n1 8 0.1 2000\n1 9 0.2 3000\n");
  for (const auto *m : {&rate, &plink, &named}) {
    ASSERT_EQ(m->points.size(), 3u);
    EXPECT_EQ(m->points[1].bp, 2000);
    EXPECT_DOUBLE_EQ(m->points[2].cm, 0.2);
  }
  // A PLINK map with numeric IDs is told apart by its name or by the option.
  EXPECT_EQ(mapOf("g.txt", "1 7 0 1000\n1 8 0.1 2000\n", MapFormat::plink).points[1].bp, 2000);
}

TEST(GeneticMapFile, RefusalsNameTheFileAndLines) {
  EXPECT_NE(errorOf([] {
              mapOf("g.txt", "1 100 1 0\n1 200 1 0.5\n1 300 1 0.4\n");
            }).find("g.txt lines 2 and 3: the centimorgans decrease"),
            std::string::npos);
  EXPECT_NE(errorOf([] {
              mapOf("g.txt", "1 100 1 0\n1 100 1 0.5\n");
            }).find("two genetic positions for base 100"),
            std::string::npos);
  EXPECT_NE(errorOf([] {
              mapOf("g.txt", "1 100 1 0\n1 200 x 0.5 9\n");
            }).find("g.txt line 2: 4 columns expected"),
            std::string::npos);
  EXPECT_NE(errorOf([] { mapOf("g.txt", "2 100 1 0\n"); }).find("no position on chromosome 1"),
            std::string::npos);
  // Damage that was once read as a position, or passed over.
  for (const auto &[text, message] : std::vector<std::pair<std::string, std::string>>{
           {std::string("1 100 1 0\n1 1200\0"
                        "500 1 0.5\n",
                        23),
            "g.txt line 2: a NUL byte in tab-separated column 1 (character 7)"},
           {"1 100 1 0\n1 -5 1 0.5\n", "g.txt line 2: the base position -5 is negative"},
           {"1 100 1 -5\n1 200 1 0.5\n", "g.txt line 1: the genetic position -5 cM is negative"},
           {"1 100 1 0\n1 200 1 0.5x\n", "g.txt line 2: no base position and centimorgans"}})
    EXPECT_NE(errorOf([&] { mapOf("g.txt", text); }).find(message), std::string::npos) << message;
}

TEST(Numbers, EndAtTheEndOfTheirTextNotAtANul) {
  long l = 0;
  double d = 0;
  EXPECT_FALSE(parseLong(std::string("1200\0"
                                     "500",
                                     8),
                         l));
  EXPECT_FALSE(parseDouble(std::string("1.5\0"
                                       "7",
                                       5),
                           d));
  EXPECT_TRUE(parseLong("1200500", l) && l == 1200500);
}

TEST(GeneticMapFile, PlinkExclusionsAndOtherNamesAreNoted) {
  const auto m = mapOf("g.map", "chr1 rs1 0 1000\nchr1 rs2 0.1 -2000\nchr1 rs3 0.2 3000\n");
  EXPECT_EQ(m.points.size(), 2u);
  EXPECT_EQ(m.notes,
            (std::vector<std::string>{"note: " + m.source +
                                          " calls chromosome 1 'chr1'; the two names are "
                                          "taken as one chromosome",
                                      "note: " + m.source +
                                          ": 1 line(s) of chromosome 1 with a negative base "
                                          "position left out, as PLINK marks excluded "
                                          "markers"}));
}

TEST(Placement, InterpolatesLinearlyAndStartsAtZero) {
  const GeneticMap m{"m", {{1000, 1.0}, {2000, 2.0}, {4000, 3.0}}, {}};
  const auto p = placeOnMap(m, {1500, 2000, 3000, 4000}, {"a", "b", "c", "d"});
  ASSERT_EQ(p.morgans.size(), 4u);
  EXPECT_EQ(p.morgans[0], 0);
  EXPECT_NEAR(p.morgans[1], 0.005, 1e-15);
  EXPECT_NEAR(p.morgans[2], 0.01, 1e-15);
  EXPECT_NEAR(p.morgans[3], 0.015, 1e-15);
  EXPECT_EQ(p.separated, 0u);
  EXPECT_NE(errorOf([&] {
              placeOnMap(m, {999, 2000}, {"1:999", "1:2000"});
            })
                .find("1:999 lies outside the genetic map m, which covers base positions 1000 to "
                      "4000"),
            std::string::npos);
}

// A quarter of the way along an interval is a quarter of its centimorgans
// from the lower point, read from either form of map file.
TEST(Placement, InterpolatesFromTheLowerPointInBothFileForms) {
  const auto rate = mapOf("g.txt", "Chromosome Position(bp) Rate(cM/Mb) Map(cM)\n"
                                   "chr1 1000 500 0\nchr1 5000 250 2\nchr1 17000 0 5\n");
  const auto plink = mapOf("g.map", "1 rs1 0 1000\n1 rs2 2 5000\n1 rs3 5 17000\n");
  for (const auto *m : {&rate, &plink}) {
    const auto p = placeOnMap(*m, {1000, 2000, 8000}, {"a", "b", "c"});
    EXPECT_NEAR(p.morgans[1], 0.005, 1e-15);
    EXPECT_NEAR(p.morgans[2], 0.0275, 1e-15) << m->source;
  }
}

TEST(Placement, EqualPositionsAreSpreadAtTheNearestNonZeroRate) {
  // 1000-2000 at 1 cM per kb, flat to 5000, then 0.5 cM per kb.
  const GeneticMap m{"m", {{1000, 0}, {2000, 1}, {5000, 1}, {9000, 3}}, {}};
  // 2500, 3000 and 3500 sit at 1 cM; the nearest rated stretch ends at 2000,
  // 500 bases away (the one from 5000 is 1500 away): 0.001 cM per base.
  const auto p = placeOnMap(m, {1500, 2500, 3000, 3500, 7000}, {"a", "b", "c", "d", "e"});
  EXPECT_EQ(p.separated, 2u);
  const double cm[] = {0.5, 1.0, 1.5, 2.0, 2.0 + 1.0};
  for (int i = 0; i < 5; i++)
    EXPECT_NEAR(p.morgans[i], (cm[i] - 0.5) / 100, 1e-14) << i;
  // Equally near on both sides: the mean of the two rates.
  const auto q = placeOnMap(m, {3000, 4000}, {"a", "b"});
  EXPECT_NEAR(q.morgans[1], 1000 * (0.001 + 0.0005) / 2 / 100, 1e-14);
  // A map without any rate cannot separate them.
  const GeneticMap flat{"flat", {{1000, 2}, {5000, 2}}, {}};
  EXPECT_NE(errorOf([&] {
              placeOnMap(flat, {2000, 3000}, {"a", "b"});
            })
                .find("a and b lie at one genetic position, and the genetic map flat has no "
                      "non-zero rate"),
            std::string::npos);
}

TEST(Placement, ConstantRateInMorgans) {
  const auto p = placeAtRate(1.5, {1000000, 3000000});
  EXPECT_EQ(p.morgans[0], 0);
  EXPECT_NEAR(p.morgans[1], 0.03, 1e-15);
}

TEST(MapText, NeighboursNeverPrintAlike) {
  const auto t = increasingTexts({0, 0.0123456781, 0.0123456789, 0.5}, 8);
  EXPECT_EQ(t[0], "0");
  EXPECT_EQ(t[1], "0.012345678");
  EXPECT_EQ(t[2], "0.012345679");
  EXPECT_EQ(increasingTexts({0, 0.002}, 8)[1], "0.002");
}

} // namespace
