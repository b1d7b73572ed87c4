// The run's companion outputs: the per-chain trace files opened before
// sampling, and the summary table and closing verdict written after it.
#pragma once

#include <string>

#include "runrecord.h"

// Opens <base>.chain1.tsv .. <base>.chainK.tsv with their headers; stops the
// run when one cannot be opened.
void openChainTraces(const std::string &base, int chains, RunRecord &record);
// Writes <base>.summary.tsv from the record's draws and the settings, every
// draw to <base>.draws.tsv, and the verdict to <base>.verdict.txt and, as the
// run's last words, to standard error.
void writeRunReport(const std::string &base, const RunRecord &record);
