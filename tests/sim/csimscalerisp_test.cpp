#include <gtest/gtest.h>

#include "common/cclock.h"
#include "sim/csimscalerisp.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

class CSimScalerIspTest : public ::testing::Test {
 protected:
  CSimScalerIspTest()
  {
    std::string error;
    mIsp = CSimScalerIsp::Create({.blocks = 4, .panelId1 = 0xCE, .panelId2 = 0x23}, error);
    EXPECT_EQ(error, "");
  }

  void Write(uint8_t register_I, const Bytes& values_I)
  {
    ASSERT_TRUE(mIsp->Address(0x94));
    ASSERT_TRUE(mIsp->WriteByte(register_I));
    for (uint8_t value : values_I) ASSERT_TRUE(mIsp->WriteByte(value));
    mIsp->Stop();
  }
  void Write(uint8_t register_I, uint8_t value_I) { Write(register_I, Bytes{value_I}); }

  uint8_t Read(uint8_t register_I)
  {
    EXPECT_TRUE(mIsp->Address(0x94));
    EXPECT_TRUE(mIsp->WriteByte(register_I));
    mIsp->Stop();
    EXPECT_TRUE(mIsp->Address(0x95));
    const uint8_t value = mIsp->ReadByte();
    mIsp->Stop();
    return value;
  }

  void SetAddress(uint8_t first_I, uint32_t address_I)
  {
    for (int i = 0; i < 3; ++i) Write(static_cast<uint8_t>(first_I + i), static_cast<uint8_t>(address_I >> (16 - 8 * i)));
  }

  void EnterIsp()
  {
    Write(0x6F, 0x80);
    mClock.Advance(5);
    ASSERT_EQ(Read(0x6F), 0x90);
  }

  void ReleaseHardwareProtection()
  {
    Write(0xF4, 0x9F);
    Write(0xF5, 0x10);
    Write(0xF4, 0x38);
    const uint8_t pin = Read(0xF5);
    Write(0xF4, 0x38);
    Write(0xF5, static_cast<uint8_t>((pin & 0xF9) | 0x01));
    Write(0xF4, 0x9F);
    Write(0xF5, 0xFE);
    Write(0xF4, 0x28);
    Write(0xF5, 0x01);
  }

  void Instruction(uint8_t instruction_I, uint8_t control_I = 0xB8)
  {
    Write(0x60, control_I);
    Write(0x61, instruction_I);
    Write(0x60, static_cast<uint8_t>(control_I | 1));
  }

  void Unprotect()
  {
    ReleaseHardwareProtection();
    Write(0x64, 0x00);
    Instruction(0x01, 0x68);
    mClock.Advance(15);
  }

  uint8_t Crc(uint32_t start_I, uint32_t end_I)
  {
    SetAddress(0x64, start_I);
    SetAddress(0x72, end_I);
    Write(0x6F, Read(0x6F) | 0x04);
    mClock.Advance(20);
    EXPECT_EQ(Read(0x6F) & 0x04, 0);
    return Read(0x75);
  }

  CVirtualClock mClock;
  CScopedClock mScoped{mClock};
  std::shared_ptr<CSimScalerIsp> mIsp;
};

}  // namespace

TEST_F(CSimScalerIspTest, EraseNeedsIspModeAndBothProtectionsReleased)
{
  ASSERT_TRUE(mIsp->Preload(0x10000, Bytes(16, 0x00)));
  Write(0x6F, 0x80);
  mClock.Advance(4);
  EXPECT_EQ(Read(0x6F), 0x00);
  mClock.Advance(1);
  EXPECT_EQ(Read(0x6F), 0x90);
  // Panel ids through the indirect port.
  Write(0xF4, 0x9F);
  Write(0xF5, 0x00);
  Write(0xF4, 0x0F);
  EXPECT_EQ(Read(0xF5), 0x23);

  SetAddress(0x64, 0x010000);
  Instruction(0xD8);
  EXPECT_EQ(Read(0x60), 0xB8);  // ignored at once: the flash is protected
  Write(0x64, 0x00);
  Instruction(0x01, 0x68);  // the status register is guarded by the write-protect pin
  EXPECT_EQ(mIsp->StatusRegisters()[0], 0x1C);
  Unprotect();
  EXPECT_FALSE(mIsp->HardwareWriteProtected());
  EXPECT_EQ(mIsp->StatusRegisters()[0], 0x00);
  EXPECT_EQ(mIsp->Erases(), 0u);

  SetAddress(0x64, 0x010000);
  Instruction(0xD8);
  EXPECT_EQ(Read(0x60), 0xB9);
  mClock.Advance(399);
  EXPECT_EQ(Read(0x60), 0xB9);
  mClock.Advance(1);
  EXPECT_EQ(Read(0x60), 0xB8);
  EXPECT_EQ(mIsp->FlashBytes(0x10000, 16), Bytes(16, 0xFF));
  EXPECT_EQ(Crc(0x10000, 0x1FFFF), 0xDE);
  // Leaving ISP mode stops everything.
  Write(0x6F, 0x00);
  SetAddress(0x64, 0x000000);
  Instruction(0xD8);
  EXPECT_EQ(mIsp->Erases(), 1u);
}

TEST_F(CSimScalerIspTest, PagesProgramLikeNorFlashAndTheCrcChecksThem)
{
  EnterIsp();
  Unprotect();
  SetAddress(0x64, 0x020000);
  Write(0x70, Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'});
  Write(0x6F, 0xA0);
  EXPECT_EQ(Read(0x6F), 0xA0);  // programming; the FIFO takes no page
  mClock.Advance(1);
  EXPECT_EQ(Read(0x6F), 0x90);
  EXPECT_EQ(Read(0x66), 0x09);  // the address moved on by the page length
  EXPECT_EQ(Crc(0x020000, 0x020008), 0xF4);
  // Programming only clears bits.
  SetAddress(0x64, 0x020000);
  Write(0x70, Bytes{0xF0});
  Write(0x6F, 0xA0);
  mClock.Advance(1);
  EXPECT_EQ(mIsp->FlashBytes(0x020000, 2), (Bytes{0x30, '2'}));
  EXPECT_EQ(mIsp->PagePrograms(), 2u);
  EXPECT_EQ(mIsp->RegisterWrites()[mIsp->RegisterWrites().size() - 2], (std::pair<uint8_t, uint8_t>{0x70, 0xF0}));

  mIsp->CorruptPrograms(1);
  SetAddress(0x64, 0x030000);
  Write(0x70, Bytes{0x55, 0x66});
  Write(0x6F, 0xA0);
  mClock.Advance(1);
  EXPECT_EQ(mIsp->FlashBytes(0x030000, 2), (Bytes{0x54, 0x66}));

  mIsp->FailErases(1);
  for (uint8_t expected : {0x00, 0xDE}) {
    SetAddress(0x64, 0x030000);
    Instruction(0xD8);
    mClock.Advance(400);
    EXPECT_EQ(Crc(0x030000, 0x03FFFF) == 0xDE, expected == 0xDE);
  }

  Write(0xEE, 0x02);
  EXPECT_TRUE(mIsp->Restarted());
  EXPECT_FALSE(mIsp->InIspMode());
}

TEST_F(CSimScalerIspTest, RefusedEntryAndMissingAcknowledge)
{
  mIsp->RefuseIspEntry(true);
  Write(0x6F, 0x80);
  mClock.Advance(1000);
  EXPECT_EQ(Read(0x6F), 0x00);
  mIsp->SetNoAcknowledge(true);
  EXPECT_FALSE(mIsp->Address(0x94));
  EXPECT_FALSE(mIsp->Address(0x6E));

  std::string error;
  EXPECT_EQ(CSimScalerIsp::Create({.blocks = 257}, error), nullptr);
  EXPECT_NE(error, "");
}
