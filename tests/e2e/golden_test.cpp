// Whole runs pinned byte for byte: each folder of tests/data/golden holds a
// control file and, in expected/, the seven output files, the screen text and
// the exit status of a correct run. Any change to a draw, a move order or an
// output layout shows here first; the expected files are regenerated only on
// purpose.
#include <gtest/gtest.h>

#include "testkit.h"

namespace {

const std::string goldenData = MUTLOC_TEST_DATA "/golden/";

class GoldenRun : public testing::TestWithParam<const char *> {};

TEST_P(GoldenRun, EveryFileScreenAndStatusMatch) {
  const std::string folder = goldenData + GetParam();
  const std::string dir = makeTempDir();
  writeFile(dir, "control.in", readFile(folder + "/control.in"));
  const RunResult r = runMutloc(dir, "control.in");
  EXPECT_EQ(r.out, readFile(folder + "/expected/stdout.txt"));
  EXPECT_EQ(std::to_string(r.status) + "\n", readFile(folder + "/expected/status.txt"));
  for (const char *suffix : {".dat", ".log", ".sig", ".hap", ".hpf", ".mat", ".tre"}) {
    const std::string name = std::string("control.in") + suffix;
    const std::string expected = readFile(folder + "/expected/" + name);
    EXPECT_FALSE(expected.empty()) << name;
    EXPECT_EQ(readFile(dir + "/" + name), expected) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, GoldenRun,
                         testing::Values("hap_markov_loc1_2chains", "geno_unpaired_loc1",
                                         "geno_paired_loc1", "hap_missing_slice_1chain",
                                         "seqweights_table_loc1", "sim_hap"));

} // namespace
