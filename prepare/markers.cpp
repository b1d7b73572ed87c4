// Marker filtering and allele labelling.
#include "markers.h"

#include "failure.h"
#include "capacity.h"

std::vector<Marker> keepMarkers(const Callset &set, double minCallRate, MarkerCounts &counts) {
  std::vector<Marker> kept;
  counts = MarkerCounts{set.sites.size(), 0, 0};
  for (const Site &site : set.sites) {
    std::vector<size_t> carried(site.alleles.size(), 0);
    size_t called = 0;
    for (const Call &c : site.calls)
      for (int a : c.allele)
        if (a >= 0) {
          carried[a]++;
          called++;
        }
    // The tolerance keeps a rate that equals the minimum, such as 18 of 20,
    // from failing on the rounding of the product.
    const double rate = site.calls.empty() ? 0 : called / (2.0 * site.calls.size());
    if (called == 0 || rate + 1e-12 < minCallRate) {
      counts.lowCallRate++;
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
      continue;
    }
    if (labels > maxLabel)
      throw DataError(site.where + ": " + std::to_string(labels) +
                      " alleles carried; a control file holds at most " +
                      std::to_string(maxLabel) + " per marker");
    if (!kept.empty()) {
      const Marker &last = kept.back();
      if (site.pos == last.pos)
        throw DataError(site.where + ": a second marker at the position of " + last.where +
                        "; merge them into one multi-allelic record or leave one out");
      if (site.pos < last.pos)
        throw DataError(site.where + ": the records are not in position order (it follows " +
                        last.where + ")");
    }
    Marker m{site.chrom, site.pos, site.where, labels, site.calls};
    for (Call &c : m.calls)
      for (int &a : c.allele)
        if (a >= 0)
          a = label[a];
    kept.push_back(std::move(m));
  }
  return kept;
}
