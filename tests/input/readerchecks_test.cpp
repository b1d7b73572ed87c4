// The reader's checks against a memory budget, its warnings and the line
// numbers its messages give, run in-process on control texts with stops
// turned into exceptions.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "controltext.h"
#include "input.h"
#include "stop.h"

namespace {

struct Stopped {
  std::string text;
};

struct Reading {
  std::string stopped; // the stop's text, "" when the reader finished
  std::string warnings;
  std::string log;
  long line = 0; // where the reader was at the end
};

Reading read(const std::string &text, double budget = 1e12) {
  const StopHandler previous = setStopHandler([](const std::string &t, int) { throw Stopped{t}; });
  std::ostringstream warnings;
  std::streambuf *const cerrBuffer = std::cerr.rdbuf(warnings.rdbuf());
  std::istringstream in(text);
  std::ostringstream log;
  Reading r;
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  std::vector<std::vector<Haplotype>> haps;
  Rng rng = streamFrom(-1);
  int segCount = 0;
  try {
    readdata3(rng, &segCount, in, log, patientData, haps, MemoryBudget{budget});
  } catch (const Stopped &s) {
    r.stopped = s.text;
  }
  r.line = lineNumberAt(in);
  std::cerr.rdbuf(cerrBuffer);
  setStopHandler(previous);
  r.warnings = warnings.str();
  r.log = log.str();
  return r;
}

TEST(ReaderBudget, EachSizeIsCheckedWhereItIsReadBeforeItsTablesExist) {
  struct {
    Edits edits;
    double budget;
    const char *item;
  } cases[] = {
      // A million-leaf genealogy, one chain: refused at the sizes.
      {{{"# chromosomes\n10", "# chromosomes\n1000000"}}, 100e6, "# chromosomes"},
      {{{"5 1 2 1 2\n", "900000 1 2 1 2\n"}}, 30e6, "Numbers of haplotypes in the normal pop"},
      {{{"(chains)\n2", "(chains)\n100000"}}, 1e9, "Simulation runs"},
      {{{"Iterations\n20", "Iterations\n100000000"}}, 1e9, "Iterations"}};
  for (const auto &c : cases) {
    const Reading r = read(edited(baseControl(), c.edits), c.budget);
    EXPECT_EQ(r.stopped.rfind(std::string("\"") + c.item + "\" asks for about ", 0), 0u)
        << r.stopped;
    // The same file within a larger budget gets past that item.
    EXPECT_EQ(read(edited(baseControl(), c.edits), 1e12).stopped.find("asks for about"),
              std::string::npos)
        << c.item;
  }
  EXPECT_EQ(read(baseControl(), 50e6).stopped, "");
}

TEST(ReaderWarnings, SkippedTextIsNamedWithItsLineAndTheResultIsUnchanged) {
  const Reading plain = read(baseControl());
  EXPECT_EQ(plain.warnings, "");

  const Reading typo = read(edited(baseControl(), {{"Iterations\n20\n", "Iterations\n20OO\n"}}));
  EXPECT_EQ(typo.stopped, "");
  EXPECT_EQ(typo.warnings, "mutloc: warning: line 44: the text \"OO\" was skipped while looking "
                           "for \"Screen and file updates, save acceptance props, save haplotypes, "
                           "save individual haplotypes...\"\n");
  EXPECT_EQ(typo.log, plain.log);

  // Two lines of notes: the line of the first; long text is cut short.
  const std::string notes(60, 'x');
  const Reading comment = read(
      edited(baseControl(), {{"Run simulation\n0\n", "Run simulation\n0\n\n" + notes + "\nok\n"}}));
  EXPECT_NE(comment.warnings.find("line 24: the text \"" + notes.substr(0, 40) + "...\""),
            std::string::npos)
      << comment.warnings;
  EXPECT_EQ(comment.log, plain.log);
}

TEST(LineNumbers, CountLineFeedsUpToThePositionAndKeepTheStream) {
  std::istringstream in("a\nbb\n\nccc");
  EXPECT_EQ(lineNumberAt(in), 1);
  in.seekg(4);
  EXPECT_EQ(lineNumberAt(in), 2);
  EXPECT_EQ(in.tellg(), 4);
  EXPECT_EQ(lineNumberAt(in, 6), 4);
  // At the end of the text (with its failed read) the last line; the state stays.
  std::string word;
  while (in >> word) {
  }
  EXPECT_TRUE(in.fail());
  EXPECT_EQ(lineNumberAt(in), 4);
  EXPECT_TRUE(in.fail());
  // The stop of the reader: where its line was.
  const Reading r = read(edited(baseControl(), {{"Alpha level\n0.05", "Alpha level\n7"}}));
  EXPECT_EQ(r.line, 50);
}

} // namespace
