// The pooled and per-chain summary of a run's location and age draws: point
// estimates, highest-density intervals, convergence diagnostics, and the
// markers that flank each location interval, written as a tab-separated table.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "diagnostics.h"

// What the summary is made from, all plain values.
struct SummaryInput {
  ChainDraws location;         // Morgans, [chain][draw] in sampling order
  ChainDraws age;              // generations, likewise
  std::vector<double> markers; // map position of marker k + 1 at index k
  double alpha = 0.05;         // intervals cover 1 - alpha
  bool ageSampled = true;      // false when the run holds the age fixed
  ChainDraws share;            // the founder share (heterogeneity), or none
};

// One line of the table. chain is 1..K, or 0 for all chains pooled. The
// flanking markers are numbered from 1; 0 means none (or not a location).
struct SummaryRow {
  std::string parameter;
  int chain = 0;
  long draws = 0;
  double mean = 0, sd = 0, median = 0, hpdLow = 0, hpdHigh = 0;
  double rhat = 0, essBulk = 0, essTail = 0;
  int markerBelow = 0, markerAbove = 0;
};

// Rows for location, age and (when drawn) founder_share: each chain, then the
// pooled row.
std::vector<SummaryRow> summarise(const SummaryInput &input);
// The table with its header line; figures that cannot be computed are NA.
void writeSummaryTable(std::ostream &out, const std::vector<SummaryRow> &rows, double level);
