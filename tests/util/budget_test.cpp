// The settable stop handler and the memory budget.
#include <gtest/gtest.h>

#include <string>

#include "memorybudget.h"
#include "stop.h"

namespace {

struct Stopped {
  std::string text;
  int status;
};

// Installs a handler that throws for the life of the guard.
struct ThrowingStops {
  ThrowingStops()
      : previous(setStopHandler([](const std::string &text, int status) {
          throw Stopped{text, status};
        })) {}
  ~ThrowingStops() { setStopHandler(previous); }
  StopHandler previous;
};

TEST(StopHandler, SeesTheTextAndStatusOfEveryKindOfStop) {
  ThrowingStops guard;
  try {
    stop("bad item", 255);
    FAIL();
  } catch (const Stopped &s) {
    EXPECT_EQ(s.text, "bad item\n");
    EXPECT_EQ(s.status, 255);
  }
  try {
    stopNoNewline("odd count");
    FAIL();
  } catch (const Stopped &s) {
    EXPECT_EQ(s.text, "odd count");
    EXPECT_EQ(s.status, 1);
  }
  try {
    stopWithNote("note for people", "", 2);
    FAIL();
  } catch (const Stopped &s) {
    EXPECT_EQ(s.text, "");
    EXPECT_EQ(s.status, 2);
  }
}

TEST(StopHandler, WithoutAHandlerAStopEndsTheProcessWithItsStatusAndText) {
  EXPECT_EXIT(stop("plain", 3), testing::ExitedWithCode(3), "");
  ThrowingStops guard;
  // A handler that returns lets the stop go ahead.
  setStopHandler([](const std::string &, int) {});
  EXPECT_EXIT(stop("plain", 4), testing::ExitedWithCode(4), "");
}

TEST(MemoryBudget, RequestsBeyondTheBudgetStopNamingItemAndAmounts) {
  ThrowingStops guard;
  const MemoryBudget budget{2e9};
  EXPECT_NO_THROW(requireMemory(budget, "Iterations", 2e9));
  try {
    requireMemory(budget, "Iterations", 34.4e9);
    FAIL();
  } catch (const Stopped &s) {
    EXPECT_EQ(s.text,
              "\"Iterations\" asks for about 34.4 GB of memory, more than the 2 GB this run may "
              "use.\n");
    EXPECT_EQ(s.status, 1);
  }
  EXPECT_EQ(describeBytes(512), "512 bytes");
  EXPECT_EQ(describeBytes(1.5e6), "1.5 MB");
  EXPECT_EQ(describeBytes(9.54e13), "95.4 TB");
  EXPECT_EQ(describeBytes(1e300), "1e+282 EB");
}

} // namespace
