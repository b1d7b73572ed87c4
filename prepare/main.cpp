// mutloc-prepare: converts VCF/BCF or PLINK text genotypes and a genetic map
// into a mutloc control file. Exit status 0 when written, 1 when the data
// cannot be converted, 2 for a wrong command line; nothing is written on an
// error.
#include <htslib/hts.h>
#include <iostream>
#include <new>

#include "convert.h"
#include "failure.h"
#include "options.h"

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    const Options options = parseOptions(args);
    if (options.help) {
      std::cout << helpText();
      return 0;
    }
    if (options.version) {
      std::cout << "mutloc-prepare " MUTLOC_VERSION " (htslib " << hts_version() << ")\n";
      return 0;
    }
    std::cout << convert(options, std::cerr);
    return 0;
  } catch (const UsageError &e) {
    std::cerr << "mutloc-prepare: " << e.what() << "\n"
              << "Run mutloc-prepare --help for the options.\n";
    return 2;
  } catch (const DataError &e) {
    std::cerr << "mutloc-prepare: " << e.what() << "\n";
    return 1;
  } catch (const std::bad_alloc &) {
    std::cerr << "mutloc-prepare: not enough memory for the data\n";
    return 1;
  }
}
