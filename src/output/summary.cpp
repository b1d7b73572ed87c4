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

} // namespace

std::vector<SummaryRow> summarise(const SummaryInput &input) {
  std::vector<SummaryRow> rows;
  addRows("location", input.location, input, rows);
  for (SummaryRow &row : rows)
    if (row.draws > 0)
      flankingMarkers(input.markers, row);
  addRows("age", input.age, input, rows);
  if (!input.share.empty())
    addRows("founder_share", input.share, input, rows);
  return rows;
}

void writeSummaryTable(std::ostream &out, const std::vector<SummaryRow> &rows, double level) {
  out << "parameter\tchain\tdraws\tmean\tsd\tmedian\thpd_level\thpd_low\thpd_high\trhat\tess_bulk"
         "\tess_tail\tmarker_below\tmarker_above\n";
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
    out << '\n';
  }
  out.flush();
}
