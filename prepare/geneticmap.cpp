// Genetic map reading, interpolation and the separation of equal positions.
#include "geneticmap.h"

#include <algorithm>
#include <fstream>
#include <limits>

#include "failure.h"
#include "numbers.h"
#include "region.h"
#include "textline.h"

namespace {

struct MapLine {
  MapPoint point;
  int line;
};

bool endsWith(const std::string &s, const std::string &tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool isWhole(const std::string &s) {
  long v;
  return parseLong(s, v);
}

// Chooses the form of an automatic map from its name and first line: a PLINK
// line has an ID in its second column and a base position in its fourth; a
// four-column map has a base position second, or a header line.
MapFormat formOf(const std::string &path, const std::vector<std::string> &f) {
  double cm;
  if (endsWith(path, ".map"))
    return MapFormat::plink;
  if (f.size() == 4 && !isWhole(f[1]) && isWhole(f[3]) && parseDouble(f[2], cm))
    return MapFormat::plink;
  return MapFormat::rate;
}

// The nearest map interval with a non-zero rate to the stretch x..y, in
// centimorgans per base; equally near intervals on both sides are averaged.
// Returns 0 when the map has no such interval.
double nearestRate(const std::vector<MapPoint> &p, long x, long y) {
  long best = std::numeric_limits<long>::max();
  double sum = 0;
  int tied = 0;
  for (size_t j = 0; j + 1 < p.size(); j++) {
    const double dcm = p[j + 1].cm - p[j].cm;
    const long dbp = p[j + 1].bp - p[j].bp;
    if (!(dcm > 0) || dbp <= 0)
      continue;
    const long distance = std::max({0L, p[j].bp - y, x - p[j + 1].bp});
    if (distance < best) {
      best = distance;
      sum = 0;
      tied = 0;
    }
    if (distance == best) {
      sum += dcm / dbp;
      tied++;
    }
  }
  return tied ? sum / tied : 0;
}

std::vector<double> morgansFrom(const std::vector<double> &cm) {
  std::vector<double> m(cm.size());
  for (size_t i = 0; i < cm.size(); i++)
    m[i] = (cm[i] - cm[0]) / 100;
  return m;
}

} // namespace

GeneticMap readGeneticMap(const std::string &path, MapFormat format, const std::string &chrom) {
  std::ifstream in(path);
  if (!in)
    throw DataError("cannot open the genetic map " + path);
  std::vector<MapLine> lines;
  GeneticMap map{path, {}, {}};
  bool first = true;
  long leftOut = 0;
  std::string text;
  for (int n = 1; std::getline(in, text); n++) {
    const std::string where = path + " line " + std::to_string(n);
    refuseControlBytes(text, where);
    const auto f = fields(text);
    if (f.empty() || f[0][0] == '#')
      continue;
    if (format == MapFormat::automatic)
      format = formOf(path, f);
    const bool plink = format == MapFormat::plink;
    double cm = 0;
    long bp = 0;
    const bool four = f.size() == 4;
    const bool numeric =
        four && parseLong(f[plink ? 3 : 1], bp) && parseDouble(f[plink ? 2 : 3], cm);
    // A four-column map may start with a line of column names.
    if (first && !plink && !numeric) {
      first = false;
      continue;
    }
    first = false;
    if (!four)
      throw DataError(
          where + ": 4 columns expected (" +
          (plink ? "chromosome, ID, cM, base position" : "chromosome, base position, rate, cM") +
          "), " + std::to_string(f.size()) + " found");
    if (!numeric)
      throw DataError(where + ": no base position and centimorgans in columns " +
                      (plink ? "4 and 3" : "2 and 4"));
    if (bp < 0 && !plink)
      throw DataError(where + ": the base position " + f[1] + " is negative");
    // A genetic position is a distance from the chromosome's start.
    if (cm < 0)
      throw DataError(where + ": the genetic position " + f[plink ? 2 : 3] + " cM is negative");
    if (!sameChromosome(f[0], chrom))
      continue;
    if (bp < 0) {
      leftOut++;
      continue;
    }
    const std::string note = nameNote(path, f[0], chrom);
    if (!note.empty() && lines.empty())
      map.notes.push_back(note);
    lines.push_back({{bp, cm}, n});
  }
  if (leftOut > 0)
    map.notes.push_back("note: " + path + ": " + std::to_string(leftOut) +
                        " line(s) of chromosome " + chrom +
                        " with a negative base position left out, as PLINK marks excluded "
                        "markers");
  if (lines.empty())
    throw DataError("the genetic map " + path + " has no position on chromosome " + chrom);

  std::stable_sort(lines.begin(), lines.end(),
                   [](const MapLine &a, const MapLine &b) { return a.point.bp < b.point.bp; });
  for (size_t i = 0; i < lines.size(); i++) {
    const MapLine &l = lines[i];
    if (i > 0) {
      const MapLine &prev = lines[i - 1];
      const std::string both =
          path + " lines " + std::to_string(prev.line) + " and " + std::to_string(l.line);
      if (l.point.bp == prev.point.bp) {
        if (l.point.cm != prev.point.cm)
          throw DataError(both + ": two genetic positions for base " + std::to_string(l.point.bp));
        continue;
      }
      if (l.point.cm < prev.point.cm)
        throw DataError(both + ": the centimorgans decrease while the base position increases");
    }
    map.points.push_back(l.point);
  }
  return map;
}

Placement placeOnMap(const GeneticMap &map, const std::vector<long> &bp,
                     const std::vector<std::string> &where) {
  const auto &p = map.points;
  std::vector<double> cm(bp.size());
  for (size_t i = 0; i < bp.size(); i++) {
    if (bp[i] < p.front().bp || bp[i] > p.back().bp)
      throw DataError(where[i] + " lies outside the genetic map " + map.source +
                      ", which covers base positions " + std::to_string(p.front().bp) + " to " +
                      std::to_string(p.back().bp));
    const auto hi = std::lower_bound(p.begin(), p.end(), bp[i],
                                     [](const MapPoint &a, long b) { return a.bp < b; });
    if (hi->bp == bp[i]) {
      cm[i] = hi->cm;
      continue;
    }
    const auto lo = hi - 1;
    const double t = static_cast<double>(bp[i] - lo->bp) / static_cast<double>(hi->bp - lo->bp);
    cm[i] = lo->cm + (hi->cm - lo->cm) * t;
  }

  // Runs of markers at one genetic position: spread each at the nearest
  // non-zero rate and carry the added length on to the markers after it.
  Placement out;
  std::vector<double> spread(cm.size());
  double added = 0;
  for (size_t s = 0; s < cm.size();) {
    size_t e = s;
    while (e + 1 < cm.size() && cm[e + 1] == cm[s])
      e++;
    double rate = 0;
    if (e > s) {
      rate = nearestRate(p, bp[s], bp[e]);
      if (rate == 0)
        throw DataError(where[s] + " and " + where[e] +
                        " lie at one genetic position, and the genetic map " + map.source +
                        " has no non-zero rate to separate them (try --cm-per-mb or another map)");
      out.separated += e - s;
    }
    for (size_t k = s; k <= e; k++)
      spread[k] = cm[k] + added + rate * static_cast<double>(bp[k] - bp[s]);
    added += rate * static_cast<double>(bp[e] - bp[s]);
    s = e + 1;
  }
  out.morgans = morgansFrom(spread);
  return out;
}

Placement placeAtRate(double cmPerMb, const std::vector<long> &bp) {
  std::vector<double> cm(bp.size());
  for (size_t i = 0; i < bp.size(); i++)
    cm[i] = cmPerMb * static_cast<double>(bp[i] - bp[0]) / 1e6;
  return Placement{morgansFrom(cm), 0};
}
