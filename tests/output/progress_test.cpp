// The progress line: its text, and when it is drawn and cleared.
#include <gtest/gtest.h>

#include <sstream>

#include "progress.h"

namespace {

TEST(ProgressLine, TextShowsIterationShareRateAndTimeLeft) {
  EXPECT_EQ(progressText(0, 200, 0), "iteration 0 of 200 (0.0%)");
  EXPECT_EQ(progressText(1000, 11000, 2),
            "iteration 1000 of 11000 (9.1%), 500 iterations/s, 0:20 left");
  EXPECT_EQ(progressText(3, 10003, 2),
            "iteration 3 of 10003 (0.0%), 1.50 iterations/s, 1:51:07 left");
}

TEST(ProgressLine, DisabledWritesNothing) {
  std::ostringstream err;
  Progress p = startProgress(100, 10, false);
  for (long done = 1; done <= 100; done++)
    showProgress(p, done, err);
  endProgress(p, err);
  EXPECT_EQ(err.str(), "");
}

TEST(ProgressLine, ClearedBeforeEveryScreenRecordAndAtTheEnd) {
  std::ostringstream err;
  Progress p = startProgress(25, 10, true);
  showProgress(p, 1, err); // drawn: iteration 1 writes no screen record
  EXPECT_EQ(err.str().rfind("\r\033[Kiteration 1 of 25 (4.0%)", 0), 0u);
  EXPECT_TRUE(p.shown);
  err.str("");
  showProgress(p, 10, err); // iteration 10 writes a screen record
  EXPECT_EQ(err.str(), "\r\033[K");
  EXPECT_FALSE(p.shown);
  err.str("");
  showProgress(p, 11, err); // drawn again at once after a clearing
  EXPECT_EQ(err.str().rfind("\r\033[Kiteration 11 of 25", 0), 0u);
  err.str("");
  showProgress(p, 12, err); // too soon after the last drawing
  EXPECT_EQ(err.str(), "");
  showProgress(p, 24, err); // the last iteration always writes a record
  EXPECT_EQ(err.str(), "\r\033[K");
  endProgress(p, err);
  EXPECT_EQ(err.str(), "\r\033[K");
}

} // namespace
