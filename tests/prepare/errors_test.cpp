// The refusals of mutloc-prepare: each names what is wrong (file, record or
// line, sample), exits 2 for a wrong command line and 1 for data that cannot
// be converted, and leaves nothing behind: no control file, no temporary file,
// an older control file untouched.
#include <gtest/gtest.h>

#include <filesystem>

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

// Runs args in a folder holding a.vcf (recs), the lists and a map, with an
// older d.in that must survive; checks status, message and leftovers.
void expectRefusal(const Case &c, const std::vector<Rec> &recs = records()) {
  const std::string dir = makeTempDir();
  writeVcf(dir + "/a.vcf", vcfText(samples, recs), VcfForm::plain, false);
  writeFile(dir, "cases.txt", "c1\nc2\n");
  writeFile(dir, "both.txt", "k1\nc2\n");
  writeFile(dir, "twice.txt", "c1\nk1\nc1\n");
  writeFile(dir, "unknown.txt", "c1\nx9\nx8\n");
  writeFile(dir, "empty.txt", "# nobody\n");
  writeFile(dir, "all.txt", "c1\nc2\nk1\nk2\n");
  writeFile(dir, "one.txt", "c1\n");
  writeFile(dir, "g.txt", "1 1500 1 0\n1 5000 1 3.5\n");
  writeFile(dir, "d.in", "older\n");
  const PrepareRun r = runPrepare(dir, c.args + " --out d.in");
  EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err;
  EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
  EXPECT_EQ(readFile(dir + "/d.in"), "older\n") << c.what;
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
                unphased);
  expectRefusal({"too few markers",
                 "--vcf a.vcf --region 1:1-2500 --cm-per-mb 1 --cases "
                 "cases.txt --min-call-rate 1",
                 1,
                 "region 1:1-2500 of a.vcf: 2 record(s), 1 below the call rate 1, 0 monomorphic; 1 "
                 "marker(s) left"},
                [] {
                  auto r = records();
                  r[0].gts[0] = ".|1";
                  return r;
                }());
  expectRefusal({"outside the map", "--vcf a.vcf --region 1:1-9000 --map g.txt --cases cases.txt",
                 1, "a.vcf, record 1:1000 lies outside the genetic map g.txt"});
  expectRefusal({"missing file", "--vcf b.vcf --region 1:1-9 --cm-per-mb 1 --cases cases.txt", 1,
                 "cannot open b.vcf"});
  auto haploid = records();
  haploid[2].gts[1] = "1";
  expectRefusal(
      {"haploid", vcf + "--cases cases.txt", 1, "a.vcf, record 1:3000, sample c2: a haploid call"},
      haploid);
  auto same = records();
  same.insert(same.begin() + 1, {1000, "A", "C", {"0|1", "1|1", "0|0", "0|1"}});
  expectRefusal({"two records at one position", vcf + "--cases cases.txt", 1,
                 "a second marker at the position of a.vcf, record 1:1000"},
                same);
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
                many);
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
    if (name != "--help") {
      EXPECT_NE(entry.find("[default: "), std::string::npos) << entry;
    }
  }
  EXPECT_NE(r.out.find("[default: 0.9]"), std::string::npos);
  EXPECT_NE(r.out.find("Exit status: 0"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

} // namespace
