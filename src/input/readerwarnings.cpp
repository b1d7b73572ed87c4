// Warnings of the control-file reader on standard error: text it passes
// over without reading, and a map whose span suggests centimorgans. Neither
// stops the run or changes what is read.
#include <cctype>
#include <iostream>

#include "controlscan.h"
#include "input.h"

namespace {

constexpr size_t shownCharacters = 40;

} // namespace

void warnSkippedText(std::istream &in, std::streampos from, const char *item) {
  const std::ios::iostate state = in.rdstate();
  in.clear();
  const std::streampos to = in.tellg();
  if (from == std::streampos(-1) || to == std::streampos(-1)) {
    in.setstate(state);
    return;
  }
  // The text from the end of the last value up to, not including, the letter
  // that was found.
  in.seekg(from);
  std::string text;
  std::streampos first = -1;
  for (std::streamoff k = std::streamoff(from); k + 1 < std::streamoff(to); k++) {
    const int c = in.get();
    if (std::isspace(c)) {
      if (!text.empty() && text.back() != ' ')
        text += ' ';
      continue;
    }
    if (first == std::streampos(-1))
      first = std::streampos(k);
    if (text.size() < shownCharacters)
      text += static_cast<char>(c);
  }
  in.clear();
  in.seekg(to);
  in.setstate(state);
  if (first == std::streampos(-1))
    return;
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  std::cerr << "mutloc: warning: line " << lineNumberAt(in, first) << ": the text \"" << text
            << (text.size() >= shownCharacters ? "..." : "")
            << "\" was skipped while looking for \"" << item << "\"" << std::endl;
}

void warnMapSpan() {
  const double span = pset.mapDist[pset.numLoci] - pset.mapDist[1];
  if (span > 1)
    std::cerr << "mutloc: warning: the map spans " << span
              << " Morgans; positions are in Morgans: 1 cM is 0.01" << std::endl;
}
