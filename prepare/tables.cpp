// Patient and normal-population tables.
#include "tables.h"

#include <map>

#include "capacity.h"
#include "failure.h"

namespace {

// The haplotype of chromosome k (0 or 1) of sample s over the markers.
std::vector<int> haplotype(const std::vector<Marker> &markers, size_t s, int k) {
  std::vector<int> h;
  for (const Marker &m : markers)
    h.push_back(m.calls[s].allele[k]);
  return h;
}

void tally(HaplotypeTable &t, std::map<std::vector<int>, size_t> &index,
           const std::vector<int> &h) {
  const auto [at, fresh] = index.emplace(h, t.rows.size());
  if (fresh) {
    t.rows.push_back(h);
    t.counts.push_back(0);
  }
  t.counts[at->second]++;
}

// Samples first..last of set: the first of them with a call of unknown phase,
// or -1 (and the marker in marker).
long firstUnphased(const std::vector<Marker> &markers, size_t first, size_t last, size_t &marker) {
  for (size_t m = 0; m < markers.size(); m++)
    for (size_t s = first; s < last; s++)
      if (!markers[m].calls[s].phased) {
        marker = m;
        return static_cast<long>(s);
      }
  return -1;
}

// "A/G", "./T": the call in the marker's alleles, unphased.
std::string callText(const Marker &m, const Call &c) {
  std::string s;
  for (int k = 0; k < 2; k++)
    s += (k ? "/" : "") + (c.allele[k] > 0 ? m.alleles[c.allele[k] - 1] : std::string("."));
  return s;
}

} // namespace

ControlData buildTables(const std::vector<Marker> &markers, const Callset &set,
                        GeneticModel model) {
  ControlData d;
  d.cases = set.cases;
  d.controls = set.samples.size() - set.cases;
  const size_t all = set.samples.size();

  size_t m = 0;
  const long control = firstUnphased(markers, d.cases, all, m);
  if (control >= 0)
    throw DataError(markers[m].where + ", control " + set.sampleWhere[control] +
                    ": an unphased genotype. Controls must be phased: the normal population is "
                    "a table of haplotypes (phase the data first, or leave this sample out)");
  if (2 * d.controls > static_cast<size_t>(maxNormalChromosomes))
    throw DataError(std::to_string(d.controls) + " controls: a control file holds at most " +
                    std::to_string(maxNormalChromosomes) + " normal chromosomes");
  std::map<std::vector<int>, size_t> index;
  for (size_t s = d.cases; s < all; s++)
    for (int k = 0; k < 2; k++)
      tally(d.normal, index, haplotype(markers, s, k));

  const long unphasedCase = firstUnphased(markers, 0, d.cases, m);
  d.genotypes = model == GeneticModel::dominant || unphasedCase >= 0;
  if (model == GeneticModel::dominant)
    d.decision = "genotype data: --model dominant, one disease chromosome per case";
  else if (unphasedCase < 0)
    d.decision = "haplotype data: every case call of the markers kept is phased or homozygous";
  else
    d.decision = "genotype data, both chromosomes of each case disease chromosomes: the first "
                 "unphased case call is " +
                 callText(markers[m], markers[m].calls[unphasedCase]) + " at " + markers[m].where +
                 ", case " + set.sampleWhere[unphasedCase] +
                 " (phase the cases to give haplotype data)";
  d.geneticModel = d.genotypes && model == GeneticModel::recessive ? 1 : 0;
  d.chromosomes = static_cast<int>(2 * d.cases);
  if (model == GeneticModel::dominant && d.cases < 2)
    throw DataError("one case: the dominant model needs at least two cases, one disease "
                    "chromosome each");
  const int markerLimit = d.genotypes ? maxGenotypeMarkers : maxHaplotypeMarkers;
  if (markers.size() > static_cast<size_t>(markerLimit))
    throw DataError(std::to_string(markers.size()) + " markers are left; a control file with " +
                    (d.genotypes ? "genotype" : "haplotype") + " data holds at most " +
                    std::to_string(markerLimit) + " (choose a smaller region)");

  if (d.genotypes) {
    for (size_t s = 0; s < d.cases; s++) {
      std::vector<int> row;
      for (const Marker &mk : markers) {
        row.push_back(mk.calls[s].allele[0]);
        row.push_back(mk.calls[s].allele[1]);
      }
      d.patientGenotypes.push_back(row);
    }
  } else {
    index.clear();
    for (size_t s = 0; s < d.cases; s++)
      for (int k = 0; k < 2; k++)
        tally(d.patientHaplotypes, index, haplotype(markers, s, k));
  }
  const size_t rows = d.genotypes ? d.patientGenotypes.size() : d.patientHaplotypes.rows.size();
  if (rows > static_cast<size_t>(maxPatientRows))
    throw DataError(std::to_string(rows) +
                    " rows in the patient table; a control file holds "
                    "at most " +
                    std::to_string(maxPatientRows));
  return d;
}
