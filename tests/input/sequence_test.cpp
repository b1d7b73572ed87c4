// The annotated sequence reader on small feature tables: location words,
// merging of exons and genes, the entries with their kinds, "exons.txt", and
// the stops.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "input.h"
#include "testkit.h"

namespace {

// Contig position of the first marker: the origin of the entries.
constexpr double firstMarker = 150;

double at(double base) {
  return (base - firstMarker) * 1e-6;
}

// Runs the tests inside a fresh temporary directory, where readseq writes
// "exons.txt".
class Sequence : public ::testing::Test {
protected:
  void SetUp() override {
    setSmallRun(4, 2);
    pset.mapDist = {0, firstMarker, 900};
  }

  // Reads text as the sequence file "seq.txt".
  void read(const std::string &text) {
    writeFile(".", "seq.txt", text);
    positions.assign(3, 99.0); // whatever the caller held before
    kinds.assign(3, 'x');
    count = 0;
    readseq(positions, kinds, &count, "seq.txt");
  }

  // Checks the entries against (base, kind) pairs and "exons.txt" against
  // the same entries.
  void expectEntries(const std::vector<std::pair<double, char>> &expected) {
    ASSERT_EQ(count, static_cast<int>(expected.size() + 1) / 2);
    ASSERT_EQ(positions.size(), expected.size());
    ASSERT_EQ(kinds.size(), expected.size());
    std::ostringstream file;
    for (size_t i = 0; i < expected.size(); i++) {
      EXPECT_DOUBLE_EQ(positions[i], at(expected[i].first)) << i;
      EXPECT_EQ(kinds[i], expected[i].second) << i;
      file << at(expected[i].first) << ' ' << expected[i].second << '\n';
    }
    EXPECT_EQ(readFile("exons.txt"), file.str());
  }

  InTempDir work;
  std::vector<double> positions;
  std::vector<char> kinds;
  int count = 0;
};

// In a death test the message is printed on standard output; send it to
// standard error, where the death test looks for it.
void readseqToStderr(const std::string &fileName) {
  std::cout.rdbuf(std::cerr.rdbuf());
  std::vector<double> positions;
  std::vector<char> kinds;
  int count = 0;
  readseq(positions, kinds, &count, fileName);
}

// Writes text as the sequence file "seq.txt" and expects readseq to stop with
// the given status and a message matching pattern.
void expectStop(const std::string &text, int status, const char *pattern) {
  writeFile(".", "seq.txt", text);
  EXPECT_EXIT(readseqToStderr("seq.txt"), ::testing::ExitedWithCode(status), pattern);
}

const std::string header = "FEATURES             Location/Qualifiers\n"
                           "     source          1..5000\n"
                           "                     /organism=\"Homo sapiens\"\n";

} // namespace

TEST_F(Sequence, OneFeatureWithAJoin) {
  read(header + "     mRNA            join(100..200,300..400)\n"
                "                     /gene=\"ABC\"\n"
                "     CDS             join(120..200,300..380)\n");
  expectEntries({{1, 'n'}, {100, 'e'}, {201, 'i'}, {300, 'e'}, {401, 'n'}});
  EXPECT_EQ(readFile("exons.txt"), "-0.000149 n\n-5e-05 e\n5.1e-05 i\n0.00015 e\n0.000251 n\n");
}

TEST_F(Sequence, JoinSplitOverTwoWords) {
  read("     mRNA            join(100..200,\n"
       "                     300..400)\n"
       "                     /gene=\"ABC\"\n");
  expectEntries({{1, 'n'}, {100, 'e'}, {201, 'i'}, {300, 'e'}, {401, 'n'}});
}

TEST_F(Sequence, NumberSplitOverLaterWordsReadsAsOne) {
  // Only the word right after "mRNA" gets a closing blank, so a number at
  // the end of a later word runs on into the next word.
  read("mRNA join(1..5, 10..2 0,30..40) /gene=\"A\"\n");
  expectEntries({{1, 'n'}, {1, 'e'}, {6, 'i'}, {10, 'e'}, {21, 'i'}, {30, 'e'}, {41, 'n'}});
}

TEST_F(Sequence, TwoFeaturesWithTheSameExonsGiveEachExonOnce) {
  read("mRNA join(100..200,300..400)\n/gene=\"A\"\n"
       "mRNA join(100..200,300..400)\n/gene=\"A\"\n");
  expectEntries({{1, 'n'}, {100, 'e'}, {201, 'i'}, {300, 'e'}, {401, 'n'}});
}

TEST_F(Sequence, OverlappingExonsMerge) {
  read("mRNA join(100..250,200..300)\n/gene=\"A\"\n");
  expectEntries({{1, 'n'}, {100, 'e'}, {301, 'n'}});
}

TEST_F(Sequence, ExonsOfTwoTranscriptsMergeAcrossFeatures) {
  read("mRNA join(100..200,500..600) /gene=\"A\"\n"
       "mRNA join(150..250,700..800) /gene=\"A\"\n");
  // Genes 100..600 and 150..800 merge into 100..800; exons 100..250,
  // 500..600, 700..800.
  expectEntries({{1, 'n'}, {100, 'e'}, {251, 'i'}, {500, 'e'}, {601, 'i'}, {700, 'e'}, {801, 'n'}});
}

TEST_F(Sequence, TwoGenesGiveIntronsInsideAndNonGeneBetween) {
  read(header + "mRNA join(1000..1100,1200..1300) /gene=\"B\"\n"
                "mRNA join(100..200,300..400) /gene=\"A\"\n");
  expectEntries({{1, 'n'},
                 {100, 'e'},
                 {201, 'i'},
                 {300, 'e'},
                 {401, 'n'},
                 {1000, 'e'},
                 {1101, 'i'},
                 {1200, 'e'},
                 {1301, 'n'}});
}

TEST_F(Sequence, ComplementAndPartialEnds) {
  read("mRNA complement(<500..>900)\n/gene=\"C\"\n"
       "mRNA complement(join(<1000..1100,1200..>1300))\n/gene=\"D\"\n");
  expectEntries(
      {{1, 'n'}, {500, 'e'}, {901, 'n'}, {1000, 'e'}, {1101, 'i'}, {1200, 'e'}, {1301, 'n'}});
}

TEST_F(Sequence, StartWithoutItsEndIsDropped) {
  // 300 is the start of an exon without end; it still ends the gene.
  read("mRNA join(100..200,300) /gene=\"A\"\n");
  expectEntries({{1, 'n'}, {100, 'e'}, {201, 'i'}});
}

TEST_F(Sequence, StartsAndEndsAlternateAcrossFeatures) {
  // The odd number of the first feature makes the second feature's numbers
  // pair as (300, 500) and (600, ...).
  read("mRNA join(100..200,300) /gene=\"A\"\nmRNA join(500..600) /gene=\"B\"\n");
  // Exons (100, 200) and (300, 500); genes (100, 300) and (500, 600).
  expectEntries({{1, 'n'}, {100, 'e'}, {201, 'i'}, {300, 'e'}, {501, 'i'}});
}

TEST_F(Sequence, FeatureWithoutNumbersEndsAGeneAtTheLastNumber) {
  // The middle feature has no location: it adds 200 to the gene ends, so the
  // genes pair as (100, 200) and (300, 200) and 400 never ends a gene.
  read("mRNA 100..200 /gene=\"A\"\nmRNA /gene=\"B\"\nmRNA 300..400 /gene=\"C\"\n");
  expectEntries({{1, 'n'}, {100, 'e'}, {201, 'n'}, {300, 'e'}, {401, 'i'}});
}

TEST_F(Sequence, QualifierOtherThanGeneStopsTheRun) {
  expectStop("mRNA join(100..200)\n/product=\"kinase\"\n/gene=\"A\"\n", 1,
             "^Unexpected character in the location \"/product=\"kinase\"\" of the sequence "
             "file\\.\n$");
}

TEST_F(Sequence, UnexpectedCharacterNamesTheWordAsRead) {
  expectStop("mRNA join(100..2x0)\n/gene=\"A\"\n", 1,
             "^Unexpected character in the location \"join\\(100\\.\\.2x0\\)\" of the sequence "
             "file\\.\n$");
}

TEST_F(Sequence, NumberTooLargeStopsTheRun) {
  expectStop("mRNA join(100..99999999999)\n/gene=\"A\"\n", 1,
             "^A number is too large in the location \"join\\(100\\.\\.99999999999\\)\" of the "
             "sequence file\\.\n$");
}

TEST_F(Sequence, LargestPositionIsRead) {
  read("mRNA 100..2147483647 /gene=\"A\"\n");
  expectEntries({{1, 'n'}, {100, 'e'}, {2147483648.0, 'n'}});
}

TEST_F(Sequence, NoMRNAGivesOneNonGeneEntry) {
  read(header + "     gene            100..400\n                     /gene=\"ABC\"\n");
  expectEntries({{1, 'n'}});
  EXPECT_EQ(readFile("exons.txt"), "-0.000149 n\n");
}

TEST_F(Sequence, EmptyFileGivesOneNonGeneEntry) {
  read("");
  expectEntries({{1, 'n'}});
}

TEST_F(Sequence, LastWordWithoutLineEndIsRead) {
  read("mRNA join(1..5,\n7..9)");
  expectEntries({{1, 'n'}, {1, 'e'}, {6, 'i'}, {7, 'e'}, {10, 'n'}});
}

TEST_F(Sequence, MRNAAsTheLastWord) {
  read("mRNA 100..200 /gene=\"A\"\nmRNA");
  // The last feature has no numbers; it ends a gene at 200 as well.
  expectEntries({{1, 'n'}, {100, 'e'}, {201, 'n'}});
}

TEST_F(Sequence, AnyNumberOfExons) {
  std::string location = "join(";
  for (int i = 0; i < 12000; i++)
    location += std::to_string(1000 + 10 * i) + ".." + std::to_string(1004 + 10 * i) + ",";
  location.back() = ')';
  read("mRNA " + location + " /gene=\"BIG\"\n");
  ASSERT_EQ(count, 12001);
  ASSERT_EQ(positions.size(), 24001u);
  EXPECT_DOUBLE_EQ(positions[2 * 11999 + 1], at(1000 + 10 * 11999));
  EXPECT_EQ(kinds[2 * 11999 + 2], 'n');
  EXPECT_EQ(kinds[2], 'i');
}

TEST_F(Sequence, MissingSequenceFileStops) {
  EXPECT_EXIT(readseqToStderr("no such file.txt"), ::testing::ExitedWithCode(1),
              "^Couldn't open sequence file no such file\\.txt\nCheck spelling\n$");
}

TEST_F(Sequence, FolderAsSequenceFileStops) {
  ASSERT_EQ(mkdir("folder", 0700), 0);
  EXPECT_EXIT(readseqToStderr("folder"), ::testing::ExitedWithCode(1),
              "^Couldn't open sequence file folder\nCheck spelling\n$");
}

TEST_F(Sequence, UnwritableExonsFileStopsWith255) {
  ASSERT_EQ(mkdir("exons.txt", 0700), 0);
  expectStop("mRNA 100..200 /gene=\"A\"\n", 255, "^exons\\.txt is currently open\n$");
}
