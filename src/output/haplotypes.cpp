// Haplotype summaries of chain 0's tips: the tally pooled over the recorded
// iterations with relative frequencies (.hpf), and the distinct haplotypes of
// the final genealogy with their counts (.hap). A table row holds a count
// followed by the key, the tip's allele labels.
#include <algorithm>
#include <cmath>
#include <ostream>

#include "output.h"

namespace {

using Tally = std::vector<std::vector<int>>;

bool isTip(const TreeRow &row) {
  return row[child1] == -1;
}

// A tip's key is its alleles as labels: imputed alleles are stored negated.
int keyAllele(const TreeRow &tip, int c) {
  return static_cast<int>(std::fabs(tip[TMAT + c]));
}

// The first of the used rows whose key is the tip's, or used when none is.
size_t findKey(const Tally &table, size_t used, const TreeRow &tip) {
  for (size_t r = 0; r < used; r++) {
    int c = 0;
    while (c < TOTLOCI && table[r][c + 1] == keyAllele(tip, c))
      c++;
    if (c == TOTLOCI)
      return r;
  }
  return used;
}

void storeKey(std::vector<int> &row, const TreeRow &tip) {
  row[0] = 1;
  for (int c = 0; c < TOTLOCI; c++)
    row[c + 1] = keyAllele(tip, c);
}

// Most frequent first; equal counts keep the order in which their haplotypes
// were first seen.
void sortByCount(Tally &table, size_t used) {
  std::stable_sort(
      table.begin(), table.begin() + used,
      [](const std::vector<int> &a, const std::vector<int> &b) { return a[0] > b[0]; });
}

void writeKey(std::ostream &out, const std::vector<int> &row) {
  for (int c = 0; c < TOTLOCI; c++)
    out << row[c + 1] << " ";
  out << std::endl;
}

} // namespace

void haplosave1(const TreeMatrix &tree, std::ostream &out, int final) {
  // Stored rows always have a positive count, so the rows in use are the
  // leading ones. Once all maxTalliedHaplotypes rows of hapstate are taken, no
  // tip is tallied any more, not even one with a stored key.
  size_t used = 0;
  while (used < hapstate.size() && hapstate[used][0] > 0)
    used++;
  for (const TreeRow &row : tree) {
    if (used == hapstate.size())
      break;
    if (!isTip(row))
      continue;
    const size_t r = findKey(hapstate, used, row);
    if (r == used)
      storeKey(hapstate[used++], row);
    else
      hapstate[r][0]++;
  }
  if (!final)
    return;

  sortByCount(hapstate, used);
  long total = 0;
  for (size_t r = 0; r < used; r++)
    total += hapstate[r][0];
  for (size_t r = 0; r < used; r++) {
    out << static_cast<double>(hapstate[r][0]) / total << " ";
    writeKey(out, hapstate[r]);
  }
}

void haplosave3(const TreeMatrix &tree, std::ostream &out) {
  Tally table;
  for (const TreeRow &row : tree) {
    if (!isTip(row))
      continue;
    const size_t r = findKey(table, table.size(), row);
    if (r == table.size()) {
      table.emplace_back(TOTLOCI + 1);
      storeKey(table.back(), row);
    } else {
      table[r][0]++;
    }
  }
  sortByCount(table, table.size());
  for (const std::vector<int> &row : table) {
    out << row[0] << " ";
    writeKey(out, row);
  }
}
