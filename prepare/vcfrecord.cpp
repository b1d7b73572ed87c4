// Record checks of the VCF reader.
#include "vcfrecord.h"

#include <vector>

#include "numbers.h"
#include "textline.h"

namespace {

// BCF stores positions in 32 bits, so a contig without a length in the
// header still ends there.
constexpr long longestContig = 2147483647;

// The contig's length from its ##contig line, or longestContig.
long contigLength(bcf_hdr_t *hdr, int rid) {
  // htslib keeps the length attribute of a ##contig line in info[0], 0 when
  // the line has none.
  const long length = static_cast<long>(hdr->id[BCF_DT_CTG][rid].val->info[0]);
  return length > 0 ? length : longestContig;
}

std::string withinText(bcf_hdr_t *hdr, int rid) {
  const long length = contigLength(hdr, rid);
  return "a whole number from 1 to " + std::to_string(length) +
         (length == longestContig
              ? " (the header gives the contig no length; BCF's limit)"
              : " (the length of contig " + std::string(bcf_hdr_id2name(hdr, rid)) + ")");
}

std::vector<std::string> tabFields(const std::string &line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == '\t')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// Digits only, without a leading zero: "0012" is damage, not 12.
bool plainWhole(const std::string &s, long &value) {
  if (s.empty() || s[0] == '0')
    return false;
  for (char c : s)
    if (c < '0' || c > '9')
      return false;
  return parseLong(s, value);
}

} // namespace

std::string textProblem(const std::string &line, bcf_hdr_t *hdr) {
  std::string problem = controlByteIn(line);
  if (!problem.empty())
    return problem;
  const auto f = tabFields(line);
  const size_t samples = static_cast<size_t>(bcf_hdr_nsamples(hdr));
  if (f.size() != 9 + samples)
    return std::to_string(f.size()) + " tab-separated columns where the header has " +
           std::to_string(9 + samples) + " (9 and " + std::to_string(samples) + " samples)";
  const int rid = bcf_hdr_name2id(hdr, f[0].c_str());
  if (rid < 0)
    return "CHROM '" + f[0] + "' is not defined in the header (no ##contig line names it)";
  long pos = 0;
  if (!plainWhole(f[1], pos) || pos > contigLength(hdr, rid))
    return "POS '" + f[1] + "' is not " + withinText(hdr, rid);
  return "";
}

std::string parsedProblem(bcf_hdr_t *hdr, const bcf1_t *rec) {
  static const struct {
    int code;
    const char *text;
  } flags[] = {{BCF_ERR_CTG_UNDEF, "a contig not defined in the header"},
               {BCF_ERR_TAG_UNDEF, "an INFO, FILTER or FORMAT tag not defined in the header"},
               {BCF_ERR_NCOLS, "a number of columns other than the header's"},
               {BCF_ERR_LIMITS, "a value beyond what the file format holds"},
               {BCF_ERR_CHAR, "a character not allowed where it stands"},
               {BCF_ERR_CTG_INVALID, "an invalid contig name"},
               {BCF_ERR_TAG_INVALID, "an invalid tag"}};
  std::string problem;
  for (const auto &f : flags)
    if (rec->errcode & f.code)
      problem += (problem.empty() ? "htslib finds " : " and ") + std::string(f.text);
  if (!problem.empty())
    return problem;
  if (rec->rid < 0 || rec->rid >= hdr->n[BCF_DT_CTG])
    return "a contig not defined in the header";
  if (rec->pos < 0 || rec->pos + 1 > contigLength(hdr, rec->rid))
    return "POS " + std::to_string(rec->pos + 1) + " is not " + withinText(hdr, rec->rid);
  return "";
}
