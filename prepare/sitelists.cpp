// The marker and dropped-site tables. Fields are the files' own text; a tab
// or line break in one would break the table, so they are shown as spaces.
#include "sitelists.h"

#include <algorithm>

namespace {

std::string cell(const std::string &s) {
  std::string out = s;
  std::replace_if(
      out.begin(), out.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return out;
}

} // namespace

std::string markersTable(const std::vector<Marker> &markers, const std::vector<std::string> &map) {
  std::string t = "marker\tid\tchrom\tpos\tmap\talleles\n";
  for (size_t i = 0; i < markers.size(); i++) {
    const Marker &m = markers[i];
    std::string alleles;
    for (size_t k = 0; k < m.alleles.size(); k++)
      alleles += (k ? "," : "") + std::to_string(k + 1) + "=" + cell(m.alleles[k]);
    t += std::to_string(i + 1) + "\t" + cell(m.id) + "\t" + cell(m.chrom) + "\t" +
         std::to_string(m.pos) + "\t" + map[i] + "\t" + alleles + "\n";
  }
  return t;
}

std::string droppedTable(std::vector<DroppedSite> dropped) {
  std::stable_sort(dropped.begin(), dropped.end(),
                   [](const DroppedSite &a, const DroppedSite &b) { return a.order < b.order; });
  std::string t = "chrom\tpos\tid\treason\n";
  for (const auto &d : dropped)
    t += cell(d.chrom) + "\t" + cell(d.pos) + "\t" + cell(d.id) + "\t" + cell(d.reason) + "\n";
  return t;
}
