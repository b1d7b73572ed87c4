// Reading the region of a VCF or BCF file with htslib. An indexed file (BCF
// with .csi, bgzipped VCF with .tbi or .csi) is queried for the region; any
// other file is read through and its records outside the region listed as
// dropped. Text records are read as lines and checked before htslib parses
// them, since its parser passes over damage that changes the data.
#include "vcfreader.h"

#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/kseq.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "failure.h"
#include "samplelists.h"
#include "textline.h"
#include "vcfrecord.h"

namespace {

// Owners of the htslib handles, so that every way out releases them.
struct HtsCloser {
  void operator()(htsFile *f) const { hts_close(f); }
  void operator()(bcf_hdr_t *h) const { bcf_hdr_destroy(h); }
  void operator()(bcf1_t *r) const { bcf_destroy(r); }
  void operator()(hts_idx_t *i) const { hts_idx_destroy(i); }
  void operator()(tbx_t *t) const { tbx_destroy(t); }
  void operator()(hts_itr_t *i) const { hts_itr_destroy(i); }
};
template <typename T> using Owned = std::unique_ptr<T, HtsCloser>;

struct KString {
  kstring_t s = KS_INITIALIZE;
  ~KString() { ks_free(&s); }
};

// The file's own name of the chromosome that region names, or "" when the
// file has none of that name.
std::string ownName(const char **names, int count, const std::string &chrom) {
  std::string found;
  for (int i = 0; i < count; i++)
    if (sameChromosome(names[i], chrom))
      found = names[i];
  std::free(names);
  return found;
}

struct GtBuffer {
  int32_t *values = nullptr;
  int size = 0;
  ~GtBuffer() { std::free(values); }
};

// Turns one record into a site with the calls of the chosen columns.
Site siteOf(const std::string &path, bcf_hdr_t *hdr, bcf1_t *rec, const Groups &g,
            const std::vector<std::string> &names, GtBuffer &gt) {
  Site site;
  site.chrom = bcf_seqname(hdr, rec);
  site.pos = rec->pos + 1;
  site.where = path + ", record " + site.chrom + ":" + std::to_string(site.pos);
  site.id = rec->d.id;
  for (int a = 0; a < rec->n_allele; a++)
    site.alleles.push_back(rec->d.allele[a]);

  const int total = bcf_get_genotypes(hdr, rec, &gt.values, &gt.size);
  const int samples = bcf_hdr_nsamples(hdr);
  if (total <= 0 || samples == 0)
    throw DataError(site.where + ": no GT field");
  const int ploidy = total / samples;
  std::vector<int> columns(g.cases);
  columns.insert(columns.end(), g.controls.begin(), g.controls.end());
  for (size_t s = 0; s < columns.size(); s++) {
    const int32_t *v = gt.values + static_cast<size_t>(columns[s]) * ploidy;
    const std::string who = site.where + ", sample " + names[s];
    if (ploidy < 2 || v[1] == bcf_int32_vector_end)
      throw DataError(who + ": a haploid call; only diploid calls can be converted");
    if (ploidy > 2 && v[2] != bcf_int32_vector_end)
      throw DataError(who + ": more than two alleles in one call");
    Call call;
    for (int k = 0; k < 2; k++) {
      if (v[k] == bcf_int32_vector_end || bcf_gt_is_missing(v[k]))
        continue;
      const int a = bcf_gt_allele(v[k]);
      if (a < 0 || a >= rec->n_allele)
        throw DataError(who + ": allele " + std::to_string(a) + " of a site with " +
                        std::to_string(rec->n_allele) + " alleles");
      call.allele[k] = a;
    }
    call.phased = phaseKnown(call, bcf_gt_is_phased(v[1]));
    site.calls.push_back(call);
  }
  return site;
}

// Checks the header lines of a text VCF that htslib has read into hdr, since
// it passes over a line it cannot parse with a message only; returns their
// number, so that records can be named by their line.
long checkedHeaderLines(const std::string &path, const bcf_hdr_t *hdr) {
  Owned<htsFile> fp(hts_open(path.c_str(), "r"));
  KString line;
  long n = 0;
  while (fp && hts_getline(fp.get(), KS_SEP_LINE, &line.s) >= 0 && line.s.l > 0 &&
         line.s.s[0] == '#') {
    const std::string text(line.s.s, line.s.l);
    const std::string where = path + " line " + std::to_string(++n);
    refuseControlBytes(text, where);
    if (text.compare(0, 2, "##") != 0)
      continue;
    int length = 0;
    bcf_hrec_t *hrec = bcf_hdr_parse_line(hdr, text.c_str(), &length);
    if (!hrec)
      throw DataError(where + ": htslib cannot read this header line: " + shown(text));
    bcf_hrec_destroy(hrec);
  }
  return n;
}

// The first tab-separated fields of a line, as far as they are there.
std::vector<std::string> leadingFields(const std::string &line, size_t count) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == '\t') {
      if (out.size() == count)
        break;
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  out.resize(count, "");
  return out;
}

// The index file htslib loads beside path (.tbi before .csi for text), which
// must not be older than the file: an index of an earlier version or of
// another file points into other data. Notes its name in set.
void checkIndexAge(const std::string &path, bool text, Callset &set) {
  struct stat data, index;
  if (stat(path.c_str(), &data) != 0)
    return;
  for (const char *suffix : {".tbi", ".csi"}) {
    if (!text && std::string(suffix) == ".tbi")
      continue;
    const std::string name = path + suffix;
    if (stat(name.c_str(), &index) != 0)
      continue;
    if (index.st_mtime < data.st_mtime)
      throw DataError(path + ": its index " + name +
                      " is older than the file, so it may belong to another version of it or "
                      "to another file (index the file again, or remove the index to read the "
                      "file through)");
    set.index = name;
    return;
  }
}

// One pass over the records of a file or of an index query.
class RecordReader {
public:
  RecordReader(const Options &o, bcf_hdr_t *hdr, Callset &set, const Groups &g)
      : o_(o), hdr_(hdr), set_(set), g_(g), rec_(bcf_init()) {}

  // A text line: checked, parsed and taken. where names the line.
  void line(kstring_t *text, const std::string &where) {
    if (text->l == 0)
      return;
    const std::string copy(text->s, text->l);
    std::string problem = textProblem(copy, hdr_);
    if (problem.empty())
      problem = vcf_parse(text, hdr_, rec_.get()) < 0 ? "htslib cannot parse it"
                                                      : parsedProblem(hdr_, rec_.get());
    if (!problem.empty()) {
      const auto f = leadingFields(copy, 3);
      bad(where, problem, "; the line reads: " + shown(copy), f[0], f[1], f[2]);
      return;
    }
    take();
  }

  // The record of a BCF file read into buffer(), the count-th read.
  void record(long count) {
    const std::string where = o_.vcf + " record " + std::to_string(count);
    std::string problem = parsedProblem(hdr_, rec_.get());
    if (problem.empty() && bcf_unpack(rec_.get(), BCF_UN_STR) < 0)
      problem = "htslib cannot unpack it";
    if (!problem.empty()) {
      const bool named = rec_->rid >= 0 && rec_->rid < hdr_->n[BCF_DT_CTG];
      bad(where, problem, "", named ? bcf_seqname(hdr_, rec_.get()) : "?",
          std::to_string(rec_->pos + 1), ".");
      return;
    }
    take();
  }

  bcf1_t *buffer() { return rec_.get(); }

private:
  // A damaged record: an error, or with --skip-bad-records a listed drop.
  void bad(const std::string &where, const std::string &problem, const std::string &content,
           const std::string &chrom, const std::string &pos, const std::string &id) {
    const std::string text = where + ": " + problem;
    if (!o_.skipBadRecords)
      throw DataError(text + content + " (--skip-bad-records leaves such records out, listed)");
    set_.read++;
    set_.bad++;
    set_.dropped.push_back({shown(chrom), shown(pos), shown(id), "bad record: " + text, set_.read});
    set_.notes.push_back("skipped " + text);
  }

  void take() {
    bcf1_t *rec = rec_.get();
    if (bcf_unpack(rec, BCF_UN_STR) < 0)
      throw DataError(o_.vcf + ", record " + bcf_seqname(hdr_, rec) + ":" +
                      std::to_string(rec->pos + 1) + ": the record cannot be read");
    set_.read++;
    const std::string chrom = bcf_seqname(hdr_, rec);
    if (!inRegion(o_.region, chrom, rec->pos + 1)) {
      set_.outside++;
      set_.dropped.push_back({chrom, std::to_string(rec->pos + 1), rec->d.id,
                              "outside the region " + regionText(o_.region), set_.read});
      return;
    }
    const std::string note = nameNote(o_.vcf, chrom, o_.region.chrom);
    if (!note.empty() && set_.sites.empty())
      set_.notes.push_back(note);
    set_.sites.push_back(siteOf(o_.vcf, hdr_, rec, g_, set_.samples, gt_));
    set_.sites.back().order = set_.read;
  }

  const Options &o_;
  bcf_hdr_t *hdr_;
  Callset &set_;
  const Groups &g_;
  Owned<bcf1_t> rec_;
  GtBuffer gt_;
};

} // namespace

Callset readVcf(const Options &o) {
  const std::string &path = o.vcf;
  Owned<htsFile> fp(hts_open(path.c_str(), "r"));
  if (!fp)
    throw DataError("cannot open " + path);
  const htsFormat *format = hts_get_format(fp.get());
  if (format->format != vcf && format->format != bcf)
    throw DataError(path + " is not a VCF or BCF file");
  // A bgzipped file cut at a block boundary reads as a shorter whole file.
  if (format->compression == bgzf && bgzf_check_EOF(hts_get_bgzfp(fp.get())) == 0)
    throw DataError(path + " lacks bgzip's end-of-file block: the file is cut short");
  errno = 0;
  Owned<bcf_hdr_t> hdr(bcf_hdr_read(fp.get()));
  if (!hdr)
    throw DataError(path + ": the header cannot be read" +
                    (errno == ENOMEM ? std::string(": not enough memory for it") : ""));

  const long headerLines = format->format == vcf ? checkedHeaderLines(path, hdr.get()) : 0;
  std::vector<std::string> samples;
  for (int i = 0; i < bcf_hdr_nsamples(hdr.get()); i++)
    samples.push_back(hdr->samples[i]);
  const Groups g = chooseGroups(samples, path, o.cases, o.controls);
  Callset set;
  set.samples = groupNames(samples, g);
  set.cases = g.cases.size();
  for (const auto &name : set.samples)
    set.sampleWhere.push_back("sample " + name);

  RecordReader reader(o, hdr.get(), set, g);
  const Region &r = o.region;
  auto readError = [&]() {
    const std::string after = set.sites.empty() ? std::string("in the region")
                                                : "after " + set.sites.back().chrom + ":" +
                                                      std::to_string(set.sites.back().pos);
    return DataError(path + ": a record " + after + " cannot be read");
  };

  // Queries are 0-based and half open; records overlapping the region from
  // the left are listed as outside it.
  const hts_pos_t begin = r.start - 1, end = r.end;
  KString line;
  int ret;
  if (format->format == bcf) {
    long count = 0;
    Owned<hts_idx_t> idx(bcf_index_load3(path.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
    if (idx) {
      checkIndexAge(path, false, set);
      int n = 0;
      const char **names = bcf_hdr_seqnames(hdr.get(), &n);
      const std::string name = ownName(names, n, r.chrom);
      const int rid = bcf_hdr_name2id(hdr.get(), name.c_str());
      if (rid < 0)
        return set;
      Owned<hts_itr_t> itr(bcf_itr_queryi(idx.get(), rid, begin, end));
      if (!itr)
        throw DataError(path + ": the index cannot be queried for the region");
      while ((ret = bcf_itr_next(fp.get(), itr.get(), reader.buffer())) >= 0)
        reader.record(++count);
    } else {
      while ((ret = bcf_read(fp.get(), hdr.get(), reader.buffer())) >= 0)
        reader.record(++count);
    }
  } else {
    Owned<tbx_t> tbx(format->compression == bgzf
                         ? tbx_index_load3(path.c_str(), nullptr, HTS_IDX_SILENT_FAIL)
                         : nullptr);
    if (tbx) {
      checkIndexAge(path, true, set);
      int n = 0;
      const char **names = tbx_seqnames(tbx.get(), &n);
      const std::string name = ownName(names, n, r.chrom);
      const int tid = tbx_name2id(tbx.get(), name.c_str());
      if (tid < 0)
        return set;
      Owned<hts_itr_t> itr(tbx_itr_queryi(tbx.get(), tid, begin, end));
      if (!itr)
        throw DataError(path + ": the index cannot be queried for the region");
      while ((ret = tbx_itr_next(fp.get(), tbx.get(), itr.get(), &line.s)) >= 0) {
        const auto f = leadingFields(std::string(line.s.s, line.s.l), 2);
        reader.line(&line.s, path + ", the record at " + shown(f[0]) + ":" + shown(f[1]) +
                                 " (read through the index)");
      }
    } else {
      long n = headerLines;
      while ((ret = hts_getline(fp.get(), KS_SEP_LINE, &line.s)) >= 0)
        reader.line(&line.s, path + " line " + std::to_string(++n));
    }
  }
  // At damaged compressed data htslib may end the records as if at the end
  // of the file, with only the stream's error code set.
  const BGZF *compressed = hts_get_bgzfp(fp.get());
  if (ret < -1 || (compressed && compressed->errcode))
    throw readError();
  return set;
}
