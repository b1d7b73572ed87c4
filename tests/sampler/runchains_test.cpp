// The run frame: acceptance proportions, the convergence statistic, the
// schedule of the .dat, screen and haplotype records over whole runs of a
// small haplotype data set (in process and through the built program), and
// records that do not depend on the blocks and workers a run uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "controltext.h"
#include "driver.h"
#include "genealogy.h"
#include "input.h"
#include "runchains.h"
#include "sampler.h"
#include "testkit.h"

TEST(AcceptProps, AreRealValuedSharesOfTheIterationsDone) {
  setSmallRun(10, 4, 2);
  Chain &c = chains[1];
  c.accTree = 3;
  c.accMutLoc = 7;
  c.accRoot = 1;
  c.accInternal = 9;
  c.accFreq = 4;
  for (Chain &chain : chains)
    std::fill(std::begin(chain.props), std::end(chain.props), -1.0);
  pset.iterMutLocation = 1;
  refreshAcceptProps(c, 5); // six iterations done
  EXPECT_DOUBLE_EQ(c.props[0], 0.5);
  EXPECT_DOUBLE_EQ(c.props[1], 7.0 / 6);
  EXPECT_DOUBLE_EQ(c.props[2], 1.0 / 6);
  EXPECT_DOUBLE_EQ(c.props[3], 9.0 / (9 * 6)); // one proposal per internal node
  EXPECT_DOUBLE_EQ(c.props[4], 4.0 / 6);
  EXPECT_EQ(chains[0].props[0], -1.0); // other chains untouched
}

TEST(AcceptProps, SliceModeShowsTheWorkCountUndivided) {
  setSmallRun(10, 4, 1);
  Chain &c = chains[0];
  c.accMutLoc = 5;
  pset.iterMutLocation = 2;
  refreshAcceptProps(c, 99);
  EXPECT_EQ(c.props[1], 5.0);
  pset.iterMutLocation = 3;
  refreshAcceptProps(c, 99);
  EXPECT_DOUBLE_EQ(c.props[1], 0.05);
}

TEST(Convergence, EqualChainMeansGiveTheLengthRatio) {
  // Iterations 1 and 2: chain 0 at 1 then 3, chain 1 at 2 twice; n = 3.
  // Means 4/3 each so D = 0 and R = sqrt(i / n).
  EXPECT_DOUBLE_EQ(convergenceStatistic({4, 4}, {10, 8}, 2), std::sqrt(2.0 / 3));
}

TEST(Convergence, BetweenChainSpreadRaisesTheStatistic) {
  // Chain 1 at 5 twice: G = 7/3, D = 2, W = (7/3 + 25/3) / 2 = 16/3,
  // R = sqrt((2/3 * 16/3 + 2) / (16/3)) = sqrt(25/24).
  EXPECT_DOUBLE_EQ(convergenceStatistic({4, 10}, {10, 50}, 2), std::sqrt(25.0 / 24));
}

TEST(Convergence, ThreeChainsDivideTheSpreadByTwo) {
  // One iteration (i = 1, n = 2) at locations 1, 2, 3: S = x, Q = x^2.
  // G = 1, D = (0.5-1)^2 + 0 + (1.5-1)^2 = 0.5, W = (0.5 + 2 + 4.5) / 3 = 7/3.
  const double w = 7.0 / 3;
  EXPECT_DOUBLE_EQ(convergenceStatistic({1, 2, 3}, {1, 4, 9}, 1),
                   std::sqrt((0.5 * w + 0.5 / 2) / w));
}

namespace {

// The run's shape: everything else is the fixed 10-chromosome, 4-locus
// haplotype data set of controltext.h, with a Markov background and
// random-walk locations.
struct Shape {
  int chains = 1;
  long burnIn = 5;
  long iterations = 12;
  int screen = 4;
  int file = 3;
  int saveProps = 0;
  int saveHaps = 0;
  int bars = 5;
};

// The control file of controltext.h in the given shape.
std::string controlText(const Shape &s) {
  using std::to_string;
  const std::string schedule = to_string(s.screen) + " " + to_string(s.file) + " " +
                               to_string(s.saveProps) + " " + to_string(s.saveHaps);
  return edited(baseControl(),
                {{"(chains)\n2\n", "(chains)\n" + to_string(s.chains) + "\n"},
                 {"Burn-in iteration\n10\n", "Burn-in iteration\n" + to_string(s.burnIn) + "\n"},
                 {"Iterations\n20\n", "Iterations\n" + to_string(s.iterations) + "\n"},
                 {"haplotypes...\n10 5 1 1\n", "haplotypes...\n" + schedule + "\n"},
                 {"bars\n20\n", "bars\n" + to_string(s.bars) + "\n"}});
}

struct Trace {
  std::string dat, screen;
};

// Runs the sampler on the chains set up (the default sampler when empty).
using Runner = std::function<void(Rng &rng, std::ostream &dat, std::ostream &hpf)>;

// Reads, sets up and samples as the program does, catching the screen. The
// .dat records go to datBuffer when one is given (and are then not returned).
Trace runInProcess(const Shape &s, std::streambuf *datBuffer = nullptr,
                   const Runner &runner = nullptr) {
  std::istringstream control(controlText(s));
  std::ostringstream log, dat, hpf, screen;
  std::ostream recorded(datBuffer);
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  std::vector<std::vector<Haplotype>> normalHaps;
  Rng rng = streamFrom(-1);
  int segCount = 0;
  maxAllele = readdata3(rng, &segCount, control, log, patientData, normalHaps);
  setuprun(normalHaps);
  initchains(rng, log);
  std::streambuf *console = std::cout.rdbuf(screen.rdbuf());
  const auto precision = std::cout.precision(8);
  if (runner)
    runner(rng, datBuffer != nullptr ? recorded : dat, hpf);
  else
    runSampler(rng, datBuffer != nullptr ? recorded : dat, hpf);
  std::cout.rdbuf(console);
  std::cout.precision(precision);
  EXPECT_EQ(hpf.str(), ""); // periodic tallies write nothing
  return {dat.str(), screen.str()};
}

std::vector<std::string> fields(const std::string &line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string f; in >> f;)
    out.push_back(f);
  return out;
}

long hapstateTotal() {
  long total = 0;
  for (const auto &row : hapstate)
    total += row[0];
  return total;
}

} // namespace

TEST(SamplerLoop, OneChainDatLinesFollowTheFileIntervalAndTheLastIteration) {
  Shape s; // 17 iterations, file records every 3rd
  const auto dat = lines(runInProcess(s).dat);
  const std::vector<std::string> expected = {"0", "3", "6", "9", "12", "15", "16"};
  ASSERT_EQ(dat.size(), expected.size());
  for (size_t k = 0; k < dat.size(); k++) {
    const auto f = fields(dat[k]);
    EXPECT_EQ(f.size(), 9u);
    EXPECT_EQ(f[0], expected[k]);
    EXPECT_EQ(dat[k].back(), ' ');
  }
}

namespace {

// A stream buffer with no buffer of its own: it records every piece of text
// handed to it and, at each flush, how many pieces had come by then.
class PieceRecorder : public std::streambuf {
public:
  std::vector<std::string> pieces;
  std::vector<size_t> piecesAtFlush;

protected:
  std::streamsize xsputn(const char *text, std::streamsize n) override {
    pieces.emplace_back(text, static_cast<size_t>(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof()))
      pieces.emplace_back(1, traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  int sync() override {
    piecesAtFlush.push_back(pieces.size());
    return 0;
  }
};

} // namespace

// A line handed over in pieces could reach the file in several writes, and a
// run killed between them would leave a line cut anywhere in the file.
TEST(SamplerLoop, EachDatLineReachesTheFileInOnePieceAndIsFlushed) {
  Shape s;
  s.chains = 3;
  s.saveProps = 1;
  PieceRecorder recorder;
  runInProcess(s, &recorder);
  ASSERT_EQ(recorder.pieces.size(), 7u);
  ASSERT_EQ(recorder.piecesAtFlush.size(), recorder.pieces.size());
  for (size_t k = 0; k < recorder.pieces.size(); k++) {
    const std::string &piece = recorder.pieces[k];
    EXPECT_EQ(recorder.piecesAtFlush[k], k + 1);
    EXPECT_EQ(std::count(piece.begin(), piece.end(), '\n'), 1) << piece;
    EXPECT_EQ(piece.back(), '\n');
    EXPECT_EQ(fields(piece).size(), 3 * 14u + 1);
  }
}

TEST(SamplerLoop, SavedProportionsAddFiveFieldsPerChain) {
  Shape s;
  s.saveProps = 1;
  for (const auto &line : lines(runInProcess(s).dat)) {
    EXPECT_EQ(fields(line).size(), 14u);
    EXPECT_EQ(line.back(), ' ');
  }
}

TEST(SamplerLoop, TwoChainLinesHoldBothSegmentsAndTheStatistic) {
  Shape s;
  s.chains = 2;
  s.saveProps = 1;
  const auto dat = lines(runInProcess(s).dat);
  ASSERT_EQ(dat.size(), 7u);
  for (const auto &line : dat) {
    const auto f = fields(line);
    ASSERT_EQ(f.size(), 29u);
    EXPECT_EQ(f[0], f[14]); // both segments of one iteration
    EXPECT_NE(line.back(), ' ');
  }
  EXPECT_EQ(fields(dat[0]).back(), "0");
  EXPECT_NE(fields(dat[1]).back(), "0"); // computed at i = 1, shown at i = 3
}

TEST(SamplerLoop, ScreenLinesFollowTheScreenIntervalWithAnEmptyLineAfterMultiples) {
  Shape s; // screen every 4th of 17 iterations
  s.chains = 2;
  const auto screen = lines(runInProcess(s).screen);
  const std::vector<std::string> expected = {"0", "0",  "",   "4", "4",  "",   "8", "8",
                                             "",  "12", "12", "",  "16", "16", ""};
  ASSERT_EQ(screen.size(), expected.size());
  for (size_t k = 0; k < screen.size(); k++) {
    if (expected[k].empty()) {
      EXPECT_EQ(screen[k], "");
      continue;
    }
    const auto f = fields(screen[k]);
    EXPECT_EQ(f[0], expected[k]);
    // Chain 0 (first of each pair) ends with a tab pair and the statistic.
    const bool chainZero = k % 3 == 0;
    EXPECT_EQ(f.size(), chainZero ? 10u : 9u);
    EXPECT_EQ(screen[k].find("\t\t") != std::string::npos, chainZero);
  }
}

TEST(SamplerLoop, LastIterationAddsScreenLinesButNoEmptyLine) {
  Shape s;
  s.iterations = 11; // last iteration 15
  const auto screen = lines(runInProcess(s).screen);
  ASSERT_EQ(screen.size(), 9u);
  EXPECT_EQ(fields(screen[6])[0], "12");
  EXPECT_EQ(fields(screen[8])[0], "15");
}

TEST(SamplerLoop, StatisticIsRefreshedAtOneAndAtFileMultiplesAfterTheRecords) {
  Shape s;
  s.chains = 2;
  s.screen = 1;
  s.file = 4;
  s.iterations = 20;
  const auto screen = lines(runInProcess(s).screen);
  // Every iteration i prints chain 0, chain 1 and an empty line; rebuild the
  // location sums from the printed (8-digit) locations.
  std::vector<double> sum(2, 0.0), sumSq(2, 0.0);
  double expected = 0;
  for (long i = 0; i < 25; i++) {
    const auto f0 = fields(screen[3 * i]);
    const auto f1 = fields(screen[3 * i + 1]);
    ASSERT_EQ(f0[0], std::to_string(i));
    const double shown = std::stod(f0[9]);
    EXPECT_NEAR(shown, expected, 1e-4 * std::fabs(expected)) << "iteration " << i;
    if (i >= 1) {
      for (int ch = 0; ch < 2; ch++) {
        const double x = std::stod(ch == 0 ? f0[1] : f1[1]);
        sum[ch] += x;
        sumSq[ch] += x * x;
      }
      if (i == 1 || i % 4 == 0)
        expected = convergenceStatistic(sum, sumSq, i);
    }
  }
}

TEST(SamplerLoop, ZeroIntervalsLeaveOnlyTheLastIterationsRecords) {
  Shape s;
  s.chains = 2;
  s.screen = 0;
  s.file = 0;
  s.saveHaps = 1;
  const Trace t = runInProcess(s);
  const auto dat = lines(t.dat);
  ASSERT_EQ(dat.size(), 1u);
  EXPECT_EQ(fields(dat[0])[0], "16");
  const auto screen = lines(t.screen);
  ASSERT_EQ(screen.size(), 2u);
  EXPECT_EQ(fields(screen[0])[0], "16");
  EXPECT_EQ(fields(screen[1])[0], "16");
  EXPECT_NE(fields(screen[0]).back(), "0"); // the value of i = 1
  EXPECT_EQ(hapstateTotal(), 0);
}

TEST(SamplerLoop, HaplotypeTalliesStartAtTheFirstFileMultipleAfterBurnIn) {
  Shape s; // file multiples 0, 3, ..., 15 of 17 iterations
  s.saveHaps = 1;
  s.burnIn = 5; // tallies at 6, 9, 12, 15
  runInProcess(s);
  EXPECT_EQ(hapstateTotal(), 4 * 10);
  s.burnIn = 6; // none at i = 6 itself: 9, 12, 15, 18
  s.iterations = 14;
  runInProcess(s);
  EXPECT_EQ(hapstateTotal(), 4 * 10);
  s.burnIn = 7; // 9, 12, 15, 18
  runInProcess(s);
  EXPECT_EQ(hapstateTotal(), 4 * 10);
  s.iterations = 11; // 9, 12, 15 (the last, 17, is not a multiple)
  runInProcess(s);
  EXPECT_EQ(hapstateTotal(), 3 * 10);
}

TEST(SamplerLoop, SamplesAreTheSamplingIterationsLocationsSorted) {
  Shape s;
  s.chains = 2;
  s.file = 1;
  const auto dat = lines(runInProcess(s).dat);
  ASSERT_EQ(dat.size(), 17u);
  for (int ch = 0; ch < 2; ch++) {
    std::vector<double> recorded;
    for (long i = s.burnIn; i < 17; i++)
      recorded.push_back(std::stod(fields(dat[i])[1 + 9 * ch]));
    std::sort(recorded.begin(), recorded.end());
    const Chain &c = chains[ch];
    ASSERT_EQ(c.locationSamples.size(), recorded.size());
    for (size_t k = 0; k < recorded.size(); k++)
      EXPECT_NEAR(c.locationSamples[k], recorded[k], 5e-6 * recorded[k]); // six digits
    EXPECT_TRUE(std::is_sorted(c.ageSamples.begin(), c.ageSamples.end()));
  }
}

namespace {

// A toy sampler whose every draw shows in the records: a walk of the location
// and the age, and the first allele of a leaf (so the haplotype tallies
// depend on the iteration they are taken at).
void walk(Rng &rng, Chain &chain, ChainWork &, long i) {
  chain.mutLoc += ran1(rng) - 0.5;
  chain.mutAge += ran1(rng);
  chain.accTree += ran1(rng) < 0.5;
  for (TreeRow &row : chain.tree)
    if (row[child1] == -1) {
      row[TMAT] = ran1(rng) < 0.5 ? 1 : 2;
      break;
    }
  if (i >= pset.burnInIterations) {
    chain.locationSamples[i - pset.burnInIterations] = chain.mutLoc;
    chain.ageSamples[i - pset.burnInIterations] = chain.mutAge;
  }
}

struct FrameRun {
  Trace trace;
  std::vector<std::vector<int>> tally;
  std::vector<std::vector<double>> samples;
  long sampled = 0;
};

// The toy sampler on a stream per chain, in blocks of the given length on
// the given workers, stopped after stopAt iterations (or none).
FrameRun runFrame(const Shape &s, long blockLength, int workers, long stopAt = 0) {
  FrameRun r;
  RunPlan plan;
  plan.iterate = walk;
  plan.blockLength = blockLength;
  plan.workers = workers;
  plan.sharedStream = false;
  r.trace = runInProcess(s, nullptr, [&](Rng &, std::ostream &dat, std::ostream &hpf) {
    std::vector<Rng> streams;
    for (int ch = 0; ch < pset.numChains; ch++)
      streams.push_back(streamFrom(-11 - ch));
    std::vector<ChainWork> works(pset.numChains);
    r.sampled = runChains(plan, streams, works, dat, hpf, nullptr,
                          [stopAt](long done) { return stopAt == 0 || done < stopAt; });
  });
  r.tally = hapstate;
  for (const Chain &chain : chains)
    r.samples.emplace_back(chain.locationSamples.begin(),
                           chain.locationSamples.begin() + r.sampled);
  return r;
}

} // namespace

// Blocks and workers change when the iterations run, never what is written:
// the records, the convergence statistic, the tallies and the samples.
TEST(RunFrame, RecordsAreTheSameWhateverTheBlocksAndWorkers) {
  Shape s;
  s.chains = 3;
  s.screen = 2;
  s.saveProps = 1;
  s.saveHaps = 1;
  s.file = 2;
  const FrameRun one = runFrame(s, 1, 1);
  EXPECT_EQ(lines(one.trace.dat).size(), 9u);
  EXPECT_GT(hapstateTotal(), 0);
  for (const auto &[blockLength, workers] : {std::pair{5L, 2}, std::pair{500L, 3}}) {
    const FrameRun other = runFrame(s, blockLength, workers);
    EXPECT_EQ(other.trace.dat, one.trace.dat) << blockLength;
    EXPECT_EQ(other.trace.screen, one.trace.screen) << blockLength;
    EXPECT_EQ(other.tally, one.tally) << blockLength;
    EXPECT_EQ(other.samples, one.samples) << blockLength;
  }
}

// A stop is seen after a block: the run keeps the whole blocks done, and the
// samples of their sampling iterations.
TEST(RunFrame, AStopEndsTheRunAtTheEndOfABlock) {
  Shape s; // 5 burn-in and 12 sampling iterations
  s.file = 1;
  const FrameRun full = runFrame(s, 1, 1);
  const FrameRun stopped = runFrame(s, 4, 1, 5);
  EXPECT_EQ(stopped.sampled, 8 - 5);
  const auto dat = lines(stopped.trace.dat), fullDat = lines(full.trace.dat);
  ASSERT_EQ(dat.size(), 8u);
  EXPECT_EQ(dat, std::vector<std::string>(fullDat.begin(), fullDat.begin() + 8));
  EXPECT_TRUE(std::is_sorted(stopped.samples[0].begin(), stopped.samples[0].end()));
}

namespace {

struct FullRun {
  RunResult result;
  std::string dir;
  std::string file(const std::string &suffix) const { return readFile(dir + "/run.in" + suffix); }
};

// The lines of a haplotype summary in sorted order: the order of tied
// haplotypes depends on the leaf order.
std::vector<std::string> sortedLines(const std::string &text) {
  std::vector<std::string> l = lines(text);
  std::sort(l.begin(), l.end());
  return l;
}

FullRun runProgram(const Shape &s) {
  FullRun r;
  r.dir = makeTempDir();
  writeFile(r.dir, "run.in", controlText(s));
  r.result = runMutloc(r.dir, "run.in");
  return r;
}

} // namespace

TEST(SamplerRun, WritesEveryFileAndFinishes) {
  Shape s;
  s.chains = 2;
  s.bars = 6;
  const FullRun r = runProgram(s);
  EXPECT_EQ(r.result.status, 0);
  ASSERT_GE(r.result.out.size(), 9u);
  EXPECT_EQ(r.result.out.substr(r.result.out.size() - 9), "Finished\n");
  for (const char *suffix : {".sig", ".tre"}) {
    const auto l = lines(r.file(suffix));
    ASSERT_EQ(l.size(), 2u * (6 + 1)) << suffix;
    for (int ch = 0; ch < 2; ch++) {
      for (int k = 0; k < 6; k++)
        EXPECT_EQ(fields(l[7 * ch + k]).size(), 4u);
      EXPECT_EQ(l[7 * ch + 6].rfind("99% = ", 0), 0u);
      EXPECT_EQ(fields(l[7 * ch + 6]).size(), 15u);
    }
  }
  EXPECT_EQ(r.file(".hpf"), ""); // haplotype saving off
  // The two haplotypes tie.
  EXPECT_EQ(sortedLines(r.file(".hap")), (std::vector<std::string>{"5 1 2 1 1 ", "5 2 2 1 2 "}));
}

TEST(SamplerRun, HpfOfUnchangingTipsHoldsTheirShares) {
  Shape s;
  s.saveHaps = 1;
  EXPECT_EQ(sortedLines(runProgram(s).file(".hpf")),
            (std::vector<std::string>{"0.5 1 2 1 1 ", "0.5 2 2 1 2 "}));
}

TEST(SamplerRun, SameSeedGivesIdenticalFiles) {
  Shape s;
  s.chains = 2;
  s.saveProps = 1;
  s.saveHaps = 1;
  const FullRun a = runProgram(s);
  const FullRun b = runProgram(s);
  EXPECT_EQ(a.result.out, b.result.out);
  for (const char *suffix : {".dat", ".log", ".sig", ".hap", ".hpf", ".mat", ".tre"})
    EXPECT_EQ(a.file(suffix), b.file(suffix)) << suffix;
}
