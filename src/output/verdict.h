// The run's closing verdict in plain words: where the mutation lies and how
// old it is, with intervals and units, and whether the chains agree enough for
// those figures to be believed.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "membership.h"
#include "summary.h"

// Chains agree when, for every parameter that varied, R-hat is below this
// and both effective sample sizes reach essNeeded.
inline constexpr double rhatLimit = 1.01;
inline constexpr double essNeeded = 400;

// True when the pooled rows show agreement as defined above (never with one
// chain).
bool chainsAgree(const std::vector<SummaryRow> &rows, int chains, bool ageSampled);
// Writes the verdict from the summary rows of a run with the given number of
// chains; mixing says whether the mixing sampler drew them (the advice
// differs). With heterogeneity, membership holds the chromosomes' memberships
// and the rows the founder share's; a line then names the rows whose
// membership the chains disagree on, if any.
// interruption, when not empty, says where the run was stopped ("after
// iteration 1200 of 22000"); the verdict then says so first. When the rows
// hold a log_likelihood that has not mixed by the rule above, a line starting
// "The genealogy has not settled: " follows the judgement of location and age.
void writeVerdict(std::ostream &out, const std::vector<SummaryRow> &rows, int chains, double level,
                  bool ageSampled, bool mixing = false, const MembershipTable *membership = nullptr,
                  const std::string &interruption = "");
