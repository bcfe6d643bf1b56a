#include <gtest/gtest.h>

#include "entries.h"
#include "entry_table.h"

namespace vz {
namespace {

TEST(Entries, DefaultsGiveTheDocumentedSaver) {
  const EntryValues v = ParticleDefaults();
  const SimParams p = ParamsFromEntries(v);
  EXPECT_EQ(CountFromEntries(v), 50);
  EXPECT_EQ(p.delay, 50);
  EXPECT_EQ(p.gravity, 30 * 0.1);
  EXPECT_EQ(p.mu, 9965 * 0.0001);
  EXPECT_EQ(p.friction, 1);
  EXPECT_EQ(p.singleMass, 1);
  EXPECT_EQ(p.borders, 1);
  EXPECT_EQ(p.bounce, 0);
  EXPECT_EQ(p.evenOdd, 1);
  EXPECT_EQ(p.showAll, 1);
  EXPECT_EQ(p.planet, 0);
  EXPECT_EQ(p.randomMass + p.evenOddMass, 0);
  EXPECT_EQ(DialogDefaults().DelayTime, 1u) << "the only column that differs";
}

TEST(Entries, SwitchesAreOnExactlyAtOne) {
  EntryValues v;
  v.Planet = 2;
  v.Bounce = 0xFFFFFFFFu;
  v.Borders = 0;
  v.EvenOddMass = 1;
  const SimParams p = ParamsFromEntries(v);
  EXPECT_EQ(p.planet, 0);
  EXPECT_EQ(p.bounce, 0);
  EXPECT_EQ(p.borders, 0);
  EXPECT_EQ(p.evenOddMass, 1);
}

TEST(Entries, ThirtyTwoBitsKeepTheirMeaning) {
  EntryValues v;
  v.GravityVal = 0xFFFFFFFFu;
  v.MuVal = 0x80000000u;
  v.NumParticles = 0xFFFFFFFFu;
  v.DelayTime = 0xFFFFFFF6u;
  v.SingleMass = 0;
  const SimParams p = ParamsFromEntries(v);
  EXPECT_EQ(p.gravity, 4294967295.0 * 0.1) << "unsigned, not -0.1";
  EXPECT_EQ(p.mu, 2147483648.0 * 0.0001);
  EXPECT_EQ(CountFromEntries(v), -1);
  EXPECT_EQ(p.delay, -10);
  EXPECT_EQ(p.singleMass, 0);
}

TEST(EntryTable, OrdersCoverEveryEntryOnce) {
  EXPECT_EQ(kEntries.front().name, "Friction");
  EXPECT_EQ(kEntries.back().name, "NumParticles");
  for (std::string_view name : kWriteOrder) EXPECT_NE(FindEntry(name), nullptr) << name;
  for (const EntryInfo& e : kEntries) {
    EXPECT_EQ(std::count(kWriteOrder.begin(), kWriteOrder.end(), e.name), 1) << e.name;
  }
  EXPECT_EQ(FindEntry("numparticles"), nullptr) << "names are case-sensitive";
}

}  // namespace
}  // namespace vz
