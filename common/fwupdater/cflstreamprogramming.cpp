// Streaming programming of CFLDeviceInterface through the programming report: Intel HEX images for touch
// controllers and Airoha images for bluetooth modules. Every request is acknowledged by the busy flag.
#include <algorithm>

#include "common/cclock.h"
#include "common/fwupdater/cfldeviceinterface.h"

namespace orv {
namespace {

constexpr size_t kProgrammingReportLength = 512;
constexpr uint8_t kTargetIntelHex = 0;
constexpr uint8_t kTargetAiroha = 1;
constexpr uint8_t kCommandStart = 1;
constexpr uint8_t kCommandData = 2;
constexpr uint8_t kCommandEnd = 3;
constexpr size_t kBusyByte = 3;
constexpr int kResends = 10;
constexpr uint32_t kResendPauseMs = 20;

constexpr uint32_t kIntelHexPacket = 128;
constexpr uint32_t kIntelHexLimit = 0x2C000;
constexpr uint32_t kAirohaChunk = 256;
constexpr size_t kAirohaFrameLength = 267;
constexpr uint32_t kAirohaSkipStart = 0x3000;
constexpr uint32_t kAirohaSkipEnd = 0x8000;

}  // namespace

// CRC-8, polynomial 0x31, initial 0, most significant bit first, no final XOR; the module wants the result
// with its bit order reversed.
uint8_t AirohaCrc(const uint8_t* data_I, size_t length_I)
{
  uint8_t crc = 0;
  for (size_t i = 0; i < length_I; ++i) {
    crc ^= data_I[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint8_t>((crc & 0x80) != 0 ? (crc << 1) ^ 0x31 : crc << 1);
    }
  }
  uint8_t reversed = 0;
  for (int bit = 0; bit < 8; ++bit) {
    reversed = static_cast<uint8_t>(reversed | (((crc >> bit) & 1) << (7 - bit)));
  }
  return reversed;
}

bool CFLDeviceInterface::SendProgrammingRequest(Report& buffer_IO, int resends_I)
{
  for (int attempt = 0; attempt <= resends_I; ++attempt) {
    if (attempt > 0) Pause(kResendPauseMs);
    if (SafeWrite(buffer_IO)) return true;
  }
  return false;
}

bool CFLDeviceInterface::WaitWhileBusy(Report& buffer_IO)
{
  // Each poll asks for the programming report again: an answer that named another report must not turn the
  // next poll into a read of that one. Only an answer says ready: a failed read leaves the request in the
  // buffer, whose byte 3 is 0 for a start or end request.
  const uint8_t reportId = buffer_IO.empty() ? 0 : buffer_IO[0];
  mProgrammingBusy.Start();
  while (mProgrammingBusy.Next()) {
    if (!buffer_IO.empty()) buffer_IO[0] = reportId;
    if (SafeRead(buffer_IO) && buffer_IO.size() > kBusyByte && buffer_IO[kBusyByte] == 0) {
      mProgrammingBusy.Ready();
      return true;
    }
  }
  return false;
}

bool CFLDeviceInterface::ProgramBoardIntelHex()
{
  Info("Starting ProgramBoardIntelHex...");
  if (GetDataSourceFormat() != EDATASOURCE_HEX) {
    Error("ProgramBoardIntelHex: Datasource not correct");
    return false;
  }
  if (!mIntelHexData || mIntelHexData->GetStartAddress() == -1) {
    Error("ProgramBoardIntelHex: No IntelHexData");
    return false;
  }
  const CIntelHex& image = *mIntelHexData;
  Report buffer(kProgrammingReportLength, 0);
  buffer[0] = CFLProtocol::GetReportId(eBL_HID_REP_PROGRAMMING_ID);
  buffer[1] = kTargetIntelHex;
  buffer[2] = kCommandStart;
  Info("ProgramBoardIntelHex: sending command to start programming...");
  if (!SendProgrammingRequest(buffer, kResends)) {
    Error("ProgramBoardIntelHex: Programming error happens - device not responding");
    return false;
  }
  Info("ProgramBoardIntelHex: waiting for device not busy (up to 10 seconds)...");
  if (!WaitWhileBusy(buffer)) {
    Error("ProgramBoardIntelHex: Cannot Start Programming - device is busy.");
    return false;
  }
  // Loaded images are whole 512-byte pages and end below the limit, so every packet lies inside the image.
  const uint32_t length = std::min(image.GetLength(), kIntelHexLimit);
  uint32_t programmed = 0;
  uint8_t sequence = 1;
  for (uint32_t offset = 0; offset < length; offset += kIntelHexPacket, ++sequence) {
    // The busy answer left its own bytes in the buffer; the report id and the target are ours to say, or a
    // board that changed byte 1 would turn the next packet into another target's.
    buffer.resize(kProgrammingReportLength, 0);
    buffer[0] = CFLProtocol::GetReportId(eBL_HID_REP_PROGRAMMING_ID);
    buffer[1] = kTargetIntelHex;
    buffer[2] = kCommandData;
    buffer[3] = 1;
    buffer[4] = sequence;
    const uint32_t address = static_cast<uint32_t>(image.GetStartAddress()) + offset;
    for (size_t i = 0; i < 4; ++i) buffer[5 + i] = static_cast<uint8_t>(address >> (8 * i));
    buffer[9] = 0x10;
    std::copy_n(image.GetImage() + offset, kIntelHexPacket, buffer.begin() + 10);
    Info("ProgramBoardIntelHex: sending program data at offset: " + std::to_string(offset));
    if (!SendProgrammingRequest(buffer, kResends)) {
      Error("ProgramBoardIntelHex: Programming error happens - device not responding");
      return false;
    }
    if (!WaitWhileBusy(buffer)) {
      Error("ProgramBoardIntelHex: Programming error happens - device is busy");
      return false;
    }
    Info("ProgramBoardIntelHex: bytes offset: " + std::to_string(offset));
    programmed += kIntelHexPacket;
    Pause(1);
    Progress(ProgressPercent(programmed, image.GetLength()));
  }
  Info("ProgramBoardIntelHex:  #bytes programmed: " + std::to_string(programmed));
  buffer.assign(kProgrammingReportLength, 0);
  buffer[0] = CFLProtocol::GetReportId(eBL_HID_REP_PROGRAMMING_ID);
  buffer[1] = kTargetIntelHex;
  buffer[2] = kCommandEnd;
  Info("ProgramBoardIntelHex: - sending command to end programming...");
  if (!SendProgrammingRequest(buffer, 0)) {
    Info("ProgramBoardIntelHex: - there was an error trying to end programming");
    return false;
  }
  if (!WaitWhileBusy(buffer)) {
    Info("ProgramBoardIntelHex: - there was an error after programming");
    return false;
  }
  Info("ProgramBoardIntelHex: - " + std::to_string(image.GetLength()) + " bytes were programmed Successfully");
  Info("ProgramBoardIntelHex done!");
  return true;
}

bool CFLDeviceInterface::ProgramBoardAiroHaBinary()
{
  Info("Starting ProgramBoardAiroHaBinary...");
  if (GetDataSourceFormat() != EDATASOURCE_AIROFLASH) {
    Error("ProgramBoardAiroHaBinary: Datasource not correct");
    return false;
  }
  if (!mAiroFlashData || mAiroFlashData->GetStartAddress() == -1) {
    Error("ProgramBoardAiroHaBinary: No AiroFlashData");
    return false;
  }
  const CBinaryAiroFlash& image = *mAiroFlashData;
  const uint32_t length = image.GetSize();
  Report buffer(kProgrammingReportLength, 0);
  buffer[0] = CFLProtocol::GetReportId(eBL_HID_REP_PROGRAMMING_ID);
  buffer[1] = kTargetAiroha;
  buffer[2] = kCommandStart;
  Info("ProgramBoardAiroHaBinary: sending command to start programming...");
  if (!SendProgrammingRequest(buffer, kResends)) {
    Error("ProgramBoardAiroHaBinary: Programming error happens - device not responding");
    return false;
  }
  Info("ProgramBoardAiroHaBinary: waiting for device not busy (up to 10 seconds)...");
  if (!WaitWhileBusy(buffer)) {
    Error("ProgramBoardAiroHaBinary: Cannot Start Programming - device is busy.");
    return false;
  }
  uint64_t programmed = 0;
  for (uint64_t offset = 0; offset < length; offset += kAirohaChunk) {
    const uint32_t address = static_cast<uint32_t>(image.GetStartAddress() + offset);
    if (address >= kAirohaSkipStart && address < kAirohaSkipEnd) continue;
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kAirohaChunk, length - offset));
    buffer.resize(kProgrammingReportLength, 0);
    buffer[0] = CFLProtocol::GetReportId(eBL_HID_REP_PROGRAMMING_ID);
    buffer[1] = kTargetAiroha;
    buffer[2] = kCommandData;
    uint8_t* frame = buffer.data() + 3;
    std::fill_n(frame, kAirohaFrameLength, 0xFF);
    const uint8_t header[] = {0x02, 0x00, 0x0F, 0x06, 0x01, 0x08, 0x01};
    std::copy(std::begin(header), std::end(header), frame);
    frame[7] = static_cast<uint8_t>(address >> 16);
    frame[8] = static_cast<uint8_t>(address >> 8);
    frame[9] = static_cast<uint8_t>(address);
    std::copy_n(image.GetData().data() + offset, count, frame + 11);
    frame[10] = AirohaCrc(frame + 11, kAirohaChunk);
    Info("ProgramBoardAiroHaBinary: calculating crc at address: 0x" + Hex8(address) +
         " bytes programmed: " + std::to_string(count));
    if (!SendProgrammingRequest(buffer, kResends)) {
      Error("ProgramBoardAiroHaBinary: Programming error - device not responding");
      return false;
    }
    if (!WaitWhileBusy(buffer)) {
      Error("ProgramBoardAiroHaBinary: Programming error");
      return false;
    }
    Info("ProgramBoardAiroHaBinary: start address: 0x" + Hex8(address) + " bytes programmed: " +
         std::to_string(count));
    programmed += count;
    Progress(ProgressPercent(programmed, length));
  }
  buffer.resize(kProgrammingReportLength, 0);
  buffer[0] = CFLProtocol::GetReportId(eBL_HID_REP_PROGRAMMING_ID);
  buffer[1] = kTargetAiroha;
  buffer[2] = kCommandEnd;
  Info("ProgramBoardAiroHaBinary: - sending command to end programming...");
  if (!SendProgrammingRequest(buffer, 0)) {
    Info("ProgramBoardAiroHaBinary: - there was an error trying to end programming");
    return false;
  }
  if (!WaitWhileBusy(buffer)) {
    Info("ProgramBoardAiroHaBinary: - there was an error after programming");
    return false;
  }
  Info("ProgramBoardAiroHaBinary: - " + std::to_string(length) + " bytes were programmed Successfully");
  Info("ProgramBoardAiroHaBinary done!");
  return true;
}

}  // namespace orv
