// Builds the summary rows from plain draws and writes them as a table that R
// (read.table with header = TRUE) and spreadsheets read as they are.
#include "summary.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <ostream>

namespace {

constexpr int tablePrecision = 8;

// Marker numbers enclosing [low, high]: the last marker at or left of low and
// the first at or right of high (0 when the interval passes the map's end).
void flankingMarkers(const std::vector<double> &markers, SummaryRow &row) {
  row.markerBelow = row.markerAbove = 0;
  for (size_t k = 0; k < markers.size(); k++) {
    if (markers[k] <= row.hpdLow)
      row.markerBelow = k + 1;
    if (markers[k] >= row.hpdHigh && row.markerAbove == 0)
      row.markerAbove = k + 1;
  }
}

SummaryRow describe(const std::string &parameter, int chain, const ChainDraws &draws,
                    double level) {
  std::vector<double> all;
  for (const auto &c : draws)
    all.insert(all.end(), c.begin(), c.end());
  std::vector<double> sorted = all;
  std::sort(sorted.begin(), sorted.end());
  SummaryRow row;
  row.parameter = parameter;
  row.chain = chain;
  row.draws = all.size();
  row.mean = sampleMean(all);
  row.sd = sampleSd(all);
  row.median = sortedQuantile(sorted, 0.5);
  const Interval hpd = highestDensityInterval(sorted, level);
  row.hpdLow = hpd.low;
  row.hpdHigh = hpd.high;
  row.rhat = rankSplitRhat(draws);
  row.essBulk = essBulk(draws);
  row.essTail = essTail(draws);
  return row;
}

void addRows(const std::string &parameter, const ChainDraws &draws, const SummaryInput &input,
             std::vector<SummaryRow> &rows) {
  const double level = 1 - input.alpha;
  for (size_t ch = 0; ch < draws.size(); ch++)
    rows.push_back(describe(parameter, ch + 1, {draws[ch]}, level));
  rows.push_back(describe(parameter, 0, draws, level));
}

// The row that marks an interrupted run: the pooled draws and no estimates.
SummaryRow interruptionRow(const ChainDraws &location) {
  SummaryRow row;
  row.parameter = "interrupted";
  for (const auto &c : location)
    row.draws += c.size();
  row.mean = row.sd = row.median = row.hpdLow = row.hpdHigh = NAN;
  row.rhat = row.essBulk = row.essTail = NAN;
  return row;
}

void writeNumber(std::ostream &out, double v) {
  if (std::isnan(v))
    out << "NA";
  else if (std::isinf(v))
    out << (v > 0 ? "Inf" : "-Inf");
  else
    out << v;
}

void writeMarker(std::ostream &out, int marker) {
  if (marker == 0)
    out << "NA";
  else
    out << marker;
}

// The marker that begins the map interval holding x: the last but one at most.
size_t intervalStart(double x, const std::vector<double> &map) {
  size_t k = 0;
  while (k + 2 < map.size() && map[k + 1] <= x)
    k++;
  return k;
}

// The genome's names and base pairs of a location row.
void placeOnGenome(const SummaryInput &in, SummaryRow &row) {
  if (row.markerBelow > 0)
    row.idBelow = in.markerIds[row.markerBelow - 1];
  if (row.markerAbove > 0)
    row.idAbove = in.markerIds[row.markerAbove - 1];
  const auto bp = [&](double x) {
    return basePosition(x, in.markers, in.markerBases, in.markerChroms);
  };
  row.medianBp = bp(row.median);
  row.lowBp = bp(row.hpdLow);
  row.highBp = bp(row.hpdHigh);
  if (!std::isnan(row.medianBp))
    row.chrom = in.markerChroms[intervalStart(row.median, in.markers)];
}

} // namespace

double basePosition(double x, const std::vector<double> &map, const std::vector<long long> &bases,
                    const std::vector<std::string> &chroms) {
  if (map.empty() || !(x >= map.front() && x <= map.back()))
    return NAN;
  const size_t k = intervalStart(x, map);
  if (map.size() == 1 || map[k + 1] == map[k])
    return static_cast<double>(bases[k]);
  if (chroms[k] != chroms[k + 1])
    return NAN;
  const double share = (x - map[k]) / (map[k + 1] - map[k]);
  return static_cast<double>(bases[k]) + share * static_cast<double>(bases[k + 1] - bases[k]);
}

std::vector<SummaryRow> summarise(const SummaryInput &input) {
  std::vector<SummaryRow> rows;
  addRows("location", input.location, input, rows);
  for (SummaryRow &row : rows)
    if (row.draws > 0) {
      flankingMarkers(input.markers, row);
      if (!input.markerIds.empty())
        placeOnGenome(input, row);
    }
  addRows("age", input.age, input, rows);
  if (!input.share.empty())
    addRows("founder_share", input.share, input, rows);
  if (!input.logLikelihood.empty())
    addRows("log_likelihood", input.logLikelihood, input, rows);
  if (input.interrupted)
    rows.push_back(interruptionRow(input.location));
  return rows;
}

void writeSummaryTable(std::ostream &out, const std::vector<SummaryRow> &rows, double level,
                       const std::string &run, bool genome) {
  out << "parameter\tchain\tdraws\tmean\tsd\tmedian\thpd_level\thpd_low\thpd_high\trhat\tess_bulk"
         "\tess_tail\tmarker_below\tmarker_above";
  if (genome)
    out << "\tmarker_below_id\tmarker_above_id\tchrom\tmedian_bp\thpd_low_bp\thpd_high_bp";
  out << "\trun\n";
  out << std::setprecision(tablePrecision);
  for (const SummaryRow &r : rows) {
    out << r.parameter << '\t';
    if (r.chain == 0)
      out << "all";
    else
      out << r.chain;
    out << '\t' << r.draws;
    for (double v :
         {r.mean, r.sd, r.median, level, r.hpdLow, r.hpdHigh, r.rhat, r.essBulk, r.essTail}) {
      out << '\t';
      writeNumber(out, v);
    }
    out << '\t';
    writeMarker(out, r.markerBelow);
    out << '\t';
    writeMarker(out, r.markerAbove);
    if (genome) {
      for (const std::string *name : {&r.idBelow, &r.idAbove, &r.chrom})
        out << '\t' << (name->empty() ? "NA" : *name);
      for (double bp : {r.medianBp, r.lowBp, r.highBp}) {
        out << '\t';
        if (std::isnan(bp))
          out << "NA";
        else
          out << std::llround(bp);
      }
    }
    out << '\t' << run << '\n';
  }
  out.flush();
}
