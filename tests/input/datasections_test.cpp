// The reader's results in memory: the normal-population lists and counts,
// the allele maxima, the floored frequencies of the log echo, the patient
// rows, the segment arrays of a table or an annotated sequence file, the
// per-chain copies and the random starting values in their order in the
// stream.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "controltext.h"
#include "input.h"
#include "random.h"
#include "testkit.h"

namespace {

// One per-chain setting of every chain, as the reader left them.
std::vector<double> perChain(double ChainSettings::*setting) {
  std::vector<double> values;
  for (const ChainSettings &own : chainSettings)
    values.push_back(own.*setting);
  return values;
}

struct Reading {
  int maxAllele;
  int segCount;
  std::string log;
  std::vector<std::vector<Haplotype>> normalHaps; // one list per chain
};

// Runs readdata3 on text as main does: a fresh stream, patientData
// zero-filled, no lists yet.
Reading readText(const std::string &text) {
  Rng rng = streamFrom(0);
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  std::istringstream in(text);
  std::ostringstream log;
  int segCount = -1;
  Reading r;
  r.maxAllele = readdata3(rng, &segCount, in, log, patientData, r.normalHaps);
  r.segCount = segCount;
  r.log = log.str();
  return r;
}

// The "Frequencies" table of the log echo: one row per allele label from 1,
// one value per locus, as printed (six significant digits).
std::vector<std::vector<double>> echoedFrequencies(const std::string &log) {
  const std::string label = "\nFrequencies\n";
  std::vector<std::vector<double>> rows;
  const size_t at = log.find(label);
  if (at == std::string::npos)
    return rows;
  std::istringstream table(log.substr(at + label.size()));
  for (std::string line; std::getline(table, line) && !line.empty();) {
    std::istringstream values(line);
    rows.emplace_back();
    for (double v; values >> v;)
      rows.back().push_back(v);
  }
  return rows;
}

const std::string normalTable = "Numbers of haplotypes in the normal pop\n"
                                "5 1 2 1 2\n3 2 1 1 1\n4 1 1 2 2\n2 2 2 2 1\n6 1 2 2 2\n";

std::string withWeights(const std::string &section) {
  return edited(baseControl(), {{"Use sequence weights\n0\n", "Use sequence weights\n1\n"
                                                              "Weights for exons, introns, "
                                                              "non-genes\n3 1 0.5\n" +
                                                                  section}});
}

} // namespace

TEST(NormalTable, RowIsCountedAndCopiedCountTimesIntoEveryChain) {
  const std::string text =
      edited(baseControl(), {{normalTable, "Numbers of haplotypes in the normal pop\n"
                                           "5 1 2 -1 2\n3 2 1 1 1\n2 2 2 2 1\n"}});
  const Reading r = readText(text);
  EXPECT_EQ(r.maxAllele, 2);
  ASSERT_EQ(r.normalHaps.size(), 2u);
  for (const auto &list : r.normalHaps) {
    ASSERT_EQ(list.size(), 10u);
    for (int i = 0; i < 5; i++)
      EXPECT_EQ(list[i], (Haplotype{1, 2, -1, 2}));
    for (int i = 5; i < 8; i++)
      EXPECT_EQ(list[i], (Haplotype{2, 1, 1, 1}));
    EXPECT_EQ(list[9], (Haplotype{2, 2, 2, 1}));
  }
  // Label counts per locus; the missing allele is counted nowhere.
  EXPECT_EQ(normmat[1][0], 5);
  EXPECT_EQ(normmat[2][0], 5);
  EXPECT_EQ(normmat[1][2], 3);
  EXPECT_EQ(normmat[2][2], 2);
  EXPECT_EQ(normmat[0][2], 0);
}

TEST(NormalTable, MinusNinetyNineEndsTheTableBeforeAnyText) {
  const std::string text =
      edited(baseControl(),
             {{"6 1 2 2 2\nMap distance\n",
               "6 1 2 2 2\n-99\nthe table ended above; no label letter here\nMap distance\n"}});
  const Reading r = readText(text);
  EXPECT_EQ(r.normalHaps[0].size(), 20u);
  EXPECT_EQ(pset.mapDist, (std::vector<double>{0, 0, 0.01, 0.02, 0.035}));
}

TEST(AlleleTables, UnpairedGenotypesKeepSecondBlockFromTheNormalPopulation) {
  Edits edits = genotypeEdits();
  edits.push_back({"1 1 2 2 1 2 1 1\n", "3 1 2 2 1 2 1 1\n"});
  const Reading r = readText(edited(baseControl(), edits));
  EXPECT_EQ(r.maxAllele, 3);
  EXPECT_EQ(maxall, (std::vector<int>{3, 2, 2, 2, 2, 2, 2, 2}));
  EXPECT_EQ(pset.numChromosomes, 5);
  EXPECT_EQ(patientData[0][0], 1);
  EXPECT_EQ(patientData[0][1], 2);
  EXPECT_EQ(patientData[0][7], 2);
  EXPECT_EQ(patientData[4][0], 3);
  EXPECT_EQ(patientData[5][0], 0);
}

TEST(AlleleTables, FixedFrequenciesGiveUpTheFloorsShare) {
  // Marker 1 carries label 1 only in the normal population; label 2 appears
  // in a patient: frequencies 1 and 0 become 0.999 and 0.001.
  const std::string text =
      edited(baseControl(), {{"freq\n1 1 1 1", "freq\n1 1 1 0"},
                             {normalTable, "Numbers of haplotypes in the normal pop\n"
                                           "5 1 2 1 2\n3 1 1 1 1\n4 1 1 2 2\n"}});
  const std::vector<std::vector<double>> f = echoedFrequencies(readText(text).log);
  ASSERT_EQ(f.size(), 2u);
  ASSERT_EQ(f[0].size(), 4u);
  EXPECT_EQ(f[0][0], 0.999);
  EXPECT_EQ(f[1][0], 0.001);
  EXPECT_NEAR(f[0][1], 7.0 / 12, 5e-7);
  EXPECT_NEAR(f[1][1], 5.0 / 12, 5e-7);
}

TEST(AlleleTables, SampledFrequenciesStartUniform) {
  const std::string text =
      edited(baseControl(), {{normalTable, "Numbers of haplotypes in the normal pop\n"
                                           "5 1 2 1 2\n3 2 1 1 1\n4 3 1 2 2\n2 4 2 2 1\n"}});
  const std::vector<std::vector<double>> f = echoedFrequencies(readText(text).log);
  ASSERT_EQ(f.size(), 4u);
  for (int a = 0; a < 4; a++)
    EXPECT_EQ(f[a][0], 0.25);
  EXPECT_EQ(f[0][1], 0.5);
}

TEST(PatientTable, SimulatedHaplotypesAreNotStored) {
  const Reading r = readText(edited(baseControl(), {{"simulation\n0", "simulation\n1"}}));
  EXPECT_EQ(r.maxAllele, 2);
  EXPECT_EQ(patientData[0][0], 0);
  EXPECT_EQ(perChain(&ChainSettings::mutLocStart), (std::vector<double>{0.015, 0.015}));
  EXPECT_NE(r.log.find("Haplotype frequencies were simulated\nUse sequence data?"),
            std::string::npos);
}

TEST(PatientTable, HaplotypeRowsKeepTheirCounts) {
  readText(baseControl());
  EXPECT_EQ(std::vector<int>(patientData[0].begin(), patientData[0].begin() + 6),
            (std::vector<int>{5, 1, 2, 1, 1, 0}));
  EXPECT_EQ(std::vector<int>(patientData[1].begin(), patientData[1].begin() + 6),
            (std::vector<int>{5, 2, 2, 1, 2, 0}));
}

TEST(Settings, PerChainValuesAreCopied) {
  const Reading r = readText(edited(baseControl(), {{"(chains)\n2", "(chains)\n3"}}));
  EXPECT_EQ(perChain(&ChainSettings::treeAdjust), (std::vector<double>{5, 5, 5}));
  EXPECT_EQ(perChain(&ChainSettings::rootDepthAdjust), (std::vector<double>{10, 10, 10}));
  EXPECT_EQ(perChain(&ChainSettings::recDistAdjust), (std::vector<double>{0.005, 0.005, 0.005}));
  EXPECT_EQ(perChain(&ChainSettings::alleleFreqAdjust), (std::vector<double>{0.05, 0.05, 0.05}));
  EXPECT_EQ(pset.ancestralAdjust, 0.3);
  EXPECT_EQ(pset.algSwitch, 1);
  EXPECT_EQ(perChain(&ChainSettings::mutAgeStart), (std::vector<double>{50, 50, 50}));
  for (const ChainSettings &own : chainSettings)
    EXPECT_EQ(own.rootLoci, (Haplotype{1, 2, 1, 1}));
  EXPECT_EQ(r.normalHaps.size(), 3u);
  EXPECT_EQ(pset.saveIndHaplotypes, 0);
  EXPECT_EQ(pset.mutAgeLow, 10);
  EXPECT_EQ(pset.mutAgeHigh, 200);
}

TEST(Settings, FixedAgeIsItsOwnInterval) {
  readText(edited(baseControl(), {{"freq\n1 1 1 1", "freq\n1 0 1 1"}}));
  EXPECT_EQ(pset.mutAgeLow, 50);
  EXPECT_EQ(pset.mutAgeHigh, 50);
  EXPECT_EQ(pset.starGenealogy, 0);
}

TEST(RandomStarts, AgesThenRootThenLocationsFromOneStream) {
  // Seed -11: ages from draws 1-2 (interval 10..500, so 10 + 100u), root
  // alleles from draws 3-5 (maxall 3, 2, 3), locations from draws 6-7
  // (interval 0..0.25). The draws were worked out with an independent model
  // of the generator.
  const std::string text =
      readFile(std::string(MUTLOC_TEST_DATA) + "/logs/geno_unpaired_random/control.in");
  ASSERT_FALSE(text.empty());
  readText(text);
  EXPECT_EQ(chainSettings[0].mutAgeStart, 10 + 0.018725377981888773 * 100);
  EXPECT_EQ(chainSettings[1].mutAgeStart, 10 + 0.7174277416045907 * 100);
  EXPECT_EQ(chainSettings[0].rootLoci, (Haplotype{1, 1, 3}));
  EXPECT_EQ(chainSettings[1].rootLoci, (Haplotype{1, 1, 3}));
  EXPECT_EQ(chainSettings[0].mutLocStart, 0.9492644085312563 * 0.25);
  EXPECT_EQ(chainSettings[1].mutLocStart, 0.28162185534910383 * 0.25);
}

TEST(RandomStarts, NarrowAgeIntervalIsCoveredWhole) {
  readText(edited(baseControl(),
                  {{"age\n50", "age\n-99"}, {"boundaries\n10 200", "boundaries\n10 50"}}));
  // Seed -5: the first two draws of the stream.
  EXPECT_EQ(chainSettings[0].mutAgeStart, 10 + 0.17286055263730724 * 40);
  EXPECT_EQ(chainSettings[1].mutAgeStart, 10 + 0.6804094229267954 * 40);
}

TEST(SegmentTable, RowsUpToTheEndOfTheFile) {
  const Reading r = readText(withWeights("0 n\n1000 e\n2500 n"));
  EXPECT_EQ(pset.numsegs, 3);
  EXPECT_EQ(r.segCount, 3);
  EXPECT_EQ(pset.segStart, (std::vector<double>{0, 1000, 2500}));
  EXPECT_EQ(pset.segWeight, (std::vector<double>{0.5, 3, 0.5}));
  EXPECT_NE(r.log.find("Seg. weights\n3 1 0.5 \n0 n\n1000 e\n2500 n\n"), std::string::npos);
}

TEST(SegmentTable, PositionBeginningWithNineIsReadWhole) {
  readText(withWeights("950 i\n9999 n\n"));
  EXPECT_EQ(pset.segStart, (std::vector<double>{950, 9999}));
  EXPECT_EQ(pset.segWeight, (std::vector<double>{1, 0.5}));
}

TEST(SegmentTable, MarkerLineIsPassedOver) {
  readText(withWeights("99999\n0 n\n0.5 e\n"));
  EXPECT_EQ(pset.segStart, (std::vector<double>{0, 0.5}));
}

TEST(SegmentTable, PositionWithoutKindEndsTheTable) {
  readText(withWeights("0 n\n0.5\n0.7 e\n"));
  EXPECT_EQ(pset.segStart, (std::vector<double>{0}));
}

TEST(SegmentTable, WithoutSequenceWeightsThereAreNoSegments) {
  const Reading r = readText(baseControl());
  EXPECT_EQ(pset.numsegs, 0);
  EXPECT_EQ(r.segCount, 0);
  EXPECT_TRUE(pset.segStart.empty());
}

// The annotated sequence file: one gene of two exons, 1200..1350 and
// 1800..1950; the markers at bases 1000, 2000, 3500 and 6000.
class SequenceFile : public testing::Test {
protected:
  void SetUp() override {
    writeFile(work.dir, "seq.gb",
              "FEATURES             Location/Qualifiers\n"
              "     mRNA            join(1200..1350,1800..1950)\n"
              "                     /gene=\"ABC\"\n");
  }
  InTempDir work;
};

TEST_F(SequenceFile, MarkersMoveToTheContigScaleAndSegmentsFeedThePrior) {
  const Reading r =
      readText(withWeights("0 n\n0.01 e\nInput sequence file\nseq.gb\n1000 2000\n3500 6000\n"));
  EXPECT_EQ(pset.mapDist, (std::vector<double>{0, 0, 1000 / 1e8, 2500 / 1e8, 5000 / 1e8}));
  // Entries at bases 1, 1200, 1351, 1800 and 1951 replace the table rows.
  ASSERT_EQ(pset.numsegs, 5);
  EXPECT_EQ(r.segCount, 5);
  const double bases[5] = {1, 1200, 1351, 1800, 1951};
  for (int i = 0; i < 5; i++)
    EXPECT_EQ(pset.segStart[i], (bases[i] - 1000) / 100000000) << i;
  EXPECT_EQ(pset.segWeight, (std::vector<double>{0.5, 3, 1, 3, 0.5}));
  EXPECT_NE(r.log.find("Map distances\n0 1e-05 2.5e-05 5e-05 \n"), std::string::npos);
  EXPECT_NE(r.log.find("Seg. weights\n3 1 0.5 \n-0.000999 n\n0.0002 e\n0.000351 i\n0.0008 e\n"
                       "0.000951 n\n"),
            std::string::npos);
  EXPECT_EQ(readFile(work.dir + "/exons.txt"),
            "-0.000999 n\n0.0002 e\n0.000351 i\n0.0008 e\n0.000951 n\n");
}

TEST_F(SequenceFile, MarkerLineRightBeforeTheLabel) {
  readText(withWeights("99999Input sequence file\nseq.gb\n1000 2000 3500 6000"));
  EXPECT_EQ(pset.numsegs, 5);
  EXPECT_EQ(pset.mapDist[4], 5000 / 1e8);
}
