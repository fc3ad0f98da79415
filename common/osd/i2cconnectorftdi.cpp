#include "common/osd/i2cconnectorftdi.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <utility>

#include "common/assertion.h"
#include "common/cclock.h"

namespace orv {
namespace {

constexpr int kResetRetries = 20;
constexpr uint32_t kResetPauseMs = 50;
constexpr uint32_t kTransferSize = 65536;
constexpr uint32_t kTimeoutMs = 5000;
constexpr uint8_t kLatencyMs = 8;
constexpr uint32_t kSettleMs = 20;

// MPSSE opcodes.
constexpr uint8_t kSetLowPins = 0x80;
constexpr uint8_t kSetHighPins = 0x82;
constexpr uint8_t kBytesOutFalling = 0x11;
constexpr uint8_t kBitsOutFalling = 0x13;
constexpr uint8_t kBitsInRising = 0x22;
constexpr uint8_t kBytesInRising = 0x24;
constexpr uint8_t kSendImmediate = 0x87;
constexpr uint8_t kBadCommand = 0xAA;
constexpr uint8_t kBadCommandAnswer = 0xFA;

// Low-byte pin values and directions: SCL is bit 0, SDA out bit 1.
constexpr uint8_t kSclSdaHigh = 0x03;
constexpr uint8_t kSclHighSdaLow = 0x01;
constexpr uint8_t kSclSdaLow = 0x00;
constexpr uint8_t kSdaHighSclLow = 0x02;
constexpr uint8_t kDriveBoth = 0x03;
constexpr uint8_t kDriveSclOnly = 0x01;

void AddPins(std::vector<uint8_t>& commands_IO, uint8_t value_I, uint8_t directions_I)
{
  commands_IO.insert(commands_IO.end(), {kSetLowPins, value_I, directions_I});
}

// Low-pin levels with both lines driven, each repeated as often as given: a start or stop condition in one copy.
template <size_t Commands>
constexpr std::array<uint8_t, Commands * 3> PinShape(std::initializer_list<std::pair<uint8_t, int>> levels_I)
{
  std::array<uint8_t, Commands * 3> shape{};
  size_t at = 0;
  for (const auto& [level, times] : levels_I) {
    for (int i = 0; i < times; ++i, at += 3) {
      shape.at(at) = kSetLowPins;
      shape.at(at + 1) = level;
      shape.at(at + 2) = kDriveBoth;
    }
  }
  return at == shape.size() ? shape : throw "pin shape of the wrong length";
}

// SDA falls while SCL is high, then SCL falls; each level held four commands long.
constexpr auto kStartShape = PinShape<12>({{kSclSdaHigh, 4}, {kSclHighSdaLow, 4}, {kSclSdaLow, 4}});
// SDA rises while SCL is high; the bus is left with SCL low and SDA high.
constexpr auto kStopShape = PinShape<9>({{kSclHighSdaLow, 4}, {kSclSdaHigh, 4}, {kSdaHighSclLow, 1}});

// One byte out (at kByteAt), then its acknowledge bit clocked in with SDA released, leaving SCL low.
constexpr size_t kByteAt = 3;
constexpr std::array<uint8_t, 9> kWriteByteShape = {
    kBytesOutFalling, 0x00, 0x00, 0x00, kSetLowPins, kSclSdaLow, kDriveSclOnly, kBitsInRising, 0x00};
// The same, then SDA driven low and released again with SCL low: one byte of a batch. A page is hundreds of
// these, so each is one copy of a fixed shape with its byte put in.
constexpr std::array<uint8_t, 15> kBatchWriteShape = {kBytesOutFalling, 0x00, 0x00, 0x00, kSetLowPins, kSclSdaLow,
                                                      kDriveSclOnly, kBitsInRising, 0x00, kSetLowPins, kSclSdaLow,
                                                      kDriveBoth, kSetLowPins, kSdaHighSclLow, kDriveBoth};

template <size_t N>
void AddShape(std::vector<uint8_t>& commands_IO, const std::array<uint8_t, N>& shape_I, size_t byteAt_I, uint8_t byte_I)
{
  const size_t at = commands_IO.size();
  commands_IO.insert(commands_IO.end(), shape_I.begin(), shape_I.end());
  commands_IO[at + byteAt_I] = byte_I;
}

void AddWriteByte(std::vector<uint8_t>& commands_IO, uint8_t byte_I)
{
  AddShape(commands_IO, kWriteByteShape, kByteAt, byte_I);
}

// SDA released, one byte clocked in, then the acknowledge bit (0) or its absence (1) clocked out (at kAckAt).
constexpr size_t kAckAt = 11;
constexpr std::array<uint8_t, 12> kReadByteShape = {kSetLowPins, kSclSdaLow,      kDriveSclOnly, kBytesInRising,
                                                    0x00,        0x00,            kSetLowPins,   kSclSdaLow,
                                                    kDriveBoth,  kBitsOutFalling, 0x00,          0x00};

void AddReadByte(std::vector<uint8_t>& commands_IO, bool acknowledge_I)
{
  AddShape(commands_IO, kReadByteShape, kAckAt, acknowledge_I ? 0x00 : 0x80);
}

}  // namespace

CI2CConnectorFTDI::~CI2CConnectorFTDI() { CloseHandle(); }

bool CI2CConnectorFTDI::ConfigureSerialPort(const SSerialPortSettings& /*settings_I*/)
{
  ORV_ASSERT_MESSAGE("This is only used by serial connections");
  return false;
}

bool CI2CConnectorFTDI::Open(uint32_t port_I)
{
  const FT_STATUS status = OpenBridge(port_I);
  if (status == FT_DEVICE_NOT_OPENED) mNotOpened = true;
  return status == FT_OK;
}

bool CI2CConnectorFTDI::Close()
{
  Connector::Close();
  mRawDisplayInformation.clear();
  CloseHandle();
  return true;
}

void CI2CConnectorFTDI::CloseHandle()
{
  mOwedAnswers = 0;
  if (mHandle == nullptr) return;
  mD2XX.Close(mHandle);
  mHandle = nullptr;
}

uint32_t CI2CConnectorFTDI::DeviceCount()
{
  uint32_t count = 0;
  return mD2XX.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) == FT_OK ? count : 0;
}

FT_STATUS CI2CConnectorFTDI::OpenBridge(uint32_t port_I)
{
  if (port_I >= DeviceCount()) return FT_INVALID_PARAMETER;
  uint32_t location = 0;
  if (mD2XX.ListDevices(reinterpret_cast<void*>(static_cast<uintptr_t>(port_I)), &location,
                        FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) != FT_OK) {
    return FT_DEVICE_NOT_FOUND;
  }
  FT_HANDLE handle = nullptr;
  const FT_STATUS opened =
      mD2XX.OpenEx(reinterpret_cast<void*>(static_cast<uintptr_t>(location)), FT_OPEN_BY_LOCATION, &handle);
  if (opened != FT_OK) return opened;
  mHandle = handle;
  mOwedAnswers = 0;

  const FT_STATUS reset = ResetWithRetries();
  if (reset != FT_OK) {
    CloseHandle();
    return reset;
  }
  Drain();
  mD2XX.SetUSBParameters(mHandle, kTransferSize, kTransferSize);
  mD2XX.SetChars(mHandle, 0, 0, 0, 0);
  mD2XX.SetTimeouts(mHandle, kTimeoutMs, kTimeoutMs);
  mD2XX.SetLatencyTimer(mHandle, kLatencyMs);
  mD2XX.SetBitMode(mHandle, 0x00, FT_BITMODE_RESET);
  mD2XX.SetBitMode(mHandle, 0x00, FT_BITMODE_MPSSE);
  Pause(50);
  Drain();

  WriteExpectingEmptyQueue({0x84});  // internal loop-back on
  SyncMpsse(true);
  WriteExpectingEmptyQueue({0x85});  // loop-back off
  // 60 MHz master clock, adaptive and three-phase clocking off.
  WriteCommands({0x8A, 0x97, 0x8D});
  // SDA out drives only zeros (open drain); then SCL and SDA high, both driven.
  WriteCommands({0x9E, 0x02, 0x00, kSetLowPins, kSclSdaHigh, kDriveBoth});
  // Divisor 0x012B: SCL = 60 MHz / ((1 + 299) * 2) = 100 kHz.
  if (WriteCommands({0x86, 0x2B, 0x01}) == FT_OK) Pause(20);
  WriteCommands({kSetHighPins, 0x14, 0xFF});
  Drain();
  return FT_OK;
}

FT_STATUS CI2CConnectorFTDI::ResetWithRetries()
{
  FT_STATUS status = mD2XX.ResetDevice(mHandle);
  for (int retry = 0; status != FT_OK && retry < kResetRetries; ++retry) {
    Pause(kResetPauseMs);
    status = mD2XX.ResetDevice(mHandle);
  }
  return status;
}

void CI2CConnectorFTDI::WriteExpectingEmptyQueue(const std::vector<uint8_t>& commands_I)
{
  WriteCommands(commands_I);
  const int64_t waiting = QueueLength();
  if (waiting != 0 && waiting != -1) ORV_ASSERT_MESSAGE("Bytes in the buffer");
}

void CI2CConnectorFTDI::Drain()
{
  std::vector<uint8_t> discarded;
  DrainInput(discarded);
}

FT_STATUS CI2CConnectorFTDI::WriteCommands(const std::vector<uint8_t>& commands_I)
{
  uint32_t written = 0;
  const FT_STATUS status =
      mD2XX.Write(mHandle, commands_I.data(), static_cast<uint32_t>(commands_I.size()), &written);
  if (status != FT_OK) return status;
  return written == commands_I.size() ? FT_OK : FT_IO_ERROR;
}

FT_STATUS CI2CConnectorFTDI::ReadBytes(size_t count_I, std::vector<uint8_t>& bytes_O)
{
  bytes_O.assign(count_I, 0);
  uint32_t read = 0;
  const FT_STATUS status = mD2XX.Read(mHandle, bytes_O.data(), static_cast<uint32_t>(count_I), &read);
  bytes_O.resize(std::min<size_t>(read, count_I));
  if (status != FT_OK) return status;
  return bytes_O.size() == count_I ? FT_OK : FT_IO_ERROR;
}

int64_t CI2CConnectorFTDI::QueueLength()
{
  uint32_t waiting = 0;
  return mD2XX.GetQueueStatus(mHandle, &waiting) == FT_OK ? static_cast<int64_t>(waiting) : -1;
}

FT_STATUS CI2CConnectorFTDI::DrainInput(std::vector<uint8_t>& bytes_O)
{
  bytes_O.clear();
  const int64_t waiting = QueueLength();
  if (waiting == 0 || waiting == -1) return FT_OK;
  return ReadBytes(static_cast<size_t>(waiting), bytes_O);
}

FT_STATUS CI2CConnectorFTDI::SyncMpsse(bool check_I)
{
  FT_STATUS status = WriteCommands({kBadCommand});
  if (status != FT_OK) return status;
  std::vector<uint8_t> echo;
  status = ReadBytes(2, echo);
  if (status != FT_OK) return status;
  if (!check_I) return FT_OK;
  return echo[0] == kBadCommandAnswer || echo[1] == kBadCommand ? FT_OK : FT_IO_ERROR;
}

void CI2CBatch::Start() { mCommands.insert(mCommands.end(), kStartShape.begin(), kStartShape.end()); }

void CI2CBatch::Stop() { mCommands.insert(mCommands.end(), kStopShape.begin(), kStopShape.end()); }

void CI2CBatch::Write(uint8_t byte_I)
{
  AddShape(mCommands, kBatchWriteShape, kByteAt, byte_I);
  ++mAnswers;
}

void CI2CBatch::Write(const uint8_t* bytes_I, size_t count_I)
{
  const size_t at = mCommands.size();
  mCommands.resize(at + count_I * kBatchWriteShape.size());
  uint8_t* shape = mCommands.data() + at;
  for (const uint8_t byte : std::span(bytes_I, count_I)) {
    std::memcpy(shape, kBatchWriteShape.data(), kBatchWriteShape.size());
    shape[kByteAt] = byte;
    shape += kBatchWriteShape.size();
  }
  mAnswers += count_I;
}

void CI2CBatch::Clear()
{
  mCommands.clear();
  mAnswers = 0;
}

void CI2CBatch::Read(bool acknowledge_I)
{
  AddReadByte(mCommands, acknowledge_I);
  ++mAnswers;
}

FT_STATUS CI2CConnectorFTDI::RunBatch(const CI2CBatch& batch_I, std::vector<uint8_t>& answers_O)
{
  std::vector<uint8_t> commands;
  commands.reserve(batch_I.Commands().size() + 1);
  commands.assign(batch_I.Commands().begin(), batch_I.Commands().end());
  commands.push_back(kSendImmediate);
  // A write the bridge refused clocked nothing out, so the queued batches' answers are still owed: read as this
  // batch's, they would put every later read out of step.
  const FT_STATUS status = WriteCommands(commands);
  if (status != FT_OK) return status;
  const size_t owed = std::exchange(mOwedAnswers, 0);
  std::vector<uint8_t> bytes;
  const FT_STATUS read = ReadBytes(owed + batch_I.Answers(), bytes);
  answers_O.assign(bytes.begin() + static_cast<ptrdiff_t>(std::min(owed, bytes.size())), bytes.end());
  if (read != FT_OK) SkipLateAnswers();
  return read;
}

void CI2CConnectorFTDI::SkipLateAnswers()
{
  // Answers that arrive after their read timed out would be taken for the next batch's, and every read after
  // that for the one before it. The bad-command echo queues behind them: everything before it is dropped.
  if (WriteCommands({kBadCommand, kSendImmediate}) == FT_OK) {
    uint8_t previous = 0;
    for (uint32_t skipped = 0; skipped < kTransferSize; ++skipped) {
      std::vector<uint8_t> byte;
      if (ReadBytes(1, byte) != FT_OK) break;
      if (previous == kBadCommandAnswer && byte[0] == kBadCommand) return;
      previous = byte[0];
    }
  }
  // A bridge that does not echo is not answering: closed, the reads after fail at once instead of each waiting
  // out its time-out.
  CloseHandle();
}

FT_STATUS CI2CConnectorFTDI::QueueBatch(const CI2CBatch& batch_I)
{
  const FT_STATUS status = WriteCommands(batch_I.Commands());
  // A write the bridge refused clocked nothing out, so it owes nothing; a short one cannot be told apart, and
  // the next read then simply comes up short.
  if (status == FT_OK) mOwedAnswers += batch_I.Answers();
  return status;
}

FT_STATUS CI2CConnectorFTDI::FlushQueued()
{
  if (mOwedAnswers == 0) return FT_OK;
  std::vector<uint8_t> none;
  return RunBatch(CI2CBatch(), none);
}

FT_STATUS CI2CConnectorFTDI::I2CStart()
{
  CI2CBatch batch;
  batch.Start();
  return WriteCommands(batch.Commands());
}

FT_STATUS CI2CConnectorFTDI::I2CStop()
{
  CI2CBatch batch;
  batch.Stop();
  return WriteCommands(batch.Commands());
}

FT_STATUS CI2CConnectorFTDI::I2CWriteByte(uint8_t byte_I, bool settle_I)
{
  std::vector<uint8_t> commands;
  AddWriteByte(commands, byte_I);
  commands.push_back(kSendImmediate);
  AddPins(commands, kSclSdaLow, kDriveBoth);
  const FT_STATUS status = WriteCommands(commands);
  if (status != FT_OK) return status;
  std::vector<uint8_t> release;
  AddPins(release, kSdaHighSclLow, kDriveBoth);
  WriteCommands(release);
  if (settle_I) Pause(kSettleMs);
  std::vector<uint8_t> acknowledge;
  const FT_STATUS read = ReadBytes(1, acknowledge);
  if (read != FT_OK) return read;
  return (acknowledge[0] & 0x01) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS CI2CConnectorFTDI::I2CReadByte(bool acknowledge_I, uint8_t& byte_O)
{
  std::vector<uint8_t> commands;
  AddReadByte(commands, acknowledge_I);
  const FT_STATUS status = WriteCommands(commands);
  if (status != FT_OK) return status;
  std::vector<uint8_t> data;
  const FT_STATUS read = ReadBytes(1, data);
  if (read != FT_OK) return read;
  byte_O = data[0];
  return FT_OK;
}

}  // namespace orv
