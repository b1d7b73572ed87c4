// Private to the control-file reader: the scanner routines that find labels,
// discard label lines and read numbers and lists (each stop names the item
// being read), and the data-section steps that controlfile.cpp calls in file
// order (datasections.cpp).
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "memorybudget.h"
#include "mutloc.h"

// Skips everything up to and including the first character whose upper-case
// form is letter (given in upper case, or '#'). The end of the file stops the
// run naming item.
void eatWhite(std::istream &in, char letter, const char *item);
// Discards the rest of the current line, whatever its length, and its line end.
void skipLine(std::istream &in);
// Skips every following character that is one of set (never the end of file).
void skipChars(std::istream &in, const char *set);
// True when the next characters end a line: a line feed, or a carriage return
// right before one. Consumes nothing.
bool atLineEnd(std::istream &in);
// Consumes the line end that atLineEnd has found.
void takeLineEnd(std::istream &in);

// Reads one number by stream extraction (leading white space, line ends
// included, skipped). The end of the file or a text that is not a number of
// type T stops the run naming item.
int readInt(std::istream &in, const char *item);
double readDouble(std::istream &in, const char *item);

// After a number of a list: skips white space (unless skipWhite is false) and
// reads one character; true when its upper-case form is one of terminators
// (the character is then consumed), else it is put back. The end of the file
// stops the run naming item: the list's terminator is still expected.
bool atTerminator(std::istream &in, const std::string &terminators, const char *item,
                  bool skipWhite = true);

// Reads a list that has no count: after its label line, numbers of type T
// (int or double) until a terminator letter follows one of them; the list is
// empty when the very first character is already the terminator. take(value,
// index) checks and stores each value as it comes. The terminator's line is
// discarded, so the next item's value follows. Returns the number of values.
template <typename T, typename Take>
int readList(std::istream &in, const std::string &terminators, const char *item, Take take) {
  int count = 0;
  if (!atTerminator(in, terminators, item, false)) {
    do {
      if constexpr (std::is_same_v<T, int>)
        take(readInt(in, item), count);
      else
        take(readDouble(in, item), count);
      count++;
    } while (!atTerminator(in, terminators, item));
  }
  skipLine(in);
  return count;
}

// Text of an item stop: before + item + the closing quote and full stop.
std::string itemMessage(const char *before, const char *item);

// The reader's work tables, made afresh by every call of readdata3.
struct ReadTables {
  std::vector<std::vector<double>> alleleCounts; // [label][locus], normal population
  std::vector<Haplotype> normalList;             // one entry per normal chromosome
  int largestNormalLabel = 0;
  int patientRowsStored = 0;
  std::vector<double> segPositions; // the segment lines of the echo
  std::vector<char> segKinds;
  Table echoFreqs; // the floored frequencies the echo shows
};

// Data sections, in the order the reader meets them.
// Item 7: the normal-population table, up to and including the "Map distance"
// label line; fills the allele counts, the haplotype list and maxall.
// Every row is checked against budget before it is stored.
void readNormalTable(ReadTables &t, std::istream &in, const MemoryBudget &budget);
// Item 12: every chain's copy of the normal-population haplotype list.
void copyNormalHaplotypes(ReadTables &t, std::vector<std::vector<Haplotype>> &normalHaps);
// Item 28: the patient table, up to and including the "Use sequence weights"
// label line; fills patientData.
void readPatientTable(ReadTables &t, std::istream &in, std::vector<std::vector<int>> &patientData);
// After item 28: maxall over the patient data, normmat and the floored
// frequencies of the echo; checks that every marker has alleles and that the
// root alleles are labels of their markers. Returns maxAllele.
int buildAlleleTables(ReadTables &t, const std::vector<std::vector<int>> &patientData);
// Item 30: the weights and either a segment table or a sequence file with the
// markers' contig positions; fills the weights, the segment arrays and the
// segment count.
void readSequenceWeights(ReadTables &t, std::istream &in);
// Log echo of the patient rows and of the segment lines.
void echoPatientRows(const ReadTables &t, std::ostream &log,
                     const std::vector<std::vector<int>> &patientData);
void echoSegments(const ReadTables &t, std::ostream &log);
// Reports every allele label of 1..maxall[l] found nowhere in the data; true
// when there was none.
bool checkMissingAlleles(const std::vector<std::vector<int>> &patientData);

// Memory estimates from the sizes read so far (runsize.cpp): one chain's
// genealogies; everything one chain holds but its sample stores; one chain's
// sample stores for the given number of sampling iterations.
double chainTreeBytes();
double chainStateBytes(const ReadTables &t);
double chainSampleBytes(long iterations);

// Warnings on standard error (readerwarnings.cpp). Non-white-space text
// between from and the letter just found by a search for item's label was
// passed over; the stream's state and position are kept.
void warnSkippedText(std::istream &in, std::streampos from, const char *item);
// The map spans more than one unit (Morgan).
void warnMapSpan();
