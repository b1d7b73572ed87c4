// Reading the region of a VCF or BCF file with htslib. An indexed file (BCF
// with .csi, bgzipped VCF with .tbi or .csi) is queried for the region; any
// other file is read through and its records outside the region passed over.
#include "vcfreader.h"

#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <cstdlib>
#include <memory>

#include "failure.h"
#include "samplelists.h"

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
  if (bcf_unpack(rec, BCF_UN_STR) < 0)
    throw DataError(site.where + ": the record cannot be read");
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

} // namespace

Callset readVcf(const Options &o) {
  const std::string &path = o.vcf;
  Owned<htsFile> fp(hts_open(path.c_str(), "r"));
  if (!fp)
    throw DataError("cannot open " + path);
  const htsFormat *format = hts_get_format(fp.get());
  if (format->format != vcf && format->format != bcf)
    throw DataError(path + " is not a VCF or BCF file");
  Owned<bcf_hdr_t> hdr(bcf_hdr_read(fp.get()));
  if (!hdr)
    throw DataError(path + ": the header cannot be read");

  std::vector<std::string> samples;
  for (int i = 0; i < bcf_hdr_nsamples(hdr.get()); i++)
    samples.push_back(hdr->samples[i]);
  const Groups g = chooseGroups(samples, path, o.cases, o.controls);
  Callset set;
  set.samples = groupNames(samples, g);
  set.cases = g.cases.size();
  for (const auto &name : set.samples)
    set.sampleWhere.push_back("sample " + name);

  Owned<bcf1_t> rec(bcf_init());
  GtBuffer gt;
  const Region &r = o.region;
  auto take = [&]() {
    if (inRegion(r, bcf_seqname(hdr.get(), rec.get()), rec->pos + 1))
      set.sites.push_back(siteOf(path, hdr.get(), rec.get(), g, set.samples, gt));
  };
  auto readError = [&]() {
    const std::string after = set.sites.empty() ? std::string("in the region")
                                                : "after " + set.sites.back().chrom + ":" +
                                                      std::to_string(set.sites.back().pos);
    return DataError(path + ": a record " + after + " cannot be read");
  };

  // Queries are 0-based and half open; records overlapping the region from
  // the left are passed over by take().
  const hts_pos_t begin = r.start - 1, end = r.end;
  if (format->format == bcf) {
    Owned<hts_idx_t> idx(bcf_index_load3(path.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
    if (idx) {
      int count = 0;
      const char **names = bcf_hdr_seqnames(hdr.get(), &count);
      const std::string name = ownName(names, count, r.chrom);
      const int rid = bcf_hdr_name2id(hdr.get(), name.c_str());
      if (rid < 0)
        return set;
      Owned<hts_itr_t> itr(bcf_itr_queryi(idx.get(), rid, begin, end));
      if (!itr)
        throw DataError(path + ": the index cannot be queried for the region");
      int ret;
      while ((ret = bcf_itr_next(fp.get(), itr.get(), rec.get())) >= 0)
        take();
      if (ret < -1)
        throw readError();
      return set;
    }
  } else if (format->compression == bgzf) {
    Owned<tbx_t> tbx(tbx_index_load3(path.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
    if (tbx) {
      int count = 0;
      const char **names = tbx_seqnames(tbx.get(), &count);
      const std::string name = ownName(names, count, r.chrom);
      const int tid = tbx_name2id(tbx.get(), name.c_str());
      if (tid < 0)
        return set;
      Owned<hts_itr_t> itr(tbx_itr_queryi(tbx.get(), tid, begin, end));
      if (!itr)
        throw DataError(path + ": the index cannot be queried for the region");
      KString line;
      int ret;
      while ((ret = tbx_itr_next(fp.get(), tbx.get(), itr.get(), &line.s)) >= 0) {
        if (vcf_parse(&line.s, hdr.get(), rec.get()) < 0)
          throw readError();
        take();
      }
      if (ret < -1)
        throw readError();
      return set;
    }
  }
  int ret;
  while ((ret = bcf_read(fp.get(), hdr.get(), rec.get())) >= 0)
    take();
  if (ret < -1)
    throw readError();
  return set;
}
