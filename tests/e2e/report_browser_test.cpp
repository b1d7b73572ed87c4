// The report page as a reader sees it: for runs of 2 and 4 chains that
// converged, did not, or were interrupted in burn-in or after it, the page is
// written (status 0, an interrupted run's saying so in a notice, and why it
// has no posterior when it stopped in burn-in), and
// headless Chromium lays it out in a window 1280 px wide, where a script
// added to the page checks that the verdict and everything else fit across.
#include <gtest/gtest.h>

#include <csignal>

#include "controltext.h"
#include "process.h"
#include "testkit.h"

namespace {

// Where SIGINT stops a run: once the chains have a trace record in burn-in, or
// after 3000 iterations of a long run (whose draws and traces are thinned).
enum Stop { never, inBurnIn, afterBurnIn };

struct PageCase {
  const char *name, *control; // a data set of tests/data/report
  int chains;
  Stop stop;
};

std::string caseName(const testing::TestParamInfo<PageCase> &info) {
  return info.param.name + std::to_string(info.param.chains) + "Chains";
}

std::string runCase(const PageCase &c) {
  const std::string dir = makeTempDir();
  std::string control = edited(readFile(MUTLOC_TEST_DATA "/report/" + std::string(c.control)),
                               {{"chains)\n2\n", "chains)\n" + std::to_string(c.chains) + "\n"}});
  if (c.stop == inBurnIn)
    control = edited(control, {{"Burn-in iteration\n1000\n", "Burn-in iteration\n100000000\n"}});
  if (c.stop == afterBurnIn)
    control = edited(control, {{"Iterations\n20000\n", "Iterations\n2000000\n"}});
  writeFile(dir, "c.in", control);
  const Child child = startMutloc(dir, {"--sampler", "mixing", "c.in"});
  if (c.stop != never) {
    EXPECT_TRUE(waitForLines(dir + "/c.in.dat", c.stop == inBurnIn ? 2 : 30));
    kill(child.pid, SIGINT);
  }
  EXPECT_EQ(waitFor(child, dir, 120).status, c.stop == never ? 0 : 128 + SIGINT);
  return dir;
}

const std::string chromium = "timeout 120 chromium --headless --no-sandbox --disable-gpu "
                             "--window-size=1280,900 --virtual-time-budget=10000 --dump-dom ";

// Why the headless browser cannot run here, or "" when it can.
std::string browserMissing() {
  if (runShell("command -v chromium > /dev/null").status != 0)
    return "no chromium on the PATH (setup/install-deps installs it)";
  const RunResult r = runShell(chromium + "'data:text/html,<p>ok</p>' 2> /dev/null");
  if (r.status != 0 || r.out.find("<p>ok</p>") == std::string::npos)
    return "chromium does not start (status " + std::to_string(r.status) + ")";
  return "";
}

// Once the images are in, lists what does not fit the width inside the
// window (less a scrollbar): a verdict whose box passes the window or whose
// lines are wider than its box, a page wider than the window, and any
// element whose right edge passes it or whose content is wider than its
// scrolling box.
const char *const check = R"(<script>
addEventListener('load', () => {
  const width = document.documentElement.clientWidth, problems = ['window ' + width];
  const verdict = document.querySelector('pre.verdict'), box = verdict.getBoundingClientRect();
  if (box.left < 0 || box.right > width || verdict.scrollWidth > verdict.clientWidth)
    problems.push('verdict from ' + box.left + ' to ' + box.right + ', lines ' +
                  verdict.scrollWidth + ' px wide in ' + verdict.clientWidth);
  if (document.documentElement.scrollWidth > width)
    problems.push('page ' + document.documentElement.scrollWidth + ' px wide');
  for (const e of document.body.querySelectorAll('*')) {
    const right = e.getBoundingClientRect().right;
    if (right > width + 0.5 || (getComputedStyle(e).overflowX != 'visible' &&
                                e.scrollWidth > e.clientWidth))
      problems.push(e.tagName + '#' + e.id + ' cut off at ' + right);
  }
  const shown = document.createElement('pre');
  shown.id = 'checked';
  shown.textContent = problems.join('\n');
  document.body.appendChild(shown);
});
</script>)";

class ReportPage : public testing::TestWithParam<PageCase> {};

TEST_P(ReportPage, IsWrittenAndItsVerdictAndAllElseFitAWindow1280PxWide) {
  const PageCase c = GetParam();
  const std::string dir = runCase(c);
  const RunResult report = runShell("cd '" + dir + "' && '" MUTLOC_REPORT "' c.in 2>&1");
  ASSERT_EQ(report.status, 0) << report.out;
  std::string page = readFile(dir + "/c.in.report.html");
  if (c.stop != afterBurnIn) { // whose verdict depends on when the signal came
    EXPECT_EQ(page.find("class=\"verdict agree\"") != std::string::npos,
              std::string(c.name) == "Converged");
  }
  EXPECT_EQ(page.find("<p id=\"no-draws\"") != std::string::npos, c.stop == inBurnIn);
  EXPECT_EQ(page.find("<table id=\"estimates-location\">") != std::string::npos,
            c.stop != inBurnIn);
  // The summary's row "interrupted" (no estimates) is a notice, not a row of NAs.
  EXPECT_EQ(page.find("<p id=\"interrupted\"") != std::string::npos, c.stop == afterBurnIn);
  EXPECT_EQ(page.find("<td>NA</td>"), std::string::npos);

  const std::string missing = browserMissing();
  if (!missing.empty())
    GTEST_SKIP() << "Headless Chromium cannot run here, so the page's layout is not checked: "
                 << missing;
  page.insert(page.rfind("</body>"), check);
  writeFile(dir, "checked.html", page);
  const std::string dom = runShell(chromium + "'file://" + dir + "/checked.html' 2> /dev/null").out;
  const size_t from = dom.find("<pre id=\"checked\">");
  ASSERT_NE(from, std::string::npos) << "the page was not laid out";
  const std::vector<std::string> problems =
      lines(dom.substr(from + 18, dom.find("</pre>", from) - from - 18));
  ASSERT_FALSE(problems.empty());
  const int width = std::stoi(problems[0].substr(7));
  EXPECT_TRUE(width > 1200 && width <= 1280) << problems[0];
  for (size_t k = 1; k < problems.size(); k++)
    ADD_FAILURE() << "does not fit across at 1280 px: " << problems[k];
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ReportPage,
    testing::Values(PageCase{"Converged", "converge.in", 2, never},
                    PageCase{"Converged", "converge.in", 4, never},
                    PageCase{"Unconverged", "disagree.in", 2, never},
                    PageCase{"Unconverged", "disagree.in", 4, never},
                    PageCase{"InterruptedInBurnIn", "converge.in", 2, inBurnIn},
                    PageCase{"InterruptedInBurnIn", "converge.in", 4, inBurnIn},
                    PageCase{"InterruptedAfterBurnIn", "converge.in", 2, afterBurnIn}),
    caseName);

} // namespace
