// Stored genealogies: the .mat layout, reading it back from "inmat.txt", the
// refusal of short or broken files, and the screen print.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <sys/stat.h>

#include "controltext.h"
#include "genealogy.h"
#include "input.h"
#include "testkit.h"

namespace {

// Four leaves in label order: root 0 over 1 and 2, node 1 over leaves 3, 4,
// node 2 over leaves 5, 6; mutation age 3. Two haplotype loci with two
// alleles each; leaf 4 has its second allele missing (imputed as 1).
TreeMatrix storedTree() {
  return makeTree({{0, 1, 2, -1, 2.0, 1.0, -0.5, 1, 2},
                   {1, 3, 4, 0, 2.0 / 3.0, 4.0 / 3.0, -0.25, 1, 1},
                   {2, 5, 6, 0, 0.5, 1.5, -0.125, 2, 2},
                   {3, -1, -1, 1, 0, 2.0 / 3.0, -1.5, 1, 1},
                   {4, -1, -1, 1, 0, 2.0 / 3.0, -2.5, 2, -1},
                   {5, -1, -1, 2, 0, 0.5, -3.5, 2, 2},
                   {6, -1, -1, 2, 0, 0.5, -4.5, 1, 2}});
}

void setFourLeafRun() {
  setSmallRun(4, 2);
  maxall.assign(2, 2);
  for (ChainSettings &own : chainSettings)
    own.rootLoci = Haplotype{2, 1};
}

// The stored-matrix text of tree with the ancestral haplotype root (that of
// the four-leaf run unless given).
std::string stored(const TreeMatrix &tree, const Haplotype &root = {2, 1}) {
  std::ostringstream out;
  storemat(tree, root, out);
  return out.str();
}

// Runs the tests inside a fresh temporary directory, where readmat looks for
// "inmat.txt".
class MatFile : public ::testing::Test {
protected:
  void SetUp() override { setFourLeafRun(); }
  InTempDir work;
};

// In a death test the message is printed on standard output; send it to
// standard error, where the death test looks for it.
void readmatToStderr(TreeMatrix &tree) {
  std::cout.rdbuf(std::cerr.rdbuf());
  readmat(tree);
}

const char *refused = "\"inmat\\.txt\" is incomplete or malformed\\.";

} // namespace

TEST(StoreMat, LayoutOfTenChromosomesAndFourLoci) {
  setSmallRun(10, 4);
  TreeMatrix t(19, TreeRow(11, 0.0));
  for (int r = 0; r < 19; r++)
    for (int c = 0; c < 11; c++)
      t[r][c] = r + c;
  std::string text = stored(t, {1, 2, 3, 4});
  std::istringstream lines(text);
  std::string line;
  for (int r = 0; r < 19; r++) {
    ASSERT_TRUE(std::getline(lines, line));
    std::string expected;
    for (int c = 0; c < 11; c++)
      expected += std::to_string(r + c) + " ";
    EXPECT_EQ(line, expected);
  }
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "1 2 3 4 ");
  EXPECT_TRUE(lines.eof()); // no line end after the ancestral haplotype
  EXPECT_EQ(text.back(), ' ');
}

TEST(StoreMat, SixSignificantDigits) {
  setFourLeafRun();
  std::string text = stored(storedTree());
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), "0 1 2 -1 2 1 -0.5 1 2 \n");
  EXPECT_NE(text.find("\n1 3 4 0 0.666667 1.33333 -0.25 1 1 \n"), std::string::npos);
  EXPECT_EQ(text.substr(text.rfind('\n') + 1), "2 1 ");
}

TEST_F(MatFile, MissingFileKeepsTheGenealogyAndRoot) {
  TreeMatrix t = storedTree();
  testing::internal::CaptureStdout();
  readmat(t);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(t, storedTree());
  EXPECT_EQ(chainSettings[0].rootLoci, (Haplotype{2, 1}));
}

TEST_F(MatFile, FolderNamedInmatCountsAsMissing) {
  ASSERT_EQ(mkdir("inmat.txt", 0700), 0);
  TreeMatrix t = storedTree();
  readmat(t);
  EXPECT_EQ(t, storedTree());
}

TEST_F(MatFile, StoredMatrixReadsBackToSixDigits) {
  TreeMatrix original = storedTree();
  // Another row order than label order, as at the end of a run.
  mysorttreematrev(original, 7, TMAT + TOTLOCI);
  writeFile(".", "inmat.txt", stored(original, {1, 2}));
  chainSettings[0].rootLoci = {2, 2};
  TreeMatrix t(7, TreeRow(9, 0.0));
  readmat(t);
  ASSERT_EQ(t.size(), 7u);
  for (int r = 0; r < 7; r++)
    for (int c = 0; c < 9; c++)
      EXPECT_NEAR(t[r][c], original[r][c], 1e-5 * std::abs(original[r][c])) << r << " " << c;
  EXPECT_EQ(t[0][nodeLabel], 6);
  EXPECT_EQ(t[5][nodeTime], 0.666667);
  EXPECT_EQ(chainSettings[0].rootLoci, (Haplotype{1, 2}));
}

TEST_F(MatFile, LayoutIsIgnoredAndInfiniteLogTermsReadBack) {
  TreeMatrix original = storedTree();
  original[3][nodeLogLik] = -std::numeric_limits<double>::infinity();
  std::string text = stored(original);
  for (char &ch : text)
    if (ch == ' ')
      ch = '\n';
  writeFile(".", "inmat.txt", "\t" + text + "\n\n trailing words are not read");
  TreeMatrix t = storedTree();
  readmat(t);
  EXPECT_EQ(t[3][nodeLogLik], -std::numeric_limits<double>::infinity());
  EXPECT_EQ(t[4][TMAT + 1], -1);
}

TEST_F(MatFile, ShortFileIsRefused) {
  std::string text = stored(storedTree());
  writeFile(".", "inmat.txt", text.substr(0, text.size() - 2)); // one root allele short
  TreeMatrix t = storedTree();
  EXPECT_EXIT(readmatToStderr(t), ::testing::ExitedWithCode(1), refused);
}

TEST_F(MatFile, EmptyFileIsRefused) {
  writeFile(".", "inmat.txt", "");
  TreeMatrix t = storedTree();
  EXPECT_EXIT(readmatToStderr(t), ::testing::ExitedWithCode(1), refused);
}

TEST_F(MatFile, TextWhereANumberIsExpectedIsRefused) {
  std::string text = stored(storedTree());
  text.replace(text.find("0.666667"), 8, "0.66x667");
  writeFile(".", "inmat.txt", text);
  TreeMatrix t = storedTree();
  EXPECT_EXIT(readmatToStderr(t), ::testing::ExitedWithCode(1), refused);
}

namespace {

// Writes storedTree with one cell replaced and expects the file refused.
void expectRefusedWith(int row, int column, double value) {
  TreeMatrix broken = storedTree();
  broken[row][column] = value;
  writeFile(".", "inmat.txt", stored(broken));
  TreeMatrix t = storedTree();
  EXPECT_EXIT(readmatToStderr(t), ::testing::ExitedWithCode(1), refused)
      << "row " << row << " column " << column << " value " << value;
}

} // namespace

TEST_F(MatFile, LinksOutsideTheMatrixAreRefused) {
  expectRefusedWith(1, child1, 7);      // no such label
  expectRefusedWith(1, child2, -2);     // no such label
  expectRefusedWith(3, parent, 2.5);    // not a label
  expectRefusedWith(2, nodeLabel, 1);   // label 1 twice, label 2 missing
  expectRefusedWith(0, nodeLabel, 1e9); // far outside
}

TEST_F(MatFile, LinksThatDoNotFormOneGenealogyAreRefused) {
  expectRefusedWith(1, parent, -1); // two roots
  expectRefusedWith(3, parent, 2);  // child of 1 that names 2 as parent
  expectRefusedWith(2, child2, 5);  // both children the same node
  expectRefusedWith(5, child1, 3);  // a leaf with one child
}

TEST_F(MatFile, CycleIsRefused) {
  // The root stands over leaves 3 and 4; nodes 1 and 2 are each other's
  // parent and child, with leaves 5 and 6 below them, and are never reached
  // from the root although every link names a row of the matrix.
  TreeMatrix broken = storedTree();
  broken[0][child1] = 3;
  broken[0][child2] = 4;
  broken[3][parent] = 0;
  broken[4][parent] = 0;
  broken[1][child1] = 2;
  broken[1][child2] = 5;
  broken[1][parent] = 2;
  broken[2][child1] = 1;
  broken[2][child2] = 6;
  broken[2][parent] = 1;
  broken[5][parent] = 1;
  writeFile(".", "inmat.txt", stored(broken));
  TreeMatrix t = storedTree();
  EXPECT_EXIT(readmatToStderr(t), ::testing::ExitedWithCode(1), refused);
}

TEST_F(MatFile, AllelesOutsideTheLocusLabelsAreRefused) {
  expectRefusedWith(3, TMAT, 0);
  expectRefusedWith(3, TMAT + 1, 3);
  expectRefusedWith(0, TMAT, -3);
  expectRefusedWith(5, TMAT, 1.5);
}

TEST_F(MatFile, AncestralAllelesOutsideTheLocusLabelsAreRefused) {
  for (Haplotype root : {Haplotype{0, 1}, Haplotype{1, 3}, Haplotype{-1, 1}}) {
    writeFile(".", "inmat.txt", stored(storedTree(), root));
    TreeMatrix t = storedTree();
    EXPECT_EXIT(readmatToStderr(t), ::testing::ExitedWithCode(1), refused);
  }
}

TEST_F(MatFile, PairedLeavesMustNameEachOther) {
  TMAT = 8;
  TreeMatrix t = storedTree();
  for (TreeRow &row : t)
    row.insert(row.begin() + partnerLeaf, -1.0);
  t[3][partnerLeaf] = 5;
  t[5][partnerLeaf] = 3;
  t[4][partnerLeaf] = 6;
  t[6][partnerLeaf] = 4;
  writeFile(".", "inmat.txt", stored(t));
  TreeMatrix read(7, TreeRow(10, 0.0));
  readmat(read);
  for (int r = 0; r < 7; r++)
    EXPECT_EQ(read[r][partnerLeaf], t[r][partnerLeaf]) << r;

  t[6][partnerLeaf] = 3;
  writeFile(".", "inmat.txt", stored(t));
  EXPECT_EXIT(readmatToStderr(read), ::testing::ExitedWithCode(1), refused);
  t[6][partnerLeaf] = 0; // an internal node
  t[0][partnerLeaf] = 6;
  writeFile(".", "inmat.txt", stored(t));
  EXPECT_EXIT(readmatToStderr(read), ::testing::ExitedWithCode(1), refused);
}

TEST(PrintMat, TabsThenAllelesRunTogether) {
  setSmallRun(2, 3);
  TreeMatrix t = makeTree({{0, 1, 2, -1, 1.5, 0.5, -0.25, 1, 2, 1},
                           {1, -1, -1, 0, 0, 1.5, -1, 2, -2, 1},
                           {2, -1, -1, 0, 0, 1.5, -2, 1, 1, 1}});
  testing::internal::CaptureStdout();
  printmat(t);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "0\t1\t2\t-1\t1.5\t0.5\t-0.25\t\t\t121\n"
                                                    "1\t-1\t-1\t0\t0\t1.5\t-1\t\t\t2-21\n"
                                                    "2\t-1\t-1\t0\t0\t1.5\t-2\t\t\t111\n"
                                                    "\n");
}

namespace {

// The small haplotype run of controltext.h with the given "Read old file"
// value.
std::string controlFile(int readOldFile) {
  return edited(baseControl(),
                {{"Read old file\n0\n", "Read old file\n" + std::to_string(readOldFile) + "\n"}});
}

std::string rootstateLine(const std::string &dir) {
  std::string log = readFile(dir + "/c.in.log");
  size_t at = log.find("Rootstate\n");
  if (at == std::string::npos)
    return "";
  at += 10;
  return log.substr(at, log.find('\n', at) - at);
}

} // namespace

TEST(MatFileRun, StoredGenealogyStartsChainZero) {
  std::string dir = makeTempDir();
  writeFile(dir, "c.in", controlFile(0));
  ASSERT_EQ(runMutloc(dir, "c.in").status, 0);
  std::string mat = readFile(dir + "/c.in.mat");
  ASSERT_EQ(std::count(mat.begin(), mat.end(), '\n'), 19);
  // Another ancestral haplotype than the control file's and the run's own.
  writeFile(dir, "inmat.txt", mat.substr(0, mat.rfind('\n') + 1) + "2 1 2 2 ");
  writeFile(dir, "c.in", controlFile(1));
  RunResult run = runMutloc(dir, "c.in");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(run.out.size() - 9), "Finished\n");
  EXPECT_EQ(rootstateLine(dir), "2 1 2 2 ");
}

TEST(MatFileRun, WithoutInmatTheControlFileRootStays) {
  std::string dir = makeTempDir();
  writeFile(dir, "c.in", controlFile(1));
  RunResult run = runMutloc(dir, "c.in");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(rootstateLine(dir), "1 2 1 1 ");
}

TEST(MatFileRun, ShortInmatStopsTheRun) {
  std::string dir = makeTempDir();
  writeFile(dir, "c.in", controlFile(1));
  writeFile(dir, "inmat.txt", "0 1 2 -1 3.5\n");
  RunResult run = runMutloc(dir, "c.in");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "\"inmat.txt\" is incomplete or malformed.\n");
}
