// Option table, parser and help text of mutloc-prepare. The help is made from
// the same table the parser uses, so every option is documented with its
// default.
#include "options.h"

#include <functional>
#include <set>
#include <sstream>

#include "failure.h"
#include "numbers.h"

namespace {

using Setter = std::function<void(Options &, const std::string &)>;

struct OptionEntry {
  const char *name;
  const char *arg; // "" for a flag
  const char *fallback;
  const char *text;
  Setter set;
};

[[noreturn]] void bad(const std::string &name, const std::string &value, const char *want) {
  throw UsageError(name + " wants " + want + ", not '" + value + "'");
}

double number(const std::string &name, const std::string &v, double low, bool lowIncluded,
              const char *want) {
  double x;
  if (!parseDouble(v, x) || x < low || (!lowIncluded && x == low))
    bad(name, v, want);
  return x;
}

long whole(const std::string &name, const std::string &v, long low, const char *want) {
  long x;
  if (!parseLong(v, x) || x < low || x > 2147483647L)
    bad(name, v, want);
  return x;
}

int flag01(const std::string &name, const std::string &v) {
  if (v != "0" && v != "1")
    bad(name, v, "0 or 1");
  return v == "1";
}

// The items of a comma-separated list, empty ones included.
std::vector<std::string> commaItems(const std::string &v) {
  std::vector<std::string> out(1);
  for (char c : v) {
    if (c == ',')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// A comma-separated list of exactly n numbers.
std::vector<double> numberList(const std::string &name, const std::string &v, size_t n,
                               const char *want) {
  const auto items = commaItems(v);
  if (items.size() != n)
    bad(name, v, want);
  std::vector<double> out(n);
  for (size_t k = 0; k < n; k++)
    if (!parseDouble(items[k], out[k]))
      bad(name, v, want);
  return out;
}

// Text wrapped to lines of at most width characters, each line indented;
// tail (the default) is kept whole on the last line.
std::string wrapped(const std::string &text, const std::string &tail, size_t width,
                    const std::string &indent) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;)
    words.push_back(w);
  if (!tail.empty())
    words.push_back(tail);
  std::string out, line;
  for (const auto &word : words) {
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += indent + line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  return out + indent + line + "\n";
}

std::vector<OptionEntry> optionTable() {
  return {
      {"--vcf", "FILE", "none",
       "VCF or BCF file, plain or compressed; with an index (.tbi/.csi) only the region is "
       "read, without one the file is read through",
       [](Options &o, const std::string &v) { o.vcf = v; }},
      {"--cases", "FILE", "none, required with --vcf",
       "case sample IDs, one per line (blank lines and lines starting with # are passed over)",
       [](Options &o, const std::string &v) { o.cases = v; }},
      {"--controls", "FILE", "every sample that is not a case",
       "control sample IDs, one per line; controls must be phased",
       [](Options &o, const std::string &v) { o.controls = v; }},
      {"--ped", "FILE", "none",
       "PLINK text genotypes; column 6 chooses the groups: 2 case, 1 control, 0 or -9 "
       "(unknown) leave the sample out; alleles are bases (A, C, G, T) or the numbers 1 to 4 "
       "throughout the file, 0 for a missing one; other values are refused",
       [](Options &o, const std::string &v) { o.ped = v; }},
      {"--map-plink", "FILE", "none, required with --ped",
       "the PLINK .map of --ped (chromosome, ID, centimorgans, base position); its "
       "centimorgans are the genetic map when neither --map nor --cm-per-mb is given",
       [](Options &o, const std::string &v) { o.mapPlink = v; }},
      {"--phased", "", "off",
       "the allele order of every --ped genotype is its phase (as phasing programs write it); "
       "without it --ped genotypes are unphased",
       [](Options &o, const std::string &) { o.pedPhased = true; }},
      {"--region", "CHR:START-END", "none, required",
       "the markers converted: one chromosome, base positions START to END included",
       [](Options &o, const std::string &v) { o.region = parseRegion(v); }},
      {"--map", "FILE", "none",
       "genetic map in centimorgans: a PLINK .map or the four-column form 'chr position rate "
       "cM' (one header line allowed); positions are interpolated linearly in base position",
       [](Options &o, const std::string &v) { o.map = v; }},
      {"--map-format", "auto|plink|rate", "auto",
       "how --map is read; auto reads a file named *.map, or one whose first line is 'chr ID "
       "cM position' with an ID that is not a whole number, as PLINK, any other as the "
       "four-column form",
       [](Options &o, const std::string &v) {
         if (v == "auto")
           o.mapFormat = MapFormat::automatic;
         else if (v == "plink")
           o.mapFormat = MapFormat::plink;
         else if (v == "rate")
           o.mapFormat = MapFormat::rate;
         else
           bad("--map-format", v, "auto, plink or rate");
       }},
      {"--cm-per-mb", "X", "none",
       "a constant recombination rate in centimorgans per megabase instead of --map",
       [](Options &o, const std::string &v) {
         o.cmPerMb = number("--cm-per-mb", v, 0, false, "a positive number");
       }},
      {"--out", "FILE", "none, required",
       "the control file written, with OUT.markers.tsv (each marker's number, ID, position, map "
       "position and allele labels) and OUT.dropped.tsv (every site read but not written, with "
       "the reason) beside it; the three are replaced only once all are complete",
       [](Options &o, const std::string &v) { o.out = v; }},
      {"--model", "recessive|dominant", "recessive",
       "recessive: both chromosomes of a case carry the mutation (phased cases give haplotype "
       "data, unphased ones genotype data with both chromosomes as leaves); dominant: one "
       "chromosome of each case does (genotype data, the other chromosome its partner)",
       [](Options &o, const std::string &v) {
         if (v == "recessive")
           o.model = GeneticModel::recessive;
         else if (v == "dominant")
           o.model = GeneticModel::dominant;
         else
           bad("--model", v, "recessive or dominant");
       }},
      {"--min-call-rate", "X", "0.9",
       "markers whose share of called alleles is below X in the cases or in the controls are "
       "dropped (so are markers without any called control allele): each missing allele is a "
       "value the sampler must draw, and a marker mostly missing adds such draws but little "
       "information. With few cases one missing genotype can drop a marker (1 of 8 cases "
       "missing: 14 of 16 alleles, 0.875); lower X for small groups",
       [](Options &o, const std::string &v) {
         o.minCallRate = number("--min-call-rate", v, 0, true, "a number from 0 to 1");
         if (o.minCallRate > 1)
           bad("--min-call-rate", v, "a number from 0 to 1");
       }},
      {"--skip-bad-records", "", "off",
       "a damaged record (a POS that is not a whole number within its contig, a number of "
       "columns other than the header's, a control byte, anything htslib cannot parse or warns "
       "about) is left out and listed in OUT.dropped.tsv instead of stopping the conversion",
       [](Options &o, const std::string &) { o.skipBadRecords = true; }},
      {"--seed", "S", "1",
       "random seed, a whole number; written as -S so that a rerun repeats the run exactly; 0 "
       "takes the seed from the clock",
       [](Options &o, const std::string &v) { o.seed = whole("--seed", v, 0, "0 or more"); }},
      {"--chains", "K", "2",
       "chains run as independent replicates (two or more give the "
       "convergence statistic)",
       [](Options &o, const std::string &v) {
         o.chains = static_cast<int>(whole("--chains", v, 1, "1 or more"));
       }},
      {"--burn-in", "N", "1000", "iterations discarded before sampling",
       [](Options &o, const std::string &v) { o.burnIn = whole("--burn-in", v, 1, "1 or more"); }},
      {"--iterations", "N", "10000", "sampling iterations",
       [](Options &o, const std::string &v) {
         o.iterations = whole("--iterations", v, 1, "1 or more");
       }},
      {"--location-bounds", "LOW,HIGH", "the first and the last marker",
       "interval searched for the mutation, in Morgans from the first marker",
       [](Options &o, const std::string &v) {
         const auto b = numberList("--location-bounds", v, 2, "two numbers LOW,HIGH, LOW < HIGH");
         if (!(b[0] < b[1]))
           bad("--location-bounds", v, "two numbers LOW,HIGH, LOW < HIGH");
         o.locationBoundsGiven = true;
         o.locationLow = b[0];
         o.locationHigh = b[1];
       }},
      {"--start-location", "X|random", "random",
       "starting location of every chain in Morgans; random draws each chain's start within "
       "the bounds",
       [](Options &o, const std::string &v) {
         o.startGiven = v != "random";
         if (o.startGiven && !parseDouble(v, o.startLocation))
           bad("--start-location", v, "a number or random");
       }},
      {"--growth-rate", "X", "0.08", "exponential growth rate of the population per generation",
       [](Options &o, const std::string &v) {
         o.growthRate = number("--growth-rate", v, 0, false, "a positive number");
       }},
      {"--sampled", "X", "0.02",
       "proportion of the population's disease chromosomes that the cases represent",
       [](Options &o, const std::string &v) {
         o.propSampled = number("--sampled", v, 0, false, "a positive number");
       }},
      {"--iterate", "A,G,L,F", "1,1,1,1",
       "sample the ancestral haplotype (0/1), the mutation age (0/1), the location (0 fixed, 1 "
       "random walk, 2 slice sampling, 3 independence proposals), the allele frequencies (0/1)",
       [](Options &o, const std::string &v) {
         const char *want = "four values A,G,L,F: 0 or 1, L 0 to 3";
         const auto f = numberList("--iterate", v, 4, want);
         for (int k = 0; k < 4; k++) {
           if (f[k] != static_cast<int>(f[k]) || f[k] < 0 || f[k] > (k == 2 ? 3 : 1))
             bad("--iterate", v, want);
           o.iterate[k] = static_cast<int>(f[k]);
         }
       }},
      {"--flip-all-loci", "0|1", "0",
       "1: the missing-allele move may redraw all missing alleles of a chromosome at once",
       [](Options &o, const std::string &v) { o.flipAllLoci = flag01("--flip-all-loci", v); }},
      {"--adjust", "T,R,L,A,I,F", "2,10,auto,0.5,0.5,0.05",
       "proposal settings: node-time and age step, regraft displacement, location step (auto: "
       "a tenth of the map, at most 0.5), ancestral-state and internal-state proposals, "
       "allele-frequency step",
       [](Options &o, const std::string &v) {
         const char *want = "six numbers T,R,L,A,I,F, none negative (L may be auto)";
         const auto items = commaItems(v);
         if (items.size() != 6)
           bad("--adjust", v, want);
         for (int k = 0; k < 6; k++) {
           if (k == 2 && items[k] == "auto") {
             o.adjust[k] = -1;
             continue;
           }
           if (!parseDouble(items[k], o.adjust[k]) || o.adjust[k] < 0)
             bad("--adjust", v, want);
         }
       }},
      {"--population-model", "markov|independent", "markov",
       "the normal population as a Markov chain along the markers or as independent markers",
       [](Options &o, const std::string &v) {
         if (v != "markov" && v != "independent")
           bad("--population-model", v, "markov or independent");
         o.markovPopulation = v == "markov";
       }},
      {"--screen-every", "N", "1000", "a progress line every N iterations",
       [](Options &o, const std::string &v) {
         o.screenEvery = static_cast<int>(whole("--screen-every", v, 1, "1 or more"));
       }},
      {"--file-every", "N", "10", "a trace line in the .dat file every N iterations",
       [](Options &o, const std::string &v) {
         o.fileEvery = static_cast<int>(whole("--file-every", v, 1, "1 or more"));
       }},
      {"--save-accept", "0|1", "1", "acceptance proportions in the .dat file",
       [](Options &o, const std::string &v) { o.saveAccept = flag01("--save-accept", v); }},
      {"--save-haplotypes", "0|1", "1", "pooled disease-chromosome haplotypes in the .hpf file",
       [](Options &o, const std::string &v) { o.saveHaplotypes = flag01("--save-haplotypes", v); }},
      {"--bars", "N", "50", "bars of the location and age histograms",
       [](Options &o, const std::string &v) {
         o.bars = static_cast<int>(whole("--bars", v, 1, "1 or more"));
       }},
      {"--alpha", "X", "0.05", "the highest-density regions cover 1 - X",
       [](Options &o, const std::string &v) {
         o.alpha = number("--alpha", v, 0, false, "a number between 0 and 1");
         if (o.alpha >= 1)
           bad("--alpha", v, "a number between 0 and 1");
       }},
      {"--age", "X|random", "random",
       "starting mutation age in generations; random draws it within the age bounds (a fixed "
       "age, --iterate G 0, needs a number)",
       [](Options &o, const std::string &v) {
         o.age = v == "random" ? -99 : number("--age", v, 0, false, "a positive number or random");
       }},
      {"--age-bounds", "LOW,HIGH", "10,500", "interval of the mutation age in generations",
       [](Options &o, const std::string &v) {
         const char *want = "two numbers LOW,HIGH, 0 <= LOW < HIGH";
         const auto b = numberList("--age-bounds", v, 2, want);
         if (b[0] < 0 || !(b[0] < b[1]))
           bad("--age-bounds", v, want);
         o.ageLow = b[0];
         o.ageHigh = b[1];
       }},
      {"--star", "0|1", "0", "1: a near-star genealogy whose age is not sampled",
       [](Options &o, const std::string &v) { o.star = flag01("--star", v); }},
      {"--read-old", "0|1", "0", "1: chain 0 starts from the genealogy stored in inmat.txt",
       [](Options &o, const std::string &v) { o.readOld = flag01("--read-old", v); }},
      {"--help", "", "", "this text", [](Options &o, const std::string &) { o.help = true; }},
      {"--version", "", "", "show the version and exit",
       [](Options &o, const std::string &) { o.version = true; }},
  };
}

// Checks that concern several options at once.
void checkCombination(const Options &o) {
  if (o.vcf.empty() == o.ped.empty())
    throw UsageError("give one input: --vcf FILE or --ped FILE");
  if (!o.vcf.empty()) {
    if (o.cases.empty())
      throw UsageError("--vcf needs --cases FILE");
    if (!o.mapPlink.empty() || o.pedPhased)
      throw UsageError("--map-plink and --phased belong to --ped");
    if (o.map.empty() == (o.cmPerMb == 0))
      throw UsageError("--vcf needs one genetic map: --map FILE or --cm-per-mb X");
  } else {
    if (o.mapPlink.empty())
      throw UsageError("--ped needs --map-plink FILE");
    if (!o.cases.empty() || !o.controls.empty())
      throw UsageError("with --ped column 6 chooses cases and controls; --cases and --controls "
                       "belong to --vcf");
    if (!o.map.empty() && o.cmPerMb != 0)
      throw UsageError("give --map FILE or --cm-per-mb X, not both");
  }
  if (o.region.chrom.empty())
    throw UsageError("--region CHR:START-END is required");
  if (o.out.empty())
    throw UsageError("--out FILE is required");
  if (o.iterate[1] == 0 && o.age <= 0)
    throw UsageError("a fixed mutation age (--iterate with G 0) needs --age X");
}

} // namespace

Options parseOptions(const std::vector<std::string> &args) {
  const auto table = optionTable();
  Options o;
  std::set<std::string> seen;
  for (size_t i = 0; i < args.size(); i++) {
    std::string name = args[i], value;
    const size_t eq = name.find('=');
    const bool inlineValue = name.compare(0, 2, "--") == 0 && eq != std::string::npos;
    if (inlineValue) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    const OptionEntry *entry = nullptr;
    for (const auto &s : table)
      if (name == s.name)
        entry = &s;
    if (!entry)
      throw UsageError("unknown argument '" + args[i] + "'");
    if (!seen.insert(name).second)
      throw UsageError(name + " is given twice");
    if (*entry->arg == '\0') {
      if (inlineValue)
        throw UsageError(name + " takes no value");
    } else if (!inlineValue) {
      if (i + 1 == args.size())
        throw UsageError(name + " needs a value: " + entry->arg);
      value = args[++i];
    }
    entry->set(o, value);
  }
  if (!o.help && !o.version)
    checkCombination(o);
  return o;
}

std::string helpText() {
  std::ostringstream h;
  h << "mutloc-prepare: writes a mutloc control file from VCF/BCF or PLINK text genotypes and a\n"
       "genetic map.\n\n"
       "Usage:\n"
       "  mutloc-prepare --vcf FILE --cases FILE [--controls FILE] --region CHR:START-END\n"
       "                 (--map FILE | --cm-per-mb X) [options] --out data.in\n"
       "  mutloc-prepare --ped FILE --map-plink FILE [--phased] --region CHR:START-END\n"
       "                 [--map FILE | --cm-per-mb X] [options] --out data.in\n\n"
       "The records of the region are the markers, in file order. Alleles are labelled 1, 2, ...\n"
       "in the order REF, ALT1, ALT2 (PLINK: order of appearance), over the alleles that the\n"
       "cases and controls carry; missing calls (. or 0) become missing alleles. Markers that\n"
       "are monomorphic over cases and controls, or below the minimum call rate, are dropped.\n"
       "Map positions become Morgans from the first marker; markers at equal genetic positions\n"
       "are separated in proportion to their base distance at the nearest non-zero rate of the\n"
       "map (the markers after them move by the same amount). Controls make up the normal\n"
       "population's haplotypes and must be phased.\n\n"
       "Options (each value may also be given as --option=VALUE):\n";
  for (const auto &s : optionTable()) {
    const std::string tail = *s.fallback ? std::string("[default: ") + s.fallback + "]" : "";
    h << "  " << s.name << (*s.arg ? std::string(" ") + s.arg : "") << "\n"
      << wrapped(s.text, tail, 72, "      ");
  }
  h << "\nStandard error notes chromosome names matched loosely (chr7 for 7), records skipped,\n"
       "and why the data are haplotypes or genotypes, naming the first unphased case call.\n"
       "\nExit status: 0 the control file was written; 1 the data could not be converted; 2 the\n"
       "command line is wrong. On an error nothing is written.\n";
  return h.str();
}

std::vector<std::string> optionNames() {
  std::vector<std::string> names;
  for (const auto &s : optionTable())
    names.push_back(s.name);
  return names;
}
