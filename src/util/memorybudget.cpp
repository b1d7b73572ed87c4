// The memory budget of a run and the stop for a request beyond it.
#include "memorybudget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "messages.h"
#include "stop.h"

namespace {

double limitOf(int resource) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return -1;
  return static_cast<double>(limit.rlim_cur);
}

} // namespace

MemoryBudget machineMemoryBudget() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  double bytes = pages > 0 && pageSize > 0 ? static_cast<double>(pages) * pageSize : 0;
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    const double limit = limitOf(resource);
    if (limit >= 0 && (bytes == 0 || limit < bytes))
      bytes = limit;
  }
  // Without any figure from the system, a budget that refuses only the absurd.
  if (bytes == 0)
    bytes = 1e12;
  return MemoryBudget{bytes};
}

std::string describeBytes(double bytes) {
  const char *units[] = {"bytes", "kB", "MB", "GB", "TB", "PB", "EB"};
  int u = 0;
  while (bytes >= 1000 && u < 6) {
    bytes /= 1000;
    u++;
  }
  char text[64];
  std::snprintf(text, sizeof text, u == 0 ? "%.0f %s" : "%.3g %s", bytes, units[u]);
  return text;
}

void requireMemory(const MemoryBudget &budget, const char *item, double needed) {
  if (needed <= budget.bytes)
    return;
  stop(msg::memoryBefore + std::string(item) + msg::memoryMiddle + describeBytes(needed) +
       msg::memoryAfter + describeBytes(budget.bytes) + msg::memoryEnd);
}
