// The membership table: one line per row of the patient block, so that a
// user can put each figure beside the row it is about.
#include "membership.h"

#include <cmath>
#include <iomanip>
#include <limits>
#include <ostream>

double pooledFounderProbability(const MembershipTable &table, size_t row) {
  if (table.chains.empty())
    return std::numeric_limits<double>::quiet_NaN();
  double sum = 0;
  for (const std::vector<double> &chain : table.chains)
    sum += chain[row];
  return sum / table.chains.size();
}

namespace {

void writeProbability(std::ostream &out, double p) {
  if (std::isnan(p))
    out << "NA";
  else
    out << p;
}

} // namespace

void writeMembershipTable(std::ostream &out, const MembershipTable &table, const std::string &run) {
  out << "row\tcopies\tp_founder";
  for (size_t ch = 0; ch < table.chains.size(); ch++)
    out << "\tchain" << ch + 1;
  out << "\trun\n" << std::setprecision(6);
  for (size_t r = 0; r < table.copies.size(); r++) {
    out << r + 1 << '\t' << table.copies[r] << '\t';
    writeProbability(out, pooledFounderProbability(table, r));
    for (const std::vector<double> &chain : table.chains) {
      out << '\t';
      writeProbability(out, chain[r]);
    }
    out << '\t' << run << '\n';
  }
  out.flush();
}
