// Marker filtering and allele labelling.
#include "markers.h"

#include <algorithm>
#include <cstdio>

#include "capacity.h"
#include "failure.h"
#include "numbers.h"

namespace {

// "cases 14 of 16 alleles called (0.875)", the numbers a call-rate drop is
// judged by.
std::string calledText(const char *group, size_t called, size_t members) {
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.3g", members ? called / (2.0 * members) : 0);
  return std::string(group) + " " + std::to_string(called) + " of " + std::to_string(2 * members) +
         " alleles called (" + rate + ")";
}

} // namespace

std::vector<Marker> keepMarkers(const Callset &set, double minCallRate, MarkerCounts &counts,
                                std::vector<DroppedSite> &dropped) {
  std::vector<Marker> kept;
  counts = MarkerCounts{set.sites.size(), 0, 0};
  for (const Site &site : set.sites) {
    std::vector<size_t> carried(site.alleles.size(), 0);
    // Called alleles of the cases [0] and of the controls [1].
    size_t called[2] = {0, 0};
    for (size_t s = 0; s < site.calls.size(); s++)
      for (int a : site.calls[s].allele)
        if (a >= 0) {
          carried[a]++;
          called[s < set.cases ? 0 : 1]++;
        }
    // The tolerance keeps a rate that equals the minimum, such as 18 of 20,
    // from failing on the rounding of the quotient. A marker needs called
    // controls whatever the minimum: their alleles give its frequencies.
    const size_t members[2] = {set.cases, site.calls.size() - set.cases};
    bool low = called[1] == 0;
    for (int g = 0; g < 2; g++)
      low = low || called[g] / (2.0 * members[g]) + 1e-12 < minCallRate;
    auto drop = [&](const std::string &reason) {
      dropped.push_back({site.chrom, std::to_string(site.pos), site.id, reason, site.order});
    };
    if (low) {
      counts.lowCallRate++;
      drop((called[1] == 0 ? "no control allele called: "
                           : "call rate below " + shortest(minCallRate) + ": ") +
           calledText("cases", called[0], members[0]) + ", " +
           calledText("controls", called[1], members[1]));
      continue;
    }
    // Labels over the carried alleles only, so that every label 1..k of the
    // marker occurs in the data, as the control file requires.
    std::vector<int> label(site.alleles.size(), -1);
    int labels = 0;
    for (size_t a = 0; a < carried.size(); a++)
      if (carried[a] > 0)
        label[a] = ++labels;
    if (labels < 2) {
      counts.monomorphic++;
      // A control allele is called (else the call rate dropped the site).
      const auto only =
          std::find_if(carried.begin(), carried.end(), [](size_t n) { return n > 0; });
      drop("monomorphic: every called allele is " + site.alleles[only - carried.begin()]);
      continue;
    }
    if (labels > maxLabel)
      throw DataError(site.where + ": " + std::to_string(labels) +
                      " alleles carried; a control file holds at most " + std::to_string(maxLabel) +
                      " per marker");
    if (!kept.empty()) {
      const Marker &last = kept.back();
      if (site.pos == last.pos)
        throw DataError(site.where + ": a second marker at the position of " + last.where +
                        "; merge them into one multi-allelic record or leave one out");
      if (site.pos < last.pos)
        throw DataError(site.where + ": the records are not in position order (it follows " +
                        last.where + ")");
    }
    Marker m{site.chrom, site.pos, site.id, site.where, labels, {}, site.calls};
    for (size_t a = 0; a < label.size(); a++)
      if (label[a] > 0)
        m.alleles.push_back(site.alleles[a]);
    for (Call &c : m.calls)
      for (int &a : c.allele)
        if (a >= 0)
          a = label[a];
    kept.push_back(std::move(m));
  }
  return kept;
}
