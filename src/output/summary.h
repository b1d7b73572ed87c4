// The pooled and per-chain summary of a run's location and age draws (and
// founder share and log-likelihood, when kept): point estimates,
// highest-density intervals, convergence diagnostics, and the markers that
// flank each location interval, written as a tab-separated table.
#pragma once

#include <cmath>
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
  ChainDraws logLikelihood;    // the chains' log-likelihood (mixing sampler), or none
  bool interrupted = false;    // the run stopped before the iterations asked for
  // Where the markers lie on the genome, when known (else empty): ID,
  // chromosome and base position of marker k + 1 at index k.
  std::vector<std::string> markerIds, markerChroms;
  std::vector<long long> markerBases;
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
  // With the genome known (location rows): the flanking markers' IDs, the
  // chromosome, and the median and interval in base pairs, interpolated
  // between the markers around each (NaN off the map or across chromosomes).
  std::string idBelow, idAbove, chrom;
  double medianBp = NAN, lowBp = NAN, highBp = NAN;
};

// Rows for location, age and (when drawn) founder_share and log_likelihood:
// each chain, then the pooled row. An interrupted run ends with a row whose
// parameter is "interrupted", chain "all", with the pooled draws and no
// estimates (NA), so that a reader of the table alone sees that the run
// stopped short.
std::vector<SummaryRow> summarise(const SummaryInput &input);
// The table with its header line; figures that cannot be computed are NA.
// With genome, the columns marker_below_id, marker_above_id, chrom,
// median_bp, hpd_low_bp and hpd_high_bp follow. The last column, run, holds
// the run's identity.
void writeSummaryTable(std::ostream &out, const std::vector<SummaryRow> &rows, double level,
                       const std::string &run, bool genome = false);
// The base position of map position x (in the map's units) between the
// markers at map[k] and map[k + 1], on the straight line through their base
// positions; NaN outside the map or between markers of two chromosomes.
double basePosition(double x, const std::vector<double> &map, const std::vector<long long> &bases,
                    const std::vector<std::string> &chroms);
