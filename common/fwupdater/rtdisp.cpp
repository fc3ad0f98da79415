#include "common/fwupdater/rtdisp.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "common/assertion.h"
#include "common/cclock.h"

namespace orv {
namespace {

constexpr uint8_t kIspWrite = 0x94;
constexpr uint8_t kIspRead = 0x95;
constexpr uint8_t kPageDataRegister = 0x70;
constexpr size_t kPageSize = 256;
// Block i lives at flash address i << 16 and the address's high byte is one register: 8 MiB as the flow counts.
constexpr size_t kMaxBlocks = 128;
constexpr int kIspEntryAttempts = 10;
constexpr int kBlockAttempts = 10;
constexpr uint8_t kErasedBlockCrc = 0xDE;

// CRC-8 with polynomial x^8 + x^2 + x + 1 (0x07), a byte at a time: a block's check runs over 64 KiB.
constexpr std::array<uint8_t, 256> MakeCrcTable()
{
  std::array<uint8_t, 256> table{};
  for (size_t value = 0; value < table.size(); ++value) {
    auto crc = static_cast<uint8_t>(value);
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>((crc & 0x80) != 0 ? (crc << 1) ^ 0x07 : crc << 1);
    table[value] = crc;
  }
  return table;
}
constexpr std::array<uint8_t, 256> kCrcTable = MakeCrcTable();

// The poll counts were set for a bridge on which a register read takes several milliseconds; on a faster one
// each poll still stands for at least this long, so a wait outlasts the flash's slowest erase (about 2 s for
// 64 KiB), page program and CRC.
constexpr uint64_t kPollFloorMs = 5;
// Reads of a busy flag queued into one bridge round trip while the scaler erases, computes a CRC or enters ISP:
// a round trip costs more than the few milliseconds of bus time they take.
constexpr uint32_t kLongPollReads = 8;
// Acknowledge bits of the three bytes sent, then the byte read.
constexpr size_t kAnswersPerRead = 4;

// Register 6F: ISP control and status.
constexpr uint8_t kIspControl = 0x6F;
constexpr uint8_t kIspActive = 0x80;
constexpr uint8_t kPageReady = 0x10;
constexpr uint8_t kPageBusy = 0x20;
constexpr uint8_t kCrcBusy = 0x04;
// Register 60: bit 0 is set while a flash instruction runs.
constexpr uint8_t kInstructionControl = 0x60;
constexpr uint8_t kInstructionBusy = 0x01;

}  // namespace

CScalarISP::CScalarISP(std::shared_ptr<CI2CConnectorFTDI> connector_I, CInterfaceNotifier* log_I,
                       bool quantaScalarBoard_I)
    : mConnector(std::move(connector_I)), mLog(log_I), mQuantaScalarBoard(quantaScalarBoard_I)
{
}

void CScalarISP::Info(const std::string& message_I)
{
  if (mLog != nullptr) mLog->Info(message_I);
}

void CScalarISP::Error(const std::string& message_I)
{
  if (mLog != nullptr) mLog->Error(message_I);
}

void CScalarISP::LoadData(const std::vector<uint8_t>& data_I)
{
  Info("LoadData()");
  ORV_ASSERT(data_I.size() % FLASH_UINT_SIZE == 0);
  const std::string problem = ImageProblem(data_I.size());
  if (!problem.empty()) {
    Error(problem);
    return;
  }
  mBlocks.clear();
  for (size_t offset = 0; offset < data_I.size(); offset += FLASH_UINT_SIZE) {
    const auto start = data_I.begin() + static_cast<ptrdiff_t>(offset);
    mBlocks.emplace_back(start, start + FLASH_UINT_SIZE);
  }
  mDataLoaded = true;
}

std::string CScalarISP::ImageProblem(size_t size_I)
{
  // A partial block would leave the end of the image unwritten, and an empty image would report an update
  // that wrote nothing: both are refused rather than programmed.
  if (size_I % FLASH_UINT_SIZE != 0 || size_I == 0) {
    return "Scaler image of " + std::to_string(size_I) + " bytes is not a whole number of 64 KiB blocks";
  }
  if (size_I / FLASH_UINT_SIZE > kMaxBlocks) {
    return "Scaler image of " + std::to_string(size_I / FLASH_UINT_SIZE) +
           " blocks is larger than the 128 blocks that can be programmed";
  }
  return {};
}

bool CScalarISP::IsReady() const { return mConnector && mLog != nullptr && mDataLoaded; }

FT_STATUS CScalarISP::WriteMCUReg(uint8_t register_I, uint8_t value_I)
{
  AddRegisterWrite(register_I, value_I);
  std::vector<uint8_t> acknowledges;
  const FT_STATUS status = mConnector->RunBatch(mPending, acknowledges);
  mPending.Clear();
  return status;
}

uint8_t CScalarISP::ReadMCUReg(uint8_t register_I) { return ReadRegister(register_I).value_or(0); }

std::optional<uint8_t> CScalarISP::ReadRegister(uint8_t register_I) { return ReadRegisterTimes(register_I, 1)[0]; }

std::vector<std::optional<uint8_t>> CScalarISP::ReadRegisterTimes(uint8_t register_I, uint32_t count_I)
{
  const size_t skipped = mPending.Answers();
  for (uint32_t i = 0; i < count_I; ++i) {
    Info("ReadMCUReg()");
    mPending.Start();
    mPending.Write(kIspWrite);
    mPending.Write(register_I);
    mPending.Start();
    mPending.Write(kIspRead);
    mPending.Read(false);
    mPending.Stop();
  }
  std::vector<uint8_t> answers;
  std::vector<std::optional<uint8_t>> values(count_I);
  const FT_STATUS status = mConnector->RunBatch(mPending, answers);
  mPending.Clear();
  if (status != FT_OK) return values;
  for (uint32_t i = 0; i < count_I; ++i) {
    const uint8_t* read = answers.data() + skipped + kAnswersPerRead * i;
    // A byte the scaler did not acknowledge makes the read fail: the pulled-up bus would otherwise read FF.
    const bool acknowledged = std::none_of(read, read + 3, [](uint8_t bit) { return bit & 0x01; });
    if (acknowledged) values[i] = read[3];
  }
  return values;
}

void CScalarISP::AddRegisterWrite(uint8_t register_I, uint8_t value_I)
{
  Info("WriteMCUReg()");
  mPending.Start();
  mPending.Write(kIspWrite);
  mPending.Write(register_I);
  mPending.Write(value_I);
  mPending.Stop();
}

void CScalarISP::WriteRegisters(std::initializer_list<std::pair<uint8_t, uint8_t>> writes_I)
{
  for (const auto& [reg, value] : writes_I) AddRegisterWrite(reg, value);
}

void CScalarISP::Send()
{
  // Register writes do not look at acknowledges; the connector collects them with the next read.
  if (mPending.Commands().empty()) return;
  mConnector->QueueBatch(mPending);
  mPending.Clear();
}

bool CScalarISP::WaitBitChange(uint8_t register_I, uint8_t mask_I, uint8_t value_I, uint32_t tries_I)
{
  return WaitBits(register_I, {{mask_I, value_I, tries_I}}, 1);
}

bool CScalarISP::WaitBits(uint8_t register_I, std::initializer_list<SBitWait> waits_I, uint32_t readsPerPoll_I)
{
  std::deque<std::optional<uint8_t>> reads;
  for (const SBitWait& wait : waits_I) {
    if (!WaitBit(register_I, wait, readsPerPoll_I, reads)) return false;
  }
  return true;
}

bool CScalarISP::WaitInstruction()
{
  return WaitBits(kInstructionControl, {{kInstructionBusy, 0x00, 600}}, kLongPollReads);
}

bool CScalarISP::WaitBit(uint8_t register_I, const SBitWait& wait_I, uint32_t readsPerPoll_I,
                         std::deque<std::optional<uint8_t>>& reads_IO)
{
  Info("WaitBitChange()");
  const uint64_t start = Clock().NowMs();
  const uint64_t floorMs = uint64_t{wait_I.tries} * kPollFloorMs;
  for (uint32_t poll = 0;; ++poll) {
    const bool counted = poll < wait_I.tries;
    if (!counted && Clock().NowMs() - start >= floorMs) break;
    if (reads_IO.empty()) {
      // Past the count only the time floor keeps us here; pausing makes sure it passes on any bridge.
      if (!counted) Pause(1);
      for (const auto& value : ReadRegisterTimes(register_I, readsPerPoll_I)) reads_IO.push_back(value);
    }
    // A read that failed says nothing: taken for 0 it would end every wait for a busy bit to clear, and the
    // CRC register would then be read before the scaler wrote the result.
    const std::optional<uint8_t> value = reads_IO.front();
    reads_IO.pop_front();
    if (value && (*value & wait_I.mask) == (wait_I.value & wait_I.mask)) return true;
  }
  Error("Timed out waiting for bit change");
  return false;
}

std::optional<uint8_t> CScalarISP::ReadCRC(uint32_t start_I, uint32_t length_I)
{
  Info("ReadCRC()");
  const uint32_t end = start_I + ((length_I - 1) & 0xFFFF);
  WriteRegisters({{0x64, static_cast<uint8_t>(start_I >> 16)},
                  {0x65, static_cast<uint8_t>(start_I >> 8)},
                  {0x66, static_cast<uint8_t>(start_I)},
                  {0x72, static_cast<uint8_t>(end >> 16)},
                  {0x73, static_cast<uint8_t>(end >> 8)},
                  {0x74, static_cast<uint8_t>(end)}});
  Info("WriteMCURegBit()");
  // A failed read is not written back: 0 in the control register takes the scaler out of ISP mode, and no CRC
  // would be computed for the wait below to see.
  const std::optional<uint8_t> control = ReadRegister(kIspControl);
  if (!control) return std::nullopt;
  AddRegisterWrite(kIspControl, *control | kCrcBusy);
  if (!WaitBits(kIspControl, {{kCrcBusy, 0x00, 600}}, kLongPollReads)) return std::nullopt;
  // A failed read is no CRC: read as 0 it would pass for a block whose CRC is 0.
  return ReadRegister(0x75);
}

bool CScalarISP::BlockErase(uint8_t block_I)
{
  Info("BlockErase()");
  WriteRegisters({{0x64, block_I}, {0x65, 0x00}, {0x66, 0x00}, {0x60, 0xB8}, {0x61, 0xD8}, {0x60, 0xB9}});
  if (!WaitInstruction()) return false;
  if (BlockCRC(block_I) == kErasedBlockCrc) return true;
  Error("Block erase check failed");
  return false;
}

bool CScalarISP::EnableSoftwareFlashWriteProtect(bool enable_I)
{
  Info("EnableSoftwareFlashWriteProtect()");
  WriteRegisters({{0x60, 0x68}, {0x61, 0x01}, {0x64, static_cast<uint8_t>(enable_I ? 0xFF : 0x00)}, {0x60, 0x69}});
  if (mQuantaScalarBoard) {
    WaitInstruction();
    WriteRegisters({{0x60, 0x68}, {0x61, 0x31}, {0x64, 0x00}, {0x60, 0x69}});
    WaitInstruction();
    WriteRegisters({{0x60, 0x68}, {0x61, 0x11}, {0x64, 0x60}, {0x60, 0x69}});
  }
  return WaitInstruction();
}

void CScalarISP::DisableHardwareFlashWriteProtect()
{
  Info("DisableHardwareFlashWriteProtect()");
  uint8_t pinRegister = 0x38;
  uint8_t outputRegister = 0x28;
  // A read that failed tells neither the panel nor the pin's other bits: the pin is then left alone, and the
  // blocks' erase and CRC checks find out whether the flash is still protected.
  if (mQuantaScalarBoard) {
    WriteRegisters({{0xF4, 0x9F}, {0xF5, 0x00}, {0xF4, 0x00}});
    const std::optional<uint8_t> id1 = ReadRegister(0xF5);
    WriteRegisters({{0xF4, 0x9F}, {0xF5, 0x00}, {0xF4, 0x0F}});
    const std::optional<uint8_t> id2 = ReadRegister(0xF5);
    if (!id1 || !id2) {
      Error("Panel id not read: the flash's write-protect pin is left as it is");
      return;
    }
    pinRegister = 0x36;
    outputRegister = 0x26;
    if (id1 == 0xCF && id2 == 0x21) {
      Info("Halvern 1.5 16\"\n");
    } else if (id1 == 0xCE && id2 == 0x23) {
      Info("Halvern 1.5 13\"\n");
      pinRegister = 0x29;
      outputRegister = 0x19;
    } else {
      Info("Error ID.\n");
    }
  }
  WriteRegisters({{0xF4, 0x9F}, {0xF5, 0x10}, {0xF4, pinRegister}});
  const std::optional<uint8_t> pin = ReadRegister(0xF5);
  if (!pin) {
    Error("Write-protect pin register not read: the pin is left as it is");
    return;
  }
  WriteRegisters({{0xF4, pinRegister},
                  {0xF5, static_cast<uint8_t>((*pin & 0xF9) | 0x01)},
                  {0xF4, 0x9F},
                  {0xF5, 0xFE},
                  {0xF4, outputRegister},
                  {0xF5, 0x01}});
}

bool CScalarISP::QuantaCheckFlash()
{
  Info("QuantaCheckFlash()");
  WriteRegisters({{0x60, 0x46}, {0x61, 0x9F}, {0x60, 0x47}});
  WaitInstruction();
  for (uint8_t reg : {0x60, 0x67, 0x68, 0x69}) ReadMCUReg(reg);
  WriteRegisters({{0x60, 0x5A}, {0x61, 0xAB}, {0x64, 0x00}, {0x65, 0x00}, {0x66, 0x00}, {0x60, 0x5B}});
  const bool result = WaitInstruction();
  ReadMCUReg(0x60);
  ReadMCUReg(0x67);
  return result;
}

void CScalarISP::SetDefaultReg()
{
  Info("SetDefaultReg()");
  WriteRegisters({{0x1E, 0x02}, {0x1F, 0x00}, {0x20, 0x1C}, {0x2C, 0x02}, {0x2D, 0x00}, {0x2E, 0x1C},
                  {0x1B, 0x02}, {0x1C, 0x30}, {0x1D, 0x1C}, {0x6A, 0x03}, {0x6B, 0x0B}, {0x6C, 0x00},
                  {0x62, 0x06}, {0x63, 0x50}, {0xED, 0x88}, {0xEE, 0x04}});
}

bool CScalarISP::SerialFlashWriteCode(uint8_t block_I)
{
  Info("SerialFlashWriteCode()");
  const std::vector<uint8_t>& block = mBlocks.at(block_I);
  const SBitWait pageReady{kPageReady, kPageReady, 100};
  const SBitWait pageDone{kPageBusy, 0x00, 600};
  WriteRegisters({{0x6D, 0x02}, {0x71, 0xFF}, {0x64, block_I}, {0x65, 0x00}, {0x66, 0x00}});
  if (!WaitBits(kIspControl, {pageReady}, 1)) return false;
  for (size_t offset = 0; offset < block.size(); offset += kPageSize) {
    Info("WriteFlashData()");
    AddPage(block.data() + offset, std::min(kPageSize, block.size() - offset));
    AddRegisterWrite(kIspControl, 0xA0);
    // Sent apart from the polls: by the time they reach the bus the page has had a round trip to program, where
    // reads queued behind it could only see it busy.
    Send();
    // The read that sees the page programmed and the one that sees the buffer ready for the next page share
    // a round trip.
    const bool last = offset + kPageSize >= block.size();
    const bool ready = last ? WaitBits(kIspControl, {pageDone}, 1)
                            : WaitBits(kIspControl, {pageDone, pageReady}, 2);
    if (!ready) return false;
  }
  return true;
}

void CScalarISP::AddPage(const uint8_t* bytes_I, size_t size_I)
{
  // The page's acknowledges are not looked at: the block's CRC check decides whether it arrived.
  mPending.Start();
  mPending.Write(kIspWrite);
  mPending.Write(kPageDataRegister);
  mPending.Write(bytes_I, size_I);
  mPending.Stop();
}

uint8_t CScalarISP::CalcByteCRC(const uint8_t* bytes_I, size_t length_I)
{
  uint8_t crc = 0;
  for (const uint8_t byte : std::span(bytes_I, length_I)) crc = kCrcTable[static_cast<uint8_t>(crc ^ byte)];
  return crc;
}

bool CScalarISP::EnterIsp()
{
  for (int attempt = 0; attempt < kIspEntryAttempts; ++attempt) {
    Info("SerialFlashIntoISP()");
    AddRegisterWrite(kIspControl, kIspActive);
    if (WaitBits(kIspControl, {{kIspActive, kIspActive, 50}}, kLongPollReads)) return true;
  }
  return false;
}

int32_t CScalarISP::ProgressBefore(size_t block_I) const
{
  // With one block there is no spread to take a share of: nothing is done yet when it starts.
  if (mBlocks.size() == 1) return 0;
  const float done = 100.0f * static_cast<float>(block_I) / static_cast<float>(mBlocks.size() - 1);
  return 100 - static_cast<int32_t>(done);
}

bool CScalarISP::ProgramBlock(uint8_t block_I)
{
  const std::vector<uint8_t>& block = mBlocks.at(block_I);
  // Worked out once the first programmed block is there to be checked: 64 KiB are not gone through for a block
  // whose erase keeps failing.
  std::optional<uint8_t> expected;
  for (int attempt = 0; attempt < kBlockAttempts; ++attempt) {
    if (!BlockErase(block_I)) {
      Error("Block Erase Fail");
      continue;
    }
    SerialFlashWriteCode(block_I);
    const std::optional<uint8_t> found = BlockCRC(block_I);
    if (!expected) expected = CalcByteCRC(block.data(), block.size());
    if (found == expected) {
      Info("Block " + std::to_string(block_I) + " upgrade success");
      return true;
    }
    Error("Crc Check Fail");
  }
  return false;
}

bool CScalarISP::SerialFlashISPFlow()
{
  Info("SerialFlashISPFlow()");
  const bool programmed = RunFlow();
  Send();
  mConnector->FlushQueued();
  return programmed;
}

bool CScalarISP::RunFlow()
{
  if (mQuantaScalarBoard) ReadMCUReg(kInstructionControl);
  if (!EnterIsp()) {
    Error("Fail to Enter ISP mode");
    return false;
  }
  WriteRegisters({{0xF4, 0x9F}, {0xF5, 0x06}, {0xF4, 0xA0}, {0xF5, 0x74}});
  SetDefaultReg();
  if (mQuantaScalarBoard) QuantaCheckFlash();
  DisableHardwareFlashWriteProtect();
  if (!EnableSoftwareFlashWriteProtect(false)) {
    Error("Disable SW WP Fail");
    return false;
  }
  for (size_t i = mBlocks.size(); i-- > 0;) {
    if (mLog != nullptr) mLog->Progress(ProgressBefore(i));
    if (!ProgramBlock(static_cast<uint8_t>(i))) {
      Error("Exausted retries attempting to write block" + std::to_string(i));
      return false;
    }
  }
  EnableSoftwareFlashWriteProtect(true);
  WriteMCUReg(0xEE, 0x02);
  return true;
}

}  // namespace orv
