#include "tests/testsupport/flashimages.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/fwupdater/cbinaryairoflash.h"
#include "common/fwupdater/cintelhex.h"
#include "common/fwupdater/csrec.h"
#include "common/textconversion.h"
#include "tests/testsupport/testfiles.h"

namespace orv::test {
namespace {

struct SFlashRun {
  uint32_t address;
  std::vector<uint8_t> bytes;
};

std::vector<SFlashRun> Runs(const std::filesystem::path& file_I)
{
  const std::string path = WideToUtf8(file_I.u16string());
  const std::string extension = file_I.extension().string();
  if (extension == ".bin") return {{0, ReadBytes(file_I)}};
  if (extension == ".hex") {
    CIntelHex image;
    EXPECT_TRUE(image.Load(path)) << path;
    return {{0x8000, std::vector<uint8_t>(image.GetImage(), image.GetImage() + image.GetLength())}};
  }
  if (extension == ".airoflash") {
    CBinaryAiroFlash image;
    EXPECT_TRUE(image.Load(path)) << path;
    return {{0, image.GetData()}};
  }
  CSRec image;
  EXPECT_TRUE(image.Load(path)) << path;
  std::vector<SFlashRun> runs;
  for (const SRecSegment& segment : image.GetSegments()) runs.push_back({segment.start, segment.data});
  return runs;
}

}  // namespace

void ExpectFlashed(const std::filesystem::path& file_I, const FlashReader& flash_I)
{
  const std::vector<SFlashRun> runs = Runs(file_I);
  EXPECT_FALSE(runs.empty()) << file_I.string();
  for (const SFlashRun& run : runs) {
    EXPECT_TRUE(flash_I(run.address, static_cast<uint32_t>(run.bytes.size())) == run.bytes)
        << file_I.string() << " at " << run.address;
  }
}

FlashReader SimFlash(sim::CSimPlatform& platform_I, const std::string& board_I)
{
  return [&platform_I, board_I](uint32_t address_I, uint32_t count_I) {
    if (board_I == "scalar" && platform_I.Scaler()) return platform_I.Scaler()->isp->FlashBytes(address_I, count_I);
    if (const std::shared_ptr<sim::CSimHidBoard> hid = platform_I.HidBoard(board_I)) {
      return hid->FlashBytes(address_I, count_I);
    }
    if (const std::shared_ptr<sim::CSimI2CTunnelBoard> i2c = platform_I.I2CBoard(board_I)) {
      return i2c->FlashBytes(address_I, count_I);
    }
    ADD_FAILURE() << "the platform has no board " << board_I;
    return std::vector<uint8_t>{};
  };
}

FlashReader FileFlash(const std::filesystem::path& file_I)
{
  return [file_I](uint32_t address_I, uint32_t count_I) {
    const std::vector<uint8_t> flash = ReadBytes(file_I);
    const size_t begin = std::min<size_t>(address_I, flash.size());
    const size_t end = std::min<size_t>(begin + count_I, flash.size());
    return std::vector<uint8_t>(flash.begin() + begin, flash.begin() + end);
  };
}

void ExpectDemoDisplayFlashed(const std::filesystem::path& dir_I,
                              const std::function<FlashReader(const std::string& board_I)>& flash_I)
{
  for (const auto& [board, file] : {std::pair{"pen", "display_pen.orv"}, std::pair{"touch", "display_touch.hex"},
                                    std::pair{"bluetooth", "display_bt.airoflash"},
                                    std::pair{"scalar", "display_scaler.bin"}}) {
    ExpectFlashed(dir_I / file, flash_I(board));
  }
}

}  // namespace orv::test
