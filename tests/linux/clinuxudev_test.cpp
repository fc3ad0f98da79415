#include <gtest/gtest.h>

#include "common/fwupdater/chidreportdescriptor.h"
#include "linux/common/clinuxudev.h"

using namespace orv;

// A node whose descriptor declares more top-level collections than a path can number lists only those a
// path can name, and each listed path opens its own collection.
TEST(CLinuxUdev, EveryListedCollectionPathNamesItsCollection)
{
  std::vector<uint8_t> descriptor;
  for (int i = 0; i < 300; ++i) descriptor.insert(descriptor.end(), {0x06, 0x0D, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0});
  const size_t count = ParseTopLevelCollections(descriptor).size();
  ASSERT_GT(count, 1u);
  for (size_t i = 0; i < count; ++i) {
    const std::optional<SHidPath> split = SplitHidPath(HidCollectionPath("/dev/hidraw3", i, count));
    ASSERT_TRUE(split) << "collection " << i + 1 << " of " << count;
    EXPECT_EQ(split->node, "/dev/hidraw3");
    EXPECT_EQ(split->collection, i);
  }
}
