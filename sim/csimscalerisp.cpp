#include "sim/csimscalerisp.h"

#include <algorithm>

#include "common/cclock.h"

namespace orv::sim {
namespace {

constexpr uint8_t kWriteAddress = 0x94;
constexpr uint8_t kReadAddress = 0x95;

enum ERegister : uint8_t {
  EREGISTER_INSTRUCTION_CONTROL = 0x60,
  EREGISTER_INSTRUCTION = 0x61,
  EREGISTER_ADDRESS = 0x64,
  EREGISTER_ID = 0x67,
  EREGISTER_ISP_CONTROL = 0x6F,
  EREGISTER_FIFO = 0x70,
  EREGISTER_CRC_END = 0x72,
  EREGISTER_CRC = 0x75,
  EREGISTER_RESTART = 0xEE,
  EREGISTER_INDIRECT_ADDRESS = 0xF4,
  EREGISTER_INDIRECT_DATA = 0xF5,
};

// Register 60 starts the instruction in 61 when bit 0 is written 1; it reads 1 until the instruction is done.
constexpr uint8_t kInstructionStart = 0x01;
enum EInstruction : uint8_t {
  EINSTRUCTION_WRITE_STATUS_3 = 0x11,
  EINSTRUCTION_WRITE_STATUS_1 = 0x01,
  EINSTRUCTION_WRITE_STATUS_2 = 0x31,
  EINSTRUCTION_JEDEC_ID = 0x9F,
  EINSTRUCTION_SIGNATURE = 0xAB,
  EINSTRUCTION_BLOCK_ERASE = 0xD8,
};

// Register 6F bits.
constexpr uint8_t kIspActive = 0x80;
constexpr uint8_t kProgramming = 0x20;
constexpr uint8_t kFifoReady = 0x10;
constexpr uint8_t kCrcRunning = 0x04;

constexpr uint8_t kRestartValue = 0x02;
// Writing F5 while F4 holds this selects the indirect page.
constexpr uint8_t kPageSelect = 0x9F;
constexpr uint8_t kPinPage = 0x10;
constexpr uint8_t kOutputPage = 0xFE;
// The pin register's start value: its low three bits keep the write-protect pin asserted.
constexpr uint8_t kPinStart = 0xA4;
constexpr uint8_t kPinMask = 0x07;
constexpr uint8_t kPinReleased = 0x01;
constexpr uint8_t kOutputReleased = 0x01;

constexpr size_t kBlockSize = 65536;
constexpr uint32_t kMaxBlocks = 256;
constexpr size_t kPageSize = 256;
constexpr uint8_t kErased = 0xFF;
constexpr size_t kFailedEraseOffset = 0x8000;
constexpr uint8_t kFailedEraseValue = 0xFE;
constexpr uint8_t kCorruptionBit = 0x01;
// Block protect bits set: the state a flash leaves the factory in.
constexpr uint8_t kStatus1Start = 0x1C;
constexpr uint8_t kJedecId[] = {0xEF, 0x40, 0x14};
constexpr uint8_t kSignature = 0x13;

// CRC-8, polynomial 0x07, initial 0, most significant bit first, no reflection, no final XOR.
constexpr std::array<uint8_t, 256> MakeCrcTable()
{
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    uint8_t crc = static_cast<uint8_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint8_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

std::shared_ptr<CSimScalerIsp> CSimScalerIsp::Create(const SSimScalerIspConfig& config_I, std::string& error_O)
{
  error_O.clear();
  if (config_I.blocks == 0 || config_I.blocks > kMaxBlocks) {
    error_O = "the flash must have 1 to 256 blocks of 64 KiB";
    return nullptr;
  }
  return std::shared_ptr<CSimScalerIsp>(new CSimScalerIsp(config_I));
}

CSimScalerIsp::CSimScalerIsp(const SSimScalerIspConfig& config_I)
    : mConfig(config_I), mFlash(config_I.blocks * kBlockSize, kErased)
{
  mIndirect[0x0000] = config_I.panelId1;
  mIndirect[0x000F] = config_I.panelId2;
  mIndirect[kPinPage << 8 | config_I.wpPinRegister] = kPinStart;
  mStatus[0] = kStatus1Start;
}

std::vector<uint8_t> CSimScalerIsp::FlashBytes(uint32_t address_I, uint32_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  const size_t begin = std::min<size_t>(address_I, mFlash.size());
  const size_t end = std::min<size_t>(begin + count_I, mFlash.size());
  return std::vector<uint8_t>(mFlash.begin() + static_cast<std::ptrdiff_t>(begin),
                              mFlash.begin() + static_cast<std::ptrdiff_t>(end));
}

bool CSimScalerIsp::Preload(uint32_t address_I, const std::vector<uint8_t>& bytes_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (address_I > mFlash.size() || bytes_I.size() > mFlash.size() - address_I) return false;
  std::copy(bytes_I.begin(), bytes_I.end(), mFlash.begin() + address_I);
  return true;
}

bool CSimScalerIsp::InIspMode()
{
  std::lock_guard<std::mutex> guard(mLock);
  return InIsp();
}

bool CSimScalerIsp::Restarted()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mRestarted;
}

std::array<uint8_t, 3> CSimScalerIsp::StatusRegisters()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mStatus;
}

bool CSimScalerIsp::HardwareWriteProtected()
{
  std::lock_guard<std::mutex> guard(mLock);
  return HardwareProtected();
}

std::vector<std::pair<uint8_t, uint8_t>> CSimScalerIsp::RegisterWrites()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mRegisterWrites;
}

uint64_t CSimScalerIsp::Erases()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mErases;
}

uint64_t CSimScalerIsp::PagePrograms()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mPagePrograms;
}

void CSimScalerIsp::SetNoAcknowledge(bool refuse_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mNoAcknowledge = refuse_I;
}

void CSimScalerIsp::RefuseIspEntry(bool refuse_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mRefuseIsp = refuse_I;
}

void CSimScalerIsp::FailErases(uint64_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mFailErases = count_I;
}

void CSimScalerIsp::CorruptPrograms(uint64_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mCorruptPrograms = count_I;
}

void CSimScalerIsp::MissReadsWhileBusy(uint64_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mMissedBusyReads = count_I;
}

bool CSimScalerIsp::Address(uint8_t addressByte_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if ((addressByte_I != kWriteAddress && addressByte_I != kReadAddress) || mNoAcknowledge) return false;
  if (addressByte_I == kReadAddress && Busy() && TakeSimFault(mMissedBusyReads)) return false;
  mStage = addressByte_I == kWriteAddress ? ESTAGE_REGISTER : ESTAGE_READ;
  mFifoLogged = false;
  return true;
}

bool CSimScalerIsp::WriteByte(uint8_t byte_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (mStage == ESTAGE_REGISTER) {
    mSelected = byte_I;
    mStage = ESTAGE_VALUE;
    return true;
  }
  if (mStage != ESTAGE_VALUE) return false;
  if (mSelected == EREGISTER_FIFO) return LoadFifo(byte_I);
  // A register takes one value byte per transaction.
  mStage = ESTAGE_NONE;
  mRegisterWrites.emplace_back(mSelected, byte_I);
  WriteRegister(mSelected, byte_I);
  return true;
}

uint8_t CSimScalerIsp::ReadByte()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mStage == ESTAGE_READ ? ReadRegister(mSelected) : 0xFF;
}

void CSimScalerIsp::Stop()
{
  std::lock_guard<std::mutex> guard(mLock);
  mStage = ESTAGE_NONE;
}

uint64_t CSimScalerIsp::NowMs() const { return Clock().NowMs(); }

void CSimScalerIsp::Settle()
{
  if (mJob == EJOB_NONE || NowMs() < mJobUntilMs) return;
  if (mJob == EJOB_CRC) mRegisters[EREGISTER_CRC] = mCrcResult;
  mJob = EJOB_NONE;
}

bool CSimScalerIsp::Busy()
{
  Settle();
  return mJob != EJOB_NONE;
}

bool CSimScalerIsp::InIsp() const { return mIspFromMs && NowMs() >= *mIspFromMs; }

void CSimScalerIsp::StartJob(EJob job_I, uint64_t milliseconds_I)
{
  mJob = job_I;
  mJobUntilMs = NowMs() + milliseconds_I;
  Settle();
}

uint8_t CSimScalerIsp::Indirect(uint8_t page_I, uint8_t address_I) const
{
  const auto entry = mIndirect.find(static_cast<uint16_t>(page_I << 8 | address_I));
  return entry == mIndirect.end() ? 0 : entry->second;
}

bool CSimScalerIsp::HardwareProtected() const
{
  return (Indirect(kPinPage, mConfig.wpPinRegister) & kPinMask) != kPinReleased ||
         Indirect(kOutputPage, mConfig.wpOutputRegister) != kOutputReleased;
}

bool CSimScalerIsp::Protected() const { return HardwareProtected() || mStatus[0] != 0; }

uint32_t CSimScalerIsp::Address24(uint8_t firstRegister_I) const
{
  return static_cast<uint32_t>(mRegisters[firstRegister_I] << 16 | mRegisters[firstRegister_I + 1] << 8 |
                               mRegisters[firstRegister_I + 2]);
}

// Address bits above the flash's size are ignored, as on a serial flash.
size_t CSimScalerIsp::FlashOffset(uint64_t address_I) const { return address_I % mFlash.size(); }

bool CSimScalerIsp::LoadFifo(uint8_t byte_I)
{
  Settle();
  if (!InIsp() || mJob == EJOB_PROGRAM || mFifo.size() >= kPageSize) return false;
  if (!mFifoLogged) mRegisterWrites.emplace_back(EREGISTER_FIFO, byte_I);
  mFifoLogged = true;
  mFifo.push_back(byte_I);
  return true;
}

void CSimScalerIsp::WriteRegister(uint8_t register_I, uint8_t value_I)
{
  switch (register_I) {
    case EREGISTER_ISP_CONTROL:
      WriteIspControl(value_I);
      return;
    case EREGISTER_RESTART:
      mRegisters[register_I] = value_I;
      if (value_I != kRestartValue) return;
      mRestarted = true;
      LeaveIsp();
      return;
    case EREGISTER_INDIRECT_DATA:
      if (mRegisters[EREGISTER_INDIRECT_ADDRESS] == kPageSelect) {
        mPage = value_I;
      } else {
        mIndirect[static_cast<uint16_t>(mPage << 8 | mRegisters[EREGISTER_INDIRECT_ADDRESS])] = value_I;
      }
      return;
    default:
      mRegisters[register_I] = value_I;
      if (register_I == EREGISTER_INSTRUCTION_CONTROL && (value_I & kInstructionStart)) StartInstruction();
      return;
  }
}

uint8_t CSimScalerIsp::ReadRegister(uint8_t register_I)
{
  Settle();
  switch (register_I) {
    case EREGISTER_ISP_CONTROL:
      return IspStatus();
    case EREGISTER_INSTRUCTION_CONTROL:
      return static_cast<uint8_t>((mRegisters[register_I] & ~kInstructionStart) |
                                  (mJob == EJOB_INSTRUCTION ? kInstructionStart : 0));
    case EREGISTER_INDIRECT_DATA: {
      const uint8_t address = mRegisters[EREGISTER_INDIRECT_ADDRESS];
      return address == kPageSelect ? mPage : Indirect(mPage, address);
    }
    default:
      return mRegisters[register_I];
  }
}

uint8_t CSimScalerIsp::IspStatus()
{
  if (!InIsp()) return 0;
  uint8_t status = kIspActive;
  if (mJob != EJOB_PROGRAM) status |= kFifoReady;
  if (mJob == EJOB_PROGRAM) status |= kProgramming;
  if (mJob == EJOB_CRC) status |= kCrcRunning;
  return status;
}

void CSimScalerIsp::WriteIspControl(uint8_t value_I)
{
  if ((value_I & kIspActive) == 0) {
    LeaveIsp();
    return;
  }
  if (!mIspFromMs) {
    if (!mRefuseIsp) mIspFromMs = NowMs() + mConfig.ispEntryMs;
    return;
  }
  if (!InIsp()) return;
  if (value_I & kProgramming) ProgramPage();
  if (value_I & kCrcRunning) StartCrc();
}

void CSimScalerIsp::LeaveIsp()
{
  mIspFromMs.reset();
  mFifo.clear();
}

void CSimScalerIsp::StartInstruction()
{
  if (!InIsp() || Busy()) return;
  const uint8_t data = mRegisters[EREGISTER_ADDRESS];
  switch (mRegisters[EREGISTER_INSTRUCTION]) {
    case EINSTRUCTION_BLOCK_ERASE:
      EraseBlock();
      return;
    case EINSTRUCTION_WRITE_STATUS_1:
    case EINSTRUCTION_WRITE_STATUS_2:
    case EINSTRUCTION_WRITE_STATUS_3: {
      // The write-protect pin guards the status registers, so software protection stays until it is released.
      if (HardwareProtected()) return;
      const uint8_t instruction = mRegisters[EREGISTER_INSTRUCTION];
      const size_t index = instruction == EINSTRUCTION_WRITE_STATUS_1 ? 0
                           : instruction == EINSTRUCTION_WRITE_STATUS_2 ? 1
                                                                         : 2;
      mStatus[index] = data;
      StartJob(EJOB_INSTRUCTION, mConfig.statusWriteMs);
      return;
    }
    case EINSTRUCTION_JEDEC_ID:
      std::copy(std::begin(kJedecId), std::end(kJedecId), mRegisters.begin() + EREGISTER_ID);
      return;
    case EINSTRUCTION_SIGNATURE:
      mRegisters[EREGISTER_ID] = kSignature;
      return;
    default:
      return;
  }
}

void CSimScalerIsp::EraseBlock()
{
  if (Protected()) return;
  const size_t begin = FlashOffset(Address24(EREGISTER_ADDRESS)) / kBlockSize * kBlockSize;
  std::fill_n(mFlash.begin() + static_cast<std::ptrdiff_t>(begin), kBlockSize, kErased);
  if (TakeSimFault(mFailErases)) mFlash[begin + kFailedEraseOffset] = kFailedEraseValue;
  ++mErases;
  StartJob(EJOB_INSTRUCTION, mConfig.eraseMs);
}

void CSimScalerIsp::ProgramPage()
{
  if (Busy() || mFifo.empty()) return;
  const uint32_t address = Address24(EREGISTER_ADDRESS);
  if (!Protected()) {
    const bool corrupt = TakeSimFault(mCorruptPrograms);
    // A page program wraps within its 256-byte page, as on a serial flash.
    for (size_t i = 0; i < mFifo.size(); ++i) {
      const uint32_t target = static_cast<uint32_t>((address & ~0xFFu) | ((address + i) & 0xFFu));
      const uint8_t value = corrupt && i == 0 ? mFifo[i] ^ kCorruptionBit : mFifo[i];
      mFlash[FlashOffset(target)] &= value;
    }
    ++mPagePrograms;
    StartJob(EJOB_PROGRAM, mConfig.pageProgramMs);
  }
  const uint32_t next = (address + static_cast<uint32_t>(mFifo.size())) & 0xFFFFFF;
  mRegisters[EREGISTER_ADDRESS] = static_cast<uint8_t>(next >> 16);
  mRegisters[EREGISTER_ADDRESS + 1] = static_cast<uint8_t>(next >> 8);
  mRegisters[EREGISTER_ADDRESS + 2] = static_cast<uint8_t>(next);
  mFifo.clear();
}

void CSimScalerIsp::StartCrc()
{
  if (Busy()) return;
  const uint32_t start = Address24(EREGISTER_ADDRESS);
  const uint32_t end = Address24(EREGISTER_CRC_END);
  const uint64_t length = end >= start ? uint64_t{end} - start + 1 : 0;
  uint8_t crc = 0;
  for (uint64_t i = 0; i < length; ++i) crc = kCrcTable[crc ^ mFlash[FlashOffset(start + i)]];
  mCrcResult = crc;
  StartJob(EJOB_CRC, (mConfig.crcMsPer64K * length + kBlockSize - 1) / kBlockSize);
}

}  // namespace orv::sim
