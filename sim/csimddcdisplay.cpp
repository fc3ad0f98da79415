#include "sim/csimddcdisplay.h"

#include <algorithm>
#include <numeric>

namespace orv::sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kWriteAddress = 0x6E;
constexpr uint8_t kReadAddress = 0x6F;
constexpr uint8_t kHostAddress = 0x51;
// Replies are checksummed as if sent to the host's virtual address 0x50.
constexpr uint8_t kReplyChecksumSeed = 0x50;
constexpr uint8_t kLengthFlag = 0x80;
constexpr size_t kMaxPayload = 0x7F;
// Address, host address, length and checksum around the payload.
constexpr size_t kRequestFrame = 4;

constexpr uint8_t kVcpGet = 0x01;
constexpr uint8_t kVcpReply = 0x02;
constexpr uint8_t kVcpUnsupported = 0x01;
constexpr uint8_t kTableRead = 0xE2;
constexpr uint8_t kTableReply = 0xE3;
constexpr uint8_t kCapabilities = 0xF3;
constexpr uint8_t kEdidTable = 0xC3;
constexpr uint8_t kDisplayInformation = 0xF2;
constexpr uint8_t kFirmwareVersion = 0xC9;

constexpr size_t kTextLength = 13;
constexpr size_t kTableChunk = 32;
constexpr size_t kEdidBlockSize = 16;
constexpr size_t kEdidBlocks = 16;
constexpr size_t kEdidSize = kEdidBlockSize * kEdidBlocks;
// Display information: 53 payload bytes (VCP reply head F2, then the record); the texts sit at reply offsets
// 17 and 30, i.e. 15 and 28 into the payload.
constexpr size_t kDisplayInformationPayload = 53;
constexpr size_t kModelAt = 15;
constexpr size_t kSerialAt = 28;
constexpr uint8_t kGarbage = 0xA5;
constexpr uint8_t kNothingToSay = 0x00;
constexpr uint8_t kNoReply = 0xFF;

const Bytes kNullMessage{kWriteAddress, kLengthFlag, kWriteAddress ^ kLengthFlag ^ kReplyChecksumSeed};

bool Printable(const std::string& text_I)
{
  return std::all_of(text_I.begin(), text_I.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// A 13-byte text field: the text, then (when shorter) a line feed and spaces.
void PutText(Bytes& bytes_IO, size_t at_I, const std::string& text_I, bool lineFeed_I)
{
  std::fill_n(bytes_IO.begin() + static_cast<std::ptrdiff_t>(at_I), kTextLength, ' ');
  std::copy(text_I.begin(), text_I.end(), bytes_IO.begin() + static_cast<std::ptrdiff_t>(at_I));
  if (lineFeed_I && text_I.size() < kTextLength) bytes_IO[at_I + text_I.size()] = 0x0A;
}

void PutDescriptor(Bytes& edid_IO, size_t at_I, uint8_t tag_I, const std::string& text_I)
{
  edid_IO[at_I + 3] = tag_I;
  PutText(edid_IO, at_I + 5, text_I, true);
}

// The last byte of a 128-byte EDID block makes its sum 0.
void Seal(Bytes& edid_IO, size_t block_I)
{
  const auto begin = edid_IO.begin() + static_cast<std::ptrdiff_t>(block_I);
  const uint8_t sum = std::accumulate(begin, begin + 127, uint8_t{0}, [](uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(a + b);
  });
  edid_IO[block_I + 127] = static_cast<uint8_t>(0x100 - sum);
}

// A 1920x1080 60 Hz display of 344 x 194 mm, manufacturer "ORV", with its model and serial number in display
// descriptors, and an empty CTA-861 extension.
Bytes MakeEdid(const SSimDdcDisplayConfig& config_I)
{
  Bytes edid(kEdidSize, 0);
  const Bytes head{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x3E, 0x56, 0x16, 0x00, 0x00, 0x00, 0x00, 0x00,
                   0x01, 0x22, 0x01, 0x04, 0xA0, 0x23, 0x14, 0x78, 0x06, 0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26,
                   0x0F, 0x50, 0x54, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
                   0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
  const Bytes timing{0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
                     0x2C, 0x45, 0x00, 0x58, 0xC2, 0x10, 0x00, 0x00, 0x1E};
  const Bytes range{0x00, 0x00, 0x00, 0xFD, 0x00, 0x38, 0x4B, 0x1E, 0x53,
                    0x11, 0x00, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
  std::copy(head.begin(), head.end(), edid.begin());
  std::copy(timing.begin(), timing.end(), edid.begin() + 54);
  std::copy(range.begin(), range.end(), edid.begin() + 72);
  PutDescriptor(edid, 90, 0xFC, config_I.model);
  PutDescriptor(edid, 108, 0xFF, config_I.serial);
  edid[126] = 1;
  Seal(edid, 0);
  // CTA-861 extension, revision 3, no data blocks and no further timings.
  edid[128] = 0x02;
  edid[129] = 0x03;
  edid[130] = 0x04;
  Seal(edid, 128);
  return edid;
}

Bytes Frame(const Bytes& payload_I)
{
  Bytes reply{kWriteAddress, static_cast<uint8_t>(kLengthFlag | payload_I.size())};
  reply.insert(reply.end(), payload_I.begin(), payload_I.end());
  uint8_t checksum = kReplyChecksumSeed;
  for (uint8_t byte : reply) checksum ^= byte;
  reply.push_back(checksum);
  return reply;
}

bool WellFormed(const Bytes& request_I)
{
  if (request_I.size() < kRequestFrame || request_I[1] != kHostAddress || (request_I[2] & kLengthFlag) == 0) {
    return false;
  }
  if (request_I.size() != (request_I[2] & kMaxPayload) + kRequestFrame) return false;
  uint8_t checksum = 0;
  for (uint8_t byte : request_I) checksum ^= byte;
  return checksum == 0;
}

}  // namespace

std::shared_ptr<CSimDdcDisplay> CSimDdcDisplay::Create(const SSimDdcDisplayConfig& config_I, std::string& error_O)
{
  error_O.clear();
  if (config_I.model.size() > kTextLength || !Printable(config_I.model)) {
    error_O = "the model name must be at most 13 printable characters";
  } else if (config_I.serial.size() > kTextLength || !Printable(config_I.serial)) {
    error_O = "the serial number must be at most 13 printable characters";
  } else if (config_I.capabilities.size() > 0xFFFF) {
    error_O = "the capabilities string must be shorter than 64 KiB";
  }
  if (!error_O.empty()) return nullptr;
  return std::shared_ptr<CSimDdcDisplay>(new CSimDdcDisplay(config_I));
}

CSimDdcDisplay::CSimDdcDisplay(const SSimDdcDisplayConfig& config_I) : mConfig(config_I), mEdid(MakeEdid(config_I)) {}

std::vector<std::vector<uint8_t>> CSimDdcDisplay::Requests()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mRequests;
}

void CSimDdcDisplay::SetNoAcknowledge(uint64_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mNoAcknowledge = count_I;
}

void CSimDdcDisplay::SetGarbageBytes(size_t bytes_I, uint64_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mGarbageBytes = bytes_I;
  mGarbageCount = count_I;
}

void CSimDdcDisplay::SetWrongChecksum(uint64_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mWrongChecksum = count_I;
}

void CSimDdcDisplay::SetNothingToSay(uint64_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mNothingToSay = count_I;
}

void CSimDdcDisplay::SetNoReply(uint64_t count_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mNoReply = count_I;
}

bool CSimDdcDisplay::Address(uint8_t addressByte_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (addressByte_I != kWriteAddress && addressByte_I != kReadAddress) return false;
  if (TakeSimFault(mNoAcknowledge)) return false;
  if (addressByte_I == kWriteAddress) {
    mTransaction = ETRANSACTION_WRITE;
    mRequest = {kWriteAddress};
    return true;
  }
  mTransaction = ETRANSACTION_READ;
  StartRead();
  return true;
}

void CSimDdcDisplay::StartRead()
{
  mReadStream.clear();
  mReadPosition = 0;
  mFiller = kNoReply;
  // A request is answered once; after it, and without one, the display has the null message to give.
  Bytes reply = mPending.value_or(kNullMessage);
  mPending.reset();
  if (TakeSimFault(mNoReply)) return;
  if (TakeSimFault(mNothingToSay)) {
    mFiller = kNothingToSay;
    return;
  }
  if (TakeSimFault(mWrongChecksum)) reply.back() ^= 0xFF;
  if (TakeSimFault(mGarbageCount)) mReadStream.assign(mGarbageBytes, kGarbage);
  mReadStream.insert(mReadStream.end(), reply.begin(), reply.end());
}

bool CSimDdcDisplay::WriteByte(uint8_t byte_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  if (mTransaction != ETRANSACTION_WRITE || mRequest.size() >= kMaxPayload + kRequestFrame) return false;
  mRequest.push_back(byte_I);
  return true;
}

uint8_t CSimDdcDisplay::ReadByte()
{
  std::lock_guard<std::mutex> guard(mLock);
  if (mTransaction != ETRANSACTION_READ || mReadPosition >= mReadStream.size()) return mFiller;
  return mReadStream[mReadPosition++];
}

void CSimDdcDisplay::Stop()
{
  std::lock_guard<std::mutex> guard(mLock);
  if (mTransaction == ETRANSACTION_WRITE) {
    mRequests.push_back(mRequest);
    mPending = Answer(mRequest);
  }
  mTransaction = ETRANSACTION_NONE;
}

std::optional<std::vector<uint8_t>> CSimDdcDisplay::Answer(const std::vector<uint8_t>& request_I) const
{
  if (!WellFormed(request_I)) return std::nullopt;
  const Bytes payload(request_I.begin() + 3, request_I.end() - 1);
  const auto offset = [&payload](size_t at_I) { return static_cast<uint16_t>(payload[at_I] << 8 | payload[at_I + 1]); };
  if (payload.size() == 2 && payload[0] == kVcpGet) {
    if (payload[1] == kDisplayInformation && mConfig.displayInformation) return DisplayInformation();
    return AnswerVcp(payload[1]);
  }
  if (payload.size() == 4 && payload[0] == kVcpGet && payload[1] == kDisplayInformation) {
    if (!mConfig.edidBlocks) return AnswerVcp(kDisplayInformation);
    if (offset(2) >= kEdidBlocks) return kNullMessage;
    const auto block = mEdid.begin() + static_cast<std::ptrdiff_t>(offset(2) * kEdidBlockSize);
    return Frame(Bytes(block, block + kEdidBlockSize));
  }
  if (payload.size() == 4 && payload[0] == kTableRead && payload[1] == kEdidTable && mConfig.edidTable) {
    return AnswerTable(mEdid, offset(2));
  }
  if (payload.size() == 4 && payload[0] == kTableRead && payload[1] == kCapabilities && mConfig.capabilitiesTable) {
    return AnswerTable(Bytes(mConfig.capabilities.begin(), mConfig.capabilities.end()), offset(2));
  }
  if (payload.size() == 3 && payload[0] == kCapabilities && mConfig.capabilitiesRequest) {
    return AnswerTable(Bytes(mConfig.capabilities.begin(), mConfig.capabilities.end()), offset(1));
  }
  return kNullMessage;
}

// A VCP reply: the firmware version as maximum (high 16 bits) and present value (low 16 bits), or the
// unsupported-code reply for any other code.
std::vector<uint8_t> CSimDdcDisplay::AnswerVcp(uint8_t code_I) const
{
  if (code_I != kFirmwareVersion || !mConfig.firmwareVersionVcp) {
    return Frame({kVcpReply, kVcpUnsupported, code_I, 0, 0, 0, 0, 0});
  }
  const std::optional<uint32_t> flashed = mConfig.flashedVersion ? mConfig.flashedVersion() : std::nullopt;
  const uint32_t version = flashed.value_or(mConfig.firmwareVersion);
  return Frame({kVcpReply, 0x00, kFirmwareVersion, 0x00, static_cast<uint8_t>(version >> 24),
                static_cast<uint8_t>(version >> 16), static_cast<uint8_t>(version >> 8), static_cast<uint8_t>(version)});
}

std::vector<uint8_t> CSimDdcDisplay::AnswerTable(const std::vector<uint8_t>& table_I, uint16_t offset_I) const
{
  Bytes payload{kTableReply, static_cast<uint8_t>(offset_I >> 8), static_cast<uint8_t>(offset_I)};
  if (offset_I < table_I.size()) {
    const size_t count = std::min(kTableChunk, table_I.size() - offset_I);
    payload.insert(payload.end(), table_I.begin() + offset_I, table_I.begin() + offset_I + static_cast<std::ptrdiff_t>(count));
  }
  return Frame(payload);
}

std::vector<uint8_t> CSimDdcDisplay::DisplayInformation() const
{
  Bytes payload(kDisplayInformationPayload, 0);
  payload[0] = kVcpReply;
  payload[2] = kDisplayInformation;
  PutText(payload, kModelAt, mConfig.model, false);
  PutText(payload, kSerialAt, mConfig.serial, false);
  return Frame(payload);
}

}  // namespace orv::sim
