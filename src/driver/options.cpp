// The command line: `mutloc [--out PREFIX] CONTROL_FILE`, --help and
// --version. A run without options is the plain run of the control file.
#include "options.h"

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

} // namespace

Options parseOptions(int argc, const char *const *argv) {
  Options o;
  bool optionsEnded = false;
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
      } else {
        return fail(msg::unknownOption + std::string(arg));
      }
      continue;
    }
    if (!o.controlFile.empty())
      return fail(msg::extraArgument + std::string(arg));
    o.controlFile = arg;
  }
  return o;
}

std::string usageText() {
  return "Usage: mutloc [OPTIONS] CONTROL_FILE\n"
         "\n"
         "Locates a disease mutation on a map of markers by linkage disequilibrium, with\n"
         "the settings and data of CONTROL_FILE. Writes seven files named after it:\n"
         "CONTROL_FILE.dat (trace), .log (settings), .sig and .tre (location and age\n"
         "histograms), .hap and .hpf (haplotypes), .mat (final genealogy).\n"
         "\n"
         "Options:\n"
         "  -o, --out PREFIX  write the seven files as PREFIX.dat, PREFIX.log, ... instead;\n"
         "                    exons.txt and inmat.txt stay in the working folder\n"
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
         "       control file, a file that cannot be opened, a run larger than memory\n"
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
