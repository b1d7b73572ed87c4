// The manifest of a run, <base>.run.tsv: which run wrote the files beside it
// (a random identity, the start time, the seed setting, the process) and how
// far it got. It is written when sampling starts, in state "running", and
// again as the run's last file, in state "complete", "interrupted" or
// "failed"; each time whole under a temporary name that then takes its place.
#pragma once

#include <string>

struct RunManifest {
  std::string id;      // 16 hex digits from the system, not from the run's streams
  std::string started; // UTC, as 2026-01-31T12:00:00Z
  long process = 0;
  std::string seed; // the control file's seed, or "clock"
  std::string sampler;
  int chains = 0;
  long iterations = 0, done = 0; // burn-in included
  long sampled = 0;              // sampling iterations kept per chain
  long thin = 0;                 // mixing sampler: .draws.tsv keeps every thin-th; 0: none
  std::string state;
};

// A manifest with a fresh identity, the time now and this process.
RunManifest newRunManifest();
// Writes base.run.tsv; returns 0, or the system's reason when it failed.
int writeManifest(const std::string &base, const RunManifest &manifest);
