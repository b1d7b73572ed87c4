// Connects the run's settings and draws to the trace, summary and verdict
// writers, which themselves take plain values only.
#include "runreport.h"

#include <cerrno>
#include <functional>
#include <limits>
#include <sstream>

#include "chaintrace.h"
#include "mutloc.h"
#include "summary.h"
#include "verdict.h"

namespace {

// Writes the file at path whole, through write.
void writeFile(const std::string &path, const std::function<void(std::ostream &)> &write) {
  OutFile file;
  if (!file.open(path))
    stopUnopened(path, errno);
  write(file);
  closeOrStop(file);
}

// The sampling draws in order (every record.thin-th), with all the digits of a
// double, so that the report computes its own diagnostics on the draws the
// summary used (on all of them when nothing is thinned); with heterogeneity,
// the founder share too; every row ends with the run's identity.
void writeDraws(std::ostream &out, const RunRecord &record) {
  const bool share = !record.shareDraws.empty();
  out << "chain\titeration\tlocation\tage" << (share ? "\tfounder_share" : "") << "\trun\n";
  out.precision(std::numeric_limits<double>::max_digits10);
  const long burnIn = pset.burnInIterations;
  for (size_t ch = 0; ch < record.locationDraws.size(); ch++)
    for (size_t i = 0; i < record.locationDraws[ch].size(); i += record.thin) {
      out << ch + 1 << '\t' << burnIn + static_cast<long>(i) << '\t' << record.locationDraws[ch][i]
          << '\t' << record.ageDraws[ch][i];
      if (share)
        out << '\t' << record.shareDraws[ch][i];
      out << '\t' << record.run << '\n';
    }
}

} // namespace

void openChainTraces(const std::string &base, int chains, RunRecord &record, bool membership) {
  record.traces.clear();
  for (int ch = 1; ch <= chains; ch++) {
    const std::string path = base + ".chain" + std::to_string(ch) + ".tsv";
    auto file = std::make_unique<OutFile>();
    if (!file->open(path))
      stopUnopened(path, errno);
    writeTraceHeader(*file, membership);
    record.traces.push_back(std::move(file));
  }
}

void checkChainTraces(const RunRecord &record) {
  for (const auto &trace : record.traces)
    stopIfUnwritten(*trace);
}

void closeChainTraces(RunRecord &record) {
  for (const auto &trace : record.traces)
    closeOrStop(*trace);
}

std::string writeRunReport(const std::string &base, const RunRecord &record) {
  SummaryInput input;
  input.location = record.locationDraws;
  input.age = record.ageDraws;
  // Marker k sits at mapDist[k], numbered from 1.
  if (pset.mapDist.size() > 1)
    input.markers.assign(pset.mapDist.begin() + 1, pset.mapDist.end());
  input.alpha = pset.alphaLevel;
  input.ageSampled = pset.iterMutAge != 0 && pset.starGenealogy == 0;
  input.share = record.shareDraws;
  input.logLikelihood = record.logLikDraws;
  input.interrupted = record.done < record.total;
  input.markerIds = record.markerIds;
  input.markerChroms = record.markerChroms;
  input.markerBases = record.markerBases;
  const std::vector<SummaryRow> rows = summarise(input);

  writeFile(base + ".summary.tsv", [&](std::ostream &out) {
    writeSummaryTable(out, rows, 1 - input.alpha, record.run, !input.markerIds.empty());
  });
  writeFile(base + ".draws.tsv", [&](std::ostream &out) { writeDraws(out, record); });
  const MembershipTable *membership = nullptr;
  if (!record.membership.copies.empty()) {
    writeFile(base + ".membership.tsv",
              [&](std::ostream &out) { writeMembershipTable(out, record.membership, record.run); });
    membership = &record.membership;
  }
  std::ostringstream verdict;
  const std::string interruption =
      input.interrupted
          ? "after iteration " + std::to_string(record.done) + " of " + std::to_string(record.total)
          : "";
  writeVerdict(verdict, rows, pset.numChains, 1 - input.alpha, input.ageSampled, record.mixing,
               membership, interruption);
  // The file's last line names the run; the screen's verdict leaves it out.
  writeFile(base + ".verdict.txt",
            [&](std::ostream &out) { out << verdict.str() << "Run " << record.run << ".\n"; });
  return verdict.str();
}
