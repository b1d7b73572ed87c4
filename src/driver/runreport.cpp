// Connects the run's settings and draws to the trace, summary and verdict
// writers, which themselves take plain values only.
#include "runreport.h"

#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>

#include "chaintrace.h"
#include "messages.h"
#include "mutloc.h"
#include "stop.h"
#include "summary.h"
#include "verdict.h"

namespace {

std::ofstream openOrStop(const std::string &path) {
  std::ofstream file(path, std::ios::out | std::ios::trunc);
  if (!file.is_open())
    stop(path + msg::cantBeOpened);
  return file;
}

// Every sampling draw in order, with all the digits of a double, so that the
// report computes its own diagnostics on exactly the draws the summary used;
// with heterogeneity, the founder share too.
void writeDraws(std::ostream &out, const RunRecord &record) {
  const bool share = !record.shareDraws.empty();
  out << "chain\titeration\tlocation\tage" << (share ? "\tfounder_share\n" : "\n");
  out.precision(std::numeric_limits<double>::max_digits10);
  const long burnIn = pset.burnInIterations;
  for (size_t ch = 0; ch < record.locationDraws.size(); ch++)
    for (size_t i = 0; i < record.locationDraws[ch].size(); i++) {
      out << ch + 1 << '\t' << burnIn + static_cast<long>(i) << '\t' << record.locationDraws[ch][i]
          << '\t' << record.ageDraws[ch][i];
      if (share)
        out << '\t' << record.shareDraws[ch][i];
      out << '\n';
    }
  out.flush();
}

} // namespace

void openChainTraces(const std::string &base, int chains, RunRecord &record) {
  record.traces.clear();
  for (int ch = 1; ch <= chains; ch++) {
    const std::string path = base + ".chain" + std::to_string(ch) + ".tsv";
    auto file = std::make_unique<std::ofstream>(path, std::ios::out | std::ios::trunc);
    if (!file->is_open())
      stop(path + msg::cantBeOpened);
    writeTraceHeader(*file);
    record.traces.push_back(std::move(file));
  }
}

void writeRunReport(const std::string &base, const RunRecord &record) {
  SummaryInput input;
  input.location = record.locationDraws;
  input.age = record.ageDraws;
  // Marker k sits at mapDist[k], numbered from 1.
  if (pset.mapDist.size() > 1)
    input.markers.assign(pset.mapDist.begin() + 1, pset.mapDist.end());
  input.alpha = pset.alphaLevel;
  input.ageSampled = pset.iterMutAge != 0 && pset.starGenealogy == 0;
  input.share = record.shareDraws;
  const std::vector<SummaryRow> rows = summarise(input);

  std::ofstream table = openOrStop(base + ".summary.tsv");
  writeSummaryTable(table, rows, 1 - input.alpha);
  std::ofstream draws = openOrStop(base + ".draws.tsv");
  writeDraws(draws, record);
  const MembershipTable *membership = nullptr;
  if (!record.membership.copies.empty()) {
    std::ofstream file = openOrStop(base + ".membership.tsv");
    writeMembershipTable(file, record.membership);
    membership = &record.membership;
  }
  std::ostringstream verdict;
  writeVerdict(verdict, rows, pset.numChains, 1 - input.alpha, input.ageSampled, record.mixing,
               membership);
  std::ofstream verdictFile = openOrStop(base + ".verdict.txt");
  verdictFile << verdict.str();
  std::cerr << verdict.str() << std::flush;
}
