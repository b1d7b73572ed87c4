// Random stream and sorting.
#include <gtest/gtest.h>

#include "random.h"
#include "sort.h"

TEST(Random, SeedsMinusOneAndOneGiveTheSameStream) {
  resetRandomState();
  Seed a = -1;
  double x = ran1(&a);
  resetRandomState();
  Seed b = 1;
  EXPECT_EQ(x, ran1(&b));
}
