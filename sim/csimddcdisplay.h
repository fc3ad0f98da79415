// A display that answers DDC/CI at 0x6E (write) / 0x6F (read): display information, the EDID (by 16-byte
// blocks or by table read), the capabilities string (table read or capabilities request) and the firmware
// version (VCP 0xC9). A request is answered once, by the next read; a read with nothing pending gets the
// null message. Faults make it refuse its address or spoil its replies.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/csimi2cbus.h"

namespace orv::sim {

struct SSimDdcDisplayConfig {
  // Printable ASCII, at most 13 characters each (an EDID descriptor's text).
  std::string model = "Orvel PD16";
  std::string serial = "0ORV1234567";
  std::string capabilities =
      "(prot(monitor)type(lcd)model(PD16)cmds(01 02 03 0C E3 F3)vcp(02 10 12 C9)mccs_ver(2.2))";
  uint32_t firmwareVersion = 0x00010203;
  // The answers it gives. Without one, a VCP request (display information, EDID blocks, firmware version)
  // gets the unsupported-code reply and a table read or capabilities request the null message.
  bool displayInformation = true;
  bool edidBlocks = true;
  bool edidTable = true;
  bool capabilitiesTable = true;
  bool capabilitiesRequest = true;
  bool firmwareVersionVcp = true;
  // The version the firmware in the scaler's flash names for itself, when there is such a firmware: the display
  // reports it instead of firmwareVersion, as a display runs what it was flashed with.
  std::function<std::optional<uint32_t>()> flashedVersion = nullptr;
};

class CSimDdcDisplay : public CSimI2CSlave {
 public:
  // Empty, with the reason, when the configuration is not usable.
  static std::shared_ptr<CSimDdcDisplay> Create(const SSimDdcDisplayConfig& config_I, std::string& error_O);

  const SSimDdcDisplayConfig& Config() const { return mConfig; }
  // The display's 256-byte EDID (base block and an empty CTA extension).
  const std::vector<uint8_t>& Edid() const { return mEdid; }
  // Every request written, from its address byte 0x6E to its checksum, well-formed or not.
  std::vector<std::vector<uint8_t>> Requests();

  // Faults, each for the next count_I times it applies (kSimAlways: for ever; 0: off).
  // Address bytes (write or read) are not acknowledged.
  void SetNoAcknowledge(uint64_t count_I);
  // Replies come after bytes_I garbage bytes (0xA5) the host must skip.
  void SetGarbageBytes(size_t bytes_I, uint64_t count_I = kSimAlways);
  // Replies carry a wrong checksum.
  void SetWrongChecksum(uint64_t count_I);
  // Reads answer 0x00: nothing to say.
  void SetNothingToSay(uint64_t count_I);
  // Reads answer 0xFF: no reply.
  void SetNoReply(uint64_t count_I);

  bool Address(uint8_t addressByte_I) override;
  bool WriteByte(uint8_t byte_I) override;
  uint8_t ReadByte() override;
  void Stop() override;

 private:
  enum ETransaction : uint8_t {
    ETRANSACTION_NONE,
    ETRANSACTION_WRITE,
    ETRANSACTION_READ,
  };

  explicit CSimDdcDisplay(const SSimDdcDisplayConfig& config_I);

  // The reply to a request; empty for a malformed one.
  std::optional<std::vector<uint8_t>> Answer(const std::vector<uint8_t>& request_I) const;
  std::vector<uint8_t> AnswerVcp(uint8_t code_I) const;
  std::vector<uint8_t> AnswerTable(const std::vector<uint8_t>& table_I, uint16_t offset_I) const;
  std::vector<uint8_t> DisplayInformation() const;
  void StartRead();

  const SSimDdcDisplayConfig mConfig;
  const std::vector<uint8_t> mEdid;
  std::mutex mLock;
  ETransaction mTransaction = ETRANSACTION_NONE;
  std::vector<uint8_t> mRequest;
  std::optional<std::vector<uint8_t>> mPending;
  std::vector<uint8_t> mReadStream;
  size_t mReadPosition = 0;
  // What a read gives past the end of its stream.
  uint8_t mFiller = 0xFF;
  std::vector<std::vector<uint8_t>> mRequests;
  uint64_t mNoAcknowledge = 0;
  size_t mGarbageBytes = 0;
  uint64_t mGarbageCount = 0;
  uint64_t mWrongChecksum = 0;
  uint64_t mNothingToSay = 0;
  uint64_t mNoReply = 0;
};

}  // namespace orv::sim
