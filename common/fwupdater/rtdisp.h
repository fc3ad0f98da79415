// In-system programming of the display scaler's SPI serial flash through the scaler's MCU registers, over raw
// I2C on the FTDI bridge (ISP slave 0x94 write, 0x95 read).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/fwupdater/cinterfacenotifier.h"
#include "common/osd/i2cconnectorftdi.h"

namespace orv {

constexpr uint32_t FLASH_UINT_SIZE = 65536;

class CScalarISP {
 public:
  CScalarISP(std::shared_ptr<CI2CConnectorFTDI> connector_I, CInterfaceNotifier* log_I, bool quantaScalarBoard_I);

  // Splits the image into 64 KiB blocks. An image that is empty, not a whole number of blocks, or larger than
  // the 128 blocks the flow can address is refused (reported, and the data stays unloaded).
  void LoadData(const std::vector<uint8_t>& data_I);
  // Why an image of this size cannot be programmed; empty when it can.
  static std::string ImageProblem(size_t size_I);
  // A connector, a log sink and loaded data.
  bool IsReady() const;

  // Goes out at once, with any register writes still waiting.
  FT_STATUS WriteMCUReg(uint8_t register_I, uint8_t value_I);
  // 0 when the bridge fails or the scaler does not acknowledge.
  uint8_t ReadMCUReg(uint8_t register_I);
  // Polls until a read gives (register & mask) == (value & mask) (a failed read never does): at least tries_I
  // reads, and for at least tries_I * 5 ms, so that a fast bridge cannot end a wait before a real flash has
  // finished.
  bool WaitBitChange(uint8_t register_I, uint8_t mask_I, uint8_t value_I, uint32_t tries_I);
  // The scaler's CRC of a flash range; empty when it did not finish or could not be read.
  std::optional<uint8_t> ReadCRC(uint32_t start_I, uint32_t length_I);
  bool BlockErase(uint8_t block_I);
  bool EnableSoftwareFlashWriteProtect(bool enable_I);
  // This and SetDefaultReg end in register writes, which wait for the next operation's read (the flow always
  // has one) so that they share its bridge round trip.
  void DisableHardwareFlashWriteProtect();
  bool QuantaCheckFlash();
  void SetDefaultReg();
  bool SerialFlashWriteCode(uint8_t block_I);
  // CRC-8, polynomial 0x07, initial value 0, most significant bit first, no reflection, no final XOR.
  static uint8_t CalcByteCRC(const uint8_t* bytes_I, size_t length_I);
  bool SerialFlashISPFlow();

 private:
  // One condition of a wait: (register & mask) == (value & mask) within tries reads.
  struct SBitWait {
    uint8_t mask;
    uint8_t value;
    uint32_t tries;
  };

  void Info(const std::string& message_I);
  void Error(const std::string& message_I);
  std::optional<uint8_t> ReadRegister(uint8_t register_I);
  // Reads of one register appended to the pending writes and run in one bridge write and one read; a read that
  // failed is empty.
  std::vector<std::optional<uint8_t>> ReadRegisterTimes(uint8_t register_I, uint32_t count_I);
  // Register writes join the pending batch: they reach the bus with the next read or Send.
  void WriteRegisters(std::initializer_list<std::pair<uint8_t, uint8_t>> writes_I);
  void AddRegisterWrite(uint8_t register_I, uint8_t value_I);
  // Puts the pending writes on the bus now, without waiting for their acknowledges.
  void Send();
  // The waits one after the other on one register, each from the reads left over by the one before; the reads
  // go readsPerPoll_I to a bridge round trip.
  bool WaitBits(uint8_t register_I, std::initializer_list<SBitWait> waits_I, uint32_t readsPerPoll_I);
  bool WaitInstruction();
  bool WaitBit(uint8_t register_I, const SBitWait& wait_I, uint32_t readsPerPoll_I,
               std::deque<std::optional<uint8_t>>& reads_IO);
  bool EnterIsp();
  bool ProgramBlock(uint8_t block_I);
  void AddPage(const uint8_t* bytes_I, size_t size_I);
  int32_t ProgressBefore(size_t block_I) const;
  std::optional<uint8_t> BlockCRC(uint8_t block_I) { return ReadCRC(uint32_t{block_I} << 16, FLASH_UINT_SIZE); }
  bool RunFlow();

  std::shared_ptr<CI2CConnectorFTDI> mConnector;
  CInterfaceNotifier* mLog;
  bool mQuantaScalarBoard;
  std::vector<std::vector<uint8_t>> mBlocks;
  bool mDataLoaded = false;
  CI2CBatch mPending;
};

}  // namespace orv
