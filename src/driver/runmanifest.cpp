// Writing the run's manifest.
#include "runmanifest.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>
#include <unistd.h>

#include "outfile.h"

RunManifest newRunManifest() {
  RunManifest m;
  std::random_device system;
  char id[17];
  std::snprintf(id, sizeof id, "%08x%08x", system(), system());
  m.id = id;
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
  m.started = when;
  m.process = getpid();
  return m;
}

int writeManifest(const std::string &base, const RunManifest &m) {
  const std::string path = base + ".run.tsv", temporary = path + ".partial";
  OutFile file;
  if (!file.open(temporary))
    return errno;
  file << "field\tvalue\n"
       << "run\t" << m.id << "\nstarted\t" << m.started << "\nprocess\t" << m.process
       << "\nseed\t" << m.seed << "\nsampler\t" << m.sampler << "\nchains\t" << m.chains
       << "\niterations\t" << m.iterations << "\ndone\t" << m.done << "\nsampled\t" << m.sampled
       << "\nstate\t" << m.state << '\n';
  file.close();
  if (file.failure() != 0) {
    std::remove(temporary.c_str());
    return file.failure();
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
}
