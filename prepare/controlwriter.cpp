// Writing the control file. Only the first letter of a label line matters to
// mutloc, which discards the rest of the line, so each label carries a
// comment; values and tables stand alone on the lines after their label.
#include "controlwriter.h"

#include <algorithm>
#include <sstream>

#include "numbers.h"

namespace {

// The label padded to a column, then its comment.
void label(std::ostringstream &out, const std::string &text, const std::string &comment) {
  out << text;
  if (!comment.empty())
    out << std::string(text.size() < 25 ? 25 - text.size() : 1, ' ') << "(" << comment << ")";
  out << "\n";
}

std::string joined(const std::vector<int> &values, const char *gap) {
  std::string s;
  for (size_t i = 0; i < values.size(); i++)
    s += (i ? gap : "") + std::to_string(values[i]);
  return s;
}

// Control characters would break the first line in two.
std::string oneLine(const std::string &s) {
  std::string out = s;
  std::replace_if(
      out.begin(), out.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }, ' ');
  return out;
}

void haplotypeRows(std::ostringstream &out, const HaplotypeTable &t) {
  for (size_t r = 0; r < t.rows.size(); r++)
    out << t.counts[r] << " " << joined(t.rows[r], " ") << "\n";
}

} // namespace

std::vector<std::string> mapTexts(const std::vector<double> &morgans) {
  return increasingTexts(morgans, 8);
}

std::string controlText(const ControlData &d, const std::vector<double> &morgans, const Options &o,
                        const std::string &origin) {
  const auto map = mapTexts(morgans);
  std::string low = map.front(), high = map.back();
  if (o.locationBoundsGiven) {
    low = shortest(o.locationLow);
    high = shortest(o.locationHigh);
  }
  double step = o.adjust[2];
  if (step < 0)
    step = std::min(0.5, morgans.back() / 10);

  std::ostringstream out;
  label(out, "Data as genotypes",
        "0: haplotypes, 1: unphased genotypes; written by mutloc-prepare from " + oneLine(origin));
  out << (d.genotypes ? 1 : 0) << "\n";
  label(out, "Genetic model",
        "genotypes only; 0: one disease chromosome per case, the other its partner, 1: both");
  out << d.geneticModel << "\n";
  label(out, "Read old file", "1: chain 0 starts from the genealogy in inmat.txt");
  out << o.readOld << "\n";
  label(out, "Use fixed random seed", "negative: this seed, the same run again; 0: from the clock");
  out << -o.seed << "\n";
  label(out, "# chromosomes",
        "disease chromosomes: " + std::to_string(d.cases) + " cases, two chromosomes each");
  out << d.chromosomes << "\n";
  label(out, "#loci per chromosome", "markers");
  out << morgans.size() << "\n";
  label(out, "Numbers of haplotypes in the normal pop",
        "count, then one allele per marker, -1 missing; the " + std::to_string(d.controls) +
            " controls' " + std::to_string(2 * d.controls) + " chromosomes");
  haplotypeRows(out, d.normal);
  label(out, "Map distance", "Morgans from the first marker");
  for (size_t i = 0; i < map.size(); i++)
    out << (i ? " " : "") << map[i];
  out << "\n";
  label(out, "Run simulation", "0: the patient table below is the data");
  out << 0 << "\n";
  label(out, "Mutation location", "used by simulations only");
  out << -99 << "\n";
  label(out, "Mutation's low and high boundary", "Morgans, the interval searched");
  out << low << " " << high << "\n";
  label(out, "# Simulation runs", "number of chains");
  out << o.chains << "\n";
  label(out, "Starting value(s) for mutation", "-99: random within the boundaries");
  out << (o.startGiven ? shortest(o.startLocation) : "-99") << "\n";
  label(out, "Population growth rate", "per generation");
  out << shortest(o.growthRate) << "\n";
  label(out, "Proportion of population sampled", "share of the disease chromosomes");
  out << shortest(o.propSampled) << "\n";
  label(out, "Iterate ancestral state, mutation age, mutation location, allele freq",
        "location 0: fixed, 1: random walk, 2: slice, 3: independence");
  out << joined(std::vector<int>(o.iterate, o.iterate + 4), " ") << "\n";
  label(out, "Flip all Loci", "1: redraw all missing alleles of a chromosome at once");
  out << o.flipAllLoci << "\n";
  label(out,
        "Adjustment level for tree, root, recdist, ancestral, internal states, alleles,algswitch",
        "the last, 1: Markov population model, 0: independent markers");
  out << shortest(o.adjust[0]) << " " << shortest(o.adjust[1]) << " " << shortest(step) << " "
      << shortest(o.adjust[3]) << " " << shortest(o.adjust[4]) << " " << shortest(o.adjust[5])
      << " " << o.markovPopulation << "\n";
  label(out, "Burn-in iteration", "discarded before sampling");
  out << o.burnIn << "\n";
  label(out, "Iterations", "sampling iterations");
  out << o.iterations << "\n";
  label(out,
        "Screen and file updates, save acceptance props, save haplotypes, save individual "
        "haplotypes...",
        "screen line and .dat line every so many iterations; acceptance proportions, pooled "
        "haplotypes saved (0/1)");
  out << o.screenEvery << " " << o.fileEvery << " " << o.saveAccept << " " << o.saveHaplotypes
      << "\n";
  label(out, "Number of histogram bars", "location and age histograms");
  out << o.bars << "\n";
  label(out, "Alpha level", "highest-density regions cover 1 - alpha");
  out << shortest(o.alpha) << "\n";
  label(out, "Mutation age", "generations; -99: random start within the boundaries");
  out << shortest(o.age) << "\n";
  label(out, "Mutation age boundaries", "generations");
  out << shortest(o.ageLow) << " " << shortest(o.ageHigh) << "\n";
  label(out, "Star genealogy", "1: a near-star genealogy, the age not sampled");
  out << o.star << "\n";
  label(out, "Loci for the root", "ancestral allele per marker; -99: random");
  out << -99 << "\n";
  if (d.genotypes) {
    label(out, "Patient haplo- or genotypes:",
          "one case per row, the two alleles of every marker, -1 missing");
    for (const auto &row : d.patientGenotypes) {
      for (size_t l = 0; l < row.size(); l += 2)
        out << (l ? " " : "") << row[l] << "/" << row[l + 1];
      out << "\n";
    }
  } else {
    label(out, "Patient haplo- or genotypes:", "count, then one allele per marker, -1 missing");
    haplotypeRows(out, d.patientHaplotypes);
  }
  label(out, "Use sequence weights",
        "1: weight the location by exon, intron and non-gene "
        "segments");
  out << 0 << "\n";
  return out.str();
}
