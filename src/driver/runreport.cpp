// Connects the run's settings and draws to the trace, summary and verdict
// writers, which themselves take plain values only.
#include "runreport.h"

#include <fstream>
#include <iostream>

#include "chaintrace.h"
#include "messages.h"
#include "mutloc.h"
#include "stop.h"
#include "summary.h"
#include "verdict.h"

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
  const std::vector<SummaryRow> rows = summarise(input);

  const std::string path = base + ".summary.tsv";
  std::ofstream table(path, std::ios::out | std::ios::trunc);
  if (!table.is_open())
    stop(path + msg::cantBeOpened);
  writeSummaryTable(table, rows, 1 - input.alpha);
  writeVerdict(std::cerr, rows, pset.numChains, 1 - input.alpha, input.ageSampled);
}
