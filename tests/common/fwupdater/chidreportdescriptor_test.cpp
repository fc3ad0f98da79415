#include <gtest/gtest.h>

#include "common/fwupdater/chidreportdescriptor.h"

using namespace orv;

TEST(CHidReportDescriptor, TopLevelCollectionsTakeTheirFirstUsageAndThePageInEffect)
{
  const std::vector<uint8_t> descriptor{
      // Digitizer, pen: a nested physical collection does not count.
      0x05, 0x0D, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x20, 0xA1, 0x00, 0x09, 0x42, 0x81, 0x02, 0xC0, 0xC0,
      // Vendor page FF0D, usage 1, with a feature report and a long item inside.
      0x06, 0x0D, 0xFF, 0x09, 0x01, 0x09, 0x05, 0xA1, 0x01, 0x85, 0xD8, 0x75, 0x08, 0x95, 0x0C, 0xB1, 0x02,
      0xFE, 0x02, 0x10, 0xAA, 0xBB, 0xC0,
      // A four-byte usage carries its own page; pushed and popped pages leave the page as it was.
      0xA4, 0x05, 0x01, 0x0B, 0x0B, 0x00, 0x00, 0xFF, 0xA1, 0x01, 0xC0, 0xB4,
      // The page given between the usage and the collection applies.
      0x09, 0x0A, 0x06, 0x00, 0xFF, 0xA1, 0x01, 0xC0};
  EXPECT_EQ(ParseTopLevelCollections(descriptor),
            (std::vector<SHidCaps>{{0x02, 0x0D}, {0x01, 0xFF0D}, {0x0B, 0xFF00}, {0x0A, 0xFF00}}));
  EXPECT_TRUE(ParseTopLevelCollections({}).empty());
}

TEST(CHidReportDescriptor, AMalformedDescriptorIdentifiesNothing)
{
  const std::vector<uint8_t> good{0x06, 0x0D, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0};
  ASSERT_EQ(ParseTopLevelCollections(good).size(), 1u);
  for (const std::vector<uint8_t>& bad : std::vector<std::vector<uint8_t>>{
           {0x06, 0x0D},                                        // an item running past the end
           {0x06, 0x0D, 0xFF, 0x09, 0x01, 0xA1, 0x01},          // a collection never closed
           {0xC0},                                              // an end without a collection
           {0xB4, 0x09, 0x01, 0xA1, 0x01, 0xC0},                // a pop without a push
           {0xFE, 0x10, 0x00, 0x01},                            // a long item running past the end
           {0xFE}}) {
    EXPECT_TRUE(ParseTopLevelCollections(bad).empty());
  }
  std::vector<uint8_t> deep;
  for (int i = 0; i < 40; ++i) deep.insert(deep.end(), {0xA1, 0x00});
  for (int i = 0; i < 40; ++i) deep.push_back(0xC0);
  EXPECT_TRUE(ParseTopLevelCollections(deep).empty()) << "nesting too deep";
  std::vector<uint8_t> huge = good;
  huge.resize(kMaxHidReportDescriptor + 1, 0x00);
  EXPECT_TRUE(ParseTopLevelCollections(huge).empty());
}
