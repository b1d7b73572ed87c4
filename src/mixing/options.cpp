// The command-line options that choose the sampler and its threads. They are
// taken out of the argument list before the rest of it is read, so that a run
// without them is the default run.
#include <cstdlib>
#include <string>
#include <thread>

#include "messages.h"
#include "mixing.h"
#include "stop.h"

namespace {

constexpr int maxThreads = 1024;

int parseThreads(const std::string &text) {
  char *end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < 1 || n > maxThreads)
    stop(msg::badThreads + text);
  return static_cast<int>(n);
}

bool parseSampler(const std::string &text) {
  if (text == "exact")
    return false;
  if (text == "mixing")
    return true;
  stop(msg::badSampler + text);
}

} // namespace

void takeSamplerOptions(int &argc, char **argv, SamplerChoice &choice) {
  int kept = 1;
  for (int a = 1; a < argc; a++) {
    const std::string arg = argv[a];
    std::string name = arg, value;
    const size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (name != "--sampler" && name != "--threads") {
      argv[kept++] = argv[a];
      continue;
    }
    if (eq == std::string::npos) {
      if (a + 1 >= argc)
        stop(name + msg::missingValue);
      value = argv[++a];
    }
    if (name == "--sampler")
      choice.mixing = parseSampler(value);
    else
      choice.threads = parseThreads(value);
  }
  argc = kept;
  argv[kept] = nullptr;
}

int workerCount(int requested, int chainCount) {
  int n = requested;
  if (n <= 0)
    n = static_cast<int>(std::thread::hardware_concurrency());
  if (n > chainCount)
    n = chainCount;
  return n < 1 ? 1 : n;
}
