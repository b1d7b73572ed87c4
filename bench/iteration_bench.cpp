// Cost of the sampler on runs of realistic size, read from generated control
// files and started as the program starts them. Three sizes: 50 chromosomes x
// 12 markers, that of a classic haplotype data set (94 x 23) and 200 x 50,
// each with the Markov population model, the random-walk location update and
// two chains, for haplotypes and unpaired genotypes. Whole iterations over all
// chains are timed and reported as chain-iterations per second (iterations
// per second per chain), beside the time of one full likelihood pass over a
// chain's genealogy with nothing kept from earlier evaluations and the ratio
// of the two; the built program is run once on the same control file (1000
// burn-in and 10000 sampling iterations) for its peak memory and its rate
// over a whole run. Each move of chain 0 is timed on its own too, from a settled
// state, and so is a full pass that finds everything remembered from the one before.
// The mixing sampler's iterations are timed at the same sizes.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>

#include "chain.h"
#include "driver.h"
#include "genealogy.h"
#include "input.h"
#include "likelihood.h"
#include "mixing.h"
#include "sampler.h"

namespace {

struct RunSize {
  int chromosomes;
  int markers;
  int normalHaplotypes;
};

// Argument 0 of every benchmark picks the size.
constexpr RunSize sizes[] = {{50, 12, 50}, {94, 23, 94}, {200, 50, 200}};
constexpr int chainCount = 2;
constexpr int alleles = 4;
constexpr double markerSpacing = 0.005;
constexpr double missingRate = 0.02;
constexpr int burnIn = 1000;
constexpr int sampling = 10000;

// Normal haplotypes with linkage disequilibrium between neighbouring markers,
// and patient chromosomes that keep the founder's alleles (normal row
// `alleles`) over a stretch around the mutation and a normal chromosome's
// beyond it, as crossovers since the founder would leave them. The first rows
// of the normal population carry every label at every locus, so no label of
// 1..alleles is absent; the other rows but the founder's, and the patient
// chromosomes, miss a few alleles.
void makeData(const RunSize &size, std::mt19937 &gen, std::vector<Haplotype> &normal,
              std::vector<Haplotype> &patients) {
  const int markers = size.markers;
  std::uniform_int_distribution<int> label(1, alleles);
  std::uniform_int_distribution<int> donor(alleles, size.normalHaplotypes - 1);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::exponential_distribution<double> stretch(0.1);
  normal.assign(size.normalHaplotypes, Haplotype(markers));
  for (int h = 0; h < size.normalHaplotypes; h++)
    for (int k = 0; k < markers; k++) {
      const bool linked = k > 0 && unit(gen) < 0.6;
      normal[h][k] = h < alleles ? h + 1 : linked ? normal[h][k - 1] : label(gen);
    }
  const Haplotype &founder = normal[alleles];
  patients.clear();
  for (int p = 0; p < size.chromosomes; p++) {
    Haplotype hap = normal[donor(gen)];
    const int lo = std::max(0, markers / 2 - static_cast<int>(stretch(gen)));
    const int hi = std::min(markers - 1, markers / 2 + static_cast<int>(stretch(gen)));
    for (int k = lo; k <= hi; k++)
      hap[k] = founder[k];
    patients.push_back(hap);
  }
  for (int h = alleles + 1; h < size.normalHaplotypes; h++)
    for (int &a : normal[h])
      a = unit(gen) < missingRate ? -1 : a;
  for (Haplotype &hap : patients)
    for (int &a : hap)
      a = unit(gen) < missingRate ? -1 : a;
}

void writeRow(std::ostream &f, const Haplotype &values) {
  for (int v : values)
    f << ' ' << v;
  f << '\n';
}

// Unpaired genotypes pair every patient chromosome with a normal one and list
// the two alleles of each locus in random order.
std::string controlText(const RunSize &size, bool genotypes) {
  std::mt19937 gen(20240611);
  std::vector<Haplotype> normal, patients;
  makeData(size, gen, normal, patients);
  const int markers = size.markers;
  std::ostringstream f;
  f << "Data as genotypes\n"
    << genotypes << "\nGenetic model\n0\nRead old file\n0\nUse fixed random seed\n-4711\n"
    << "# chromosomes\n"
    << (genotypes ? 2 : 1) * size.chromosomes << "\n#loci per chromosome\n"
    << markers << "\nNumbers of haplotypes in the normal pop\n";
  for (const Haplotype &hap : normal) {
    f << 1;
    writeRow(f, hap);
  }
  f << "Map distance\n";
  for (int k = 0; k < markers; k++)
    f << k * markerSpacing << ' ';
  const double end = (markers - 1) * markerSpacing;
  f << "\nRun simulation\n0\nMutation location\n"
    << end / 2 << "\nMutation's low and high boundary\n0 " << end
    << "\n# Simulation runs (chains)\n"
    << chainCount << "\nStarting value(s) for mutation\n"
    << end / 2 << "\nPopulation growth rate\n0.5\nProportion of population sampled\n0.1\n"
    << "Iterate ancestral state, mutation age, mutation location, allele freq\n1 1 1 1\n"
    << "Flip all Loci\n0\n"
    << "Adjustment level for tree, root, recdist, ancestral, internal states, alleles,algswitch\n"
    << "5 10 0.005 0.3 0.3 0.05 1\nBurn-in iteration\n"
    << burnIn << "\nIterations\n"
    << sampling << "\n"
    << "Screen and file updates, save acceptance props, save haplotypes, save individual "
       "haplotypes...\n0 0 0 0\nNumber of histogram bars\n20\nAlpha level\n0.05\n"
    << "Mutation age\n50\nMutation age boundaries\n10 200\nStar genealogy\n0\n"
    << "Loci for the root\n";
  writeRow(f, normal[alleles]);
  f << "Patient haplo- or genotypes:\n";
  std::uniform_int_distribution<int> donor(0, size.normalHaplotypes - 1);
  std::bernoulli_distribution swap(0.5);
  for (const Haplotype &hap : patients) {
    if (!genotypes) {
      f << 1;
      writeRow(f, hap);
      continue;
    }
    const Haplotype &partner = normal[donor(gen)];
    Haplotype row;
    for (int k = 0; k < markers; k++) {
      const bool flip = swap(gen);
      row.push_back(flip ? partner[k] : hap[k]);
      row.push_back(flip ? hap[k] : partner[k]);
    }
    writeRow(f, row);
  }
  f << "Use sequence weights\n0\n";
  return f.str();
}

// Writes the control file to a fresh folder and returns the folder.
std::string writeControl(const std::string &text) {
  char dir[] = "/tmp/mutloc-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr)
    std::abort();
  std::ofstream(std::string(dir) + "/control.in") << text;
  return dir;
}

// Starts the run from the control file as the program does: reader, run
// set-up, the chains' starting states. Returns the run's stream, to go on
// drawing from.
Rng startRun(const std::string &text) {
  const std::string dir = writeControl(text);
  std::ifstream control(dir + "/control.in");
  std::ostringstream log;
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  Rng rng = streamFrom(0);
  std::vector<std::vector<Haplotype>> normalHaps;
  int segCount = 0;
  maxAllele = readdata3(rng, &segCount, control, log, patientData, normalHaps);
  if (maxAllele == 0)
    std::abort();
  setuprun(normalHaps);
  initchains(rng, log);
  std::filesystem::remove_all(dir);
  return rng;
}

// A whole run of the built program on a control file: its peak resident
// memory in bytes and the CPU seconds it took.
struct RunCost {
  double peakBytes;
  double cpuSeconds;
};

RunCost runProgram(const std::string &text) {
  const std::string dir = writeControl(text);
  const pid_t pid = fork();
  if (pid == 0) {
    // The progress lines are not wanted here.
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0 || chdir(dir.c_str()) != 0)
      _exit(127);
    execl(MUTLOC_PROGRAM, "mutloc", "control.in", static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0)
    std::abort();
  std::filesystem::remove_all(dir);
  const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec * 1e-6; };
  // ru_maxrss is in kilobytes on Linux.
  return {usage.ru_maxrss * 1024.0, seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

// Bytes a table holds, from its size: its elements and, for nested tables,
// their contents (allocator overhead and spare capacity left out).
template <typename T> double bytes(const std::vector<T> &v) {
  double total = v.size() * sizeof(T);
  if constexpr (!std::is_arithmetic_v<T>)
    for (const T &inner : v)
      total += bytes(inner);
  return total;
}

benchmark::Counter byteCounter(double value) {
  return benchmark::Counter(value, benchmark::Counter::kDefaults,
                            benchmark::Counter::OneK::kIs1024);
}

// The run's state by kind (what the chains' likelihoods keep between
// evaluations is in the peak memory of the whole run).
void reportStateBytes(benchmark::State &state) {
  double trees = 0, samples = bytes(hapstate),
         tables =
             bytes(normmat) + bytes(patientData) + bytes(simAlleleFreqs) + bytes(missingNormalLoci);
  for (const Chain &c : chains) {
    trees += bytes(c.tree) + bytes(c.ageOrder) + bytes(c.propTree) + bytes(c.nodeTimes) +
             bytes(c.propTimes);
    samples += bytes(c.locationSamples) + bytes(c.ageSamples);
    tables += bytes(c.popHapFreqs) + bytes(c.MP1) + bytes(c.normalHaps) + bytes(c.missingLoci);
  }
  state.counters["treeBytes"] = byteCounter(trees);
  state.counters["sampleBytes"] = byteCounter(samples);
  state.counters["tableBytes"] = byteCounter(tables);
  state.counters["stateBytes"] = byteCounter(trees + samples + tables);
}

// The moves of one burn-in iteration of a chain, in the loop's order, without
// the trace and screen records.
void chainIteration(Rng &rng, Chain &chain, ChainWork &work) {
  updateFrequenciesAndMissing(rng, chain, work);
  updateGenealogy(rng, chain, work, 0);
  updateLocation(rng, chain, work);
  updateStates(rng, chain, work);
  if (pset.dataAsGenotypes)
    updatePhase(rng, chain, work);
}

// The chains' moves of one iteration, each chain with its work record.
void allChainsIteration(Rng &rng, std::vector<ChainWork> &works) {
  for (size_t ch = 0; ch < chains.size(); ch++)
    chainIteration(rng, chains[ch], works[ch]);
}

// Arguments: the size (index into sizes) and the data kind, 0 = haplotypes,
// 1 = unpaired genotypes. The chains move on from iteration to iteration, as
// in a run. The rate counts chain-iterations (one chain's moves in one
// iteration): a whole iteration over all chains counts as many as there are
// chains, so the rate is that of iterations per chain, whatever the number of
// chains.
// The processor time this thread has used, in seconds.
double cpuSeconds() {
  rusage use{};
  getrusage(RUSAGE_THREAD, &use);
  return use.ru_utime.tv_sec + use.ru_stime.tv_sec +
         (use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
}

// Seconds of one full likelihood pass over the chain's genealogy that finds
// nothing kept from earlier evaluations: every pass takes the next of three
// copies of the genealogy whose branch lengths differ slightly, and of three
// copies of the tables, one more than a row keeps exponentials and look-ups
// for.
double fullPassSeconds(Chain &chain) {
  constexpr int copies = 3;
  std::vector<TreeMatrix> trees(copies, chain.tree);
  for (int g = 1; g < copies; g++)
    for (TreeRow &row : trees[g])
      row[branchLength] *= 1 + 1e-9 * g;
  const std::vector<Table> freqs(copies, chain.popHapFreqs);
  const std::vector<TransTable> trans(copies, chain.MP1);
  LikelihoodMemo memo;
  constexpr int passes = 600;
  const double start = cpuSeconds();
  for (int p = 0; p < passes; p++)
    benchmark::DoNotOptimize(recomputeAllTerms(freqs[p % copies], trees[p % copies], chain.mutLoc,
                                               pset.mapDist, chain.rootLoci, trans[p % copies],
                                               memo));
  return (cpuSeconds() - start) / passes;
}

void iteration(benchmark::State &state) {
  const std::string text = controlText(sizes[state.range(0)], state.range(1) == 1);
  Rng rng = startRun(text);
  std::vector<ChainWork> works(chains.size());
  const double start = cpuSeconds();
  for (auto _ : state)
    allChainsIteration(rng, works);
  const double chainIterations = static_cast<double>(state.iterations()) * chainCount;
  const double perChainIteration = (cpuSeconds() - start) / chainIterations;
  state.counters["chainIterations"] =
      benchmark::Counter(chainIterations, benchmark::Counter::kIsRate);
  const double pass = fullPassSeconds(chains[0]);
  state.counters["fullPass_us"] = pass * 1e6;
  state.counters["passesPerChainIteration"] = perChainIteration / pass;
  reportStateBytes(state);
  // The whole program on the same control file, once per size and data kind.
  static std::map<std::pair<long, long>, RunCost> runs;
  const auto key = std::make_pair(state.range(0), state.range(1));
  if (runs.count(key) == 0)
    runs[key] = runProgram(text);
  state.counters["peakRSS"] = byteCounter(runs[key].peakBytes);
  state.counters["runChainIterations/s"] =
      static_cast<double>(burnIn + sampling) * chainCount / runs[key].cpuSeconds;
}

void genealogyMove(Rng &rng, Chain &chain, ChainWork &work) {
  updateGenealogy(rng, chain, work, 0);
}

// A full likelihood pass over the chain's genealogy as it stands, with what
// the pass before it left remembered: the floor under the passes of the
// frequency, location and node-time moves, which each change one input of
// every row's term. Not inlined, so that an instruction count can be taken of
// it alone (valgrind --tool=callgrind --collect-atstart=no
// --toggle-collect='*keptPass*').
__attribute__((noinline)) void keptPass(Rng &, Chain &chain, ChainWork &work) {
  benchmark::DoNotOptimize(recomputeAllTerms(chain.popHapFreqs, chain.tree, chain.mutLoc,
                                             pset.mapDist, chain.rootLoci, chain.MP1, work.memo));
}

// Whole iterations run before a move is timed on its own: a chain starts from
// a state the data may rule out (a log-likelihood of minus infinity, which every
// proposal of some moves keeps), and only the moves together leave it.
constexpr int settlingIterations = 200;

// One move of chain 0, repeated; the arguments as for iteration.
void move(benchmark::State &state, void (*step)(Rng &, Chain &, ChainWork &)) {
  Rng rng = startRun(controlText(sizes[state.range(0)], state.range(1) == 1));
  std::vector<ChainWork> works(chains.size());
  for (int i = 0; i < settlingIterations; i++)
    allChainsIteration(rng, works);
  for (auto _ : state)
    step(rng, chains[0], works[0]);
}

// Whole burn-in iterations of the mixing sampler over all chains, started as
// its runs start them (spread, phased, clustered and given their leaves'
// alleles), on one stream: its runs give each chain a stream of its own,
// which changes the draws but not the work. Reported like iteration.
// Argument 2 turns the heterogeneity model on (its share sampled).
void mixing(benchmark::State &state) {
  Rng rng = startRun(controlText(sizes[state.range(0)], state.range(1) == 1));
  HeterogeneityOptions heterogeneity;
  heterogeneity.on = state.range(2) == 1;
  std::vector<ChainWork> works(chains.size());
  for (size_t ch = 0; ch < chains.size(); ch++) {
    Chain &chain = chains[ch];
    spreadStart(rng, chain);
    phaseTowardsConsensus(chain, works[ch]);
    startFromClusters(rng, chain);
    startFromLeaves(chain, works[ch]);
    if (heterogeneity.on)
      startMembership(chain, heterogeneity);
  }
  const auto iterate = [&] {
    for (size_t ch = 0; ch < chains.size(); ch++)
      mixingIteration(rng, chains[ch], works[ch], 0);
  };
  for (int i = 0; i < settlingIterations / 10; i++)
    iterate();
  for (auto _ : state)
    iterate();
  state.counters["chainIterations"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * chainCount, benchmark::Counter::kIsRate);
}

// Every size with both data kinds, or with genotypes only.
void bothKinds(benchmark::internal::Benchmark *b) {
  b->ArgNames({"size", "genotypes"})->ArgsProduct({{0, 1, 2}, {0, 1}});
}

void mixingKinds(benchmark::internal::Benchmark *b) {
  b->ArgNames({"size", "genotypes", "heterogeneity"})->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1}});
}

void genotypesOnly(benchmark::internal::Benchmark *b) {
  b->ArgNames({"size", "genotypes"})->ArgsProduct({{0, 1, 2}, {1}});
}

} // namespace

BENCHMARK(iteration)->Apply(bothKinds);
BENCHMARK(mixing)->Apply(mixingKinds);
BENCHMARK_CAPTURE(move, frequenciesAndMissing, updateFrequenciesAndMissing)->Apply(bothKinds);
BENCHMARK_CAPTURE(move, genealogy, genealogyMove)->Apply(bothKinds);
BENCHMARK_CAPTURE(move, location, updateLocation)->Apply(bothKinds);
BENCHMARK_CAPTURE(move, states, updateStates)->Apply(bothKinds);
BENCHMARK_CAPTURE(move, phase, updatePhase)->Apply(genotypesOnly);
BENCHMARK_CAPTURE(move, keptPass, keptPass)->Apply(bothKinds);
