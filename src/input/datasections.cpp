// The data sections of the control file: the normal-population table and the
// allele counts, maxima and floored frequencies derived from it, the patient
// table, the sequence-weights section with its segment table or annotated
// sequence file, their lines in the log echo, and the final check that every
// allele label in use occurs somewhere in the data.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <iostream>

#include "controlscan.h"
#include "input.h"
#include "messages.h"
#include "stop.h"

namespace {

// Rows of the normal-population count table are allele labels; the last row
// holds the per-locus totals, so labels run from 1 to totalRow - 1.
constexpr int countRows = 500;
constexpr int totalRow = countRows - 1;
// No allele of a locus starts with a population frequency below this floor,
// so a label seen only in patients still has a usable probability.
constexpr double freqFloor = 0.001;
constexpr int maxSegmentRows = 10000;
// Every normal chromosome is a haplotype of its own in each chain's list.
constexpr int maxNormalChromosomes = 1000000;
// Contig positions are in bases; 10^8 bases make one unit of the marker map.
constexpr double basesPerMapUnit = 100000000;

[[noreturn]] void unexpectedEnd(const char *item) {
  stop(itemMessage(msg::unexpectedEnd, item));
}

// Reads one row of the normal-population table after its count n: one value
// per locus up to the line end, counting each label n times into the count
// table. Returns false when a -99 has ended the table inside the row.
bool readNormalRow(ReadTables &t, std::istream &in, int n, Haplotype &hap) {
  const int loci = pset.numLoci;
  int values = 1;
  for (;;) {
    skipChars(in, " \t\v\f\r");
    if (in.peek() == EOF)
      unexpectedEnd(msg::itemNormalPop);
    if (in.peek() == '\n') {
      in.get();
      break;
    }
    const double v = readDouble(in, msg::itemNormalPop);
    const int locus = values - 1;
    values++;
    if (v == -99)
      return false;
    // Labels are whole numbers from 1; a value that truncates to 0 is no label.
    if (v >= 0 && v < 1)
      stop(msg::zeroAllele);
    if (v >= totalRow)
      stop(msg::normalLabelLimit);
    if (locus >= loci)
      continue; // a value too many: the column check refuses the row
    if (v < 0) {
      hap.push_back(-1);
      continue;
    }
    const int a = static_cast<int>(v);
    t.alleleCounts[a][locus] += n;
    t.largestNormalLabel = std::max(t.largestNormalLabel, a);
    hap.push_back(a);
  }
  if (values != loci + 1)
    stop(msg::normalColumns);
  return true;
}

// Segment kinds e, i and n select the exon, intron and non-gene weight.
double weightOf(char kind) {
  switch (std::tolower(static_cast<unsigned char>(kind))) {
  case 'e':
    return pset.segweights[0];
  case 'i':
    return pset.segweights[1];
  default:
    return pset.segweights[2];
  }
}

// Passes over a "99999" marker line before the segment rows: five 9s and the
// character after them, unless that is the I of a sequence-file label. Any
// other text is left for the rows.
void skipSegmentMarker(std::istream &in) {
  in >> std::ws;
  if (in.peek() == EOF)
    return;
  const std::streampos start = in.tellg();
  for (int k = 0; k < 5; k++) {
    if (in.get() != '9') {
      in.clear();
      in.seekg(start);
      return;
    }
  }
  const int next = in.peek();
  if (next != EOF && next != 'I')
    in.get();
}

// The sequence-file case, after its label line: the file name line and the
// markers' contig positions, which replace the map distances; then the
// annotation, whose entries become the location prior's segments.
void readSequenceFile(ReadTables &t, std::istream &in) {
  std::string fileName;
  if (!std::getline(in, fileName))
    unexpectedEnd(msg::itemSeqWeights);
  if (!fileName.empty() && fileName.back() == '\r')
    fileName.pop_back();

  const int loci = pset.numLoci;
  int markers = 0;
  for (;;) {
    in >> std::ws;
    double position;
    if (in.peek() == EOF || !(in >> position))
      break;
    if (!(position > 0))
      stop(msg::contigPositive);
    if (markers >= loci)
      stop(msg::contigCount);
    pset.mapDist[++markers] = position;
  }
  if (markers != loci)
    stop(msg::contigCount);

  // The annotation is placed relative to the first marker, whose contig
  // position mapDist[1] still holds.
  int count = 0;
  t.segPositions.clear();
  t.segKinds.clear();
  readseq(t.segPositions, t.segKinds, &count, fileName);
  const int entries = std::max(0, 2 * count - 1);
  t.segPositions.resize(entries);
  t.segKinds.resize(entries);

  const double first = pset.mapDist[1];
  for (int i = 1; i <= loci; i++)
    pset.mapDist[i] = (pset.mapDist[i] - first) / basesPerMapUnit;
  // The annotation hands back (p - first) * 1e-6 for each boundary base p.
  // The prior puts p on the markers' scale with the markers' own formula, so
  // a boundary at a marker's base lands exactly on that marker.
  pset.segStart.resize(entries);
  pset.segWeight.resize(entries);
  for (int i = 0; i < entries; i++) {
    const double base = std::round(t.segPositions[i] * 1e6 + first);
    pset.segStart[i] = (base - first) / basesPerMapUnit;
    pset.segWeight[i] = weightOf(t.segKinds[i]);
  }
  pset.numsegs = entries;
}

} // namespace

void readNormalTable(ReadTables &t, std::istream &in, const MemoryBudget &budget) {
  const int loci = pset.numLoci;
  t.alleleCounts.assign(countRows, std::vector<double>(loci, 0.0));
  t.normalList.clear();
  t.largestNormalLabel = 0;
  int chromosomes = 0;
  bool atMapLabel = false;
  while (!atMapLabel) {
    const double count = readDouble(in, msg::itemNormalPop);
    Haplotype hap;
    if (count == -99)
      break;
    if (count < 0)
      stop(msg::normalNegativeCount);
    if (count > maxNormalChromosomes - chromosomes)
      stop(msg::normalCountTotal);
    const int n = static_cast<int>(count);
    chromosomes += n;
    requireMemory(budget, msg::itemNormalPop,
                  chromosomes * (40.0 + sizeof(int) * static_cast<double>(loci)));
    if (!readNormalRow(t, in, n, hap))
      break;
    t.normalList.insert(t.normalList.end(), n, hap);
    in >> std::ws;
    const int next = in.peek();
    if (next == EOF)
      unexpectedEnd(msg::itemNormalPop);
    if (std::toupper(next) == 'M') {
      in.get();
      atMapLabel = true;
    }
  }
  // A -99 ends the table wherever it stands; the label is then searched for.
  if (!atMapLabel)
    eatWhite(in, 'M', msg::itemMapDistance);
  skipLine(in);

  // Unpaired genotypes keep a second block of maxima, from the normal
  // population alone, for the partner chromosomes.
  const bool twoBlocks = pset.dataAsGenotypes == 1 && pset.geneticModel == 0;
  maxall.assign(twoBlocks ? 2 * loci : loci, 0);
  for (int l = 0; l < loci; l++) {
    double total = 0;
    for (int a = 0; a < totalRow; a++) {
      total += t.alleleCounts[a][l];
      if (a > 0 && t.alleleCounts[a][l] > 0)
        maxall[l] = a;
    }
    t.alleleCounts[totalRow][l] = total;
    if (twoBlocks)
      maxall[loci + l] = maxall[l];
  }
}

void copyNormalHaplotypes(ReadTables &t, std::vector<std::vector<Haplotype>> &normalHaps) {
  normalHaps.assign(pset.numChains, t.normalList);
}

void readPatientTable(ReadTables &t, std::istream &in, std::vector<std::vector<int>> &patientData) {
  const int loci = pset.numLoci;
  const bool genotypes = pset.dataAsGenotypes == 1;
  // A haplotype row is a count and one label per locus; a genotype row holds
  // the two labels of every locus.
  const size_t columns = genotypes ? 2 * loci : loci + 1;
  std::vector<std::vector<int>> rows;
  int64_t chromosomes = 0;
  for (;;) {
    std::vector<int> row;
    do {
      const int value = readInt(in, msg::itemPatients);
      if (row.size() == columns)
        stop(msg::patientColumns);
      if (!genotypes && row.empty()) {
        if (value < 0)
          stop(msg::patientNegativeCount);
        chromosomes += value;
      } else {
        if (value == 0)
          stop(msg::zeroAllele);
        if (value >= totalRow)
          stop(msg::patientLabelLimit);
      }
      row.push_back(value);
      // Genotypes may be written 1/2, 1\2 or 1,2.
      skipChars(in, " \t/\\,");
      if (in.peek() == EOF)
        unexpectedEnd(msg::itemPatients);
    } while (!atLineEnd(in));
    takeLineEnd(in);
    if (row.size() != columns)
      stop(msg::patientColumns);
    rows.push_back(row);
    if (!genotypes && static_cast<int64_t>(rows.size()) > pset.numChromosomes)
      stop(msg::patientRows);
    if (rows.size() > static_cast<size_t>(patientRows))
      stop(msg::patientRowLimit);
    in >> std::ws;
    const int next = in.peek();
    if (next == EOF)
      unexpectedEnd(msg::itemPatients);
    if (std::toupper(next) == 'U') {
      in.get();
      skipLine(in);
      break;
    }
  }

  t.patientRowsStored = 0;
  patientBlockRows = static_cast<int>(rows.size());
  patientBlockRow.clear();
  if (!genotypes) {
    if (chromosomes != pset.numChromosomes)
      stop(msg::patientSum);
    // Simulated haplotypes replace the patient rows. A row with count 0 stands
    // for no chromosome and is not kept, so every stored row gets leaves.
    if (pset.runSimulation == 0)
      for (size_t r = 0; r < rows.size(); r++)
        if (rows[r][0] > 0) {
          std::copy(rows[r].begin(), rows[r].end(), patientData[t.patientRowsStored++].begin());
          patientBlockRow.push_back(static_cast<int>(r));
        }
  } else {
    // One genotype row per individual; rows beyond them are not used.
    const int individuals = pset.geneticModel == 1 ? pset.numChromosomes / 2 : pset.numChromosomes;
    if (rows.size() < static_cast<size_t>(individuals))
      stop(msg::patientTooFewGenotypes);
    for (int i = 0; i < individuals; i++) {
      std::copy(rows[i].begin(), rows[i].end(), patientData[i].begin());
      patientBlockRow.push_back(i);
    }
    t.patientRowsStored = individuals;
  }
}

int buildAlleleTables(ReadTables &t, const std::vector<std::vector<int>> &patientData) {
  const int loci = pset.numLoci;
  const bool genotypes = pset.dataAsGenotypes == 1;
  for (const auto &row : patientData)
    for (int l = 0; l < loci; l++)
      maxall[l] =
          std::max(maxall[l], genotypes ? std::max(row[2 * l], row[2 * l + 1]) : row[l + 1]);
  int maxAlleleRead = t.largestNormalLabel;
  for (int l = 0; l < loci; l++) {
    if (maxall[l] == 0)
      stop(msg::markerWithoutAlleleBefore + std::to_string(l + 1) + msg::markerWithoutAlleleAfter);
    maxAlleleRead = std::max(maxAlleleRead, maxall[l]);
  }
  for (int l = 0; l < loci; l++)
    if (chainSettings[0].rootLoci[l] > maxall[l])
      stop(msg::rootLociLabelBefore + std::to_string(l + 1) + msg::rootLociLabelAfter);

  normmat.assign(maxAlleleRead + 1, std::vector<int>(loci, 0));
  Table freqs(maxAlleleRead + 1, std::vector<double>(loci, 0.0));
  for (int a = 0; a <= maxAlleleRead; a++)
    for (int l = 0; l < loci; l++) {
      normmat[a][l] = static_cast<int>(t.alleleCounts[a][l]);
      freqs[a][l] = t.alleleCounts[a][l] / t.alleleCounts[totalRow][l];
    }

  // The floor: m labels of 1..maxall[l] below it are raised to it. Fixed
  // frequencies give up the m floors' share proportionally; sampled ones
  // start uniform over the labels that are not rare.
  for (int l = 0; l < loci; l++) {
    const int labels = maxall[l];
    int rare = 0;
    for (int a = 1; a <= labels; a++)
      if (freqs[a][l] < freqFloor)
        rare++;
    for (int a = 1; a <= labels; a++) {
      double &f = freqs[a][l];
      if (f < freqFloor) {
        f = freqFloor;
      } else if (pset.iterAlleleFreq == 0) {
        if (rare > 0)
          f *= 1 - freqFloor * rare;
      } else {
        f = 1.0 / labels;
        if (rare > 0)
          f = (1.0 / (labels - rare)) * (1 - freqFloor * rare);
      }
    }
  }
  t.echoFreqs = freqs;
  return maxAlleleRead;
}

void readSequenceWeights(ReadTables &t, std::istream &in) {
  eatWhite(in, 'W', msg::itemSeqWeights);
  skipLine(in);
  for (double &w : pset.segweights)
    w = readDouble(in, msg::itemSeqWeights);
  skipSegmentMarker(in);

  // Segment rows: a position and its kind letter on one line, up to the end
  // of the file, a text that is not a position, a position without a kind, or
  // the label line of a sequence file.
  t.segPositions.clear();
  t.segKinds.clear();
  for (;;) {
    in >> std::ws;
    const int next = in.peek();
    if (next == EOF)
      break;
    if (std::toupper(next) == 'I') {
      skipLine(in);
      readSequenceFile(t, in);
      return;
    }
    double position;
    if (!(in >> position))
      break;
    skipChars(in, " \t");
    if (in.peek() == EOF || atLineEnd(in))
      break;
    const int kind = in.get();
    if (kind != 'e' && kind != 'i' && kind != 'n')
      stop(msg::segmentKind);
    skipChars(in, " \t");
    if (in.peek() != EOF) {
      if (!atLineEnd(in))
        stop(msg::segmentColumns);
      takeLineEnd(in);
    }
    if (t.segPositions.size() == static_cast<size_t>(maxSegmentRows))
      stop(msg::segmentLimit);
    t.segPositions.push_back(position);
    t.segKinds.push_back(static_cast<char>(kind));
  }
  pset.numsegs = static_cast<int>(t.segPositions.size());
  pset.segStart = t.segPositions;
  pset.segWeight.resize(pset.numsegs);
  for (int i = 0; i < pset.numsegs; i++)
    pset.segWeight[i] = weightOf(t.segKinds[i]);
}

void echoPatientRows(const ReadTables &t, std::ostream &log,
                     const std::vector<std::vector<int>> &patientData) {
  const int loci = pset.numLoci;
  for (int r = 0; r < t.patientRowsStored; r++) {
    const auto &row = patientData[r];
    if (pset.dataAsGenotypes == 1) {
      // The first allele of every locus, then the second.
      for (int first = 0; first < 2; first++) {
        for (int l = 0; l < loci; l++)
          log << row[2 * l + first] << " ";
        log << std::endl;
      }
    } else {
      for (int c = 0; c <= loci; c++)
        log << row[c] << " ";
      log << std::endl;
    }
  }
}

void echoSegments(const ReadTables &t, std::ostream &log) {
  for (size_t i = 0; i < t.segPositions.size(); i++)
    log << t.segPositions[i] << " " << t.segKinds[i] << std::endl;
}

bool checkMissingAlleles(const std::vector<std::vector<int>> &patientData) {
  const int loci = pset.numLoci;
  const bool genotypes = pset.dataAsGenotypes == 1;
  bool complete = true;
  for (int l = 0; l < loci; l++) {
    const int labels = maxall[l];
    std::vector<bool> present(labels + 1, false);
    for (int a = 1; a <= labels; a++)
      present[a] = normmat[a][l] > 0;
    for (const auto &row : patientData)
      for (int c = genotypes ? 2 * l : l + 1; c <= (genotypes ? 2 * l + 1 : l + 1); c++)
        if (row[c] >= 1 && row[c] <= labels)
          present[row[c]] = true;
    for (int a = 1; a <= labels; a++) {
      if (present[a])
        continue;
      std::cout << "\a\a" << std::flush;
      std::cout << msg::missingAlleleBefore << a << msg::missingAlleleMiddle << l + 1 << "\n"
                << msg::missingAlleleAfter << "\n"
                << std::flush;
      complete = false;
    }
  }
  return complete;
}
