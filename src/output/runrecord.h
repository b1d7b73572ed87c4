// What a run keeps beside its seven files: an open trace per chain, written
// at every .dat record (every thin-th with the mixing sampler), and every
// chain's draws in sampling order, kept for the summary before the histograms
// sort them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "membership.h"
#include "outfile.h"

struct RunRecord {
  std::vector<std::unique_ptr<OutFile>> traces; // one per chain, in chain order
  ChainDraws locationDraws;
  ChainDraws ageDraws;
  bool mixing = false; // drawn by the mixing sampler
  // The mixing sampler's: the log-likelihood of every sampling iteration,
  // and the thin (the draws file keeps every thin-th sampling iteration, the
  // traces every thin-th of their rows; the summary uses every draw).
  ChainDraws logLikDraws;
  long thin = 1;
  // With --heterogeneity: the founder share's draws and the memberships by
  // row of the patient block (no copies without the option).
  ChainDraws shareDraws;
  MembershipTable membership;
  // With a marker list: each marker's ID, chromosome and base position.
  std::vector<std::string> markerIds, markerChroms;
  std::vector<long long> markerBases;
  // The iterations done and asked for (fewer done: the run was interrupted).
  long done = 0, total = 0;
  // The run's identity from its manifest, on every row of the companion
  // files, so that a file copied in from another run is recognised.
  std::string run;
};
