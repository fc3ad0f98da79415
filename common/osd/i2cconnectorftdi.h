// DDC/CI to a display's scaler over an FTDI USB-to-I2C bridge in MPSSE mode.
//
// The bridge primitives make I2C start and stop conditions and byte transfers from MPSSE pin and clock
// commands (ADBUS bit 0 = SCL, bit 1 = SDA out, bit 2 = SDA in); the scaler's ISP programming uses them
// directly, the DDC/CI queries frame requests and check replies on top of them.
#pragma once

#include <memory>

#include "common/osd/cd2xx.h"
#include "common/osd/connector.h"

namespace orv {

// I2C steps queued into one bridge write and answered by one read. The bus sees exactly the traffic of the
// single-step primitives, at two round trips for the lot instead of up to three a byte.
class CI2CBatch {
 public:
  void Start();
  void Stop();
  // Answers the acknowledge bit in bit 0 (1: not acknowledged).
  void Write(uint8_t byte_I);
  // The bytes one after another, as many single writes.
  void Write(const uint8_t* bytes_I, size_t count_I);
  // Answers the byte read; acknowledge_I asks for more.
  void Read(bool acknowledge_I);

  // Empty again, keeping the room: a block's programming reuses one batch for every page.
  void Clear();

  const std::vector<uint8_t>& Commands() const { return mCommands; }
  size_t Answers() const { return mAnswers; }

 private:
  std::vector<uint8_t> mCommands;
  size_t mAnswers = 0;
};

class CI2CConnectorFTDI : public Connector {
 public:
  // Works through the process-wide D2XX binding unless given another.
  explicit CI2CConnectorFTDI(CD2XX& d2xx_I = D2XX()) : mD2XX(d2xx_I) {}
  ~CI2CConnectorFTDI() override;

  bool IsAvailable() override { return true; }
  int32_t GetConnectionKind() override { return 1; }
  bool ConfigureSerialPort(const SSerialPortSettings& settings_I) override;
  bool Open(uint32_t port_I) override;
  bool Close() override;
  bool IsOpen() override { return mHandle != nullptr; }
  std::vector<uint8_t> Transfer(const std::vector<uint8_t>& toSend_I, double delaySeconds_I, size_t expectedSize_I,
                                int32_t retries_I) override;
  std::string ReadCapabilitiesString() override;
  std::string GetModelName() override;
  std::string GetSerialNumber(uint32_t deviceId_I) override;
  PackedVersion ReadFWVersion() override;
  std::vector<uint8_t> ReadEDID(uint32_t deviceId_I) override;

  // FTDI devices attached (0 when the library cannot tell).
  uint32_t DeviceCount();
  // The bridge open sequence; FT_OK once the MPSSE is configured for I2C at 100 kHz.
  FT_STATUS OpenBridge(uint32_t port_I);
  void CloseHandle();

  // I2C primitives: each is one bridge write (and at most one read); FT_OK on success, FT_IO_ERROR for a short
  // transfer or a missing acknowledge.
  FT_STATUS I2CStart();
  FT_STATUS I2CStop();
  // settle_I waits 20 ms after the byte, for displays that need the time between DDC/CI bytes.
  FT_STATUS I2CWriteByte(uint8_t byte_I, bool settle_I);
  FT_STATUS I2CReadByte(bool acknowledge_I, uint8_t& byte_O);
  // One bridge write of the batch and one read of its answers, in order. Answers still owed by queued batches
  // are read first, in the same read, and dropped. After a short read the answers still to come are dropped.
  FT_STATUS RunBatch(const CI2CBatch& batch_I, std::vector<uint8_t>& answers_O);
  // One bridge write of the batch and no read: for steps whose answers are not looked at. The bus sees the
  // batch at once; its answers wait in the bridge until the next RunBatch or FlushQueued collects them.
  FT_STATUS QueueBatch(const CI2CBatch& batch_I);
  // Collects the answers queued batches still owe; nothing to do when none are owed.
  FT_STATUS FlushQueued();

  FT_STATUS WriteCommands(const std::vector<uint8_t>& commands_I);
  FT_STATUS ReadBytes(size_t count_I, std::vector<uint8_t>& bytes_O);
  // Bytes waiting in the bridge, or -1 when it cannot tell.
  int64_t QueueLength();
  FT_STATUS DrainInput(std::vector<uint8_t>& bytes_O);
  // The bad-command echo: 0xAA is answered with FA AA.
  FT_STATUS SyncMpsse(bool check_I);

 private:
  FT_STATUS ResetWithRetries();
  void WriteExpectingEmptyQueue(const std::vector<uint8_t>& commands_I);
  void Drain();
  // After a short read: drops the answers still on their way, up to a bad-command echo asked for behind them;
  // closes the bridge when the echo does not come.
  void SkipLateAnswers();
  // Reads bytes until a reply starts; its first two bytes, the null message, or empty.
  std::vector<uint8_t> ReadReplyHeader(uint8_t first_I);

  std::vector<uint8_t> ReadDisplayInformation();
  // A request repeated (a bounded number of times) while its reply is shorter than a reply header.
  std::vector<uint8_t> TransferUntilWhole(const std::vector<uint8_t>& request_I, double delaySeconds_I,
                                          size_t expectedSize_I);
  std::vector<uint8_t> ReadEdidByBlocks();
  std::vector<uint8_t> ReadEdidByTable(bool warnOnEmpty_I);
  // A table read in chunks (EDID, capabilities): each request names the offset of the bytes collected so far.
  std::vector<uint8_t> ReadTable(const std::vector<uint8_t>& prefix_I, const char* checksumAssertion_I,
                                 bool retryEmptyOnce_I);
  const std::vector<uint8_t>& RawDisplayInformation();
  std::string DisplayInformationText(size_t offset_I);

  CD2XX& mD2XX;
  FT_HANDLE mHandle = nullptr;
  // Answer bytes of queued batches not read yet.
  size_t mOwedAnswers = 0;
  std::vector<uint8_t> mRawDisplayInformation;
};

}  // namespace orv
