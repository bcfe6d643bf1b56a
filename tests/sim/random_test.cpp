#include <gtest/gtest.h>

#include "random.h"

namespace vz {
namespace {

TEST(Random, MatchesTheClassicSequence) {
  Random r;
  r.Reseed(1);
  EXPECT_EQ(r.Next(), 41);
  EXPECT_EQ(r.Next(), 18467);
  EXPECT_EQ(r.Next(), 6334);
  EXPECT_EQ(r.Next(), 26500);
  EXPECT_EQ(r.Next(), 19169);
}

TEST(Random, StateWrapsModulo2To32AndStaysInRange) {
  Random r;
  r.Reseed(0xFFFFFFFFu);
  const int v = r.Next();
  EXPECT_EQ(r.State(), 0xFFFFFFFFu * 214013u + 2531011u);
  EXPECT_EQ(v, static_cast<int>((r.State() >> 16) & 0x7FFF));
  for (int i = 0; i < 100000; ++i) {
    const int x = r.Next();
    ASSERT_GE(x, 0);
    ASSERT_LE(x, 32767);
  }
}

TEST(Random, TimeSourceIsReplaceableAndRestorable) {
  SetTimeSource([] { return std::int64_t{1234}; });
  EXPECT_EQ(CalendarSeconds(), 1234);
  SetTimeSource({});
  EXPECT_GT(CalendarSeconds(), 1600000000);
}

}  // namespace
}  // namespace vz
