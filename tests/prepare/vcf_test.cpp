// mutloc-prepare on small VCF and BCF files: what mutloc reads from the
// control file written for phased and unphased cases under both models, the
// allele labels of multi-allelic sites, the dropped sites and the lists that
// name them, the map, the same file from every form of the input, indexed or
// not, and damaged records skipped on request.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "prepkit.h"
#include "testkit.h"

namespace {

const std::vector<std::string> samples = {"c1", "k1", "c2", "k2", "k3"};

// Cases c1 and c2; k1..k3 are the controls. The site at 3000 is monomorphic;
// at 5000 2 of 4 case alleles and 4 of 6 control alleles are called.
std::vector<Rec> records() {
  return {{1000, "A", "G", {"0|1", "0|0", "1|1", "0|1", "1|0"}},
          {2000, "C", "T,G", {"2|1", "0|0", "0|.", "0|2", "1|0"}},
          {3000, "C", "T", {"0|0", "0|0", "0|0", "0|0", "0|0"}},
          {4000, "C", "T", {"0|1", "0|0", "0|0", "0|0", "1|1"}},
          {5000, "C", "T", {".|.", ".|.", "0|1", "0|1", "0|0"}}};
}

struct Converted {
  PrepareRun run;
  std::string dir, text;
};

Converted convert(const std::string &vcf, const std::string &args, VcfForm form = VcfForm::plain,
                  bool index = false) {
  Converted c;
  c.dir = makeTempDir();
  const char *name = form == VcfForm::plain   ? "a.vcf"
                     : form == VcfForm::bgzip ? "a.vcf.gz"
                                              : "a.bcf";
  writeVcf(c.dir + "/" + name, vcf, form, index);
  writeFile(c.dir, "cases.txt", "c1\n\n# the second case\nc2\n");
  c.run = runPrepare(c.dir, std::string("--vcf ") + name + " --cases cases.txt --out d.in " + args);
  c.text = readFile(c.dir + "/d.in");
  return c;
}

Converted convert(const std::vector<Rec> &recs, const std::string &args,
                  VcfForm form = VcfForm::plain, bool index = false) {
  return convert(vcfText(samples, recs), args, form, index);
}

using Rows = std::vector<std::vector<int>>;

TEST(VcfConversion, PhasedCasesGiveHaplotypesAndTheControlsTheNormalTable) {
  const auto c = convert(records(), "--region 1:1-10000 --cm-per-mb 2 --min-call-rate 0.7");
  ASSERT_EQ(c.run.status, 0) << c.run.err;
  EXPECT_NE(c.run.out.find("markers: 3 of 5 records in 1:1-10000; dropped 1 below the call rate "
                           "0.7 and 1 monomorphic"),
            std::string::npos)
      << c.run.out;
  const ReadBack b = readBack(c.dir + "/d.in");
  EXPECT_EQ(b.genotypes, 0);
  EXPECT_EQ(b.chromosomes, 4);
  ASSERT_EQ(b.loci, 3);
  // REF, ALT1, ALT2 are 1, 2, 3; a missing call is -1.
  EXPECT_EQ(b.patients, (Rows{{1, 3, 1}, {2, -1, 1}, {2, 1, 1}, {2, 2, 2}}));
  EXPECT_EQ(b.normal, (Rows{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 2}, {2, 2, 2}, {2, 3, 1}}));
  EXPECT_EQ(b.maxAllele, 3);
  // 2 cM per Mb from the first marker: 2e-5 Morgans per kb.
  ASSERT_EQ(b.map.size(), 3u);
  EXPECT_EQ(b.map[0], 0);
  EXPECT_DOUBLE_EQ(b.map[1], 2e-5);
  EXPECT_DOUBLE_EQ(b.map[2], 6e-5);
  EXPECT_EQ(b.locLow, 0);
  EXPECT_EQ(b.locHigh, b.map[2]);
  EXPECT_EQ(b.chains, 2);
  // Distinct normal haplotypes are written once with their counts.
  EXPECT_NE(c.text.find("\n3 1 1 1\n"), std::string::npos);
}

TEST(VcfConversion, UnphasedCasesGiveGenotypesUnderBothModels) {
  auto recs = records();
  recs[0].gts[2] = "1/1"; // homozygous: its phase is known anyway
  recs[1].gts[0] = "2/1";
  for (const char *model : {"recessive", "dominant"}) {
    const auto c = convert(
        recs, std::string("--region 1:1-10000 --cm-per-mb 1 --min-call-rate 0.7 --model ") + model);
    ASSERT_EQ(c.run.status, 0) << c.run.err;
    const ReadBack b = readBack(c.dir + "/d.in");
    EXPECT_EQ(b.genotypes, 1);
    const bool recessive = std::string(model) == "recessive";
    // Both chromosomes of each case are leaves, or one per case.
    EXPECT_EQ(b.model, recessive ? 1 : 0);
    EXPECT_EQ(b.chromosomes, recessive ? 4 : 2);
    EXPECT_EQ(b.patients, (Rows{{1, 2, 3, 2, 1, 2}, {2, 2, 1, -1, 1, 1}})) << model;
    EXPECT_NE(c.text.find("\n1/2 3/2 1/2\n2/2 1/-1 1/1\n"), std::string::npos);
  }
  // Phased cases under the dominant model are genotypes too.
  const auto d = convert(records(), "--region 1:1-10000 --cm-per-mb 1 --model dominant");
  EXPECT_EQ(readBack(d.dir + "/d.in").genotypes, 1);
}

TEST(VcfConversion, LabelsCountOnlyTheAllelesCarried) {
  // Nobody carries the REF of the first site nor the T of the second.
  const std::vector<Rec> recs = {{1000, "A", "G,C", {"2|1", "1|1", "1|2", "2|2", "1|1"}},
                                 {2000, "C", "T,G", {"0|2", "0|0", "2|0", "0|0", "0|0"}}};
  const auto c = convert(recs, "--region 1:1-10000 --cm-per-mb 1");
  ASSERT_EQ(c.run.status, 0) << c.run.err;
  const ReadBack b = readBack(c.dir + "/d.in");
  EXPECT_EQ(b.maxAllele, 2);
  EXPECT_EQ(b.patients, (Rows{{1, 2}, {1, 2}, {2, 1}, {2, 1}}));
}

TEST(VcfConversion, TheCallRateIsTakenInCasesAndControlsEach) {
  auto recs = records();
  // Fully called cases, and one control allele of six.
  recs.push_back({6000, "C", "T", {"0|1", ".|.", "1|1", "0|.", ".|."}});
  const auto c = convert(recs, "--region 1:1-10000 --cm-per-mb 1 --min-call-rate 0.4");
  ASSERT_EQ(c.run.status, 0) << c.run.err;
  EXPECT_EQ(readBack(c.dir + "/d.in").loci, 4);
  EXPECT_NE(c.run.out.find("dropped 1 below the call rate 0.4 and 1 monomorphic"),
            std::string::npos)
      << c.run.out;
  // Without any called control allele a marker has no frequencies.
  recs.back().gts[3] = ".|.";
  const auto z = convert(recs, "--region 1:1-10000 --cm-per-mb 1 --min-call-rate 0");
  ASSERT_EQ(z.run.status, 0) << z.run.err;
  EXPECT_NE(z.run.out.find("dropped 1 below the call rate 0 and 1 monomorphic"), std::string::npos)
      << z.run.out;
}

TEST(VcfConversion, EveryFormIndexedOrNotGivesTheSameFile) {
  auto recs = records();
  recs.push_back({900, "A", "C", {"0|1", "0|0", "1|1", "0|1", "1|0"}});  // before the region
  recs.push_back({6000, "A", "C", {"0|1", "0|0", "1|1", "0|1", "1|0"}}); // after it
  recs.push_back({500, "A", "C", {"0|1", "0|0", "1|1", "0|1", "1|0"}, "2"});
  std::sort(recs.begin(), recs.end(), [](const Rec &a, const Rec &b) {
    return a.chrom != b.chrom ? a.chrom < b.chrom : a.pos < b.pos;
  });
  const std::string args = "--region chr1:950-5500 --cm-per-mb 1 --min-call-rate 0.7";
  const auto plain = convert(recs, args);
  ASSERT_EQ(plain.run.status, 0) << plain.run.err;
  EXPECT_EQ(readBack(plain.dir + "/d.in").loci, 3);
  for (VcfForm form : {VcfForm::bgzip, VcfForm::bcf})
    for (bool index : {false, true}) {
      const auto c = convert(recs, args, form, index);
      ASSERT_EQ(c.run.status, 0) << c.run.err;
      // All but the first line, which names the input file.
      EXPECT_EQ(c.text.substr(c.text.find('\n')), plain.text.substr(plain.text.find('\n')))
          << static_cast<int>(form) << index;
    }
}

TEST(VcfConversion, MarkersAtOneGeneticPositionAreSeparatedAndCounted) {
  auto recs = records();
  recs.erase(recs.begin() + 2); // the three sites that are kept
  recs.pop_back();
  // Flat between 1500 and 4500; 1 cM per 1000 bases before, none after.
  const std::string dir = makeTempDir();
  writeVcf(dir + "/a.vcf", vcfText(samples, recs), VcfForm::plain, false);
  writeFile(dir, "cases.txt", "c1\nc2\n");
  writeFile(dir, "ctl.txt", "k1\nk2\nk3\n");
  writeFile(dir, "g.txt", "chr pos rate cM\n1 500 1 0\n1 1500 0 1\n1 4500 0 1\n");
  Converted k;
  k.run = runPrepare(dir, "--vcf a.vcf --cases cases.txt --controls ctl.txt --out d.in "
                          "--region 1:1-9000 --map g.txt --min-call-rate 0.7");
  k.dir = dir;
  ASSERT_EQ(k.run.status, 0) << k.run.err;
  EXPECT_NE(k.run.out.find("map: 1 marker(s) moved off an equal genetic position"),
            std::string::npos)
      << k.run.out;
  // 1000 at 0.5 cM, 2000 and 4000 both at 1 cM: 4000 moves 2000 bases on at
  // the rate of the stretch before, 0.001 cM per base.
  const ReadBack b = readBack(k.dir + "/d.in");
  ASSERT_EQ(b.map.size(), 3u);
  EXPECT_NEAR(b.map[1], 0.005, 1e-12);
  EXPECT_NEAR(b.map[2], 0.025, 1e-12);
}

TEST(VcfConversion, ListsNameEveryMarkerAndEveryDroppedSite) {
  auto recs = records();
  for (size_t i = 0; i < recs.size(); i++)
    recs[i].id = "rs" + std::to_string(i + 1);
  recs[3].gts[0] = "1/0";
  const auto c = convert(recs, "--region chr1:1-4500 --cm-per-mb 2 --min-call-rate 0.7");
  ASSERT_EQ(c.run.status, 0) << c.run.err;
  EXPECT_EQ(readFile(c.dir + "/d.in.markers.tsv"), "marker\tid\tchrom\tpos\tmap\talleles\n"
                                                   "1\trs1\t1\t1000\t0\t1=A,2=G\n"
                                                   "2\trs2\t1\t2000\t2e-05\t1=C,2=T,3=G\n"
                                                   "3\trs4\t1\t4000\t6e-05\t1=C,2=T\n");
  EXPECT_EQ(readFile(c.dir + "/d.in.dropped.tsv"),
            "chrom\tpos\tid\treason\n"
            "1\t3000\trs3\tmonomorphic: every called allele is C\n"
            "1\t5000\trs5\toutside the region chr1:1-4500\n");
  EXPECT_NE(c.run.out.find("records: 5 read; 1 outside the region, 0 bad ones skipped"),
            std::string::npos)
      << c.run.out;
  // The region's chr1 is the file's 1, and the unphased case call is named.
  EXPECT_NE(c.run.err.find("a.vcf calls chromosome chr1 '1'"), std::string::npos) << c.run.err;
  EXPECT_NE(c.run.err.find("the first unphased case call is T/C at a.vcf, record 1:4000, case "
                           "sample c1"),
            std::string::npos)
      << c.run.err;
}

TEST(VcfConversion, SkippedBadRecordsAreListedAndTheRestConvertsAsWithout) {
  const std::string args = "--region 1:1-10000 --cm-per-mb 2 --min-call-rate 0.7";
  const auto intact = convert(records(), args);
  ASSERT_EQ(intact.run.status, 0) << intact.run.err;
  std::string text = vcfText(samples, records());
  text.replace(text.find("\n1\t3000\t"), 8, "\n1\t3O00\t");
  text.insert(text.find("\n1\t4000\t"), "\n1\t4500\t.\tA\tG\t.\t.\t.\tGT\t0|1");
  const auto skipped = convert(text, args + " --skip-bad-records");
  ASSERT_EQ(skipped.run.status, 0) << skipped.run.err;
  EXPECT_EQ(skipped.text, intact.text);
  const std::string dropped = readFile(skipped.dir + "/d.in.dropped.tsv");
  EXPECT_NE(dropped.find("1\t3O00\t.\tbad record: a.vcf line 8: POS '3O00' is not"),
            std::string::npos)
      << dropped;
  EXPECT_NE(dropped.find("1\t4500\t.\tbad record: a.vcf line 9: 10 tab-separated columns"),
            std::string::npos)
      << dropped;
  EXPECT_NE(dropped.find("1\t5000\t.\tcall rate below 0.7: cases 2 of 4 alleles called (0.5), "
                         "controls 4 of 6 alleles called (0.667)\n"),
            std::string::npos)
      << dropped;
  EXPECT_NE(skipped.run.err.find("skipped a.vcf line 9"), std::string::npos) << skipped.run.err;
  EXPECT_NE(skipped.run.out.find("records: 6 read; 0 outside the region, 2 bad ones skipped"),
            std::string::npos)
      << skipped.run.out;
}

TEST(VcfConversion, ACutBgzippedFileAndAnOlderIndexAreRefused) {
  const std::string dir = makeTempDir();
  writeVcf(dir + "/a.vcf.gz", vcfText(samples, records()), VcfForm::bgzip, true);
  writeFile(dir, "cases.txt", "c1\nc2\n");
  const std::string args = "--vcf a.vcf.gz --cases cases.txt --out d.in --region 1:1-10000 "
                           "--cm-per-mb 1";
  // An index from before the file was written again.
  namespace fs = std::filesystem;
  fs::last_write_time(dir + "/a.vcf.gz.tbi",
                      fs::last_write_time(dir + "/a.vcf.gz") - std::chrono::hours(1));
  PrepareRun r = runPrepare(dir, args);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("a.vcf.gz: its index a.vcf.gz.tbi is older than the file"),
            std::string::npos)
      << r.err;
  // The last 28 bytes are bgzip's empty end-of-file block.
  fs::remove(dir + "/a.vcf.gz.tbi");
  const std::string bytes = readFile(dir + "/a.vcf.gz");
  writeFile(dir, "a.vcf.gz", bytes.substr(0, bytes.size() - 28));
  r = runPrepare(dir, args);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("a.vcf.gz lacks bgzip's end-of-file block: the file is cut short"),
            std::string::npos)
      << r.err;
}

} // namespace
