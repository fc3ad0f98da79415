#include <gtest/gtest.h>

#include "sim/csimscalerisp.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

class CSimScalerIspTest : public ::testing::Test {
 protected:
  // One transaction to register_I; how many of the value bytes were acknowledged.
  size_t Write(uint8_t register_I, const Bytes& values_I)
  {
    EXPECT_TRUE(mIsp->Address(0x94));
    EXPECT_TRUE(mIsp->WriteByte(register_I));
    size_t acknowledged = 0;
    for (uint8_t value : values_I) acknowledged += mIsp->WriteByte(value) ? 1 : 0;
    mIsp->Stop();
    return acknowledged;
  }
  void Write(uint8_t register_I, uint8_t value_I) { Write(register_I, Bytes{value_I}); }
  uint8_t Read(uint8_t register_I)
  {
    Write(register_I, Bytes{});
    EXPECT_TRUE(mIsp->Address(0x95));
    const uint8_t value = mIsp->ReadByte();
    mIsp->Stop();
    return value;
  }
  void SetAddress(uint32_t address_I)
  {
    for (int i = 0; i < 3; ++i) Write(static_cast<uint8_t>(0x64 + i), static_cast<uint8_t>(address_I >> (16 - 8 * i)));
  }
  void Indirect(uint8_t page_I, uint8_t address_I, uint8_t value_I)
  {
    Write(0xF4, 0x9F);
    Write(0xF5, page_I);
    Write(0xF4, address_I);
    Write(0xF5, value_I);
  }
  void Instruction(uint8_t instruction_I, uint32_t address_I = 0)
  {
    SetAddress(address_I);
    Write(0x61, instruction_I);
    Write(0x60, 0x01);
  }
  // Loads the page and programs it, given the time it takes.
  void Program(uint32_t address_I, const Bytes& page_I)
  {
    SetAddress(address_I);
    Write(0x70, page_I);
    Write(0x6F, 0xA0);
    mClock.Advance(1);
  }
  // Erases block 1, then programs 12 34 at its start.
  void EraseAndProgram()
  {
    Instruction(0xD8, 0x10000);
    mClock.Advance(400);
    Program(0x10000, Bytes{0x12, 0x34});
  }

  test::CInstalledVirtualClock mClock;
  std::string mError;
  std::shared_ptr<CSimScalerIsp> mIsp = CSimScalerIsp::Create({.blocks = 4}, mError);
};

}  // namespace

TEST_F(CSimScalerIspTest, ProtectionBusyFlashFifoLimitsAndAddressWrap)
{
  ASSERT_TRUE(mIsp->Preload(0x10000, Bytes(16, 0x00)));
  Write(0x6F, 0x80);
  mClock.Advance(4);
  EXPECT_EQ(Read(0x6F), 0x00);
  mClock.Advance(1);
  ASSERT_EQ(Read(0x6F), 0x90);
  Instruction(0x01);  // status register 1 := 00, refused while the pin protects it
  EXPECT_EQ(mIsp->StatusRegisters()[0], 0x1C);
  // The pin is released only while both registers say so (of the pin register, its low three bits).
  Indirect(0xFE, 0x28, 0x01);
  EXPECT_TRUE(mIsp->HardwareWriteProtected());
  Indirect(0x10, 0x38, 0xF9);
  EXPECT_FALSE(mIsp->HardwareWriteProtected());
  EraseAndProgram();
  EXPECT_EQ(mIsp->Erases() + mIsp->PagePrograms(), 0u) << "status register 1 still protects";
  Instruction(0x01);
  EXPECT_EQ(Read(0x60), 0x01);
  mClock.Advance(15);
  EXPECT_EQ(mIsp->StatusRegisters()[0], 0x00);
  Indirect(0xFE, 0x28, 0x00);
  EraseAndProgram();
  EXPECT_EQ(mIsp->Erases() + mIsp->PagePrograms(), 0u) << "the pin alone protects";
  Indirect(0xFE, 0x28, 0x01);
  EraseAndProgram();
  EXPECT_EQ(mIsp->FlashBytes(0x10000, 3), (Bytes{0x12, 0x34, 0xFF}));
  // The FIFO takes one page, a register one value byte.
  EXPECT_EQ(Write(0x70, Bytes(257, 0xA5)), 256u);
  EXPECT_EQ(Write(0x10, Bytes{0x01, 0x02}), 1u);
  // While an erase runs, other instructions and programs are ignored (the FIFO keeps its page).
  Instruction(0xD8, 0x30000);
  Instruction(0xD8, 0x20000);
  Write(0x6F, 0xA0);
  mClock.Advance(399);
  EXPECT_EQ(Read(0x60), 0x01);
  EXPECT_EQ(mIsp->Erases() + mIsp->PagePrograms(), 3u);
  mClock.Advance(1);
  // Programming the kept page: the FIFO takes nothing until it is done.
  Write(0x6F, 0xA0);
  EXPECT_EQ(Read(0x6F), 0xA0);
  EXPECT_EQ(Write(0x70, Bytes{0x00}), 0u);
  mClock.Advance(1);
  EXPECT_EQ(mIsp->FlashBytes(0x200FF, 2), (Bytes{0xA5, 0xFF}));
  EXPECT_EQ(mIsp->Erases() + mIsp->PagePrograms(), 4u);
  // A page wraps inside its 256 bytes, address bits above the flash's 256 KiB are ignored, and programming
  // only clears bits.
  Program(0x0700FE, Bytes{0x31, 0x32, 0x33, 0x34});
  EXPECT_EQ(Read(0x66), 0x02) << "the address moved on by the page";
  Program(0x030000, Bytes{0xF0});
  EXPECT_EQ(mIsp->FlashBytes(0x30000, 3), (Bytes{0x30, 0x34, 0xFF}));
  EXPECT_EQ(mIsp->FlashBytes(0x300FE, 2), (Bytes{0x31, 0x32}));
  // A restart leaves ISP mode, as 6F without bit 7 does; then nothing reaches the flash and the FIFO takes nothing.
  Write(0xEE, 0x02);
  EXPECT_FALSE(mIsp->InIspMode());
  Write(0x6F, 0x80);
  mClock.Advance(5);
  Write(0x6F, 0x00);
  EXPECT_EQ(Write(0x70, Bytes{0x00}), 0u);
  EraseAndProgram();
  EXPECT_EQ(mIsp->Erases() + mIsp->PagePrograms(), 6u);

  EXPECT_EQ(CSimScalerIsp::Create({.blocks = 257}, mError), nullptr) << "more than a 24-bit address reaches";
}
