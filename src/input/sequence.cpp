// The annotated sequence file: the mRNA features of a feature table give the
// exons and genes of the contig that holds the markers. Merged, they become
// the alternating exon, intron and non-gene segments that weight the
// mutation location; the segments are written to "exons.txt" and handed back
// to the control-file reader.
#include <algorithm>
#include <climits>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "input.h"
#include "messages.h"
#include "outfile.h"
#include "sort.h"
#include "stop.h"

namespace {

// Replaces every occurrence of from by one blank, from left to right.
std::string replaceEach(const std::string &word, const std::string &from) {
  std::string out;
  out.reserve(word.size());
  for (size_t i = 0; i < word.size();) {
    if (word.compare(i, from.size(), from) == 0) {
      out += ' ';
      i += from.size();
    } else {
      out += word[i++];
    }
  }
  return out;
}

// Reduces a word of a location expression to digits and blanks: the operator
// names and the punctuation of ranges, lists and partial ends all become
// blanks, and runs of blanks shrink to one.
std::string locationDigits(std::string word) {
  for (const char *token : {"complement", "join", ")", "(", "..", ",", ">", "<"})
    word = replaceEach(word, token);
  std::string out;
  for (char ch : word)
    if (ch != ' ' || out.empty() || out.back() != ' ')
      out += ch;
  return out;
}

[[noreturn]] void badLocation(const char *what, const std::string &asRead) {
  stop(what + asRead + msg::seqLocationEnd);
}

// Sorts (start, end) pairs on their ends, drops a pair equal to the one kept
// before it, then merges every pair that begins at or before the end of the
// pair kept before it into that pair (which keeps its start). A start without
// its end is dropped first.
void mergePairs(std::vector<long> &starts, std::vector<long> &ends) {
  const size_t n = std::min(starts.size(), ends.size());
  starts.resize(n);
  ends.resize(n);
  mysort3(starts.data(), ends.data(), static_cast<long>(n));

  size_t kept = 0;
  for (size_t i = 0; i < n; i++) {
    if (kept > 0 && starts[i] == starts[kept - 1] && ends[i] == ends[kept - 1])
      continue;
    starts[kept] = starts[i];
    ends[kept] = ends[i];
    kept++;
  }
  size_t merged = 0;
  for (size_t i = 0; i < kept; i++) {
    if (merged > 0 && ends[merged - 1] >= starts[i]) {
      ends[merged - 1] = std::max(ends[merged - 1], ends[i]);
      continue;
    }
    starts[merged] = starts[i];
    ends[merged] = ends[i];
    merged++;
  }
  starts.resize(merged);
  ends.resize(merged);
}

} // namespace

void readseq(std::vector<double> &positions, std::vector<char> &kinds, int *count,
             const std::string &fileName) {
  OutFile exons;
  if (!exons.open("exons.txt"))
    stop(msg::exonsFileOpen, 255);
  std::ifstream sequence(fileName);
  if (sequence.is_open())
    sequence.peek();
  if (!sequence.is_open() || sequence.bad())
    stop(msg::seqFileOpen + fileName + "\n" + msg::seqFileSpelling);

  // The numbers of all location expressions form one stream: a number may run
  // on from one word into the next, and the numbers alternate between exon
  // starts and exon ends across the whole file. A feature's first number
  // starts its gene and its last number ends it.
  std::vector<long> exonStarts, exonEnds, geneStarts, geneEnds;
  long number = 0, featureLast = 0;
  bool digitSeen = false, nextIsStart = true;
  std::string word;
  while (sequence >> word) {
    if (word != "mRNA")
      continue;
    bool featureFirst = true;
    bool haveWord = static_cast<bool>(sequence >> word);
    std::string text = word + " ";
    while (haveWord && text.compare(0, 5, "/gene") != 0) {
      for (char ch : locationDigits(text)) {
        if (ch >= '0' && ch <= '9') {
          if (number > (INT_MAX - (ch - '0')) / 10)
            badLocation(msg::seqLocationNumber, word);
          number = 10 * number + (ch - '0');
          digitSeen = true;
        } else if (ch != ' ') {
          badLocation(msg::seqLocationChar, word);
        } else if (digitSeen) {
          (nextIsStart ? exonStarts : exonEnds).push_back(number);
          nextIsStart = !nextIsStart;
          if (featureFirst)
            geneStarts.push_back(number);
          featureFirst = false;
          featureLast = number;
          number = 0;
          digitSeen = false;
        }
      }
      haveWord = static_cast<bool>(sequence >> word);
      text = word;
    }
    geneEnds.push_back(featureLast);
  }
  mergePairs(exonStarts, exonEnds);
  mergePairs(geneStarts, geneEnds);

  // Positions relative to the first marker, whose contig position mapDist[1]
  // still holds. Every exon is followed by an intron up to the next exon of
  // its gene, or by non-gene sequence where its gene ends.
  const double first = pset.mapDist[1];
  positions.clear();
  kinds.clear();
  auto entry = [&](long base, char kind) {
    positions.push_back((static_cast<double>(base) - first) * 1e-6);
    kinds.push_back(kind);
    exons << positions.back() << ' ' << kind << std::endl;
  };
  entry(1, 'n');
  size_t gene = 0;
  for (size_t i = 0; i < exonStarts.size(); i++) {
    entry(exonStarts[i], 'e');
    const bool endsGene = gene < geneEnds.size() && exonEnds[i] == geneEnds[gene];
    if (endsGene)
      gene++;
    entry(exonEnds[i] + 1, endsGene ? 'n' : 'i');
  }
  *count = static_cast<int>(exonStarts.size()) + 1;
  // A full disk must not leave a cut list of segments behind a run that
  // goes on as if it were whole.
  closeOrStop(exons);
}
