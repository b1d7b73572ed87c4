// The command line: `mutloc [--out PREFIX] CONTROL_FILE`, --help and
// --version. A run without options is the plain run of the control file.
#include "options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "messages.h"

#ifndef MUTLOC_VERSION
#define MUTLOC_VERSION "unknown"
#endif
#ifndef MUTLOC_BUILD_TYPE
#define MUTLOC_BUILD_TYPE "unknown"
#endif

namespace {

bool isOption(const char *arg) {
  return arg[0] == '-' && arg[1] != '\0';
}

constexpr long maxThreads = 1024;
constexpr long maxThin = 1000000000;

// The value of an option written "--name VALUE" or "--name=VALUE" at
// argv[k] (k is moved past a separate value); false when it has none.
bool optionValue(const char *name, int argc, const char *const *argv, int &k, std::string &value) {
  const size_t length = std::strlen(name);
  const char *arg = argv[k];
  if (std::strncmp(arg, name, length) != 0)
    return false;
  if (arg[length] == '=') {
    value = arg + length + 1;
    return true;
  }
  if (arg[length] != '\0' || k + 1 >= argc)
    return false;
  value = argv[++k];
  return true;
}

// A whole string read as a whole number from low to high.
bool readCount(const std::string &text, long low, long high, long &value) {
  char *end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && value >= low && value <= high;
}

// A whole string read as a finite number.
bool readNumber(const std::string &text, double &value) {
  char *end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(value);
}

bool named(const char *arg, const char *name) {
  const size_t length = std::strlen(name);
  return std::strncmp(arg, name, length) == 0 && (arg[length] == '\0' || arg[length] == '=');
}

} // namespace

Options parseOptions(int argc, const char *const *argv) {
  Options o;
  bool optionsEnded = false, sharePriorGiven = false;
  auto fail = [&o](const std::string &error) {
    o.action = Options::Action::usageError;
    o.error = error;
    return o;
  };
  for (int k = 1; k < argc; k++) {
    const char *arg = argv[k];
    if (!optionsEnded && isOption(arg)) {
      if (std::strcmp(arg, "--") == 0) {
        optionsEnded = true;
      } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
        o.action = Options::Action::help;
        return o;
      } else if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-V") == 0) {
        o.action = Options::Action::version;
        return o;
      } else if (std::strncmp(arg, "--out=", 6) == 0) {
        o.outPrefix = arg + 6;
        if (o.outPrefix.empty())
          return fail(msg::missingOptionValue + std::string("--out"));
      } else if (std::strcmp(arg, "--out") == 0 || std::strcmp(arg, "-o") == 0) {
        if (k + 1 >= argc || argv[k + 1][0] == '\0')
          return fail(msg::missingOptionValue + std::string(arg));
        o.outPrefix = argv[++k];
      } else if (named(arg, "--sampler")) {
        std::string value;
        if (!optionValue("--sampler", argc, argv, k, value))
          return fail(msg::missingOptionValue + std::string("--sampler"));
        if (value != "exact" && value != "mixing")
          return fail(msg::badSampler + value);
        o.mixing = value == "mixing";
      } else if (named(arg, "--threads")) {
        std::string value;
        if (!optionValue("--threads", argc, argv, k, value))
          return fail(msg::missingOptionValue + std::string("--threads"));
        long n = 0;
        if (!readCount(value, 1, maxThreads, n))
          return fail(msg::badThreads + value);
        o.threads = static_cast<int>(n);
      } else if (named(arg, "--thin")) {
        std::string value;
        if (!optionValue("--thin", argc, argv, k, value))
          return fail(msg::missingOptionValue + std::string("--thin"));
        if (!readCount(value, 1, maxThin, o.thin))
          return fail(msg::badThin + value);
      } else if (named(arg, "--markers")) {
        if (!optionValue("--markers", argc, argv, k, o.markerList) || o.markerList.empty())
          return fail(msg::missingOptionValue + std::string("--markers"));
      } else if (std::strcmp(arg, "--heterogeneity") == 0) {
        o.heterogeneity = true;
      } else if (named(arg, "--founder-share-prior")) {
        std::string value;
        if (!optionValue("--founder-share-prior", argc, argv, k, value))
          return fail(msg::missingOptionValue + std::string("--founder-share-prior"));
        const size_t comma = value.find(',');
        if (comma == std::string::npos || !readNumber(value.substr(0, comma), o.sharePriorA) ||
            !readNumber(value.substr(comma + 1), o.sharePriorB) || !(o.sharePriorA > 0) ||
            !(o.sharePriorB > 0))
          return fail(msg::badSharePrior + value);
        sharePriorGiven = true;
      } else if (named(arg, "--founder-share")) {
        std::string value;
        if (!optionValue("--founder-share", argc, argv, k, value))
          return fail(msg::missingOptionValue + std::string("--founder-share"));
        if (!readNumber(value, o.fixedShare) || !(o.fixedShare > 0) || !(o.fixedShare <= 1))
          return fail(msg::badShare + value);
      } else {
        return fail(msg::unknownOption + std::string(arg));
      }
      continue;
    }
    if (!o.controlFile.empty())
      return fail(msg::extraArgument + std::string(arg));
    o.controlFile = arg;
  }
  if (!o.heterogeneity && (sharePriorGiven || o.fixedShare > 0))
    return fail(msg::shareWithoutHeterogeneity);
  if (o.heterogeneity && !o.mixing)
    return fail(msg::heterogeneityNeedsMixing);
  return o;
}

std::string usageText() {
  return "Usage: mutloc [OPTIONS] CONTROL_FILE\n"
         "\n"
         "Locates a disease mutation on a map of markers by linkage disequilibrium, with\n"
         "the settings and data of CONTROL_FILE. Writes seven files named after it:\n"
         "CONTROL_FILE.dat (trace), .log (settings), .sig and .tre (location and age\n"
         "histograms), .hap and .hpf (haplotypes), .mat (final genealogy); and beside\n"
         "them .summary.tsv (estimates, intervals, R-hat, effective sample sizes),\n"
         ".chain1.tsv ... (per-chain traces), .draws.tsv (every draw), .verdict.txt\n"
         "(whether the chains agree, also the last words on standard error) and,\n"
         "written last, .run.tsv (the run's identity and whether it is complete). The\n"
         "files of an earlier run of the same names move into CONTROL_FILE.earlier/.\n"
         "\n"
         "Options:\n"
         "  -o, --out PREFIX  write the seven files as PREFIX.dat, PREFIX.log, ... instead\n"
         "                    (PREFIX's folder is made when missing); exons.txt and\n"
         "                    inmat.txt stay in the working folder\n"
         "  --sampler exact   the default: the sampler whose every draw the program has\n"
         "                    always made (a fixed seed repeats a run byte for byte)\n"
         "  --sampler mixing  the sampler to use for an analysis: chains that start\n"
         "                    from genealogies grouping similar haplotypes, move every\n"
         "                    hidden allele in every iteration, and run on streams of\n"
         "                    their own and on several cores (see the README)\n"
         "  --threads N       with --sampler mixing, run the chains on N threads\n"
         "                    (default: one per core, at most one per chain); the\n"
         "                    output does not depend on N. The exact sampler runs on\n"
         "                    one thread: there it only warns that it has no effect\n"
         "  --thin N          with --sampler mixing, keep every N-th sampling iteration\n"
         "                    in .draws.tsv and every N-th row in the per-chain traces\n"
         "                    (default: 1, or the N that keeps a large run's draws and\n"
         "                    traces to about 16 MB; shown on standard error). The\n"
         "                    summary and verdict use every draw. The exact sampler\n"
         "                    keeps every draw: there it only warns that it has no effect\n"
         "  --heterogeneity   with --sampler mixing: some patient chromosomes may not\n"
         "                    descend from the founder (other mutations, another\n"
         "                    founder, misdiagnosis); estimates the founder share and\n"
         "                    each chromosome's membership (.membership.tsv)\n"
         "  --founder-share-prior A,B\n"
         "                    Beta(A, B) prior of the founder share (default 1,1)\n"
         "  --founder-share F hold the founder share at F (0 < F <= 1)\n"
         "  --markers FILE    the marker list (IDs, chromosome, base positions) that\n"
         "                    mutloc-prepare writes; by default CONTROL_FILE.markers.tsv\n"
         "                    when it exists. The summary and verdict then name markers\n"
         "                    by ID and give the location in base pairs\n"
         "  -h, --help        show this help and exit\n"
         "  -V, --version     show the version and the build options and exit\n"
         "  --                end of options (for a control file whose name starts with -)\n"
         "\n"
         "While it runs:\n"
         "  Standard output shows a record every \"screen update\" iterations. Standard\n"
         "  error shows warnings and, when it is a terminal, a progress line.\n"
         "  Ctrl-C (SIGINT) or SIGTERM stops the run after the current iteration and\n"
         "  writes the final files from the samples taken so far.\n"
         "  If the control file has an error, earlier output files of the same name are\n"
         "  left as they were.\n"
         "\n"
         "Exit status:\n"
         "  0    finished\n"
         "  1    an error stopped the run (its message says which): an error in the\n"
         "       control file, a file that cannot be opened or written, a run larger\n"
         "       than memory, a prefix another run is using\n"
         "  255  a wrong number of adjustment levels in the control file\n"
         "  2    a wrong command line\n"
         "  130  interrupted by SIGINT, 143 by SIGTERM\n";
}

std::string versionText() {
  std::string text = "mutloc " MUTLOC_VERSION "\n";
  text += "build: " MUTLOC_BUILD_TYPE ", compiler " __VERSION__;
#ifdef MUTLOC_TRACE_DRAWS
  text += ", draw tracing on";
#endif
#if defined(__SANITIZE_ADDRESS__)
  text += ", AddressSanitizer";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  text += ", AddressSanitizer";
#endif
#endif
  text += ", -ffp-contract=off\n";
  return text;
}
