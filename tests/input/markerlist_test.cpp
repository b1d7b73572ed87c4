// The marker list beside a control file: read when it lists the control
// file's markers, refused with a reason otherwise.
#include <gtest/gtest.h>

#include "markerlist.h"
#include "testkit.h"

namespace {

const std::vector<double> map = {0, 0, 0.01, 0.035}; // 1-based, as the run holds it

std::string read(const std::string &text, std::vector<GenomeMarker> &markers) {
  const std::string dir = makeTempDir();
  writeFile(dir, "list.tsv", text);
  return readMarkerList(dir + "/list.tsv", map, markers);
}

} // namespace

TEST(MarkerList, ReadsTheColumnsByNameAndMeasuresTheMapFromTheFirstMarker) {
  std::vector<GenomeMarker> m;
  EXPECT_EQ(read("alleles\tmap\tpos\tchrom\tid\tmarker\n1=A\t1.2\t500\t7\trs1\t1\n"
                 "1=C\t1.21\t900\t7\trs2\t2\n1=G\t1.235\t1500\t7\t.\t3\n",
                 m),
            "");
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[1].id, "rs2");
  EXPECT_EQ(m[2].pos, 1500);
  EXPECT_EQ(m[0].chrom, "7");
}

TEST(MarkerList, ListsThatDoNotFitTheControlFileAreRefusedWithTheReason) {
  const std::string head = "marker\tid\tchrom\tpos\tmap\n";
  const std::string good = "2\tb\t7\t900\t0.01\n3\tc\t7\t1500\t0.035\n";
  const struct {
    std::string text, says;
  } cases[] = {{"marker\tid\tchrom\tmap\n", "no column \"pos\""},
               {head + "1\ta\t7\t500\n" + good, "fields where the header has"},
               {head + "2\ta\t7\t500\t0\n" + good, "out of order"},
               {head + "1\ta\t7\t5e2\t0\n" + good, "not a whole number"},
               {head + "1\ta\t7\t0\t0\n" + good, "not a whole number above 0"},
               {head + "1\ta\t7\t500\tx\n" + good, "not a number"},
               {head + good, "out of order"},
               {head + "1\ta\t7\t500\t0\n2\tb\t7\t900\t0.01\n", "lists 2 markers"},
               {head + "1\ta\t7\t500\t0\n2\tb\t7\t900\t0.02\n3\tc\t7\t1500\t0.035\n",
                "puts marker 2 elsewhere"},
               {"", "is empty"}};
  for (const auto &c : cases) {
    std::vector<GenomeMarker> m;
    const std::string problem = read(c.text, m);
    EXPECT_NE(problem.find(c.says), std::string::npos) << c.text << " -> " << problem;
  }
  std::vector<GenomeMarker> m;
  EXPECT_NE(readMarkerList("/nonexistent/list.tsv", map, m).find("cannot be read"),
            std::string::npos);
}
