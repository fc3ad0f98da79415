// The link to a display's scaler: DDC/CI queries (EDID, model name, serial number, capabilities, firmware
// version) over whatever carries them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/stringutilities.h"

namespace orv {

// A device id: USB vendor id in the high 16 bits, product id in the low 16 bits.
constexpr uint32_t kAnyDisplay = 0xFFFFFFFF;

struct SSerialPortSettings {
  uint32_t baudRate = 0;
};

class Connector {
 public:
  virtual ~Connector();

  virtual bool IsAvailable() = 0;
  virtual int32_t GetConnectionKind() = 0;
  virtual bool ConfigureSerialPort(const SSerialPortSettings& settings_I) = 0;
  virtual bool Open(uint32_t port_I) = 0;
  // Forgets the EDID and the not-opened flag; a reopened connector reads afresh.
  virtual bool Close();
  virtual bool IsOpen() = 0;
  // One DDC/CI request and its reply (header, payload and checksum); empty on failure.
  virtual std::vector<uint8_t> Transfer(const std::vector<uint8_t>& toSend_I, double delaySeconds_I,
                                        size_t expectedSize_I, int32_t retries_I) = 0;
  virtual std::string ReadCapabilitiesString() = 0;
  // From the EDID's display name descriptor; empty when there is none.
  virtual std::string GetModelName();
  // From the EDID's serial number descriptor, in upper case; empty when there is none.
  virtual std::string GetSerialNumber(uint32_t deviceId_I);
  virtual PackedVersion ReadFWVersion() = 0;
  virtual std::vector<uint8_t> ReadEDID(uint32_t deviceId_I) = 0;

  // Set when the last open found the bridge but could not open it.
  bool DeviceNotOpened() const { return mNotOpened; }

 protected:
  // The EDID text of the descriptor with this tag: its 13-byte field up to a zero byte, trailing white space
  // removed; empty when the EDID has no such descriptor.
  static std::string DescriptorText(const std::vector<uint8_t>& edid_I, uint8_t tag_I);
  // A fixed-size text field: up to a zero byte, trailing white space removed.
  static std::string FieldText(const uint8_t* field_I, size_t size_I);
  // The parenthesised capabilities string at the start of capsStr_I.
  static std::string CapabilitiesString(const std::string& capsStr_I);

  std::vector<uint8_t> mEdid;
  bool mNotOpened = false;
};

}  // namespace orv
