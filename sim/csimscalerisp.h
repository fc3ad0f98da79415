// The in-system-programming slave of a display scaler (I2C 0x94 write / 0x95 read) and the SPI serial flash
// behind it. The host writes and reads the MCU's registers: it requests ISP mode, releases the flash's
// hardware and software write protection, starts flash instructions (block erase, status register writes,
// identification), loads 256-byte pages into a FIFO and programs them, and lets the scaler compute a CRC-8
// over a flash range. Every operation takes its time on the installed clock and shows busy until then.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/csimi2cbus.h"

namespace orv::sim {

struct SSimScalerIspConfig {
  // 64 KiB blocks of the flash: 1 to 256 (the flash address has 24 bits).
  uint32_t blocks = 16;
  uint32_t ispEntryMs = 5;
  uint32_t eraseMs = 400;
  uint32_t pageProgramMs = 1;
  uint32_t crcMsPer64K = 20;
  uint32_t statusWriteMs = 15;
  // The panel's ids: indirect page 00, addresses 00 and 0F.
  uint8_t panelId1 = 0x00;
  uint8_t panelId2 = 0x00;
  // The flash's write-protect pin is released only when (page 10, pin register) & 07 = 01 and
  // (page FE, output register) = 01.
  uint8_t wpPinRegister = 0x38;
  uint8_t wpOutputRegister = 0x28;
};

class CSimScalerIsp : public CSimI2CSlave {
 public:
  // Empty, with the reason, when the configuration is not usable.
  static std::shared_ptr<CSimScalerIsp> Create(const SSimScalerIspConfig& config_I, std::string& error_O);

  const SSimScalerIspConfig& Config() const { return mConfig; }
  // The flash from address_I, cut at its end.
  std::vector<uint8_t> FlashBytes(uint32_t address_I, uint32_t count_I);
  // Factory programming: stores the bytes as they are. False when the range leaves the flash.
  bool Preload(uint32_t address_I, const std::vector<uint8_t>& bytes_I);
  bool InIspMode();
  // The host wrote EE := 02: the scaler restarted its firmware (and left ISP mode).
  bool Restarted();
  // Status registers 1 to 3 of the flash; register 1 other than 00 protects the whole array.
  std::array<uint8_t, 3> StatusRegisters();
  bool HardwareWriteProtected();
  // Every register write in order; a page load into register 70 appears once, with its first data byte.
  std::vector<std::pair<uint8_t, uint8_t>> RegisterWrites();
  // Erases and page programs that reached the flash (protection or a busy flash makes them no-ops).
  uint64_t Erases();
  uint64_t PagePrograms();

  // Faults. Counts: the next count_I operations (kSimAlways: every one).
  void SetNoAcknowledge(bool refuse_I);
  // ISP mode is never entered.
  void RefuseIspEntry(bool refuse_I);
  // An erase leaves one byte (offset 8000 of the block) at FE, so the erased block's CRC is not DE.
  void FailErases(uint64_t count_I);
  // A programmed page gets its first byte wrong.
  void CorruptPrograms(uint64_t count_I);
  // A read addressed to the scaler while it is busy with its flash goes unacknowledged.
  void MissReadsWhileBusy(uint64_t count_I);

  bool Address(uint8_t addressByte_I) override;
  bool WriteByte(uint8_t byte_I) override;
  uint8_t ReadByte() override;
  void Stop() override;

 private:
  enum EStage : uint8_t {
    ESTAGE_NONE,
    ESTAGE_REGISTER,
    ESTAGE_VALUE,
    ESTAGE_READ,
  };

  // What keeps the scaler busy: each shows in its own status bit until it is done.
  enum EJob : uint8_t {
    EJOB_NONE,
    EJOB_INSTRUCTION,
    EJOB_PROGRAM,
    EJOB_CRC,
  };

  explicit CSimScalerIsp(const SSimScalerIspConfig& config_I);

  uint64_t NowMs() const;
  // Ends a job whose time is up (a CRC then shows its result).
  void Settle();
  bool Busy();
  bool InIsp() const;
  void StartJob(EJob job_I, uint64_t milliseconds_I);
  bool Protected() const;
  bool HardwareProtected() const;
  uint8_t Indirect(uint8_t page_I, uint8_t address_I) const;
  uint32_t Address24(uint8_t firstRegister_I) const;
  size_t FlashOffset(uint64_t address_I) const;
  bool LoadFifo(uint8_t byte_I);
  void WriteRegister(uint8_t register_I, uint8_t value_I);
  uint8_t ReadRegister(uint8_t register_I);
  uint8_t IspStatus();
  void WriteIspControl(uint8_t value_I);
  void LeaveIsp();
  void StartInstruction();
  void EraseBlock();
  void ProgramPage();
  void StartCrc();

  const SSimScalerIspConfig mConfig;
  std::mutex mLock;
  std::vector<uint8_t> mFlash;
  std::array<uint8_t, 256> mRegisters{};
  std::map<uint16_t, uint8_t> mIndirect;
  uint8_t mPage = 0;
  std::array<uint8_t, 3> mStatus{};
  std::vector<uint8_t> mFifo;
  EStage mStage = ESTAGE_NONE;
  uint8_t mSelected = 0;
  bool mFifoLogged = false;
  std::optional<uint64_t> mIspFromMs;
  EJob mJob = EJOB_NONE;
  uint64_t mJobUntilMs = 0;
  uint8_t mCrcResult = 0;
  bool mRestarted = false;
  std::vector<std::pair<uint8_t, uint8_t>> mRegisterWrites;
  uint64_t mErases = 0;
  uint64_t mPagePrograms = 0;
  bool mNoAcknowledge = false;
  bool mRefuseIsp = false;
  uint64_t mFailErases = 0;
  uint64_t mCorruptPrograms = 0;
  uint64_t mMissedBusyReads = 0;
};

}  // namespace orv::sim
