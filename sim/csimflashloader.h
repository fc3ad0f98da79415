// The boot loader ("flash loader") of a simulated board: its command set in feature reports, its flash
// memory and its stored block checksums. It knows nothing of the transport: a board hands it the inner
// report of every set and lets it fill the inner report of every get.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orv::sim {

// One entry of the block table.
struct SSimLoaderBlock {
  uint32_t start = 0;
  uint32_t size = 0;
  // Bit 15: protected (never written); bits 0..14: the block's word size.
  uint16_t attributes = 0;
};

constexpr uint16_t kSimProtectedBlock = 0x8000;

struct SSimLoaderConfig {
  // Report numbering the loader speaks: 0 or 1.
  uint8_t protocol = 0;
  uint16_t readSize = 64;
  uint16_t wordSize = 4;
  uint16_t blockSize = 64;
  std::vector<SSimLoaderBlock> blocks;
  // When off, the checksum reports fail.
  bool checksumSupported = true;
  uint16_t cpuCount = 1;
  uint16_t currentCpu = 0;
  std::array<uint8_t, 34> loaderInfo{};
  uint8_t status = 0;
  // The flash address range; a size of 0 spans the blocks (from the lowest start to the highest end).
  uint32_t memoryBase = 0;
  uint64_t memorySize = 0;
  // How long the streaming loader (report 0xE4) stays busy after each start, data and end request.
  uint32_t busyMs = 20;
};

// The most blocks a description report can carry (every report length fits 16 bits).
constexpr size_t kSimMaxBlocks = 6553;
// count_I blocks of size_I bytes each, back to back from start_I.
std::vector<SSimLoaderBlock> MakeSimBlocks(uint32_t start_I, uint32_t size_I, uint32_t count_I, uint16_t attributes_I);

// The CRC byte of an Airoha flash-write frame: CRC-8 (polynomial 0x31, initial 0, most significant bit
// first, no final XOR), its bit order reversed.
uint8_t SimAirohaCrc(const uint8_t* data_I, size_t size_I);

// The magic word the loader stores when every stored checksum matches its block.
constexpr uint32_t kSimValidMagic = 0x4F52A55A;

// Sparse flash memory: pages that were never written read as erased (0xFF), so a large address range
// costs nothing until it is used.
class CSimFlashMemory {
 public:
  uint8_t Read(uint64_t address_I) const;
  // NOR programming: bits only go from 1 to 0.
  void Program(uint64_t address_I, uint8_t value_I);
  void Store(uint64_t address_I, uint8_t value_I);
  void Erase(uint64_t begin_I, uint64_t end_I);
  // Sum of the range read as little-endian 32-bit words; a last partial word is padded with 0xFF.
  uint32_t WordSum(uint64_t start_I, uint64_t size_I) const;

 private:
  static constexpr uint64_t kPageSize = 4096;
  std::vector<uint8_t>& Page(uint64_t address_I);

  std::map<uint64_t, std::vector<uint8_t>> mPages;
};

class CSimFlashLoader {
 public:
  // Empty when the configuration is usable, else the reason it is not.
  static std::string CheckConfig(const SSimLoaderConfig& config_I);
  // Every report id of the configured numbering with its length, the id included: what the loader's HID
  // descriptor declares. An id two commands share is declared at the longer one's length.
  static std::map<uint8_t, size_t> ReportLengths(const SSimLoaderConfig& config_I);

  // The flash starts erased; the ROM holds checksums that match it and the valid magic word.
  explicit CSimFlashLoader(const SSimLoaderConfig& config_I);

  // The board starts its loader: the working magic word and checksums are loaded from the ROM.
  void Enter();
  // A report the host sent; false fails the transfer.
  bool Set(const std::vector<uint8_t>& report_I);
  // Fills the report named by byte 0 (its length as given); false fails the transfer and leaves it as it was.
  bool Get(std::vector<uint8_t>& report_IO);
  // The host asked the loader to leave (either form of the exit report).
  bool ExitRequested() const { return mExitRequested; }

  // Faults. A stuck loader takes requests but its answers never stop showing busy.
  void SetStuckBusy(bool stuck_I) { mStuckBusy = stuck_I; }
  void SetCorruptChecksumBlock(std::optional<uint32_t> block_I) { mCorruptBlock = block_I; }
  // A weak cell: the byte programmed this many bytes from now (0: the next) is kept with one bit wrong, while
  // its write is acknowledged as usual. Empty: every byte is kept as written.
  void KeepWrongByte(std::optional<uint64_t> after_I);
  // Bytes programmed since the loader was made, by block writes and streams alike.
  uint64_t ProgrammedBytes() const { return mProgrammed; }

  // Factory programming: stores the bytes (no erase needed) and seals the ROM with matching checksums.
  // False when the range leaves the flash memory.
  bool Preload(uint32_t address_I, const std::vector<uint8_t>& bytes_I);
  std::vector<uint8_t> FlashBytes(uint32_t address_I, uint32_t count_I) const;
  uint32_t RomMagic() const { return mRomMagic; }
  const std::vector<uint32_t>& RomChecksums() const { return mRomChecksums; }
  uint32_t WorkingMagic() const { return mWorkingMagic; }

 private:
  enum EStream : uint8_t {
    ESTREAM_IDLE = 0,
    ESTREAM_RUNNING = 1,
    // A bad packet ended the run: data and end requests fail until the next start.
    ESTREAM_FAILED = 2,
  };

  // Sum of the block's little-endian 32-bit words: the checksum the loader computes.
  uint32_t BlockSum(size_t block_I) const;
  bool SetCommand(int command_I, const std::vector<uint8_t>& report_I);
  bool GetCommand(int command_I, std::vector<uint8_t>& answer_IO);
  bool WriteInBlock(uint32_t address_I, const uint8_t* data_I, size_t size_I);
  bool EraseBlock(uint32_t block_I);
  bool CalculateChecksum(uint32_t block_I);
  void WriteChecksumsToRom();
  void SealRom();
  bool InMemory(uint64_t begin_I, uint64_t end_I) const;
  bool TouchesProtected(uint64_t begin_I, uint64_t end_I) const;
  bool Busy() const;
  bool Stream(const std::vector<uint8_t>& report_I);
  bool StreamData(const std::vector<uint8_t>& report_I);
  bool StreamIntelHex(const std::vector<uint8_t>& report_I);
  bool StreamAiroha(const std::vector<uint8_t>& report_I);
  bool StreamWrite(uint32_t address_I, const uint8_t* data_I, size_t size_I);
  // The value the flash keeps for the next programmed byte.
  uint8_t Kept(uint8_t value_I);

  SSimLoaderConfig mConfig;
  uint64_t mMemoryBegin = 0;
  uint64_t mMemoryEnd = 0;
  CSimFlashMemory mFlash;
  uint32_t mRomMagic = kSimValidMagic;
  std::vector<uint32_t> mRomChecksums;
  uint32_t mWorkingMagic = 0;
  std::vector<uint32_t> mWorkingChecksums;
  uint32_t mReadPointer = 0;
  uint16_t mCurrentCpu = 0;
  bool mExitRequested = false;
  bool mStuckBusy = false;
  std::optional<uint32_t> mCorruptBlock;
  uint64_t mProgrammed = 0;
  std::optional<uint64_t> mWrongByteAt;

  EStream mStream = ESTREAM_IDLE;
  uint8_t mStreamTarget = 0;
  uint8_t mStreamCommand = 0;
  uint8_t mNextSequence = 1;
  std::optional<uint32_t> mNextAddress;
  uint64_t mBusyUntilMs = 0;
};

}  // namespace orv::sim
