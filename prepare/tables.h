// The data of the control file: the patient table in the layout the genetic
// model and the cases' phase call for, the normal population's distinct
// haplotypes with their counts, and the map.
#pragma once

#include <vector>

#include "callset.h"
#include "markers.h"
#include "options.h"

// Distinct haplotypes in order of first appearance, with their counts.
struct HaplotypeTable {
  std::vector<int> counts;
  std::vector<std::vector<int>> rows;
};

struct ControlData {
  bool genotypes = false;
  int geneticModel = 0; // with genotypes: 1 both chromosomes of a case are leaves
  int chromosomes = 0;  // the "# chromosomes" value: two per case
  HaplotypeTable normal;
  HaplotypeTable patientHaplotypes;               // haplotype data
  std::vector<std::vector<int>> patientGenotypes; // genotype data, two labels per marker
  size_t cases = 0, controls = 0;
  std::string decision; // why haplotype or genotype data, for standard error
};

// Builds the tables from the kept markers of set. Recessive with phased
// cases gives haplotype data (two chromosomes per case), recessive with an
// unphased case gives genotype data with both chromosomes as leaves, dominant
// gives genotype data with one leaf per case. An unphased control, or tables
// beyond what a control file holds, throw DataError.
ControlData buildTables(const std::vector<Marker> &markers, const Callset &set, GeneticModel model);
