// The memory a run may take: the machine's physical memory, or less where the
// process has a limit of its own. Sizes read from a control file are checked
// against it before anything is allocated, because on this system a huge
// allocation succeeds on paper and fails only when its pages are touched,
// which the out-of-memory killer answers by ending the process unannounced.
#pragma once

#include <cstdint>
#include <string>

struct MemoryBudget {
  double bytes; // a double, so that estimates of absurd requests cannot overflow
};

// Physical memory, lowered to the address-space or data-size limit when one is
// set.
MemoryBudget machineMemoryBudget();

// A byte count for people: "512 bytes", "3.2 MB", "96 GB" (powers of 1000).
std::string describeBytes(double bytes);

// Stops the run (status 1) when needed exceeds the budget, naming item, the
// amount it asks for and the amount there is.
void requireMemory(const MemoryBudget &budget, const char *item, double needed);
