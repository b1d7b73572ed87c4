// The verdict a user reads at the end of a run. It reports the pooled
// estimates (posterior medians with highest-density intervals) and judges
// convergence by the thresholds of Vehtari et al. (2021): rank-normalised
// R-hat below 1.01 and bulk and tail effective sample sizes of at least 400.
// A parameter that never moved (the age of a run that holds it fixed, say)
// has no diagnostics and is left out of the judgement. The log-likelihood,
// when the summary has it, is judged by the same rule on a line of its own.
#include "verdict.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>
#include <string>

namespace {

constexpr double centimorgansPerMorgan = 100;

std::string figure(double v, int digits = 4) {
  if (std::isnan(v))
    return "not available";
  std::ostringstream s;
  s.precision(digits);
  s << v;
  return s.str();
}

std::string whole(double v) {
  return std::isnan(v) ? "not available" : std::to_string(std::lround(v));
}

const SummaryRow *pooledRow(const std::vector<SummaryRow> &rows, const std::string &parameter) {
  for (const SummaryRow &r : rows)
    if (r.parameter == parameter && r.chain == 0)
      return &r;
  return nullptr;
}

// A parameter that varied has a standard deviation above zero.
bool varied(const SummaryRow &r) {
  return r.draws > 1 && r.sd > 0;
}

bool converged(const SummaryRow &r) {
  return r.rhat < rhatLimit && r.essBulk >= essNeeded && r.essTail >= essNeeded;
}

// R-hat and the two effective sample sizes, each with its limit when asked
// and missed.
std::string figures(const SummaryRow &r, bool withLimits) {
  std::ostringstream s;
  s << "R-hat " << figure(r.rhat);
  if (withLimits && !(r.rhat < rhatLimit))
    s << " (should be below " << rhatLimit << ")";
  s << ", bulk ESS " << whole(r.essBulk);
  if (withLimits && !(r.essBulk >= essNeeded))
    s << " (should be at least " << essNeeded << ")";
  s << ", tail ESS " << whole(r.essTail);
  if (withLimits && !(r.essTail >= essNeeded))
    s << " (should be at least " << essNeeded << ")";
  return s.str();
}

std::string diagnostics(const SummaryRow &r, bool withLimits) {
  return r.parameter + ": " + figures(r, withLimits);
}

// A base position with its thousands set apart: 1,234,567.
std::string bases(double bp) {
  std::string digits = std::to_string(std::llround(bp));
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
    digits.insert(at, ",");
  return digits;
}

std::string markerName(int number, const std::string &id) {
  return id.empty() || id == "." ? std::to_string(number)
                                 : id + " (marker " + std::to_string(number) + ")";
}

void writeLocation(std::ostream &out, const SummaryRow &r, const std::string &percent) {
  out << "  Mutation location: " << figure(r.median) << " Morgans ("
      << figure(r.median * centimorgansPerMorgan) << " cM";
  if (!std::isnan(r.medianBp))
    out << "; " << r.chrom << ":" << bases(r.medianBp);
  out << "), posterior median; " << percent << " highest-density interval " << figure(r.hpdLow)
      << " to " << figure(r.hpdHigh) << " Morgans (" << figure(r.hpdLow * centimorgansPerMorgan)
      << " to " << figure(r.hpdHigh * centimorgansPerMorgan) << " cM";
  if (!std::isnan(r.lowBp) && !std::isnan(r.highBp))
    out << "; " << bases(r.lowBp) << " to " << bases(r.highBp) << " bp";
  out << ")";
  if (r.markerBelow > 0 && r.markerAbove > 0)
    out << ", between markers " << markerName(r.markerBelow, r.idBelow) << " and "
        << markerName(r.markerAbove, r.idAbove);
  out << ".\n";
}

void writeAge(std::ostream &out, const SummaryRow &r, const std::string &percent, bool ageSampled) {
  if (!ageSampled) {
    out << "  Mutation age: held fixed in this run, not estimated.\n";
    return;
  }
  out << "  Mutation age: " << figure(r.median) << " generations, posterior median; " << percent
      << " highest-density interval " << figure(r.hpdLow) << " to " << figure(r.hpdHigh)
      << " generations.\n";
}

// How many of the patient chromosomes descend from the founder, and the rows
// least likely to: the chromosomes a user should look at first.
void writeFounders(std::ostream &out, const SummaryRow *share, const MembershipTable &table,
                   const std::string &percent) {
  constexpr size_t rowsShown = 5;
  double expected = 0;
  int total = 0;
  std::vector<size_t> order;
  for (size_t r = 0; r < table.copies.size(); r++) {
    const double p = pooledFounderProbability(table, r);
    if (table.copies[r] == 0 || std::isnan(p))
      continue;
    expected += p * table.copies[r];
    total += table.copies[r];
    order.push_back(r);
  }
  if (order.empty())
    return;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return pooledFounderProbability(table, a) < pooledFounderProbability(table, b);
  });
  out << "  Founder: about " << whole(expected) << " of " << total
      << " patient chromosomes descend from the founder";
  if (share)
    out << " (founder share " << figure(share->median, 3) << ", " << percent << " interval "
        << figure(share->hpdLow, 3) << " to " << figure(share->hpdHigh, 3) << ")";
  out << "; the " << std::min(rowsShown, order.size()) << " least likely are rows";
  for (size_t i = 0; i < std::min(rowsShown, order.size()); i++)
    out << (i == 0 ? " " : ", ") << order[i] + 1 << " ("
        << figure(pooledFounderProbability(table, order[i]), 2) << ")";
  out << " (rows of the patient data; every row's probability is in the .membership.tsv file).\n";
}

// Rows whose chromosomes one chain counts among the founder's and another
// does not, their probabilities at least membershipSplit apart, widest apart
// first. Chains that settle on different founder sets carry the locations
// those sets support, and they seldom leave them: these are the rows a user
// should look at when the chains do not agree.
constexpr double membershipSplit = 0.5;

void writeMembershipSplit(std::ostream &out, const MembershipTable &table) {
  constexpr size_t rowsShown = 5;
  struct Split {
    size_t row;
    double low, high;
  };
  std::vector<Split> splits;
  for (size_t r = 0; r < table.copies.size(); r++) {
    Split s{r, 1, 0};
    for (const std::vector<double> &chain : table.chains)
      if (!std::isnan(chain[r])) {
        s.low = std::min(s.low, chain[r]);
        s.high = std::max(s.high, chain[r]);
      }
    if (table.copies[r] > 0 && s.high - s.low >= membershipSplit)
      splits.push_back(s);
  }
  if (splits.empty())
    return;
  std::stable_sort(splits.begin(), splits.end(),
                   [](const Split &a, const Split &b) { return a.high - a.low > b.high - b.low; });
  out << "  The chains disagree on which chromosomes descend from the founder: rows";
  for (size_t i = 0; i < std::min(rowsShown, splits.size()); i++)
    out << (i == 0 ? " " : ", ") << splits[i].row + 1 << " (" << figure(splits[i].low, 2)
        << " in one chain, " << figure(splits[i].high, 2) << " in another)";
  if (splits.size() > rowsShown)
    out << " and " << splits.size() - rowsShown << " more";
  out << ". Each chain keeps the location and age its own founder chromosomes support; trust "
         "them only once the chains agree.\n";
}

// The log-likelihood sums the fit of every genealogy the chains visit: while
// it has not mixed, the chains are still finding better (or other)
// genealogies, and the location and age they carry may still move with them,
// even where their own diagnostics look settled. Its rule is theirs, and with
// one chain its split halves are compared.
void writeGenealogyWarning(std::ostream &out, const std::vector<SummaryRow> &rows, int chains) {
  const SummaryRow *r = pooledRow(rows, "log_likelihood");
  if (!r || !varied(*r) || converged(*r))
    return;
  out << "  The genealogy has not settled: the log-likelihood has " << figures(*r, true)
      << ", so the chains are still moving between genealogies of different fit and the "
         "estimates above may move with them. Run longer (raise \"Iterations\", and \"Burn-in "
         "iteration\" if the log_likelihood column of the chains' traces still climbs at the "
         "start)"
      << (chains < 2 ? " with two or more chains (\"Simulation runs\")" : " or with more chains")
      << ".\n";
}

std::vector<const SummaryRow *> judged(const std::vector<SummaryRow> &rows, bool ageSampled) {
  std::vector<const SummaryRow *> out;
  for (const char *p : {"location", "age", "founder_share"}) {
    const SummaryRow *r = pooledRow(rows, p);
    if (r && varied(*r) && (ageSampled || r->parameter != "age"))
      out.push_back(r);
  }
  return out;
}

} // namespace

bool chainsAgree(const std::vector<SummaryRow> &rows, int chains, bool ageSampled) {
  if (chains < 2)
    return false;
  for (const SummaryRow *r : judged(rows, ageSampled))
    if (!converged(*r))
      return false;
  return true;
}

void writeVerdict(std::ostream &out, const std::vector<SummaryRow> &rows, int chains, double level,
                  bool ageSampled, bool mixing, const MembershipTable *membership,
                  const std::string &interruption) {
  const SummaryRow *location = pooledRow(rows, "location");
  const SummaryRow *age = pooledRow(rows, "age");
  if (!interruption.empty())
    out << "The run was interrupted " << interruption
        << ": what follows comes from the iterations done, not from the run asked for.\n";
  if (!location || !age || location->draws == 0) {
    out << (interruption.empty()
                ? "Verdict: no draws were recorded (\"Iterations\" is 0), so there is nothing to "
                  "estimate.\n"
                : "Verdict: no draws were recorded (the run stopped during burn-in), so there is "
                  "nothing to estimate.\n");
    out.flush();
    return;
  }
  const std::string percent = figure(level * 100) + "%";
  out << "Verdict (" << chains << (chains == 1 ? " chain, " : " chains pooled, ") << location->draws
      << " draws after burn-in):\n";
  writeLocation(out, *location, percent);
  writeAge(out, *age, percent, ageSampled);
  if (membership) {
    writeFounders(out, pooledRow(rows, "founder_share"), *membership, percent);
    writeMembershipSplit(out, *membership);
  }

  const std::vector<const SummaryRow *> params = judged(rows, ageSampled);
  if (params.empty()) {
    out << "  Neither the location nor the age moved during the run, so there is no convergence "
           "to judge.\n";
  } else if (chains < 2) {
    out << "  Convergence cannot be judged from one chain: run two or more chains (\"Simulation "
           "runs\" in the control file) and check that they agree.\n";
    for (const SummaryRow *r : params)
      out << "  Within this chain, " << diagnostics(*r, false) << ".\n";
  } else if (chainsAgree(rows, chains, ageSampled)) {
    out << "  The chains agree (R-hat below " << rhatLimit << ", bulk and tail ESS at least "
        << essNeeded << "):\n";
    for (const SummaryRow *r : params)
      out << "    " << diagnostics(*r, false) << "\n";
  } else {
    out << "  The chains do not agree, so these estimates cannot be trusted yet:\n";
    for (const SummaryRow *r : params)
      out << "    " << diagnostics(*r, true) << "\n";
    out << "  What to do: run longer (raise \"Iterations\", and \"Burn-in iteration\" if the "
           "traces still drift at the start)";
    out << (mixing ? "; chains that stay apart in long runs point to separate modes of the "
                     "location posterior: compare the chains' intervals in the summary.\n"
                   : ", or use --sampler mixing.\n");
  }
  writeGenealogyWarning(out, rows, chains);
  out.flush();
}
