// An annotated sequence file reaches the location prior: with the exon weight
// 0, no chain ever records a location inside an exon, in any of the three
// location modes, while with weight 1 the exons are visited.
#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>

#include "controltext.h"
#include "messages.h"
#include "testkit.h"

namespace {

// Markers at contig positions 1000, 2000, 3500 and 6000 sit at 0, 1e-5,
// 2.5e-5 and 5e-5; the two exons 1200..2000 and 3000..4500 cover the
// locations (2e-6, 1.001e-5] and (2e-5, 3.501e-5].
const char *sequenceFile = "     mRNA            join(1200..2000,3000..4500)\n"
                           "                     /gene=\"ABC\"\n";

bool insideAnExon(double x) {
  const double slack = 1e-10; // the trace holds six significant digits
  return (x > 2e-6 + slack && x < 1.001e-5 - slack) || (x > 2e-5 + slack && x < 3.501e-5 - slack);
}

// A folder with the control file of the given exon weight and location mode,
// recording every iteration, and its sequence file.
std::string sequenceFolder(const std::string &exonWeight, char mode) {
  const std::string text =
      edited(baseControl(),
             {{"boundary\n0 0.035", "boundary\n0 0.00005"},
              {"mutation\n0.015", "mutation\n0.000015"},
              {"1 1 1 1", std::string("1 1 ") + mode + " 1"},
              {"5 10 0.005 0.3", "5 10 0.00001 0.3"},
              {"Iterations\n20", "Iterations\n300"},
              {"haplotypes...\n10 5 1 1", "haplotypes...\n1000 1 0 0"},
              {"Use sequence weights\n0\n", "Use sequence weights\n1\nWeights for exons, introns, "
                                            "non-genes\n" +
                                                exonWeight +
                                                " 1 1\nInput sequence file\nseq.gb\n1000 2000 3500 "
                                                "6000\n"}});
  const std::string dir = makeTempDir();
  writeFile(dir, "c.in", text);
  writeFile(dir, "seq.gb", sequenceFile);
  return dir;
}

// Runs the sampler with the given exon weight and location mode and returns
// every chain's location of every record.
std::vector<double> sampledLocations(const std::string &exonWeight, char mode) {
  const std::string dir = sequenceFolder(exonWeight, mode);
  const RunResult r = runMutloc(dir, "c.in");
  EXPECT_EQ(r.status, 0) << r.out;
  std::vector<double> locations;
  std::istringstream dat(readFile(dir + "/c.in.dat"));
  std::string line;
  const int fieldsPerChain = 9;
  while (std::getline(dat, line)) {
    std::istringstream fields(line);
    std::vector<double> values;
    for (double v; fields >> v;)
      values.push_back(v);
    for (size_t at = 1; at < values.size(); at += fieldsPerChain)
      locations.push_back(values[at]);
  }
  return locations;
}

class ExonWeightZero : public testing::TestWithParam<char> {};

TEST_P(ExonWeightZero, NoLocationInsideAnExonIsRecorded) {
  const std::vector<double> locations = sampledLocations("0", GetParam());
  ASSERT_GT(locations.size(), 600u);
  for (double x : locations)
    EXPECT_FALSE(insideAnExon(x)) << x;
}

INSTANTIATE_TEST_SUITE_P(LocationModes, ExonWeightZero, testing::Values('1', '2', '3'));

TEST(ExonWeightOne, ExonsAreVisited) {
  int inside = 0;
  for (double x : sampledLocations("1", '1'))
    inside += insideAnExon(x);
  EXPECT_GT(inside, 0);
}

// The list of segments the run writes beside its outputs is checked like
// them: a full disk stops the run, naming the file.
TEST(ExonList, AWriteFailureStopsTheRun) {
  const std::string dir = sequenceFolder("1", '1');
  ASSERT_EQ(symlink("/dev/full", (dir + "/exons.txt").c_str()), 0);
  const RunResult r = runShell("cd '" + dir + "' && '" MUTLOC_BINARY "' c.in 2>&1");
  EXPECT_EQ(r.status, msg::writeFailedStatus);
  EXPECT_NE(r.out.find("cannot write \"exons.txt\": No space left on device"), std::string::npos)
      << r.out;
}

} // namespace
