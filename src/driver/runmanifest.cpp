// Writing the run's manifest.
#include "runmanifest.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>
#include <unistd.h>
#include <utility>
#include <vector>

#include "outfile.h"

RunManifest newRunManifest() {
  RunManifest m;
  std::random_device entropy;
  char id[17];
  std::snprintf(id, sizeof id, "%08x%08x", entropy(), entropy());
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
  std::vector<std::pair<const char *, std::string>> fields = {
      {"run", m.id},
      {"started", m.started},
      {"process", std::to_string(m.process)},
      {"seed", m.seed},
      {"sampler", m.sampler},
      {"chains", std::to_string(m.chains)},
      {"iterations", std::to_string(m.iterations)},
      {"done", std::to_string(m.done)},
      {"sampled", std::to_string(m.sampled)}};
  // Only the mixing sampler thins its draws file.
  if (m.thin > 0)
    fields.emplace_back("thin", std::to_string(m.thin));
  fields.emplace_back("state", m.state);
  file << "field\tvalue\n";
  for (const auto &[field, value] : fields)
    file << field << '\t' << value << '\n';
  file.close();
  if (file.failure() != 0) {
    std::remove(temporary.c_str());
    return file.failure();
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
}
