// Region parsing and chromosome-name matching.
#include "region.h"

#include <cctype>

#include "failure.h"
#include "numbers.h"

Region parseRegion(const std::string &text) {
  const size_t colon = text.rfind(':');
  const size_t dash = colon == std::string::npos ? colon : text.find('-', colon);
  if (colon == 0 || dash == std::string::npos)
    throw UsageError("--region wants CHR:START-END, not '" + text + "'");
  auto position = [&](std::string digits) {
    std::string plain;
    for (char c : digits)
      if (c != ',')
        plain += c;
    long value = 0;
    if (!parseLong(plain, value) || value < 1)
      throw UsageError("--region: '" + digits + "' is not a position (1 or more) in '" + text +
                       "'");
    return value;
  };
  Region r;
  r.chrom = text.substr(0, colon);
  r.start = position(text.substr(colon + 1, dash - colon - 1));
  r.end = position(text.substr(dash + 1));
  if (r.end < r.start)
    throw UsageError("--region: the end " + std::to_string(r.end) + " lies before the start " +
                     std::to_string(r.start));
  return r;
}

std::string regionText(const Region &region) {
  return region.chrom + ":" + std::to_string(region.start) + "-" + std::to_string(region.end);
}

namespace {

// The name without a chr prefix, upper case, with PLINK's codes 23, 24 and 26
// written as X, Y and MT.
std::string canonical(const std::string &name) {
  std::string s;
  for (char c : name)
    s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (s.size() > 3 && s.compare(0, 3, "CHR") == 0)
    s = s.substr(3);
  if (s == "23")
    return "X";
  if (s == "24")
    return "Y";
  if (s == "26" || s == "M")
    return "MT";
  return s;
}

} // namespace

bool sameChromosome(const std::string &a, const std::string &b) {
  return a == b || canonical(a) == canonical(b);
}

bool inRegion(const Region &region, const std::string &chrom, long pos) {
  return pos >= region.start && pos <= region.end && sameChromosome(chrom, region.chrom);
}

std::string nameNote(const std::string &file, const std::string &theirs, const std::string &ours) {
  if (theirs == ours)
    return "";
  return "note: " + file + " calls chromosome " + ours + " '" + theirs +
         "'; the two names are taken as one chromosome";
}
