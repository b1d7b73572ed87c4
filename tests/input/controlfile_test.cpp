// End-to-end checks of the control-file reader through the built program:
// every refused item with its exact message and exit status, the scanner's
// stops, the input and output files of the run, the missing-allele report,
// and the log echo of valid files pinned byte for byte up to "Rootstate".
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "controltext.h"
#include "messages.h"
#include "testkit.h"

namespace {

struct ControlRun {
  int status;
  std::string out;
  std::string log;
  std::string exons;
};

// Runs mutloc on text saved as c.in in a fresh folder, with extra files.
ControlRun runControl(const std::string &text,
                      const std::vector<std::pair<std::string, std::string>> &files = {}) {
  const std::string dir = makeTempDir();
  writeFile(dir, "c.in", text);
  for (const auto &f : files)
    writeFile(dir, f.first, f.second);
  const RunResult r = runMutloc(dir, "c.in");
  ControlRun run{r.status, r.out, readFile(dir + "/c.in.log"), readFile(dir + "/exons.txt")};
  std::filesystem::remove_all(dir);
  return run;
}

// The log up to, not including, the "Rootstate" line written after the reader.
std::string readerPart(const std::string &log) {
  const size_t at = log.find("Rootstate\n");
  return at == std::string::npos ? log : log.substr(0, at);
}

std::string item(const char *before, const char *name) {
  return std::string(before) + name + msg::itemEnd;
}

bool exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

int entriesIn(const std::string &dir) {
  DIR *d = opendir(dir.c_str());
  int n = 0;
  while (dirent *e = readdir(d))
    n += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
  closedir(d);
  return n;
}

std::string repeatLine(const std::string &line, int times) {
  std::string s;
  for (int i = 0; i < times; i++)
    s += line;
  return s;
}

const std::string seedLine = "-5\n";

struct Case {
  const char *name;
  std::string text;    // the control file
  std::string message; // the whole screen output
  int status;
  std::string log; // the log left behind
};

Case refused(const char *name, const Edits &edits, const std::string &message, int status = 1,
             const std::string &log = seedLine) {
  return {name, edited(baseControl(), edits), message + "\n", status, log};
}

std::vector<Case> itemCases() {
  const std::string genoRow = "1 1 2 2 1 1 2 2\n";
  auto genoWith = [&](Edits more) {
    Edits all = genotypeEdits();
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  const std::string weights =
      "Use sequence weights\n1\nWeights for exons, introns, non-genes\n3 1 0.5\n";
  return {
      refused("DataAsGenotypesNot01", {{"genotypes\n0", "genotypes\n2"}}, msg::dataAsGenotypes01, 1,
              ""),
      refused("GeneticModelNot01", {{"model\n0", "model\n-1"}}, msg::geneticModel01, 1, ""),
      refused("ReadOldFileNot01", {{"file\n0", "file\n3"}}, msg::readOldFile01, 1, ""),
      refused("SeedPositive", {{"seed\n-5", "seed\n5"}}, msg::randomSeedSign, 1, ""),
      refused("ChromosomesZero", {{"chromosomes\n10", "chromosomes\n0"}}, msg::chromosomesPositive),
      {"OddChromosomesUnpaired",
       edited(baseControl(), {{"genotypes\n0", "genotypes\n1"}, {"somes\n10", "somes\n11"}}),
       msg::chromosomesEven, 1, seedLine},
      {"OddChromosomesPaired",
       edited(baseControl(), {{"genotypes\n0", "genotypes\n1"},
                              {"model\n0", "model\n1"},
                              {"somes\n10", "somes\n11"}}),
       msg::chromosomesEven, 1, seedLine},
      refused("OneChromosome", {{"somes\n10", "somes\n1"}}, msg::chromosomesTooFew),
      refused("OneUnpairedIndividual",
              {{"genotypes\n0", "genotypes\n1"}, {"somes\n10", "somes\n2"}},
              msg::chromosomesTooFew),
      refused("LociZero", {{"chromosome\n4", "chromosome\n0"}}, msg::lociPositive),
      refused("TooManyHaplotypeLoci", {{"chromosome\n4", "chromosome\n1000"}}, msg::lociLimit),
      refused("TooManyGenotypeLoci",
              {{"genotypes\n0", "genotypes\n1"}, {"chromosome\n4", "chromosome\n501"}},
              msg::lociLimit),
      refused("NormalZeroAllele", {{"5 1 2 1 2\n", "5 1 0 1 2\n"}}, msg::zeroAllele),
      refused("NormalFractionAllele", {{"5 1 2 1 2\n", "5 1 0.5 1 2\n"}}, msg::zeroAllele),
      refused("NormalRowTooShort", {{"5 1 2 1 2\n", "5 1 2 1\n"}}, msg::normalColumns),
      refused("NormalRowTooLong", {{"5 1 2 1 2\n", "5 1 2 1 2 1\n"}}, msg::normalColumns),
      refused("NormalNegativeCount", {{"3 2 1 1 1\n", "-3 2 1 1 1\n"}}, msg::normalNegativeCount),
      refused("NormalLabel499", {{"3 2 1 1 1\n", "3 2 499 1 1\n"}}, msg::normalLabelLimit),
      refused("NormalCountBeyondInt", {{"5 1 2 1 2\n", "3000000000 1 2 1 2\n"}},
              msg::normalCountTotal),
      refused("NormalCountsAddUpBeyondInt",
              {{"5 1 2 1 2\n3 2 1 1 1\n", "2000000000 1 2 1 2\n2000000000 2 1 1 1\n"}},
              msg::normalCountTotal),
      refused("NormalNotANumber", {{"5 1 2 1 2\n", "5 1 x 1 2\n"}},
              item(msg::couldNotRead, msg::itemNormalPop)),
      refused("MapNotIncreasing", {{"0 0.01 0.02 0.035", "0 0.5 0.5 0.6"}}, msg::mapIncreasing),
      refused("MapTooFew", {{"0 0.01 0.02 0.035", "0 0.01 0.02"}}, msg::mapCount),
      refused("MapTooMany", {{"0 0.01 0.02 0.035", "0 0.01 0.02 0.035 0.04"}}, msg::mapCount),
      refused("MapExtraValueNotIncreasing", {{"0 0.01 0.02 0.035", "0 0.01 0.02 0.035 0.03"}},
              msg::mapIncreasing),
      refused("MapEmpty", {{"Map distance\n0 0.01 0.02 0.035\n", "Map distance\n"}}, msg::mapCount),
      refused("MapStart", {{"0 0.01 0.02 0.035", "0.1 0.2 0.3 0.4"}}, msg::mapStart),
      refused("RunSimulationNot01", {{"Run simulation\n0", "Run simulation\n2"}},
              msg::runSimulation01),
      refused("MutLocBoundsOne", {{"boundary\n0 0.035", "boundary\n0"}}, msg::mutLocBoundsCount),
      refused("MutLocBoundsThree", {{"boundary\n0 0.035", "boundary\n0 0.01 0.035"}},
              msg::mutLocBoundsCount),
      refused("MutLocBoundsOrder", {{"boundary\n0 0.035", "boundary\n0.035 0"}},
              msg::mutLocBoundsOrder),
      refused("ChainsZero", {{"(chains)\n2", "(chains)\n0"}}, msg::chainsPositive),
      refused("GrowthRateZero", {{"rate\n0.5", "rate\n0"}}, msg::growthRatePositive),
      refused("PropSampledNegative", {{"sampled\n0.1", "sampled\n-0.1"}}, msg::propSampledPositive),
      refused("IterateFour", {{"freq\n1 1 1 1", "freq\n0 1 4 1"}}, msg::iterateValue),
      refused("IterateNegative", {{"freq\n1 1 1 1", "freq\n-1 1 1 1"}}, msg::iterateValue),
      refused("IterateFiveValues", {{"freq\n1 1 1 1", "freq\n1 1 1 1 1"}}, msg::iterateCount),
      refused("IterateThreeValues", {{"freq\n1 1 1 1", "freq\n1 1 1"}}, msg::iterateCount),
      refused("FlipNot01", {{"Loci\n0", "Loci\n2"}}, msg::flipAllLoci01),
      refused("AdjustNegative", {{"5 10 0.005", "5 10 -0.005"}}, msg::adjustValue),
      refused("AdjustSixValues", {{"0.3 0.3 0.05 1\n", "0.3 0.3 0.05\n"}}, msg::adjustCount, 255),
      refused("AdjustEightValues", {{"0.3 0.3 0.05 1\n", "0.3 0.3 0.05 1 1\n"}}, msg::adjustCount,
              255),
      refused("BurnInZero", {{"iteration\n10", "iteration\n0"}}, msg::burnInPositive),
      refused("IterationsNegative", {{"Iterations\n20", "Iterations\n-20"}},
              msg::iterationsPositive),
      refused("UpdatesNegative", {{"...\n10 5 1 1", "...\n10 -5 1 1"}}, msg::updatesValue),
      refused("UpdatesThreeValues", {{"...\n10 5 1 1", "...\n10 5 1"}}, msg::updatesCount),
      refused("HistogramBarsZero", {{"bars\n20", "bars\n0"}}, msg::histogramBarsPositive),
      refused("AlphaOne", {{"level\n0.05", "level\n1"}}, msg::alphaLevelRange),
      refused("AlphaZero", {{"level\n0.05", "level\n0"}}, msg::alphaLevelRange),
      refused("MutAgeZero", {{"age\n50", "age\n0"}}, msg::mutAgeValue),
      refused("MutAgeNegative", {{"age\n50", "age\n-5"}}, msg::mutAgeValue),
      refused("AgeBoundsNegative", {{"boundaries\n10 200", "boundaries\n-10 200"}},
              msg::mutAgeBoundsValue),
      refused("AgeBoundsOneValue", {{"boundaries\n10 200", "boundaries\n10"}},
              msg::mutAgeBoundsCount),
      refused("AgeBoundsOrder", {{"boundaries\n10 200", "boundaries\n200 10"}},
              msg::mutAgeBoundsOrder),
      refused("AgeBoundsEqual", {{"boundaries\n10 200", "boundaries\n10 10"}},
              msg::mutAgeBoundsOrder),
      refused("RandomAgeNotIterated", {{"freq\n1 1 1 1", "freq\n1 0 1 1"}, {"age\n50", "age\n-99"}},
              msg::mutAgeNotIterated),
      refused("StarNot01", {{"genealogy\n0", "genealogy\n2"}}, msg::starGenealogy01),
      refused("RootZero", {{"root\n1 2 1 1", "root\n1 2 0 1"}}, msg::rootLociValue),
      refused("RootThreeValues", {{"root\n1 2 1 1", "root\n1 2 1"}}, msg::rootLociCount),
      refused("RootFiveValues", {{"root\n1 2 1 1", "root\n1 2 1 1 1"}}, msg::rootLociCount),
      refused("RootBeyondLabels", {{"root\n1 2 1 1", "root\n1 2 1 3"}},
              std::string(msg::rootLociLabelBefore) + "4" + msg::rootLociLabelAfter),
      refused("RootHuge", {{"root\n1 2 1 1", "root\n1 2 1e300 1"}},
              std::string(msg::rootLociLabelBefore) + "3" + msg::rootLociLabelAfter),
      refused("RootRandomThenBlankLine", {{"root\n1 2 1 1\n", "root\n-99\n\n"}},
              item(msg::couldNotRead, msg::itemRootLoci)),
      refused("PatientRowShort", {{"5 1 2 1 1\n", "5 1 2 1\n"}}, msg::patientColumns),
      refused("PatientRowLong", {{"5 1 2 1 1\n", "5 1 2 1 1 2\n"}}, msg::patientColumns),
      refused("PatientRowsBeyondChromosomes",
              {{"5 1 2 1 1\n5 2 2 1 2\n", repeatLine("1 1 2 1 1\n", 11)}}, msg::patientRows),
      refused("PatientSum", {{"5 1 2 1 1\n5 2 2 1 2\n", "3 1 2 1 1\n2 2 2 1 2\n"}},
              msg::patientSum),
      refused("PatientNegativeCount", {{"5 1 2 1 1\n5 2 2 1 2\n", "-5 1 2 1 1\n15 2 2 1 2\n"}},
              msg::patientNegativeCount),
      refused("PatientZeroAllele", {{"5 1 2 1 1\n", "5 1 0 1 1\n"}}, msg::zeroAllele),
      refused("PatientLabel499", {{"5 1 2 1 1\n", "5 1 499 1 1\n"}}, msg::patientLabelLimit),
      refused("PatientNotANumber", {{"5 1 2 1 1\n", "5 1 x 1 1\n"}},
              item(msg::couldNotRead, msg::itemPatients)),
      refused("GenotypeRowShort", genoWith({{"1 2 2 2 1 1 2 2\n", "1 2 2 2 1 1 2\n"}}),
              msg::patientColumns),
      refused("GenotypeRowsFewerThanIndividuals", genoWith({{"1 1 2 2 1 2 1 1\n", ""}}),
              msg::patientTooFewGenotypes),
      refused("GenotypeRowsBeyond1000", genoWith({{"1 1 2 2 1 2 1 1\n", repeatLine(genoRow, 997)}}),
              msg::patientRowLimit),
      refused("UseSeqWeightsNot01", {{"weights\n0", "weights\n2"}}, msg::useSeqWeights01),
      refused("SegmentKindUnknown", {{"Use sequence weights\n0\n", weights + "0 n\n0.01 x\n"}},
              msg::segmentKind),
      refused("SegmentKindUpperCase", {{"Use sequence weights\n0\n", weights + "0 n\n0.01 E\n"}},
              msg::segmentKind),
      refused("SegmentThirdColumn", {{"Use sequence weights\n0\n", weights + "0 n\n0.01 e 1\n"}},
              msg::segmentColumns),
      refused("SegmentRowsBeyond10000",
              {{"Use sequence weights\n0\n", weights + repeatLine("0.01 e\n", 10001)}},
              msg::segmentLimit),
      refused("ContigPositionZero",
              {{"Use sequence weights\n0\n", weights + "Input sequence\nseq.txt\n0 10 20 30\n"}},
              msg::contigPositive),
      refused("ContigThreePositions",
              {{"Use sequence weights\n0\n", weights + "Input sequence\nseq.txt\n10 20 30\n"}},
              msg::contigCount),
      refused(
          "ContigFivePositions",
          {{"Use sequence weights\n0\n", weights + "Input sequence\nseq.txt\n10 20 30 40 50\n"}},
          msg::contigCount),
      refused("ContigNonNumberEndsList",
              {{"Use sequence weights\n0\n", weights + "Input sequence\nseq.txt\n10 20 x 30 40\n"}},
              msg::contigCount),
      refused("SeqWeightsNotANumber",
              {{"Use sequence weights\n0\n",
                "Use sequence weights\n1\nWeights for exons, introns, non-genes\n3 one 0.5\n"}},
              item(msg::couldNotRead, msg::itemSeqWeights)),
      refused("MarkerWithoutAllele",
              {{"5 1 2 1 2\n3 2 1 1 1\n4 1 1 2 2\n2 2 2 2 1\n6 1 2 2 2\n",
                "5 1 2 1 -1\n3 2 1 1 -1\n4 1 1 2 -1\n2 2 2 2 -1\n6 1 2 2 -1\n"},
               {"5 1 2 1 1\n5 2 2 1 2\n", "5 1 2 1 -1\n5 2 2 1 -1\n"}},
              std::string(msg::markerWithoutAlleleBefore) + "4" + msg::markerWithoutAlleleAfter),
  };
}

std::vector<Case> scannerCases() {
  const std::string base = baseControl();
  return {
      refused("IntNotANumber", {{"model\n0", "model\nabc"}},
              item(msg::couldNotRead, msg::itemGeneticModel), 1, ""),
      refused("IntBeyond32Bits", {{"iteration\n10", "iteration\n99999999999"}},
              item(msg::couldNotRead, msg::itemBurnIn)),
      refused("DoubleBeyondRange", {{"rate\n0.5", "rate\n1e400"}},
              item(msg::couldNotRead, msg::itemGrowthRate)),
      refused("ExponentWithoutDigits", {{"sampled\n0.1", "sampled\n2.5e"}},
              item(msg::couldNotRead, msg::itemPropSampled)),
      refused("InfIsNotANumber", {{"rate\n0.5", "rate\ninf"}},
              item(msg::couldNotRead, msg::itemGrowthRate)),
      refused("NanIsNotANumber", {{"level\n0.05", "level\nnan"}},
              item(msg::couldNotRead, msg::itemAlphaLevel)),
      refused("ListValueNotANumber", {{"0 0.01 0.02 0.035", "0 0.01 zz"}},
              item(msg::couldNotRead, msg::itemMapDistance)),
      // A comment after a value that holds the next label's letter ends the
      // search early; the label line itself is then taken for the value.
      refused("CommentWithNextLetter", {{"genotypes\n0\n", "genotypes\n0 great\n"}},
              item(msg::couldNotRead, msg::itemGeneticModel), 1, ""),
      {"EmptyFile", "", item(msg::unexpectedEnd, msg::itemDataAsGenotypes) + "\n", 1, ""},
      {"EndWhileSearchingLabel", cutAfter(base, "genotypes\n0\n"),
       item(msg::unexpectedEnd, msg::itemGeneticModel) + "\n", 1, ""},
      {"EndInsideNormalTable", cutAfter(base, "5 1 2 1 2\n"),
       item(msg::unexpectedEnd, msg::itemNormalPop) + "\n", 1, seedLine},
      {"EndInsideNormalRow", cutAfter(base, "5 1 2"),
       item(msg::unexpectedEnd, msg::itemNormalPop) + "\n", 1, seedLine},
      {"EndAfterNormalMinus99", cutAfter(base, "6 1 2 2 2\n") + "-99\nno label follows\n",
       item(msg::unexpectedEnd, msg::itemMapDistance) + "\n", 1, seedLine},
      {"EndInsideList", cutAfter(base, "0 0.01 0.02"),
       item(msg::unexpectedEnd, msg::itemMapDistance) + "\n", 1, seedLine},
      {"EndBeforeValue", cutAfter(base, "Use sequence weights\n"),
       item(msg::unexpectedEnd, msg::itemUseSeqWeights) + "\n", 1, seedLine},
      {"EndInsidePatientTable", cutAfter(base, "5 2 2 1 2\n"),
       item(msg::unexpectedEnd, msg::itemPatients) + "\n", 1, seedLine},
      {"EndInsideRootList", cutAfter(base, "root\n1 2 1 1"),
       item(msg::unexpectedEnd, msg::itemRootLoci) + "\n", 1, seedLine},
      {"EndInSkippedAgeBounds",
       cutAfter(edited(base, {{"freq\n1 1 1 1", "freq\n1 0 1 1"}}), "boundaries\n10 200\n"),
       item(msg::unexpectedEnd, msg::itemMutAgeBounds) + "\n", 1, seedLine},
      {"EndInsideWeights",
       cutAfter(edited(base, {{"weights\n0\n", "weights\n1\nWeights\n3 1"}}), "3 1"),
       item(msg::unexpectedEnd, msg::itemSeqWeights) + "\n", 1, seedLine},
      {"EndBeforeSequenceFileName",
       cutAfter(edited(base, {{"weights\n0\n", "weights\n1\nWeights\n3 1 0.5\nInput sequence"}}),
                "Input sequence"),
       item(msg::unexpectedEnd, msg::itemSeqWeights) + "\n", 1, seedLine},
  };
}

class RefusedFile : public testing::TestWithParam<Case> {};

TEST_P(RefusedFile, StopsWithItsMessageAndStatus) {
  const Case &c = GetParam();
  const ControlRun r = runControl(c.text);
  EXPECT_EQ(r.out, c.message);
  EXPECT_EQ(r.status, c.status);
  // Nothing of the failing item reaches the log; the seed line stays.
  EXPECT_EQ(r.log, c.log);
}

std::string caseName(const testing::TestParamInfo<Case> &info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Items, RefusedFile, testing::ValuesIn(itemCases()), caseName);
INSTANTIATE_TEST_SUITE_P(Scanner, RefusedFile, testing::ValuesIn(scannerCases()), caseName);

// ---------------------------------------------------------------------------
// Files of the run

// Each test runs in a folder of its own, removed afterwards.
class RunFiles : public testing::Test {
protected:
  void SetUp() override { dir = makeTempDir(); }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string dir;
};

TEST_F(RunFiles, NoArgument) {
  const RunResult r = runMutloc(dir, "");
  EXPECT_EQ(r.out, std::string(msg::noInputFile) + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entriesIn(dir), 0);
}

TEST_F(RunFiles, FolderAsControlFile) {
  ASSERT_EQ(mkdir((dir + "/X.in").c_str(), 0755), 0);
  const RunResult r = runMutloc(dir, "X.in");
  EXPECT_EQ(r.out, std::string(msg::noInputFile) + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entriesIn(dir), 1);
}

TEST_F(RunFiles, MissingControlFile) {
  const RunResult r = runMutloc(dir, "nothing.in");
  EXPECT_EQ(r.out, std::string(msg::noInputFile) + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(entriesIn(dir), 0);
}

TEST_F(RunFiles, OutputFileThatCannotBeCreated) {
  writeFile(dir, "X.in", baseControl());
  ASSERT_EQ(mkdir((dir + "/X.in.sig").c_str(), 0755), 0);
  const RunResult r = runMutloc(dir, "X.in");
  EXPECT_EQ(r.out, "X.in.sig can't be opened.\n");
  EXPECT_EQ(r.status, 1);
  ASSERT_TRUE(exists(dir + "/X.in.dat"));
  ASSERT_TRUE(exists(dir + "/X.in.log"));
  EXPECT_EQ(readFile(dir + "/X.in.dat"), "");
  EXPECT_EQ(readFile(dir + "/X.in.log"), "");
  for (const char *later : {".hap", ".hpf", ".mat", ".tre"})
    EXPECT_FALSE(exists(dir + "/X.in" + later)) << later;
}

TEST_F(RunFiles, OutputNamesKeepTheArgument) {
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
  writeFile(dir + "/sub", "run.txt", baseControl());
  const RunResult r = runMutloc(dir, "sub/run.txt");
  EXPECT_EQ(r.status, 0) << r.out;
  for (const char *suffix : {".dat", ".log", ".sig", ".hap", ".hpf", ".mat", ".tre"})
    EXPECT_TRUE(exists(dir + "/sub/run.txt" + suffix)) << suffix;
}

// ---------------------------------------------------------------------------
// Missing-allele report

TEST(MissingAlleles, EveryGapIsReportedAfterTheEcho) {
  // Label 2 of marker 4 and label 2 of marker 2 occur nowhere.
  const std::string text =
      edited(baseControl(), {{"5 1 2 1 2\n3 2 1 1 1\n4 1 1 2 2\n2 2 2 2 1\n6 1 2 2 2\n",
                              "5 1 3 1 3\n3 2 1 1 1\n4 1 1 2 3\n2 2 3 2 1\n6 1 3 2 3\n"},
                             {"5 1 2 1 1\n5 2 2 1 2\n", "5 1 3 1 1\n5 2 3 1 3\n"}});
  const ControlRun r = runControl(text);
  EXPECT_EQ(r.out, "\a\aMissing allele labelled 2 from marker 2\nFix input file\n"
                   "\a\aMissing allele labelled 2 from marker 4\nFix input file\n");
  EXPECT_EQ(r.status, 1);
  const std::string tail = "Use sequence data?\n0\nSequence data not used\n";
  ASSERT_GE(r.log.size(), tail.size());
  EXPECT_EQ(r.log.substr(r.log.size() - tail.size()), tail);
}

TEST(MissingAlleles, LabelSeenOnlyInPatientsIsPresent) {
  const std::string text = edited(baseControl(), {{"5 1 2 1 1\n", "5 1 3 1 1\n"}});
  const ControlRun r = runControl(text);
  EXPECT_EQ(r.status, 0) << r.out;
}

// ---------------------------------------------------------------------------
// Reading conventions, compared through the echo

TEST(Conventions, WindowsLineEndsReadTheSame) {
  const std::string text = edited(baseControl(), genotypeEdits());
  const ControlRun unix = runControl(text);
  const ControlRun windows = runControl(withCrLf(text));
  EXPECT_EQ(windows.status, 0) << windows.out;
  EXPECT_EQ(readerPart(windows.log), readerPart(unix.log));
}

TEST(Conventions, LongLabelLineIsDiscardedWhole) {
  const std::string label = "Genetic model " + std::string(5000, 'x') + " 7 7 7\n";
  const ControlRun plain = runControl(baseControl());
  const ControlRun longLabel = runControl(edited(baseControl(), {{"Genetic model\n", label}}));
  EXPECT_EQ(longLabel.status, 0) << longLabel.out;
  EXPECT_EQ(readerPart(longLabel.log), readerPart(plain.log));
}

TEST(Conventions, SeedZeroComesFromTheClock) {
  const ControlRun r = runControl(edited(baseControl(), {{"seed\n-5", "seed\n0"}}));
  EXPECT_EQ(r.status, 0) << r.out;
  const long seed = std::stol(r.log.substr(0, r.log.find('\n')));
  EXPECT_LE(seed, 0);
  EXPECT_NE(r.log.find("Fixed random seed?\n0\n"), std::string::npos);
}

TEST(Conventions, PatientRowWithCountZeroIsNotKept) {
  const ControlRun r = runControl(
      edited(baseControl(), {{"5 1 2 1 1\n5 2 2 1 2\n", "0 2 1 2 1\n5 1 2 1 1\n5 2 2 1 2\n"}}));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.log.find("Haplotype frequencies\n5 1 2 1 1 \n5 2 2 1 2 \nUse sequence data?"),
            std::string::npos);
}

TEST(SequenceWeights, AnnotatedSequenceFileThroughTheProgram) {
  const std::string text =
      edited(baseControl(), {{"boundary\n0 0.035", "boundary\n0 0.00005"},
                             {"mutation\n0.015", "mutation\n0.00002"},
                             {"Use sequence weights\n0\n",
                              "Use sequence weights\n1\n"
                              "Weights for exons, introns, non-genes\n3 1 0.5\n99999\n"
                              "Input sequence file\nseq.gb\n1000 2000 3500 6000\n"}});
  const ControlRun r =
      runControl(withCrLf(text), {{"seq.gb", "     mRNA            join(1200..1350,1800..1950)\n"
                                             "                     /gene=\"ABC\"\n"}});
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string entries = "-0.000999 n\n0.0002 e\n0.000351 i\n0.0008 e\n0.000951 n\n";
  EXPECT_NE(r.log.find("Map distances\n0 1e-05 2.5e-05 5e-05 \n"), std::string::npos);
  EXPECT_NE(r.log.find("Seg. weights\n3 1 0.5 \n" + entries + "Rootstate"), std::string::npos);
  EXPECT_EQ(r.exons, entries);
}

// ---------------------------------------------------------------------------
// Pinned logs: the golden runs and the hand-checked files of each data kind

void expectLogAsPinned(const std::string &folder) {
  const std::string expected = readFile(folder + "/expected/control.in.log");
  ASSERT_FALSE(expected.empty()) << folder;
  const std::string dir = makeTempDir();
  writeFile(dir, "control.in", readFile(folder + "/control.in"));
  const RunResult r = runMutloc(dir, "control.in");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(readerPart(readFile(dir + "/control.in.log")), readerPart(expected));
  std::filesystem::remove_all(dir);
}

class PinnedLog : public testing::TestWithParam<std::string> {};

TEST_P(PinnedLog, ReaderEchoMatchesByteForByte) {
  expectLogAsPinned(std::string(MUTLOC_TEST_DATA) + "/" + GetParam());
}

std::string folderName(const testing::TestParamInfo<std::string> &info) {
  return info.param.substr(info.param.find('/') + 1);
}

INSTANTIATE_TEST_SUITE_P(Golden, PinnedLog,
                         testing::Values("golden/hap_markov_loc1_2chains",
                                         "golden/geno_unpaired_loc1", "golden/geno_paired_loc1",
                                         "golden/hap_missing_slice_1chain",
                                         "golden/seqweights_table_loc1", "golden/sim_hap"),
                         folderName);
INSTANTIATE_TEST_SUITE_P(DataKinds, PinnedLog,
                         testing::Values("logs/hap_fixed_floor", "logs/geno_unpaired_random",
                                         "logs/geno_paired_sim", "logs/hap_missing",
                                         "logs/seg_table_crlf"),
                         folderName);

} // namespace
