// Cost of the sampler on a run of realistic size: 100 patient chromosomes, 50
// markers, a normal population of 200 haplotypes, the Markov population model
// and one chain. The run is read from a generated control file and started as
// the program starts it; then one whole iteration of the chain and each of its
// moves are timed, for haplotype data and for unpaired genotypes (which add the
// phase move). Counters give the bytes held by the run state.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>

#include "driver.h"
#include "genealogy.h"
#include "input.h"
#include "sampler.h"

namespace {

constexpr int chromosomes = 100;
constexpr int markers = 50;
constexpr int normalHaplotypes = 200;
constexpr int alleles = 4;
constexpr double markerSpacing = 0.005;
constexpr double missingRate = 0.02;

Seed seed;

// Normal haplotypes with linkage disequilibrium between neighbouring markers,
// and patient chromosomes that keep the founder's alleles (normal row
// `alleles`) over a stretch around the mutation and a normal chromosome's
// beyond it, as crossovers since the founder would leave them. The first rows
// of the normal population carry every label at every locus, so no label of
// 1..alleles is absent; the other rows but the founder's, and the patient
// chromosomes, miss a few alleles.
void makeData(std::mt19937 &gen, std::vector<Haplotype> &normal, std::vector<Haplotype> &patients) {
  std::uniform_int_distribution<int> label(1, alleles);
  std::uniform_int_distribution<int> donor(alleles, normalHaplotypes - 1);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::exponential_distribution<double> stretch(0.1);
  normal.assign(normalHaplotypes, Haplotype(markers));
  for (int h = 0; h < normalHaplotypes; h++)
    for (int k = 0; k < markers; k++) {
      const bool linked = k > 0 && unit(gen) < 0.6;
      normal[h][k] = h < alleles ? h + 1 : linked ? normal[h][k - 1] : label(gen);
    }
  const Haplotype &founder = normal[alleles];
  patients.clear();
  for (int p = 0; p < chromosomes; p++) {
    Haplotype hap = normal[donor(gen)];
    const int lo = std::max(0, markers / 2 - static_cast<int>(stretch(gen)));
    const int hi = std::min(markers - 1, markers / 2 + static_cast<int>(stretch(gen)));
    for (int k = lo; k <= hi; k++)
      hap[k] = founder[k];
    patients.push_back(hap);
  }
  for (int h = alleles + 1; h < normalHaplotypes; h++)
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
std::string controlText(bool genotypes) {
  std::mt19937 gen(20240611);
  std::vector<Haplotype> normal, patients;
  makeData(gen, normal, patients);
  std::ostringstream f;
  f << "Data as genotypes\n"
    << genotypes << "\nGenetic model\n0\nRead old file\n0\nUse fixed random seed\n-4711\n"
    << "# chromosomes\n"
    << (genotypes ? 2 : 1) * chromosomes << "\n#loci per chromosome\n"
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
    << "\n# Simulation runs (chains)\n1\nStarting value(s) for mutation\n"
    << end / 2 << "\nPopulation growth rate\n0.5\nProportion of population sampled\n0.1\n"
    << "Iterate ancestral state, mutation age, mutation location, allele freq\n1 1 1 1\n"
    << "Flip all Loci\n0\n"
    << "Adjustment level for tree, root, recdist, ancestral, internal states, alleles,algswitch\n"
    << "5 10 0.005 0.3 0.3 0.05 1\nBurn-in iteration\n1000\nIterations\n10000\n"
    << "Screen and file updates, save acceptance props, save haplotypes, save individual "
       "haplotypes...\n0 0 0 0\nNumber of histogram bars\n20\nAlpha level\n0.05\n"
    << "Mutation age\n50\nMutation age boundaries\n10 200\nStar genealogy\n0\n"
    << "Loci for the root\n";
  writeRow(f, normal[alleles]);
  f << "Patient haplo- or genotypes:\n";
  std::uniform_int_distribution<int> donor(0, normalHaplotypes - 1);
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

// Writes the control file to a fresh folder and starts the run from it as the
// program does: reader, run set-up, the chains' starting states.
void startRun(bool genotypes) {
  char dir[] = "/tmp/mutloc-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr)
    std::abort();
  const std::string path = std::string(dir) + "/control.in";
  std::ofstream(path) << controlText(genotypes);
  std::ifstream control(path);
  std::ostringstream log;
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  normalHaps.clear();
  int segCount = 0;
  maxAllele = readdata3(&seed, &segCount, control, log, patientData, normalHaps);
  if (maxAllele == 0)
    std::abort();
  setuprun();
  initchains(&seed, log);
  std::filesystem::remove_all(dir);
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

void reportMemory(benchmark::State &state) {
  const double trees = bytes(chainTree) + bytes(sortedTree) + bytes(propTree) + bytes(nodeTimes);
  const double samples = bytes(locationSamples) + bytes(ageSamples) + bytes(hapstate);
  const double tables = bytes(pset.popHapFreqs) + bytes(MP1) + bytes(normalHaps) + bytes(normmat) +
                        bytes(patientData) + bytes(simAlleleFreqs) + bytes(missingLoci) +
                        bytes(missingNormalLoci);
  const auto counter = [](double value) {
    return benchmark::Counter(value, benchmark::Counter::kDefaults,
                              benchmark::Counter::OneK::kIs1024);
  };
  state.counters["treeBytes"] = counter(trees);
  state.counters["sampleBytes"] = counter(samples);
  state.counters["tableBytes"] = counter(tables);
  state.counters["stateBytes"] = counter(trees + samples + tables);
}

// The moves of one burn-in iteration of a chain, in the loop's order, without
// the trace and screen records.
void wholeIteration(Seed *s, int ch) {
  updateFrequenciesAndMissing(s, ch);
  updateGenealogy(s, ch, 0);
  updateLocation(s, ch);
  updateStates(s, ch);
  if (pset.dataAsGenotypes)
    updatePhase(s, ch);
}

void genealogyMove(Seed *s, int ch) {
  updateGenealogy(s, ch, 0);
}

// Argument: the data kind, 0 = haplotypes, 1 = unpaired genotypes. The chain
// moves on from iteration to iteration, as in a run.
void sampler(benchmark::State &state, void (*step)(Seed *, int)) {
  startRun(state.range(0) == 1);
  for (auto _ : state)
    step(&seed, 0);
  reportMemory(state);
}

} // namespace

BENCHMARK_CAPTURE(sampler, iteration, wholeIteration)->ArgName("genotypes")->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(sampler, frequenciesAndMissing, updateFrequenciesAndMissing)
    ->ArgName("genotypes")
    ->Arg(0)
    ->Arg(1);
BENCHMARK_CAPTURE(sampler, genealogy, genealogyMove)->ArgName("genotypes")->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(sampler, location, updateLocation)->ArgName("genotypes")->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(sampler, states, updateStates)->ArgName("genotypes")->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(sampler, phase, updatePhase)->ArgName("genotypes")->Arg(1);
