// Genetic maps in centimorgans and the placement of the markers on them:
// linear interpolation in base position, Morgans from the first marker, and
// the separation of markers that the map puts at one genetic position.
#pragma once

#include <string>
#include <vector>

#include "options.h"

struct MapPoint {
  long bp = 0;
  double cm = 0;
};

// The points of one chromosome, in increasing base position, with
// centimorgans that never decrease.
struct GeneticMap {
  std::string source;
  std::vector<MapPoint> points;
  std::vector<std::string> notes; // for standard error: names matched loosely, lines left out
};

// Reads the points of chromosome chrom from a PLINK .map (chromosome, ID, cM,
// base position; a negative position marks a line left out) or a four-column
// map (chromosome, base position, rate, cM; one header line allowed). Throws
// DataError naming the file and line for a line it cannot read, a control
// byte, negative centimorgans, or a negative base position in the
// four-column form.
GeneticMap readGeneticMap(const std::string &path, MapFormat format, const std::string &chrom);

struct Placement {
  std::vector<double> morgans; // the first marker at 0, strictly increasing
  size_t separated = 0;        // markers moved off an equal genetic position
};

// Places markers at base positions bp (strictly increasing; where[i] names
// marker i in messages). Markers outside the map throw DataError. A run of
// markers at one genetic position is spread at the nearest non-zero rate of
// the map in proportion to base distance, and every later marker moves on by
// the length added, so that the order and the other distances are kept.
Placement placeOnMap(const GeneticMap &map, const std::vector<long> &bp,
                     const std::vector<std::string> &where);
// Places markers at a constant rate of cmPerMb centimorgans per megabase.
Placement placeAtRate(double cmPerMb, const std::vector<long> &bp);
