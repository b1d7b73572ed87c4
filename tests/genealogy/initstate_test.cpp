// Every chain's starting state: the patient chromosomes on the leaves for
// each data kind, simulated genotypes, imputed missing alleles, the initial
// log terms, the per-chain lists of missing alleles, the "Rootstate" lines and
// the two start-up checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <unistd.h>

#include "driver.h"
#include "genealogy.h"
#include "likelihood.h"
#include "random.h"
#include "testkit.h"

namespace {

int label(double v) {
  return static_cast<int>(v);
}

// The reader's results for a run of n leaves (individuals with unpaired
// genotypes), L loci 0.01 apart and alleles 1..3, followed by the run set-up.
// Patient rows are given as they stand in patientData.
void readRun(int n, int L, int chainCount, const std::vector<std::vector<int>> &rows,
             int genotypes = 0, int model = 0) {
  setSmallRun(n, L, chainCount);
  pset.dataAsGenotypes = genotypes;
  pset.geneticModel = model;
  maxall.assign(genotypes == 1 && model == 0 ? 2 * L : L, 3);
  maxAllele = 3;
  std::vector<std::vector<Haplotype>> normalHaps(
      chainCount, {Haplotype(L, 1), Haplotype(L, 2), Haplotype(L, 3), Haplotype(L, 2)});
  for (ChainSettings &own : chainSettings) {
    own.rootLoci = Haplotype(L, 2);
    own.mutAgeStart = 40.0;
    own.mutLocStart = 0.015;
    own.treeAdjust = 5.0;
    own.recDistAdjust = 0.005;
  }
  pset.growthRate = 0.5;
  pset.propSampled = 0.1;
  pset.iterAncestral = 1;
  pset.iterMutLocation = 1;
  pset.realIterations = 20;
  for (int k = 1; k <= L; k++)
    pset.mapDist[k] = 0.01 * (k - 1);
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  for (size_t r = 0; r < rows.size(); r++)
    std::copy(rows[r].begin(), rows[r].end(), patientData[r].begin());
  setuprun(normalHaps);
}

std::string startChains(Seed seed = -7) {
  Rng rng = streamFrom(seed);
  std::ostringstream log;
  initchains(rng, log);
  return log.str();
}

// The first-block haplotype of a row.
Haplotype alleles(const TreeRow &row, int offset = 0) {
  Haplotype h;
  for (int k = 0; k < pset.numLoci; k++)
    h.push_back(label(row[TMAT + offset + k]));
  return h;
}

bool isLeaf(const TreeRow &row) {
  return row[child1] == -1;
}

// Unordered pair of alleles, for comparing genotypes whatever their phase.
std::pair<int, int> genotype(int a, int b) {
  return {std::min(a, b), std::max(a, b)};
}

void expectLabelOrder() {
  for (const Chain &chain : chains)
    for (size_t r = 0; r < chain.tree.size(); r++)
      ASSERT_EQ(chain.tree[r][nodeLabel], r);
}

} // namespace

TEST(InitChains, EachHaplotypeGoesToAsManyLeavesAsItsCount) {
  readRun(5, 3, 2, {{3, 1, 2, 3}, {2, 3, 2, 1}});
  startChains();
  expectLabelOrder();
  for (const Chain &chain : chains) {
    std::map<Haplotype, int> seen;
    for (const TreeRow &row : chain.tree)
      if (isLeaf(row))
        seen[alleles(row)]++;
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ((seen[{1, 2, 3}]), 3);
    EXPECT_EQ((seen[{3, 2, 1}]), 2);
  }
}

TEST(InitChains, RowsWithCountZeroCarryNoChromosome) {
  readRun(5, 2, 1, {{2, 1, 1}, {0, 2, 2}, {3, 3, 3}});
  startChains();
  std::map<Haplotype, int> seen;
  for (const TreeRow &row : chains[0].tree)
    if (isLeaf(row))
      seen[alleles(row)]++;
  EXPECT_EQ((seen[{1, 1}]), 2);
  EXPECT_EQ((seen[{2, 2}]), 0);
  EXPECT_EQ((seen[{3, 3}]), 3);
}

TEST(InitChains, WritesTheAncestralHaplotypeToTheLog) {
  readRun(4, 3, 2, {{4, 1, 2, 3}});
  pset.iterAncestral = 0;
  for (ChainSettings &own : chainSettings)
    own.rootLoci = Haplotype{3, 1, 2};
  EXPECT_EQ(startChains(), "Rootstate\n3 1 2 \n");
}

TEST(InitChains, UnpairedGenotypesFillBothBlocksOfOneLeafPerIndividual) {
  const int L = 2;
  const std::vector<std::vector<int>> rows = {
      {1, 1, 2, 3}, {1, 2, 1, 1}, {2, 2, 3, 1}, {3, 3, 1, 2}};
  readRun(4, L, 2, rows, 1, 0);
  startChains();
  ASSERT_EQ(TOTLOCI, 2 * L);
  expectLabelOrder();
  for (int ch = 0; ch < 2; ch++) {
    std::vector<int> found(rows.size(), 0);
    double partner = 0.0;
    for (const TreeRow &row : chains[ch].tree) {
      if (!isLeaf(row)) {
        for (int k = 0; k < L; k++)
          EXPECT_LT(row[TMAT + L + k], 0) << "internal second blocks are imputed";
        continue;
      }
      // The first locus identifies the individual; every locus holds its genotype.
      for (size_t r = 0; r < rows.size(); r++) {
        bool match = true;
        for (int k = 0; k < L; k++)
          match = match && genotype(label(row[TMAT + k]), label(row[TMAT + L + k])) ==
                               genotype(rows[r][2 * k], rows[r][2 * k + 1]);
        found[r] += match;
      }
      for (int k = 0; k < L; k++)
        partner += std::log(chains[ch].popHapFreqs[label(row[TMAT + L + k])][k]);
    }
    EXPECT_EQ(found, std::vector<int>(rows.size(), 1));
    EXPECT_NEAR(chains[ch].partnerProb, partner, 1e-12);
  }
}

TEST(InitChains, PairedGenotypesPairTheLeavesIntoIndividuals) {
  const int L = 2;
  const std::vector<std::vector<int>> rows = {{1, 2, 3, 3}, {2, 2, 1, 3}, {3, 1, 2, 1}};
  readRun(6, L, 2, rows, 1, 1);
  startChains();
  ASSERT_EQ(TMAT, 8);
  expectLabelOrder();
  for (const Chain &chain : chains) {
    const TreeMatrix &tree = chain.tree;
    std::vector<int> found(rows.size(), 0);
    for (const TreeRow &row : tree) {
      if (!isLeaf(row)) {
        EXPECT_EQ(row[partnerLeaf], -1);
        continue;
      }
      const TreeRow &other = tree[label(row[partnerLeaf])];
      ASSERT_TRUE(isLeaf(other));
      EXPECT_EQ(other[partnerLeaf], row[nodeLabel]);
      for (size_t r = 0; r < rows.size(); r++) {
        bool match = true;
        for (int k = 0; k < L; k++)
          match = match && genotype(label(row[TMAT + k]), label(other[TMAT + k])) ==
                               genotype(rows[r][2 * k], rows[r][2 * k + 1]);
        found[r] += match;
      }
    }
    EXPECT_EQ(found, std::vector<int>(rows.size(), 2)) << "each individual on two leaves";
  }
}

TEST(InitChains, MissingAllelesAreImputedAndListedPerChain) {
  // Allele 2 of locus 1 is missing in one of the two haplotypes (3 copies).
  readRun(6, 3, 3, {{3, 1, -1, 3}, {3, 2, 2, 1}});
  startChains();
  expectLabelOrder();
  for (int ch = 0; ch < 3; ch++) {
    const TreeMatrix &tree = chains[ch].tree;
    std::vector<int> expected;
    for (const TreeRow &row : tree) {
      if (isLeaf(row) && row[TMAT + 1] < 0) {
        expected.push_back(label(row[nodeLabel]));
        EXPECT_GE(-row[TMAT + 1], 1);
        EXPECT_LE(-row[TMAT + 1], 3);
        EXPECT_EQ(row[TMAT + 0], 1) << "present alleles untouched";
      }
    }
    std::vector<int> listed = chains[ch].missingLeaves;
    ASSERT_EQ(listed.size(), 3u);
    ASSERT_EQ(chains[ch].missingLoci.size(), 3u);
    for (size_t j = 0; j < listed.size(); j++)
      EXPECT_EQ(chains[ch].missingLoci[j], (std::vector<int>{listed[j], 1, 0, 1, 0, 0}));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected) << "chain " << ch << " lists its own leaves";
  }
}

TEST(InitChains, MissingGenotypeAllelesAreCountedPerBlock) {
  const int L = 2;
  readRun(2, L, 1, {{1, -1, 2, 2}, {-1, -1, 1, 3}}, 1, 0);
  startChains();
  ASSERT_EQ(chains[0].missingLeaves.size(), 2u);
  for (size_t j = 0; j < 2; j++) {
    const std::vector<int> &record = chains[0].missingLoci[j];
    const TreeRow &leaf = chains[0].tree[record[0]];
    ASSERT_EQ(record.size(), static_cast<size_t>(TOTLOCI + 3));
    const int missing = record[1] + record[2];
    EXPECT_EQ(missing, leaf[TMAT] < 0 && leaf[TMAT + L] < 0 ? 2 : 1);
    for (int i = 0; i < missing; i++) {
      EXPECT_LT(leaf[TMAT + record[3 + i]], 0);
      EXPECT_EQ(record[3 + i] % L, 0) << "only locus 0 is missing";
    }
    EXPECT_EQ(record[1], leaf[TMAT] < 0 ? 1 : 0);
    EXPECT_EQ(record[2], leaf[TMAT + L] < 0 ? 1 : 0);
  }
}

TEST(InitChains, StoresConsistentInitialLogTerms) {
  readRun(6, 3, 2, {{2, 1, 2, 3}, {4, 2, 2, 2}});
  startChains();
  const int n = 6;
  for (int ch = 0; ch < 2; ch++) {
    const Chain &c = chains[ch];
    double sum = 0.0;
    std::vector<double> times;
    for (const TreeRow &row : c.tree) {
      sum += row[nodeLogLik];
      times.push_back(row[nodeTime]);
    }
    EXPECT_NEAR(c.logLik, sum, 1e-9);
    EXPECT_TRUE(std::isfinite(c.logLik));
    std::sort(times.begin(), times.end());
    EXPECT_EQ(c.nodeTimes, times);
    EXPECT_EQ(c.mutAge, chainSettings[ch].mutAgeStart);
    EXPECT_EQ(c.propMutAge, c.mutAge);
    EXPECT_EQ(c.mutLoc, chainSettings[ch].mutLocStart);
    EXPECT_EQ(c.rootLoci, chainSettings[ch].rootLoci);
    EXPECT_EQ(c.treePrior, tprior(n, c.nodeTimes, chainSettings[ch].mutAgeStart, 0.1, 0.5));
    EXPECT_EQ(c.mutAgePrior, tpriormut(n, chainSettings[ch].mutAgeStart, 0.5));
    LikelihoodMemo memo;
    EXPECT_EQ(c.rootHapProb,
              probhap2(c.popHapFreqs, c.MP1, chainSettings[ch].rootLoci.data(), memo));
    double sample = 0.0;
    for (const Haplotype &h : c.normalHaps)
      sample += probhap2(c.popHapFreqs, c.MP1, h.data(), memo);
    EXPECT_EQ(c.popSampleProb, sample);
    EXPECT_EQ(c.partnerProb, 0.0);
    EXPECT_EQ(c.locPrior, 0.0) << "no sequence weights";
    EXPECT_EQ(c.propTimes, c.nodeTimes);
    EXPECT_EQ(c.labelOrder, std::vector<int>(2 * n - 1, 0));
    EXPECT_EQ(c.locationSamples, std::vector<double>(20, 0.0));
    EXPECT_EQ(c.ageSamples, std::vector<double>(20, 0.0));
    EXPECT_EQ(c.accTree, 0);
    EXPECT_EQ(c.ageOrder.size(), static_cast<size_t>(2 * n - 1));
    EXPECT_EQ(c.propTree[0].size(), static_cast<size_t>(TMAT + TOTLOCI));
  }
}

TEST(InitChains, AZeroWeightStartingLocationHasLogPriorMinusInfinity) {
  readRun(4, 3, 2, {{4, 1, 2, 3}});
  pset.useSeqWeights = 1;
  pset.numsegs = 3;
  pset.segStart = {0.0, 0.01, 0.02};
  pset.segWeight = {1.0, 0.0, 1.0};
  pset.segweights[0] = pset.segweights[1] = pset.segweights[2] = 1.0;
  chainSettings[0].mutLocStart = 0.005;
  chainSettings[1].mutLocStart = 0.015;
  for (Chain &chain : chains)
    chain.mutLoc = chainSettings[chain.index].mutLocStart;
  startChains();
  EXPECT_EQ(chains[0].locPrior, 0.0);
  EXPECT_EQ(chains[1].locPrior, -INFINITY);
}

TEST(InitChains, SimulatedUnpairedGenotypesDrawThePartnerFromThePopulation) {
  const int L = 3;
  readRun(5, L, 2, {}, 1, 0);
  pset.runSimulation = 1;
  pset.simMutLocation = 0.01;
  // Every partner allele is label 3, at the first locus no label is reached.
  for (auto &row : simAlleleFreqs)
    std::fill(row.begin(), row.end(), 0.0);
  simAlleleFreqs[3] = {0.0, 1.0, 1.0};
  startChains();
  for (int ch = 0; ch < 2; ch++) {
    for (const TreeRow &row : chains[ch].tree) {
      if (!isLeaf(row))
        continue;
      for (int k = 1; k < L; k++)
        EXPECT_TRUE(row[TMAT + k] == 3 || row[TMAT + L + k] == 3);
      EXPECT_TRUE(row[TMAT] < 0 || row[TMAT + L] < 0) << "an unreached draw is missing";
    }
    EXPECT_EQ(chains[ch].missingLeaves.size(), 5u);
  }
}

TEST(InitChains, SimulatedPairedGenotypesPairTheGeneratedLeaves) {
  readRun(6, 2, 2, {}, 1, 1);
  pset.runSimulation = 1;
  pset.simMutLocation = 0.005;
  startChains();
  for (const Chain &chain : chains)
    for (const TreeRow &row : chain.tree) {
      if (!isLeaf(row))
        continue;
      EXPECT_EQ(chain.tree[label(row[partnerLeaf])][partnerLeaf], row[nodeLabel]);
      EXPECT_GT(row[TMAT], 0);
    }
}

TEST(InitChainsDeathTest, ARecombinationAdjustmentOutsideItsRangeStopsTheRun) {
  for (double c : {0.6, -0.1, static_cast<double>(NAN)}) {
    readRun(4, 2, 1, {{4, 1, 2}});
    chainSettings[0].recDistAdjust = c;
    EXPECT_EXIT(
        {
          dup2(2, 1);
          startChains();
        },
        testing::ExitedWithCode(1),
        "Recombination distance adjustment\\(c\\) out of range \\(0\\.0 - 0\\.5\\)\n");
  }
  for (double c : {0.0, 0.5}) {
    readRun(4, 2, 1, {{4, 1, 2}});
    chainSettings[0].recDistAdjust = c;
    startChains();
  }
}

TEST(InitChainsDeathTest, ANonPositiveTreeAdjustmentStopsTheRunWithItsValue) {
  const std::pair<double, const char *> cases[] = {{0.0, "0"}, {-0.1, "-0.1"}};
  for (const auto &c : cases) {
    readRun(4, 2, 1, {{4, 1, 2}});
    chainSettings[0].treeAdjust = c.first;
    EXPECT_EXIT(
        {
          dup2(2, 1);
          startChains();
        },
        testing::ExitedWithCode(1),
        std::string("Coalescence time adjustment ") + c.second + " must be a > 0\\.0\n");
  }
}

namespace {

const std::string startStateData = MUTLOC_TEST_DATA "/golden/";

// Copies the stored control file NAME into a fresh folder, with every
// occurrence of `from` replaced by `to`, and runs it there.
RunResult runStored(const std::string &name, std::string &dir, const std::string &from = "",
                    const std::string &to = "") {
  std::string control = readFile(startStateData + name + "/control.in");
  if (!from.empty()) {
    const size_t at = control.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    control.replace(at, from.size(), to);
  }
  dir = makeTempDir();
  writeFile(dir, "control.in", control);
  return runMutloc(dir, "control.in");
}

std::string lastLines(const std::string &text, int count) {
  size_t at = text.size();
  for (int i = 0; i <= count && at != std::string::npos && at > 0; i++)
    at = text.rfind('\n', at - 1);
  return at == std::string::npos ? text : text.substr(at + 1);
}

const char *const adjustments = "5 10 0.005 0.3 0.3 0.05 1";

} // namespace

TEST(StartStateRun, EveryDataKindWritesTheExpectedLogWithItsRootstate) {
  for (const char *name : {"hap_markov_loc1_2chains", "geno_unpaired_loc1", "geno_paired_loc1",
                           "hap_missing_slice_1chain", "seqweights_table_loc1", "sim_hap"}) {
    std::string dir;
    const RunResult r = runStored(name, dir);
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_EQ(readFile(dir + "/control.in.log"),
              readFile(startStateData + name + "/expected/control.in.log"))
        << name;
  }
}

TEST(StartStateRun, StartUpChecksStopWithTheirMessageAfterTheRootstate) {
  const std::pair<const char *, const char *> cases[] = {
      {"5 10 0.6 0.3 0.3 0.05 1",
       "Recombination distance adjustment(c) out of range (0.0 - 0.5)\n"},
      {"0 10 0.005 0.3 0.3 0.05 1", "Coalescence time adjustment 0 must be a > 0.0\n"}};
  for (const auto &c : cases) {
    std::string dir;
    const RunResult r = runStored("hap_markov_loc1_2chains", dir, adjustments, c.first);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.second);
    EXPECT_EQ(lastLines(readFile(dir + "/control.in.log"), 2), "Rootstate\n1 2 1 2 \n");
    EXPECT_EQ(readFile(dir + "/control.in.dat"), "");
  }
}

TEST(StartStateRun, NodeAgesThatCollapseToZeroStopTheRun) {
  // A sampled proportion this large makes every drawn node age round to 0.
  std::string dir;
  const RunResult r =
      runStored("hap_markov_loc1_2chains", dir, "Proportion of population sampled\n0.1",
                "Proportion of population sampled\n1e20");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "The starting genealogy has node ages that are not positive numbers: check "
                   "\"Population growth rate \", \"Proportion of population sampled \" and "
                   "\"Mutation age\".\n");
  EXPECT_EQ(readFile(dir + "/control.in.dat"), "");
}

TEST(StartStateRun, AStoredGenealogyBringsItsAncestralHaplotype) {
  std::string first;
  ASSERT_EQ(runStored("hap_markov_loc1_2chains", first).status, 0);
  const std::string stored = readFile(first + "/control.in.mat");
  const std::string storedRoot = stored.substr(stored.rfind('\n') + 1);

  std::string dir;
  const std::string readOld = "Read old file\n0", readOldOn = "Read old file\n1";
  // Without "inmat.txt" chain 0 keeps its generated genealogy and the control
  // file's ancestral haplotype, which generation does not redraw.
  EXPECT_EQ(runStored("hap_markov_loc1_2chains", dir, readOld, readOldOn).status, 0);
  EXPECT_EQ(lastLines(readFile(dir + "/control.in.log"), 2), "Rootstate\n1 2 1 1 \n");

  std::string control = readFile(startStateData + "hap_markov_loc1_2chains/control.in");
  control.replace(control.find(readOld), readOld.size(), readOldOn);
  dir = makeTempDir();
  writeFile(dir, "control.in", control);
  writeFile(dir, "inmat.txt", stored);
  EXPECT_EQ(runMutloc(dir, "control.in").status, 0);
  EXPECT_EQ(lastLines(readFile(dir + "/control.in.log"), 2), "Rootstate\n" + storedRoot + "\n");
}
