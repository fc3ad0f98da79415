#include "common/fwupdater/cfldeviceinterface.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sstream>

#include "common/assertion.h"
#include "common/cclock.h"
#include "common/fwupdater/cinterfacenotifier.h"

namespace orv {
namespace {

constexpr int kSafeTransferAttempts = 100;
constexpr int kFlashCommandAttempts = 5;
constexpr uint32_t kReopenPauseMs = 1000;
constexpr uint32_t kFlashReopenPauseMs = 500;

// Shared by every interface: reopening sends a report itself (Open pings first), which must not recurse.
std::atomic<bool> safeReadActive{false};
std::atomic<bool> safeWriteActive{false};

// 10 ms after the first failure, about 1 ms more after each further one (computed as the loader expects).
uint32_t RetryPauseMs(int attempt_I) { return static_cast<uint32_t>((attempt_I * 0.001 + 0.01) * 1000); }

void PutLe16(Report& report_IO, size_t pos_I, uint16_t value_I)
{
  report_IO[pos_I] = static_cast<uint8_t>(value_I);
  report_IO[pos_I + 1] = static_cast<uint8_t>(value_I >> 8);
}

void PutLe32(Report& report_IO, size_t pos_I, uint32_t value_I)
{
  for (size_t i = 0; i < 4; ++i) report_IO[pos_I + i] = static_cast<uint8_t>(value_I >> (8 * i));
}

uint16_t GetLe16(const Report& report_I, size_t pos_I)
{
  return static_cast<uint16_t>(report_I[pos_I] | (report_I[pos_I + 1] << 8));
}

uint32_t GetLe32(const Report& report_I, size_t pos_I)
{
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(report_I[pos_I + i]) << (8 * i);
  return value;
}

const char* TransportName(int32_t type_I)
{
  switch (type_I) {
    case 1: return "HID";
    case 2: return "BULK";
    case 3: return "I2C";
    default: return "INVALID";
  }
}

void CopyPayload(Report& report_IO, size_t pos_I, const std::vector<uint8_t>& data_I, size_t count_I)
{
  std::copy_n(data_I.begin(), std::min(count_I, data_I.size()), report_IO.begin() + static_cast<long>(pos_I));
}

}  // namespace

CFLDeviceInterface::CFLDeviceInterface(std::string path_I, int32_t interfaceType_I)
    : mPath(std::move(path_I)), mInterfaceType(interfaceType_I)
{
}

void CFLDeviceInterface::Info(const std::string& message_I) const
{
  if (mNotifier != nullptr) mNotifier->Info(message_I);
}

void CFLDeviceInterface::Error(const std::string& message_I) const
{
  if (mNotifier != nullptr) mNotifier->Error(message_I);
}

void CFLDeviceInterface::Progress(int32_t value_I) const
{
  if (mNotifier != nullptr) mNotifier->Progress(value_I);
}

void CFLDeviceInterface::SetChecksums(uint32_t before_I, uint32_t after_I, uint32_t image_I)
{
  mChecksumBefore = before_I;
  mChecksumAfter = after_I;
  mChecksumImage = image_I;
}

uint32_t CFLDeviceInterface::GetDataSourceCpu() const
{
  switch (mDataSourceFormat) {
    case EDATASOURCE_PEN:
    case EDATASOURCE_ORV: return 0;
    case EDATASOURCE_TOUCH:
    case EDATASOURCE_HEX: return 1;
    case EDATASOURCE_AIROFLASH: return 2;
    default: return 99;
  }
}

std::string CFLDeviceInterface::GetDescription() const
{
  std::ostringstream text;
  text << std::hex;
  text << "\tVendor ID = 0x" << mVendorId << "\n";
  text << "\tProduct ID = 0x" << mProductId << "\n";
  text << "\tFirmware Loader = " << (mLoader ? "YES" : "NO") << "\n";
  text << "\tIs Open = " << (mOpen ? "YES" : "NO") << "\n";
  text << "\tInterface = " << TransportName(mInterfaceType) << "\n";
  text << "\tPath = " << mPath << "\n";
  text << "\tUsagePage (Actual) = " << mUsagePage << "\n";
  text << "\tUsage (Actual) = " << mUsage << "\n";
  text << "\tVersion = " << mVersion << "\n";
  return text.str();
}

bool CFLDeviceInterface::InitializeDataForProgramming(const std::vector<SRecSegment>& segments_I)
{
  Info("Initializing data for Programming...");
  if (!SelectCpu()) {
    Error("Unable to set the current CPU");
    return false;
  }
  if (!ReadLoaderParameters()) {
    Error("Can't get Loader Parameters");
    return false;
  }
  const LoaderParameters& p = mLoaderParameters;
  Info("Device Loader Parameters loaded:\n\tBlocks: " + std::to_string(p.blocks) + "\n\tRead Size: " +
       std::to_string(p.readSize) + "\n\tBlock Size: " + std::to_string(p.blockSize) + "\n\tWord Size: " +
       std::to_string(p.wordSize) + "\n");
  if (!ReadLoaderDescription()) {
    Error("Can't get Loader Description");
    return false;
  }
  std::ostringstream text;
  text << "Device Loader Description loaded\n";
  for (size_t i = 0; i < p.blocks; ++i) {
    const LoaderBlock& block = mLoaderDescription[i];
    text << "\tBlock " << std::dec << i << "\t(" << std::hex << block.start << " - "
         << (block.start + block.size - 1) << ") size (" << block.size << ")"
         << ((block.attributes & kProtectedBlock) != 0 ? " [PROTECTED]" : "") << "\n";
  }
  Info(text.str());
  std::vector<uint32_t> scratch;
  mChecksumSupported = QueryChecksumInfo(scratch);
  Info(std::string("Checksum Support: ") + (mChecksumSupported ? "Yes" : "No"));
  if (!InitializeFlashVector()) {
    Error("Unable to initialize Flash Vector");
    return false;
  }
  Info("Flash Vector Initialized");
  if (!LoadSRecData(segments_I)) {
    Error("Failed to load SRec data to flash");
    return false;
  }
  Info("Update SRec file loaded");
  return true;
}

bool CFLDeviceInterface::ProgramBoard()
{
  switch (mDataSourceFormat) {
    case EDATASOURCE_PEN:
    case EDATASOURCE_TOUCH:
    case EDATASOURCE_ORV: return ProgramBoardSRec();
    case EDATASOURCE_HEX: return ProgramBoardIntelHex();
    case EDATASOURCE_AIROFLASH: return ProgramBoardAiroHaBinary();
    default:
      ORV_ASSERT_MESSAGE("Unsupported data source format");
      return false;
  }
}

bool CFLDeviceInterface::SelectCpu()
{
  if (!IsLoaderReady()) return false;
  uint16_t current = 0;
  uint16_t count = 0;
  if (!GetCurrentCpu(current) || !GetCpuCount(count)) return false;
  if (count == 1) return true;
  const uint32_t dataCpu = GetDataSourceCpu();
  if (dataCpu != 99 && dataCpu != current) {
    Info("WARNING: Setting currentCpu: [" + std::to_string(current) + "] to dataSourceCpu: [" +
         std::to_string(dataCpu) + "]");
    current = static_cast<uint16_t>(dataCpu);
  } else {
    Info("NOTE: Resetting currentCpu: [" + std::to_string(current) + "]");
  }
  return SetCurrentCpu(current);
}

bool CFLDeviceInterface::ReadLoaderParameters()
{
  if (!IsLoaderReady() || !QueryLoaderParameters(mLoaderParameters)) return false;
  // The description and checksum reports are sized for at most 1024 blocks.
  if (mLoaderParameters.blocks > kMaxLoaderBlocks) {
    Error("The loader reports " + std::to_string(mLoaderParameters.blocks) + " blocks; at most " +
          std::to_string(kMaxLoaderBlocks) + " are supported");
    mLoaderParameters.blocks = 0;
    return false;
  }
  return true;
}

bool CFLDeviceInterface::ReadLoaderDescription()
{
  return IsLoaderReady() && QueryLoaderDescription(mLoaderDescription);
}

bool CFLDeviceInterface::IsLoaderReady() { return IsOpen() && IsLoader(); }

Report CFLDeviceInterface::NewReport(eBL_HID_REP role_I, size_t length_I)
{
  Report report(length_I, 0);
  report[0] = CFLProtocol::GetReportId(role_I);
  return report;
}

std::string CFLDeviceInterface::Hex8(uint32_t value_I)
{
  char text[9];
  std::snprintf(text, sizeof(text), "%08X", value_I);
  return text;
}

int32_t CFLDeviceInterface::ProgressPercent(uint64_t done_I, uint64_t total_I)
{
  const int32_t percent = static_cast<int32_t>(static_cast<double>(done_I) / static_cast<double>(total_I) * 100);
  return percent == 0 ? 1 : percent;
}

bool CFLDeviceInterface::SendCommand(Report& report_IO) { return IsLoaderReady() && SafeWrite(report_IO); }

// A get succeeds only with an answer as long as the report asked for: everything after is read from it.
bool CFLDeviceInterface::ReadAnswer(Report& report_IO)
{
  const size_t length = report_IO.size();
  return IsLoaderReady() && SafeRead(report_IO) && report_IO.size() >= length;
}

bool CFLDeviceInterface::SendChecksumCommand(Report& report_IO)
{
  if (!IsLoaderReady()) return false;
  return !mChecksumSupported || SafeWrite(report_IO);
}

bool CFLDeviceInterface::ReadFlash(std::vector<uint8_t>& output_O, int32_t count_I)
{
  const size_t readSize = mLoaderParameters.readSize;
  if (!IsLoaderReady() || readSize == 0 || count_I <= 0) return false;
  for (int32_t read = 0; read < count_I; ++read) {
    bool done = false;
    for (int attempt = 0; attempt < kFlashCommandAttempts && !done; ++attempt) {
      Report report = NewReport(eBL_HID_REP_READ_FLASH_ID, readSize + 5);
      done = SafeRead(report) && report.size() >= readSize + 5;
      if (done) {
        output_O.insert(output_O.end(), report.begin() + 5, report.begin() + 5 + static_cast<long>(readSize));
      } else if (attempt > 0) {
        Info("Attempting to Reopen connection...");
        Open();
        Pause(kFlashReopenPauseMs);
      }
    }
    if (!done) {
      Error("Failed reading from device");
      return false;
    }
  }
  return true;
}

bool CFLDeviceInterface::WriteFlashBlock(const std::vector<uint8_t>& data_I, uint32_t address_I)
{
  const size_t blockSize = mLoaderParameters.blockSize;
  if (!IsLoaderReady() || blockSize == 0) return false;
  for (int attempt = 0; attempt < kFlashCommandAttempts; ++attempt) {
    Report report = NewReport(eBL_HID_REP_WRITE_FLASH_BLOCK_ID, blockSize + 5);
    PutLe32(report, 1, address_I);
    CopyPayload(report, 5, data_I, blockSize);
    if (SafeWrite(report)) return true;
    Error("Write Failed... Retrying...");
    if (attempt > 0) {
      Info("Attempting to Reopen connection...");
      Open();
      Pause(kFlashReopenPauseMs);
    }
  }
  return false;
}

bool CFLDeviceInterface::EraseBlock(uint32_t index_I)
{
  Report report = NewReport(eBL_HID_REP_ERASE_BLOCK_ID, 5);
  PutLe32(report, 1, index_I);
  for (int attempt = 0; attempt < kFlashCommandAttempts && IsLoaderReady(); ++attempt) {
    if (SafeWrite(report)) return true;
  }
  Error("Failed erasing block from device");
  return false;
}

bool CFLDeviceInterface::WriteValue(uint32_t value_I)
{
  Report report = NewReport(eBL_HID_REP_WRITE_VALUE_ID, 5);
  PutLe32(report, 1, value_I);
  return SendCommand(report);
}

bool CFLDeviceInterface::ReadValue(uint32_t& value_O)
{
  Report report = NewReport(eBL_HID_REP_READ_VALUE_ID, 5);
  if (!ReadAnswer(report)) return false;
  value_O = GetLe32(report, 1);
  return true;
}

bool CFLDeviceInterface::ExitLoader(bool save_I)
{
  if (save_I) {
    Report report = NewReport(eBL_HID_REP_EXIT_LOADER_ID, 5);
    report[1] = 0x01;
    return SendCommand(report);
  }
  Report report = NewReport(eBL_HID_REP_EXIT_LOADER_SHORT_ID, 3);
  report[1] = 0xA6;
  report[2] = 0x50;
  return SendCommand(report);
}

bool CFLDeviceInterface::WriteFlashWord(const std::vector<uint8_t>& data_I, uint32_t address_I)
{
  const size_t wordSize = mLoaderParameters.wordSize;
  if (wordSize == 0) return false;
  Report report = NewReport(eBL_HID_REP_WRITE_FLASH_WORD_ID, wordSize + 5);
  PutLe32(report, 1, address_I);
  CopyPayload(report, 5, data_I, wordSize);
  for (int attempt = 0; attempt < kFlashCommandAttempts && IsLoaderReady(); ++attempt) {
    if (SafeWrite(report)) return true;
  }
  return false;
}

bool CFLDeviceInterface::QueryLoaderParameters(LoaderParameters& parameters_O)
{
  Report report = NewReport(eBL_HID_REP_LOADER_PARAMETERS_ID, 13);
  if (!ReadAnswer(report)) return false;
  parameters_O.reserved0 = GetLe16(report, 1);
  parameters_O.readSize = GetLe16(report, 3);
  parameters_O.wordSize = GetLe16(report, 5);
  parameters_O.blockSize = GetLe16(report, 7);
  parameters_O.blocks = GetLe16(report, 9);
  parameters_O.reserved10 = GetLe16(report, 11);
  return true;
}

bool CFLDeviceInterface::QueryLoaderDescription(std::array<LoaderBlock, kMaxLoaderBlocks>& blocks_O)
{
  const size_t blocks = mLoaderParameters.blocks;
  if (blocks == 0 || blocks > kMaxLoaderBlocks) return false;
  Report report = NewReport(eBL_HID_REP_LOADER_DESCRIPTION_ID, blocks * 10 + 1);
  if (!ReadAnswer(report)) return false;
  for (size_t i = 0; i < blocks; ++i) {
    const size_t pos = 1 + i * 10;
    blocks_O[i] = LoaderBlock{GetLe32(report, pos), GetLe32(report, pos + 4), GetLe16(report, pos + 8)};
  }
  return true;
}

bool CFLDeviceInterface::QueryChecksumInfo(std::vector<uint32_t>& words_O)
{
  const size_t blocks = std::min<size_t>(mLoaderParameters.blocks, kMaxLoaderBlocks);
  Report report = NewReport(eBL_HID_REP_CHECKSUM_INFO_ID, blocks * 4 + 5);
  if (!ReadAnswer(report)) return false;
  words_O.resize(blocks + 1);
  for (size_t i = 0; i <= blocks; ++i) {
    words_O[i] = GetLe32(report, 1 + i * 4);
  }
  return true;
}

bool CFLDeviceInterface::SetBlockChecksum(uint16_t index_I, uint32_t checksum_I)
{
  Report report = NewReport(eBL_HID_REP_SET_BLOCK_CHECKSUM_ID, 7);
  PutLe16(report, 1, index_I);
  PutLe32(report, 3, checksum_I);
  return SendChecksumCommand(report);
}

bool CFLDeviceInterface::CalculateBlockChecksum(uint16_t index_I)
{
  Report report = NewReport(eBL_HID_REP_CALCULATE_BLOCK_CHECKSUM_ID, 3);
  PutLe16(report, 1, index_I);
  return SendChecksumCommand(report);
}

bool CFLDeviceInterface::SetMagicWord(uint32_t value_I)
{
  Report report = NewReport(eBL_HID_REP_SET_MAGIC_WORD_ID, 5);
  PutLe32(report, 1, value_I);
  return SendChecksumCommand(report);
}

bool CFLDeviceInterface::WriteChecksumsToROM()
{
  Report report = NewReport(eBL_HID_REP_WRITE_CHECKSUMS_TO_ROM_ID, 5);
  return SendChecksumCommand(report);
}

bool CFLDeviceInterface::QueryLoaderInfo(std::array<uint8_t, 34>& info_O)
{
  Report report = NewReport(eBL_HID_REP_LOADER_INFO_ID, 35);
  if (!ReadAnswer(report)) return false;
  std::copy_n(report.begin() + 1, info_O.size(), info_O.begin());
  return true;
}

bool CFLDeviceInterface::GetLoaderInfoValue(uint16_t& value_O)
{
  std::array<uint8_t, 34> info{};
  if (!QueryLoaderInfo(info)) return false;
  value_O = static_cast<uint16_t>(info[0] | (info[1] << 8));
  return true;
}

bool CFLDeviceInterface::QueryStatus(uint8_t& status_O)
{
  Report report = NewReport(eBL_HID_REP_STATUS_ID, 2);
  if (!ReadAnswer(report)) return false;
  status_O = report[1];
  return true;
}

bool CFLDeviceInterface::SetCurrentCpu(uint16_t cpu_I)
{
  Report report = NewReport(eBL_HID_REP_SET_CURRENT_CPU_ID, 3);
  PutLe16(report, 1, cpu_I);
  return SendCommand(report);
}

bool CFLDeviceInterface::GetCurrentCpu(uint16_t& cpu_O)
{
  if (!IsLoaderReady()) return false;
  Report report = NewReport(eBL_HID_REP_GET_CURRENT_CPU_ID, 3);
  cpu_O = ReadAnswer(report) ? GetLe16(report, 1) : 0;
  return true;
}

bool CFLDeviceInterface::GetCpuCount(uint16_t& count_O)
{
  if (!IsLoaderReady()) return false;
  Report report = NewReport(eBL_HID_REP_GET_CPU_COUNT_ID, 3);
  count_O = ReadAnswer(report) ? GetLe16(report, 1) : 0;
  if (count_O == 0) count_O = 1;
  return true;
}

bool CFLDeviceInterface::GuardedTransfer(std::atomic<bool>& active_IO, const char* name_I, const char* retryText_I,
                                         const char* failedText_I, Transfer transfer_I, Report& buffer_IO)
{
  if (active_IO.exchange(true)) {
    Info(std::string("Prevent ") + name_I + " from recursing... returning immediately.");
    return (this->*transfer_I)(buffer_IO);
  }
  // Every attempt sends the same bytes, whatever an earlier attempt left in the buffer.
  const Report request = buffer_IO;
  for (int attempt = 0; attempt < kSafeTransferAttempts; ++attempt) {
    buffer_IO = request;
    if ((this->*transfer_I)(buffer_IO)) {
      active_IO = false;
      return true;
    }
    Info(retryText_I);
    Pause(RetryPauseMs(attempt));
  }
  Info("Attempting to reopen connection.");
  Open();
  Pause(kReopenPauseMs);
  buffer_IO = request;
  const bool result = (this->*transfer_I)(buffer_IO);
  if (!result) Info(failedText_I);
  active_IO = false;
  return result;
}

bool CFLDeviceInterface::SafeRead(Report& buffer_IO)
{
  return GuardedTransfer(safeReadActive, "SafeRead", "Read error: retrying...", "Read failed.",
                         &CFLDeviceInterface::ReadReport, buffer_IO);
}

bool CFLDeviceInterface::SafeWrite(Report& buffer_IO)
{
  return GuardedTransfer(safeWriteActive, "SafeWrite", "Write error: retrying...", "Write failed.",
                         &CFLDeviceInterface::WriteReport, buffer_IO);
}

void CFLDeviceInterface::LogCommand(const std::vector<uint8_t>& bytes_I)
{
  std::string text = "cmd: ";
  static const char kHex[] = "0123456789ABCDEF";
  for (uint8_t byte : bytes_I) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
    text += ' ';
  }
  Info(text);
}

uint32_t CFLDeviceInterface::SumBytes(const std::vector<uint8_t>& bytes_I)
{
  uint32_t sum = 0;
  for (uint8_t byte : bytes_I) sum += byte;
  return sum;
}

}  // namespace orv
