// The conversion's steps in order, and the report of what they did.
#include "convert.h"

#include <sstream>

#include "atomicwrite.h"
#include "controlwriter.h"
#include "failure.h"
#include "geneticmap.h"
#include "markers.h"
#include "numbers.h"
#include "plinkreader.h"
#include "sitelists.h"
#include "tables.h"
#include "vcfreader.h"

std::string convert(const Options &o, std::ostream &notes) {
  const bool vcfInput = !o.vcf.empty();
  const std::string &source = vcfInput ? o.vcf : o.ped;
  Callset set = vcfInput ? readVcf(o) : readPed(o);
  for (const auto &note : set.notes)
    notes << "mutloc-prepare: " << note << "\n";

  MarkerCounts counts;
  const std::vector<Marker> markers = keepMarkers(set, o.minCallRate, counts, set.dropped);
  if (markers.size() < 2)
    throw DataError(
        "region " + regionText(o.region) + " of " + source + ": " + std::to_string(counts.records) +
        " record(s), " + std::to_string(counts.lowCallRate) + " below the call rate " +
        shortest(o.minCallRate) + ", " + std::to_string(counts.monomorphic) + " monomorphic; " +
        std::to_string(markers.size()) + " marker(s) left, at least 2 are needed" +
        (set.index.empty() ? ""
                           : " (read through the index " + set.index +
                                 "; if it belongs to another file, index the file again)"));

  std::vector<long> bp;
  std::vector<std::string> where;
  for (const Marker &m : markers) {
    bp.push_back(m.pos);
    where.push_back(m.where);
  }
  Placement placed;
  if (o.cmPerMb > 0) {
    placed = placeAtRate(o.cmPerMb, bp);
  } else {
    // A PLINK data set without --map uses the centimorgans of its own .map.
    const std::string mapFile = o.map.empty() ? o.mapPlink : o.map;
    const MapFormat format = o.map.empty() ? MapFormat::plink : o.mapFormat;
    const GeneticMap map = readGeneticMap(mapFile, format, markers.front().chrom);
    for (const auto &note : map.notes)
      notes << "mutloc-prepare: " << note << "\n";
    placed = placeOnMap(map, bp, where);
  }

  const ControlData data = buildTables(markers, set, o.model);
  notes << "mutloc-prepare: " << data.decision << "\n";
  const std::string origin = source + ", " + regionText(o.region);
  const std::string markerList = o.out + ".markers.tsv", droppedList = o.out + ".dropped.tsv";
  writeAtomically({{markerList, markersTable(markers, mapTexts(placed.morgans))},
                   {droppedList, droppedTable(set.dropped)},
                   {o.out, controlText(data, placed.morgans, o, origin)}});

  std::ostringstream r;
  r << "wrote " << o.out << "\n"
    << "  records: " << set.read << " read; " << set.outside << " outside the region, " << set.bad
    << " bad ones skipped\n"
    << "  markers: " << markers.size() << " of " << counts.records << " records in "
    << regionText(o.region) << "; dropped " << counts.lowCallRate << " below the call rate "
    << o.minCallRate << " and " << counts.monomorphic << " monomorphic\n"
    << "  map: " << placed.separated << " marker(s) moved off an equal genetic position; span "
    << placed.morgans.back() << " Morgans\n"
    << "  cases: " << data.cases << ", "
    << (data.genotypes ? (data.geneticModel ? "genotypes, both chromosomes disease chromosomes"
                                            : "genotypes, one disease chromosome each")
                       : "phased haplotypes, both chromosomes disease chromosomes")
    << "\n"
    << "  controls: " << data.controls << ", " << data.normal.rows.size()
    << " distinct haplotypes in the normal population\n"
    << "  lists: " << markerList << " (the markers 1.." << markers.size()
    << " by ID and position), " << droppedList << " (" << set.dropped.size()
    << " sites not written, with the reason)\n";
  return r.str();
}
