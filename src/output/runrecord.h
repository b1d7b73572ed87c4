// What a run keeps beside its seven files: an open trace per chain, written
// at every .dat record, and every chain's draws in sampling order, kept for the
// summary before the histograms sort them.
#pragma once

#include <memory>
#include <vector>

#include "diagnostics.h"
#include "membership.h"
#include "outfile.h"

struct RunRecord {
  std::vector<std::unique_ptr<OutFile>> traces; // one per chain, in chain order
  ChainDraws locationDraws;
  ChainDraws ageDraws;
  bool mixing = false; // drawn by the mixing sampler
  // With --heterogeneity: the founder share's draws and the memberships by
  // row of the patient block (no copies without the option).
  ChainDraws shareDraws;
  MembershipTable membership;
};
