// The refusals of mutloc-prepare: each names what is wrong (file, record or
// line, field, sample), exits 2 for a wrong command line and 1 for data that
// cannot be converted, and leaves nothing behind: no control file, no
// temporary file, an older control file and lists untouched. Damaged records,
// which htslib reads as some other data, are among them.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "options.h"
#include "prepkit.h"
#include "testkit.h"

namespace {

const std::vector<std::string> samples = {"c1", "c2", "k1", "k2"};

std::vector<Rec> records() {
  return {{1000, "A", "G", {"0|1", "1|1", "0|0", "0|1"}},
          {2000, "C", "T", {"0|1", "0|0", "1|0", "0|0"}},
          {3000, "C", "T", {"1|1", "0|1", "0|0", "1|0"}}};
}

struct Case {
  const char *what;
  std::string args;
  int status;
  std::string message;
};

// Runs args in a folder holding a.vcf (the text vcf), the lists and a map,
// with an older d.in and lists that must survive; checks status, message and
// leftovers.
void expectRefusal(const Case &c, const std::string &vcf = vcfText(samples, records())) {
  const std::string dir = makeTempDir();
  writeFile(dir, "a.vcf", vcf);
  writeFile(dir, "cases.txt", "c1\nc2\n");
  writeFile(dir, "both.txt", "k1\nc2\n");
  writeFile(dir, "twice.txt", "c1\nk1\nc1\n");
  writeFile(dir, "unknown.txt", "c1\nx9\nx8\n");
  writeFile(dir, "empty.txt", "# nobody\n");
  writeFile(dir, "all.txt", "c1\nc2\nk1\nk2\n");
  writeFile(dir, "one.txt", "c1\n");
  writeFile(dir, "g.txt", "1 1500 1 0\n1 5000 1 3.5\n");
  for (const char *older : {"d.in", "d.in.markers.tsv", "d.in.dropped.tsv"})
    writeFile(dir, older, "older\n");
  const PrepareRun r = runPrepare(dir, c.args + " --out d.in");
  EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err;
  EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
  for (const char *older : {"d.in", "d.in.markers.tsv", "d.in.dropped.tsv"})
    EXPECT_EQ(readFile(dir + "/" + older), "older\n") << c.what << " " << older;
  int entries = 0;
  for (const auto &e : std::filesystem::directory_iterator(dir))
    entries += e.path().filename().string()[0] == '.';
  EXPECT_EQ(entries, 0) << c.what << ": a temporary file is left";
}

const std::string vcf = "--vcf a.vcf --region 1:1-9000 --cm-per-mb 1 ";

TEST(Refusals, CommandLineErrorsExitWithStatus2) {
  for (const Case &c : std::vector<Case>{
           {"no input", "--cases cases.txt --region 1:1-9 --cm-per-mb 1", 2, "give one input"},
           {"unknown option", vcf + "--cases cases.txt --colour red", 2,
            "unknown argument '--colour'"},
           {"no region", "--vcf a.vcf --cases cases.txt --cm-per-mb 1", 2, "--region"},
           {"bad region", "--vcf a.vcf --cases cases.txt --cm-per-mb 1 --region 1:9-1", 2,
            "lies before the start"},
           {"two maps", vcf + "--cases cases.txt --map g.txt", 2, "--map FILE or --cm-per-mb X"},
           {"bad number", vcf + "--cases cases.txt --chains two", 2, "--chains wants 1 or more"},
           {"bad list", vcf + "--cases cases.txt --iterate 1,1,4,1", 2, "--iterate wants"},
           {"fixed age without age", vcf + "--cases cases.txt --iterate 1,0,1,1", 2, "--age X"},
           {"repeated", vcf + "--cases cases.txt --seed 3 --seed 4", 2, "--seed is given twice"},
           {"lists with ped", "--ped a.ped --map-plink a.map --region 1:1-9 --cases cases.txt", 2,
            "column 6 chooses"}})
    expectRefusal(c);
}

TEST(Refusals, SampleListsAreChecked) {
  for (const Case &c : std::vector<Case>{
           {"unknown", vcf + "--cases unknown.txt", 1,
            "unknown.txt: 2 sample ID(s) not in a.vcf: x9, x8"},
           {"twice", vcf + "--cases twice.txt", 1,
            "twice.txt line 3: sample c1 is listed twice (first on line 1)"},
           {"both", vcf + "--cases cases.txt --controls both.txt", 1,
            "listed both in cases.txt and in both.txt: c2"},
           {"no cases", vcf + "--cases empty.txt", 1, "empty.txt lists no case"},
           {"no controls", vcf + "--cases cases.txt --controls empty.txt", 1,
            "empty.txt lists no control"},
           {"nobody left", vcf + "--cases all.txt", 1, "has no sample left as a control"},
           {"missing list", vcf + "--cases none.txt", 1, "cannot read the sample list none.txt"}})
    expectRefusal(c);
}

TEST(Refusals, DataThatCannotBeConverted) {
  auto unphased = records();
  unphased[1].gts[3] = "1/0";
  expectRefusal({"unphased control", vcf + "--cases cases.txt", 1,
                 "a.vcf, record 1:2000, control sample k2: an unphased genotype. Controls must "
                 "be phased"},
                vcfText(samples, unphased));
  expectRefusal({"too few markers",
                 "--vcf a.vcf --region 1:1-2500 --cm-per-mb 1 --cases "
                 "cases.txt --min-call-rate 1",
                 1,
                 "region 1:1-2500 of a.vcf: 2 record(s), 1 below the call rate 1, 0 monomorphic; 1 "
                 "marker(s) left"},
                [] {
                  auto r = records();
                  r[0].gts[0] = ".|1";
                  return vcfText(samples, r);
                }());
  expectRefusal({"outside the map", "--vcf a.vcf --region 1:1-9000 --map g.txt --cases cases.txt",
                 1, "a.vcf, record 1:1000 lies outside the genetic map g.txt"});
  expectRefusal({"missing file", "--vcf b.vcf --region 1:1-9 --cm-per-mb 1 --cases cases.txt", 1,
                 "cannot open b.vcf"});
  auto haploid = records();
  haploid[2].gts[1] = "1";
  expectRefusal(
      {"haploid", vcf + "--cases cases.txt", 1, "a.vcf, record 1:3000, sample c2: a haploid call"},
      vcfText(samples, haploid));
  auto same = records();
  same.insert(same.begin() + 1, {1000, "A", "C", {"0|1", "1|1", "0|0", "0|1"}});
  expectRefusal({"two records at one position", vcf + "--cases cases.txt", 1,
                 "a second marker at the position of a.vcf, record 1:1000"},
                vcfText(samples, same));
  expectRefusal({"one dominant case", vcf + "--cases one.txt --model dominant", 1,
                 "the dominant model needs at least two cases"});
}

TEST(Refusals, MoreMarkersThanAControlFileHolds) {
  std::vector<Rec> many;
  for (long k = 1; k <= 501; k++)
    many.push_back({k * 10, "A", "G", {"0|1", "1/0", "0|0", "0|1"}});
  expectRefusal({"501 genotype markers",
                 "--vcf a.vcf --region 1:1-9000 --cm-per-mb 1 --cases "
                 "cases.txt",
                 1, "501 markers are left; a control file with genotype data holds at most 500"},
                vcfText(samples, many));
}

// The intact VCF with tab-separated field `field` of line `line` replaced
// by value (which may hold tabs), or removed when value is empty.
std::string damaged(int line, size_t field, const std::optional<std::string> &value) {
  std::string text = vcfText(samples, records());
  size_t at = 0;
  for (int n = 1; n < line; n++)
    at = text.find('\n', at) + 1;
  for (size_t f = 0; f < field; f++)
    at = text.find('\t', at) + 1;
  const size_t end = text.find_first_of("\t\n", at);
  return value ? text.replace(at, end - at, *value) : text.erase(at - 1, end - at + 1);
}

// Records start on line 6 of vcfText; field 1 is POS, 9 the first sample.
TEST(Refusals, DamagedRecordsAreNamedByLineAndField) {
  struct Damage {
    size_t field;
    std::optional<std::string> value;
    std::string message;
  };
  const std::string pos = "a.vcf line 7: POS '";
  const std::string columns = "a.vcf line 7: ";
  for (const Damage &d :
       std::vector<Damage>{{1, ".", pos + ".' is not a whole number from 1 to 100000000"},
                           {1, "-5", pos + "-5'"},
                           {1, "0", pos + "0'"},
                           {1, "1.2e6", pos + "1.2e6'"},
                           {1, "2O00", pos + "2O00'"},
                           {1, "1,200,300", pos + "1,200,300'"},
                           {1, "0x12", pos + "0x12'"},
                           {1, "02000", pos + "02000'"},
                           {1, "9223372036854775807", pos + "9223372036854775807'"},
                           {1, "100000001",
                            pos + "100000001' is not a whole number from 1 to 100000000 (the "
                                  "length of contig 1)"},
                           {1,
                            std::string("20\0"
                                        "00",
                                        5),
                            "a NUL byte in tab-separated column 2"},
                           {2, "rs\x01", "a control byte (0x01) in tab-separated column 3"},
                           {10, "0|1\t1|1", "14 tab-separated columns where the header has 13"},
                           {12, "1|0\t0|0", "14 tab-separated columns where the header has 13"},
                           {12, std::nullopt, "12 tab-separated columns where the header has 13"},
                           {0, "9", "CHROM '9' is not defined in the header"},
                           {7, "ZZ=1", "an INFO, FILTER or FORMAT tag not defined in the header"},
                           {10, "x|1", "htslib cannot parse it"}}) {
    const std::string text = damaged(7, d.field, d.value);
    expectRefusal({d.message.c_str(), vcf + "--cases cases.txt", 1, d.message}, text);
  }
  expectRefusal({"header", vcf + "--cases cases.txt", 1,
                 "a.vcf line 2: a control byte (0x12) in tab-separated column 1"},
                damaged(2, 0,
                        "##contig=<\x12"
                        "D=1,length=100000000>"));
  expectRefusal({"header", vcf + "--cases cases.txt", 1,
                 "a.vcf line 2: htslib cannot read this header line: ##contig=<=1,"},
                damaged(2, 0, "##contig=<=1,length=100000000>"));
  std::string spaced = vcfText(samples, records());
  const size_t line7 = spaced.find("\n1\t2000") + 1;
  std::replace(spaced.begin() + line7, spaced.begin() + spaced.find('\n', line7), '\t', ' ');
  expectRefusal({"spaces", vcf + "--cases cases.txt", 1,
                 "a.vcf line 7: 1 tab-separated columns where the header has 13 (9 and 4 "
                 "samples); the line reads: 1 2000 . C T"},
                spaced);
}

TEST(Help, DocumentsEveryOptionWithItsDefaultAndTheStatuses) {
  const std::string dir = makeTempDir();
  const PrepareRun r = runPrepare(dir, "--help");
  EXPECT_EQ(r.status, 0);
  for (const auto &name : optionNames()) {
    const size_t at = r.out.find("\n  " + name);
    ASSERT_NE(at, std::string::npos) << name;
    const size_t next = r.out.find("\n  --", at + 1);
    const std::string entry = r.out.substr(at, next - at);
    if (name != "--help" && name != "--version") {
      EXPECT_NE(entry.find("[default: "), std::string::npos) << entry;
    }
  }
  EXPECT_NE(r.out.find("[default: 0.9]"), std::string::npos);
  EXPECT_NE(r.out.find("Exit status: 0"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

} // namespace
