// The run's companion outputs: the per-chain trace files opened before
// sampling, and the summary table and closing verdict written after it.
#pragma once

#include <string>

#include "runrecord.h"

// Opens <base>.chain1.tsv .. <base>.chainK.tsv with their headers; stops the
// run when one cannot be opened.
// With membership, the traces carry the heterogeneity model's columns.
void openChainTraces(const std::string &base, int chains, RunRecord &record,
                     bool membership = false);
// Stops the run when a write to a trace has failed.
void checkChainTraces(const RunRecord &record);
// Closes the traces, stopping the run at the first that failed.
void closeChainTraces(RunRecord &record);
// Writes <base>.summary.tsv from the record's draws and the settings, every
// record.thin-th draw to <base>.draws.tsv, and the verdict to
// <base>.verdict.txt (closed by a line naming the run); returns the verdict
// without that line, which the caller prints as the run's last words. Stops
// the run when a file cannot be written.
std::string writeRunReport(const std::string &base, const RunRecord &record);
