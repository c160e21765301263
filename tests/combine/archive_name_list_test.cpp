// The list of archive names a run gathers: what counts as a name, what
// counts as the same name, and that no name is lost however many there are.

#include <gtest/gtest.h>

#include <string>

#include "combine/archive_name_list.h"

namespace kestrova::combine {
namespace {

TEST(ArchiveNameListTest, KeepsEveryDistinctNameAsReadInTheOrderFirstMet) {
  ArchiveNameList list;
  for (const char* offered : {"ARC1", "", "   ", "arc1", "ARC1", " ARC1", "ARC1 ", "\tARC1", "ARC1"}) {
    list.offer(offered);
  }
  ASSERT_EQ(list.count(), 5u);
  EXPECT_EQ(list.name(0), "ARC1");
  EXPECT_EQ(list.name(1), "arc1");
  EXPECT_EQ(list.name(2), " ARC1");
  EXPECT_EQ(list.name(3), "ARC1 ");
  EXPECT_EQ(list.name(4), "\tARC1");

  list.clear();
  EXPECT_EQ(list.count(), 0u);
  list.offer("ARC1");  // cleared means forgotten, not just hidden
  EXPECT_EQ(list.count(), 1u);
}

TEST(ArchiveNameListTest, GrowsPastNineHundredAndNinetyNineNames) {
  ArchiveNameList list;
  for (int i = 1; i <= 1200; ++i) list.offer("A" + std::to_string(i));
  ASSERT_EQ(list.count(), 1200u);
  EXPECT_EQ(list.name(999), "A1000");
  EXPECT_EQ(list.name(1199), "A1200");
}

}  // namespace
}  // namespace kestrova::combine
