// The DDC/CI side of the FTDI connector: request framing, reply reading and the display queries.
#include <algorithm>

#include "common/assertion.h"
#include "common/cclock.h"
#include "common/osd/displaymodels.h"
#include "common/osd/i2cconnectorftdi.h"

namespace orv {
namespace {

constexpr uint8_t kDisplayWrite = 0x6E;
constexpr uint8_t kDisplayRead = 0x6F;
constexpr uint8_t kHostAddress = 0x51;
constexpr uint8_t kReplyChecksumSeed = 0x50;
constexpr uint8_t kNoReply = 0xFF;
constexpr uint8_t kNothingToSay = 0x00;
const std::vector<uint8_t> kNullMessage = {0x6E, 0x80, 0xBE};

constexpr size_t kReplyHeaderSize = 2;
constexpr size_t kShortReply = 6;
constexpr size_t kTableDataStart = 5;
constexpr size_t kEdidBlocks = 16;
constexpr size_t kEdidBlockReply = 19;
constexpr size_t kDisplayInformationSize = 55;
constexpr size_t kDisplayInformationTextSize = 13;
constexpr size_t kModelOffset = 17;
constexpr size_t kSerialOffset = 30;

// Bounds the display's answers cannot push us past: bytes skipped before a reply starts, repetitions of a
// request whose reply stays short, and the size of a table read (an EDID with all 255 extensions is 32 KiB).
constexpr int kMaxSkippedBytes = 32;
constexpr int kMaxShortReplyRepeats = 3;
constexpr size_t kMaxTableSize = 0x8000;

std::vector<uint8_t> Request(std::vector<uint8_t> payload_I)
{
  std::vector<uint8_t> request = {kDisplayWrite, kHostAddress, static_cast<uint8_t>(0x80 | payload_I.size())};
  request.insert(request.end(), payload_I.begin(), payload_I.end());
  uint8_t checksum = 0;
  for (uint8_t byte : request) checksum ^= byte;
  request.push_back(checksum);
  return request;
}

std::vector<uint8_t> WithOffset(std::vector<uint8_t> payload_I, size_t offset_I)
{
  payload_I.push_back(static_cast<uint8_t>(offset_I >> 8));
  payload_I.push_back(static_cast<uint8_t>(offset_I));
  return payload_I;
}

bool ChecksumValid(const std::vector<uint8_t>& reply_I)
{
  uint8_t sum = kReplyChecksumSeed;
  for (uint8_t byte : reply_I) sum ^= byte;
  return sum == 0;
}

// Checks the checksum (a mismatch is reported, the data used anyway) and removes it.
void CheckAndStrip(std::vector<uint8_t>& reply_IO, const char* mismatch_I, int line_I)
{
  if (!ChecksumValid(reply_IO)) AssertReport(mismatch_I, __FILE__, line_I);
  if (!reply_IO.empty()) reply_IO.pop_back();
}

bool IsNull(const std::vector<uint8_t>& reply_I) { return reply_I == kNullMessage; }

// A table reply with no data that echoes the requested offset: nothing more to read.
bool TableEnd(const std::vector<uint8_t>& reply_I, size_t offset_I)
{
  return reply_I.size() >= kTableDataStart && (reply_I[1] & 0x7F) == 3 &&
         reply_I[3] == static_cast<uint8_t>(offset_I >> 8) && reply_I[4] == static_cast<uint8_t>(offset_I);
}

}  // namespace

std::vector<uint8_t> CI2CConnectorFTDI::Transfer(const std::vector<uint8_t>& toSend_I, double delaySeconds_I,
                                                 size_t expectedSize_I, int32_t retries_I)
{
  ORV_ASSERT(!toSend_I.empty());
  if (toSend_I.empty()) return {};
  for (int32_t retries = retries_I;; --retries) {
    if (SyncMpsse(false) != FT_OK) {
      CloseHandle();
      return {};
    }
    Drain();
    if (I2CStart() != FT_OK) return {};
    const bool sent = std::all_of(toSend_I.begin(), toSend_I.end(),
                                  [this](uint8_t byte) { return I2CWriteByte(byte, true) == FT_OK; });
    if (sent) break;
    I2CStop();
    if (retries < 0) return {};
  }
  if (I2CStop() != FT_OK) return {};
  Pause(static_cast<uint32_t>(delaySeconds_I * 1000));

  if (I2CStart() != FT_OK) return {};
  if (I2CWriteByte(kDisplayRead, true) != FT_OK) {
    I2CStop();
    return {};
  }
  std::vector<uint8_t> inBuffer = ReadReplyHeader(toSend_I[0]);
  if (inBuffer.size() != kReplyHeaderSize) return inBuffer;
  inBuffer.reserve(expectedSize_I);
  ORV_ASSERT((inBuffer[1] & 0x80) != 0x00);
  const size_t bytesToRead = (inBuffer[1] & 0x7F) + 1u;
  for (size_t i = 0; i < bytesToRead; ++i) {
    uint8_t byte = 0;
    if (I2CReadByte(true, byte) != FT_OK) return {};
    inBuffer.push_back(byte);
  }
  if (I2CStop() != FT_OK) return {};
  return inBuffer;
}

std::vector<uint8_t> CI2CConnectorFTDI::ReadReplyHeader(uint8_t first_I)
{
  for (int skipped = 0; skipped <= kMaxSkippedBytes; ++skipped) {
    uint8_t byte = 0;
    if (I2CReadByte(true, byte) != FT_OK) return {};
    if (byte == first_I) {
      uint8_t length = 0;
      if (I2CReadByte(true, length) != FT_OK) return {};
      return {byte, length};
    }
    if (byte == kNoReply || byte == kNothingToSay) {
      I2CStop();
      return byte == kNoReply ? std::vector<uint8_t>{} : kNullMessage;
    }
  }
  I2CStop();
  return {};
}

std::vector<uint8_t> CI2CConnectorFTDI::TransferUntilWhole(const std::vector<uint8_t>& request_I,
                                                           double delaySeconds_I, size_t expectedSize_I)
{
  for (int repeat = 0; repeat <= kMaxShortReplyRepeats; ++repeat) {
    std::vector<uint8_t> reply = Transfer(request_I, delaySeconds_I, expectedSize_I, 1);
    if (reply.empty() || IsNull(reply)) return {};
    if (reply.size() >= kShortReply) return reply;
  }
  return {};
}

std::vector<uint8_t> CI2CConnectorFTDI::ReadDisplayInformation()
{
  std::vector<uint8_t> reply = TransferUntilWhole(Request({0x01, 0xF2}), 0.01, 64);
  const bool unsupported = reply.size() == 11 && reply[2] == 0x02 && reply[3] == 0x01 && reply[4] == 0xF2;
  if (reply.empty() || unsupported) return {};
  CheckAndStrip(reply, "\"ReadDisplayInformation read checksum mismatch\"", __LINE__);
  return reply.size() == kDisplayInformationSize ? reply : std::vector<uint8_t>{};
}

const std::vector<uint8_t>& CI2CConnectorFTDI::RawDisplayInformation()
{
  if (mRawDisplayInformation.empty()) mRawDisplayInformation = ReadDisplayInformation();
  return mRawDisplayInformation;
}

std::string CI2CConnectorFTDI::DisplayInformationText(size_t offset_I)
{
  ORV_ASSERT(mRawDisplayInformation.size() == kDisplayInformationSize);
  if (mRawDisplayInformation.size() < offset_I + kDisplayInformationTextSize) return {};
  return FieldText(mRawDisplayInformation.data() + offset_I, kDisplayInformationTextSize);
}

std::vector<uint8_t> CI2CConnectorFTDI::ReadEDID(uint32_t deviceId_I)
{
  const SDisplayModel model = DisplayModel(deviceId_I);
  if (model.edidRead == EEDIDREAD_NONE) return {};
  if (model.edidRead == EEDIDREAD_BLOCKS) {
    std::vector<uint8_t> edid = ReadEdidByBlocks();
    if (!edid.empty()) return edid;
  }
  return ReadEdidByTable(model.warnOnEmptyTable);
}

std::vector<uint8_t> CI2CConnectorFTDI::ReadEdidByBlocks()
{
  std::vector<uint8_t> edid;
  for (size_t block = 0; block < kEdidBlocks; ++block) {
    std::vector<uint8_t> reply = Transfer(Request(WithOffset({0x01, 0xF2}, block)), 0.05, 37, 1);
    if (reply.empty()) ORV_ASSERT_MESSAGE("WARNING - empty response!");
    if (reply.size() != kEdidBlockReply) break;
    CheckAndStrip(reply, "\"ReadEDID read checksum mismatch\"", __LINE__);
    edid.insert(edid.end(), reply.begin() + 2, reply.begin() + 18);
  }
  return edid;
}

std::vector<uint8_t> CI2CConnectorFTDI::ReadEdidByTable(bool warnOnEmpty_I)
{
  std::vector<uint8_t> edid;
  while (edid.size() < kMaxTableSize) {
    std::vector<uint8_t> reply = Transfer(Request(WithOffset({0xE2, 0xC3}, edid.size())), 0.05, 37, 1);
    if (reply.empty() && warnOnEmpty_I) ORV_ASSERT_MESSAGE("WARNING - unexpected EDID response");
    if (reply.empty() || IsNull(reply)) break;
    if (reply.size() < kShortReply) {
      ORV_ASSERT_MESSAGE("WARNING - unexpected EDID response");
      break;
    }
    if (TableEnd(reply, edid.size())) break;
    CheckAndStrip(reply, "\"ReadEDID: read checksum mismatch\"", __LINE__);
    // A reply that adds nothing would be asked for again and again.
    if (reply.size() <= kTableDataStart) break;
    edid.insert(edid.end(), reply.begin() + kTableDataStart, reply.end());
  }
  return edid;
}

std::vector<uint8_t> CI2CConnectorFTDI::ReadTable(const std::vector<uint8_t>& prefix_I, const char* mismatch_I,
                                                  bool retryEmptyOnce_I)
{
  std::vector<uint8_t> collected;
  while (collected.size() < kMaxTableSize) {
    const std::vector<uint8_t> request = Request(WithOffset(prefix_I, collected.size()));
    std::vector<uint8_t> reply = TransferUntilWhole(request, 0.05, 37);
    if (reply.empty() && retryEmptyOnce_I) reply = TransferUntilWhole(request, 0.05, 37);
    if (reply.empty()) return {};
    if (TableEnd(reply, collected.size())) break;
    CheckAndStrip(reply, mismatch_I, __LINE__);
    if (reply.size() <= kTableDataStart) break;
    collected.insert(collected.end(), reply.begin() + kTableDataStart, reply.end());
  }
  return collected;
}

std::string CI2CConnectorFTDI::ReadCapabilitiesString()
{
  std::vector<uint8_t> caps;
  if (mRawDisplayInformation.empty()) {
    caps = ReadTable({0xE2, 0xF3}, "\"CapabilitiesString read checksum mismatch\"", false);
  }
  if (caps.empty()) caps = ReadTable({0xF3}, "\"CapabilitiesString read checksum mismatch\"", true);
  return CapabilitiesString(std::string(caps.begin(), caps.end()));
}

std::string CI2CConnectorFTDI::GetModelName()
{
  std::string name = Connector::GetModelName();
  if (!name.empty() || RawDisplayInformation().empty()) return name;
  return DisplayInformationText(kModelOffset);
}

std::string CI2CConnectorFTDI::GetSerialNumber(uint32_t deviceId_I)
{
  std::string serial = Connector::GetSerialNumber(deviceId_I);
  if (!serial.empty()) return serial;
  if (RawDisplayInformation().empty()) {
    Pause(1000);
    if (RawDisplayInformation().empty()) {
      ORV_ASSERT_MESSAGE("!!!!! ReadDisplayInformation FAILED 2 attempts");
      return {};
    }
  }
  return ToUpper(DisplayInformationText(kSerialOffset));
}

PackedVersion CI2CConnectorFTDI::ReadFWVersion()
{
  const std::vector<uint8_t> request = Request({0x01, 0xC9});
  std::vector<uint8_t> reply = Transfer(request, 0.07, 38, 1);
  if (reply.empty()) {
    Pause(50);
    reply = Transfer(request, 0.07, 38, 1);
  }
  if (reply.empty()) return {};
  CheckAndStrip(reply, "\"FWVersion read checksum mismatch\"", __LINE__);
  const bool valid = reply.size() >= 10 && reply[0] == 0x6E && reply[1] == 0x88 && reply[2] == 0x02 &&
                     reply[3] == 0x00 && reply[4] == 0xC9 && reply[5] <= 1;
  if (!valid) return {};
  const uint32_t value = (uint32_t{reply[6]} << 24) | (uint32_t{reply[7]} << 16) | (uint32_t{reply[8]} << 8) | reply[9];
  return VersionFromNumber(value, 2);
}

}  // namespace orv
