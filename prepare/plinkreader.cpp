// PLINK text genotypes: the .map gives the markers (chromosome, ID, optional
// centimorgans, base position; a negative position leaves the marker out),
// the .ped one line per sample with six leading columns and two allele
// columns per marker, 0 for a missing allele. The alleles are of one coding
// for the whole file, bases (A, C, G, T, or several for an indel) or PLINK's
// numbers 1 to 4, so that a token such as ".", "N", "-9" or "00" is damage,
// not an allele.
#include "plinkreader.h"

#include <fstream>
#include <map>

#include "failure.h"
#include "numbers.h"
#include "textline.h"

namespace {

struct MapLine {
  std::string chrom, id;
  long bp = 0;
  int line = 0;
};

std::vector<MapLine> readMarkers(const std::string &path) {
  std::ifstream in(path);
  if (!in)
    throw DataError("cannot open " + path);
  std::vector<MapLine> markers;
  std::string text;
  for (int n = 1; std::getline(in, text); n++) {
    const std::string where = path + " line " + std::to_string(n);
    refuseControlBytes(text, where);
    const auto f = fields(text);
    if (f.empty())
      continue;
    if (f.size() != 3 && f.size() != 4)
      throw DataError(where + ": 3 or 4 columns expected (chromosome, ID, [cM,] base position), " +
                      std::to_string(f.size()) + " found");
    MapLine m{f[0], f[1], 0, n};
    if (!parseLong(f.back(), m.bp))
      throw DataError(where + ": '" + f.back() + "' is not a base position");
    markers.push_back(m);
  }
  return markers;
}

enum class Coding { unknown, bases, numbers };

bool allOf(const std::string &token, const char *letters) {
  return !token.empty() && token.find_first_not_of(letters) == std::string::npos;
}

// The coding token belongs to, or unknown when it belongs to neither.
Coding codingOf(const std::string &token) {
  if (allOf(token, "ACGT"))
    return Coding::bases;
  if (token.size() == 1 && allOf(token, "1234"))
    return Coding::numbers;
  return Coding::unknown;
}

} // namespace

Callset readPed(const Options &o) {
  const auto markers = readMarkers(o.mapPlink);
  // The markers of the region, by their column in the .ped.
  std::vector<size_t> chosen;
  Callset set;
  for (size_t j = 0; j < markers.size(); j++) {
    const MapLine &m = markers[j];
    set.read++;
    if (m.bp < 0 || !inRegion(o.region, m.chrom, m.bp)) {
      set.outside++;
      set.dropped.push_back({m.chrom, std::to_string(m.bp), m.id,
                             m.bp < 0 ? "excluded in " + o.mapPlink + " (a negative position)"
                                      : "outside the region " + regionText(o.region),
                             set.read});
      continue;
    }
    const std::string note = nameNote(o.mapPlink, m.chrom, o.region.chrom);
    if (!note.empty() && chosen.empty())
      set.notes.push_back(note);
    chosen.push_back(j);
    Site site;
    site.chrom = m.chrom;
    site.pos = m.bp;
    site.id = m.id;
    site.order = set.read;
    site.where = o.mapPlink + " line " + std::to_string(m.line) + " (" + m.id + " at " + m.chrom +
                 ":" + std::to_string(m.bp) + ")";
    set.sites.push_back(site);
  }

  std::ifstream in(o.ped);
  if (!in)
    throw DataError("cannot open " + o.ped);
  struct Sample {
    std::string id, where;
    bool isCase;
    std::vector<Call> calls;
  };
  std::vector<Sample> samples;
  std::map<std::string, int> lineOf;
  const size_t columns = 6 + 2 * markers.size();
  Coding coding = Coding::unknown;
  std::string codingWhere; // where the file's first allele stands
  std::string text;
  for (int n = 1; std::getline(in, text); n++) {
    const std::string where = o.ped + " line " + std::to_string(n);
    refuseControlBytes(text, where);
    const auto f = fields(text);
    if (f.empty())
      continue;
    if (f.size() != columns)
      throw DataError(where + " (sample " + (f.size() > 1 ? f[1] : f[0]) +
                      "): " + std::to_string(columns) + " columns expected for " +
                      std::to_string(markers.size()) + " markers of " + o.mapPlink + ", " +
                      std::to_string(f.size()) + " found");
    const auto [at, fresh] = lineOf.emplace(f[1], n);
    if (!fresh)
      throw DataError(where + ": sample " + f[1] + " appears again (first on line " +
                      std::to_string(at->second) + ")");
    for (size_t c = 6; c < f.size(); c++) {
      if (f[c] == "0")
        continue;
      const Coding is = codingOf(f[c]);
      const std::string at = where + " (sample " + f[1] + ", marker " + markers[(c - 6) / 2].id +
                             ", column " + std::to_string(c + 1) + ")";
      if (coding == Coding::unknown) {
        coding = is;
        codingWhere = at;
      }
      if (is == Coding::unknown || is != coding)
        throw DataError(at + ": '" + shown(f[c]) + "' is not an allele of the file's coding (" +
                        (coding == Coding::unknown ? "bases A, C, G, T or the numbers 1 to 4"
                         : coding == Coding::bases
                             ? "bases A, C, G, T, as first at " + codingWhere
                             : "the numbers 1 to 4, as first at " + codingWhere) +
                        "; 0 for a missing allele)");
    }
    // PLINK's affection: 1 unaffected, 2 affected, 0 or -9 unknown.
    if (f[5] != "1" && f[5] != "2") {
      if (f[5] != "0" && f[5] != "-9")
        throw DataError(where + " (sample " + f[1] + "): the affection status '" + shown(f[5]) +
                        "' in column 6 is not 1 (control), 2 (case), 0 or -9 (unknown)");
      continue;
    }
    Sample s{f[1], where + ", sample " + f[1], f[5] == "2", {}};
    for (size_t k = 0; k < chosen.size(); k++) {
      Site &site = set.sites[k];
      Call call;
      for (int c = 0; c < 2; c++) {
        const std::string &token = f[6 + 2 * chosen[k] + c];
        if (token == "0")
          continue;
        size_t a = 0;
        while (a < site.alleles.size() && site.alleles[a] != token)
          a++;
        if (a == site.alleles.size())
          site.alleles.push_back(token);
        call.allele[c] = static_cast<int>(a);
      }
      call.phased = phaseKnown(call, o.pedPhased);
      s.calls.push_back(call);
    }
    samples.push_back(std::move(s));
  }
  if (in.bad())
    throw DataError("cannot read " + o.ped);

  // Cases first, then controls, each in file order.
  for (bool cases : {true, false})
    for (const auto &s : samples) {
      if (s.isCase != cases)
        continue;
      set.samples.push_back(s.id);
      set.sampleWhere.push_back(s.where);
      set.cases += cases;
      for (size_t k = 0; k < chosen.size(); k++)
        set.sites[k].calls.push_back(s.calls[k]);
    }
  if (set.cases == 0)
    throw DataError(o.ped + " has no case (affection status 2 in column 6)");
  if (set.samples.size() == set.cases)
    throw DataError(o.ped + " has no control (affection status 1 in column 6)");
  return set;
}
