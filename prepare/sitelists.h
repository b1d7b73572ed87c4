// The two lists written beside the control file, so that its markers 1..M
// keep their identity: OUT.markers.tsv, each marker with its ID, base
// position, map position and allele labels, and OUT.dropped.tsv, every site
// read but not written, with the reason.
#pragma once

#include <string>
#include <vector>

#include "callset.h"
#include "markers.h"

// Columns marker (1..M as in the control file), id, chrom, pos (bases), map
// (Morgans, as the control file writes it) and alleles ("1=A,2=G").
std::string markersTable(const std::vector<Marker> &markers, const std::vector<std::string> &map);
// Columns chrom, pos, id and reason, in the order the sites were read.
std::string droppedTable(std::vector<DroppedSite> dropped);
