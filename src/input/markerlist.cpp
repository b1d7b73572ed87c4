// The marker list: a tab-separated table with a header naming its columns,
// of which marker, id, chrom, pos and map are read. It belongs to the control
// file when it lists its markers in order at the same map positions
// (measured from the first marker, as the run measures them).
#include "markerlist.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::vector<std::string> fields(const std::string &line) {
  std::vector<std::string> out;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, '\t'))
    out.push_back(cell);
  return out;
}

bool wholeNumber(const std::string &text, long long &value) {
  char *end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && errno == 0;
}

bool number(const std::string &text, double &value) {
  char *end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(value);
}

// Map positions agree when they differ by rounding to the digits written.
bool sameMap(double a, double b) {
  return std::fabs(a - b) <= 1e-9 + 1e-6 * std::fabs(b);
}

} // namespace

std::string readMarkerList(const std::string &path, const std::vector<double> &mapDist,
                           std::vector<GenomeMarker> &markers) {
  std::ifstream in(path);
  if (!in)
    return "cannot be read: " + std::string(std::strerror(errno));
  std::string line;
  if (!std::getline(in, line))
    return "is empty";
  const std::vector<std::string> head = fields(line);
  int column[5];
  const char *names[5] = {"marker", "id", "chrom", "pos", "map"};
  for (int c = 0; c < 5; c++) {
    column[c] = -1;
    for (size_t k = 0; k < head.size(); k++)
      if (head[k] == names[c])
        column[c] = static_cast<int>(k);
    if (column[c] < 0)
      return "has no column \"" + std::string(names[c]) + "\"";
  }
  const size_t loci = mapDist.size() - 1;
  markers.clear();
  for (long lineNumber = 2; std::getline(in, line); lineNumber++) {
    const std::vector<std::string> cells = fields(line);
    const std::string where = ", line " + std::to_string(lineNumber);
    if (cells.size() != head.size())
      return "has " + std::to_string(cells.size()) + " fields where the header has " +
             std::to_string(head.size()) + where;
    GenomeMarker m;
    long long index = 0;
    if (!wholeNumber(cells[column[0]], index) ||
        index != static_cast<long long>(markers.size()) + 1)
      return "numbers its markers out of order" + where;
    if (!wholeNumber(cells[column[3]], m.pos) || m.pos < 1)
      return "gives a position that is not a whole number above 0" + where;
    if (!number(cells[column[4]], m.map))
      return "gives a map position that is not a number" + where;
    m.id = cells[column[1]];
    m.chrom = cells[column[2]];
    markers.push_back(m);
  }
  if (markers.size() != loci)
    return "lists " + std::to_string(markers.size()) + " markers where the control file has " +
           std::to_string(loci);
  for (size_t k = 0; k < loci; k++)
    if (!sameMap(markers[k].map - markers[0].map, mapDist[k + 1] - mapDist[1]))
      return "puts marker " + std::to_string(k + 1) + " elsewhere on the map than the control file";
  return "";
}
