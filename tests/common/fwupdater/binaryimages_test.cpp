#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <type_traits>

#include "common/fwupdater/csrec.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

template <typename Image>
class BinaryImage : public testing::Test {};

using BinaryImageTypes = testing::Types<CBinaryAiroFlash, CScalarRTDISP>;
TYPED_TEST_SUITE(BinaryImage, BinaryImageTypes);

TYPED_TEST(BinaryImage, KeepsEveryByteAndOnlyWholeSuccessfulLoads)
{
  test::CScratchDir dir;
  // One byte written past the limit: the file stays sparse, and no runtime's truncate (the MinGW one checks the
  // disk's free space first) can refuse it.
  const std::string huge = dir.Write("huge", "");
  std::ofstream(huge, std::ios::binary).seekp(kMaxFirmwareFileSize).put('\0');
  ASSERT_EQ(std::filesystem::file_size(huge), kMaxFirmwareFileSize + 1);
  TypeParam image;
  for (const std::string& path : {dir.Write("empty", ""), (dir.Path() / "missing").string(), huge}) {
    EXPECT_FALSE(image.Load(path)) << path;
    EXPECT_TRUE(image.GetData().empty());
  }
  constexpr bool kAiroha = std::is_same_v<TypeParam, CBinaryAiroFlash>;
  if constexpr (kAiroha) { EXPECT_EQ(image.GetStartAddress(), -1); }
  const std::vector<uint8_t> bytes{0x0D, 0x0A, 0x1A, 0x00, 0x0A, 0xFF, 0x0D};
  ASSERT_TRUE(image.Load(dir.Write("a", bytes)));
  EXPECT_EQ(image.GetData(), bytes);
  if constexpr (kAiroha) { EXPECT_EQ(image.GetStartAddress(), 0); }
  EXPECT_FALSE(image.Load(dir.Write("empty", "")));
  EXPECT_EQ(image.GetSize(), bytes.size());
  ASSERT_TRUE(image.Load(dir.Write("b", "\x42")));
  EXPECT_EQ(image.GetData(), std::vector<uint8_t>{0x42});
}
