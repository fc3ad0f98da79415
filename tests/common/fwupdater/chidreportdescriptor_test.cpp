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

TEST(CHidReportDescriptor, EachCollectionDeclaresItsFeatureReportsWithTheirLengths)
{
  const std::vector<uint8_t> descriptor{
      // A vendor collection as firmware writes it: byte fields set once, then one id after another.
      0x06, 0x0D, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
      0x85, 0x02, 0x95, 0x3F, 0x09, 0x02, 0xB1, 0x02,  // 0x02: 63 bytes
      0x85, 0xCC, 0x09, 0xCC, 0xB1, 0x02,              // 0xCC: the count in effect, 63 bytes
      0x85, 0x10, 0x95, 0x04, 0x09, 0x10, 0x81, 0x02,  // an input report adds nothing to the features
      0x85, 0xE4,
      0xA4, 0x75, 0x01, 0x95, 0x05, 0xB1, 0x02, 0xB4,  // five bits pushed and popped...
      0x95, 0xFE, 0xB1, 0x02,                          // ...then 254 bytes: 2037 bits in 255 bytes
      0xA1, 0x02, 0x85, 0x02, 0x95, 0x01, 0xB1, 0x02, 0xC0,  // a nested collection adds to 0x02
      0xC0,
      // The report id carries into the next collection.
      0x09, 0x02, 0xA1, 0x01, 0x95, 0x02, 0xB1, 0x02, 0xC0,
      // A feature outside any collection belongs to none.
      0xB1, 0x02};
  EXPECT_EQ(ParseHidCollections(descriptor),
            (std::vector<SHidCollection>{{{0x01, 0xFF0D}, {{0x02, 64}, {0xCC, 63}, {0xE4, 255}}},
                                         {{0x02, 0xFF0D}, {{0x02, 2}}}}));
  // Without report ids every feature field is part of report 0.
  const std::vector<uint8_t> plain{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x07, 0xB1,
                                   0x02, 0x75, 0x04, 0x95, 0x01, 0xB1, 0x03, 0xC0};
  EXPECT_EQ(ParseHidCollections(plain), (std::vector<SHidCollection>{{{0x01, 0xFF00}, {{0x00, 8}}}}));
  EXPECT_EQ(ParseTopLevelCollections(plain), (std::vector<SHidCaps>{{0x01, 0xFF00}}));
}

TEST(CHidReportDescriptor, FieldsAndReportsTheKernelRefusesIdentifyNothing)
{
  // Report id, size and count in front of one feature item of a collection.
  const auto descriptor = [](std::vector<uint8_t> globals_I) {
    std::vector<uint8_t> bytes{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    bytes.insert(bytes.end(), globals_I.begin(), globals_I.end());
    bytes.insert(bytes.end(), {0xB1, 0x02, 0xC0});
    return bytes;
  };
  ASSERT_EQ(ParseHidCollections(descriptor({0x85, 0x01, 0x75, 0x18, 0x96, 0x55, 0x15})).at(0).features,
            (std::vector<SHidFeatureReport>{{0x01, kMaxHidReportLength}}));
  for (const std::vector<uint8_t>& globals : std::vector<std::vector<uint8_t>>{
           {0x85, 0x00},                                    // report id 0
           {0x86, 0x00, 0x01},                              // report id 256
           {0x76, 0x01, 0x01, 0x95, 0x01},                  // a field of 257 bits
           {0x75, 0x08, 0x96, 0x01, 0x30},                  // 12289 fields
           {0x75, 0x10, 0x96, 0x00, 0x20},                  // 16384 bytes
           {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF}}) {  // 32-bit size and count
    EXPECT_TRUE(ParseHidCollections(descriptor(globals)).empty());
  }
  // Too long across items: two features of 8192 bytes.
  EXPECT_TRUE(ParseHidCollections(descriptor({0x75, 0x08, 0x96, 0x00, 0x20, 0xB1, 0x02})).empty());
}

TEST(CHidReportDescriptor, CollectionsPastTheLastAPathCanNumberAreCheckedButNotListed)
{
  std::vector<uint8_t> descriptor;
  for (size_t i = 0; i < kMaxHidCollections; ++i) descriptor.insert(descriptor.end(), {0x09, 0x01, 0xA1, 0x01, 0xC0});
  // One more, with a feature report of its own that must not land on the last listed one.
  descriptor.insert(descriptor.end(), {0x09, 0x02, 0xA1, 0x01, 0x85, 0x05, 0x75, 0x08, 0x95, 0x02, 0xB1, 0x02, 0xC0});
  const std::vector<SHidCollection> collections = ParseHidCollections(descriptor);
  ASSERT_EQ(collections.size(), kMaxHidCollections);
  EXPECT_TRUE(collections.back().features.empty());
  descriptor.push_back(0xC0);
  EXPECT_TRUE(ParseHidCollections(descriptor).empty()) << "an unlisted collection is still held to the rules";
}
