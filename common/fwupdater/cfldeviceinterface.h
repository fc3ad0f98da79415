// One board's flash-loader interface: its path and identity, its boot loader's description, the flash
// vector, and every operation that switches the board into and out of its loader and programs its flash.
// Transports differ only in the few pure operations at the top.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/fwupdater/cbusypoll.h"
#include "common/fwupdater/csrec.h"
#include "common/fwupdater/flprotocol.h"

namespace orv {

class CInterfaceNotifier;

using Report = std::vector<uint8_t>;

// The loader-parameters answer: five little-endian 16-bit fields after one unused one.
struct LoaderParameters {
  uint16_t reserved0 = 0;
  uint16_t readSize = 0;
  uint16_t wordSize = 0;
  uint16_t blockSize = 0;
  uint16_t blocks = 0;
  uint16_t reserved10 = 0;
};

struct LoaderBlock {
  uint32_t start = 0;
  uint32_t size = 0;
  // Bit 15: protected (never written); bits 0..14: the block's word size.
  uint16_t attributes = 0;
};

struct FlashBlock {
  uint32_t start = 0;
  uint32_t size = 0;
  uint32_t readSize = 0;
  uint32_t wordSize = 0;
  uint32_t blockSize = 0;
  // The range from the first to the last word holding a byte other than 0xFF.
  uint32_t dataOffset = 0;
  uint32_t dataLength = 0;
  bool isProtected = false;
  // Empty (no image bytes for this block) or exactly `size` bytes, 0xFF where the image has none.
  std::vector<uint8_t> data;
};

struct FlashVector {
  uint32_t totalSize = 0;
  std::vector<FlashBlock> flash;
};

constexpr size_t kMaxLoaderBlocks = 1024;
// The most flash a board's loader may describe, all blocks together: far more than any tablet's controller
// holds, and little enough that the image laid out over it stays a modest allocation.
constexpr uint64_t kMaxDescribedFlash = 16u * 1024 * 1024;
constexpr uint16_t kProtectedBlock = 0x8000;
// Under protocol type 1 the loader checks each block against a 4096-byte image.
constexpr uint32_t kProtocol1BlockImage = 4096;

// The Airoha flash-write frame's CRC byte over the given data.
uint8_t AirohaCrc(const uint8_t* data_I, size_t length_I);

class CFLDeviceInterface {
 public:
  CFLDeviceInterface(std::string path_I, int32_t interfaceType_I);
  virtual ~CFLDeviceInterface() = default;
  CFLDeviceInterface(const CFLDeviceInterface&) = delete;
  CFLDeviceInterface& operator=(const CFLDeviceInterface&) = delete;

  // Transport and board-kind operations.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  virtual bool QueryAttributes() = 0;
  virtual std::string GetParentDeviceId(uint8_t levels_I) = 0;
  virtual bool SwitchToBLMode() = 0;
  virtual bool SwitchFromBLMode(bool save_I) = 0;
  virtual bool Ping() = 0;
  virtual bool SendVendorCommand() = 0;
  virtual bool IsLoader() { return mLoader; }
  // One set-report or get-report transfer; a get overwrites the buffer with the answer, id included.
  virtual bool WriteReport(Report& buffer_IO) = 0;
  virtual bool ReadReport(Report& buffer_IO) = 0;

  void SetNotifier(CInterfaceNotifier* notifier_I) { mNotifier = notifier_I; }

  void SetChecksums(uint32_t before_I, uint32_t after_I, uint32_t image_I);
  bool GetLoaderInfoValue(uint16_t& value_O);
  void SetPath(const std::string& path_I) { mPath = path_I; }
  void SetPath(uint32_t number_I) { mPath = std::to_string(number_I); }
  void SetLoaderMode(bool loader_I) { mLoader = loader_I; }
  void SetDataSourceFormat(int32_t format_I) { mDataSourceFormat = format_I; }
  std::string GetPath() const { return mPath; }
  // Throws std::invalid_argument or std::out_of_range for a path that is not a decimal number.
  int GetPathNumber() const { return std::stoi(mPath); }
  bool IsOpen() const { return mOpen; }
  uint16_t GetVendorId() const { return static_cast<uint16_t>(mVendorId); }
  uint16_t GetProductId() const { return static_cast<uint16_t>(mProductId); }
  uint16_t GetUsage() const { return static_cast<uint16_t>(mUsage); }
  uint16_t GetUsagePage() const { return static_cast<uint16_t>(mUsagePage); }
  uint32_t GetVersion() const { return mVersion; }
  uint32_t GetChecksumBefore() const { return mChecksumBefore; }
  uint32_t GetChecksumAfter() const { return mChecksumAfter; }
  uint32_t GetChecksumImage() const { return mChecksumImage; }
  int32_t GetInterfaceType() const { return mInterfaceType; }
  LoaderParameters GetLoaderParameters() const { return mLoaderParameters; }
  std::array<LoaderBlock, kMaxLoaderBlocks> GetLoaderDescription() const { return mLoaderDescription; }
  FlashVector GetFlashVector() const { return FlashVector{mTotalSize, mFlash}; }
  // The CPU an image format was built for: 0 pen, 1 touch, 2 bluetooth, 99 none in particular.
  uint32_t GetDataSourceCpu() const;
  int32_t GetDataSourceFormat() const { return mDataSourceFormat; }
  bool IsChecksumSupported() const { return mChecksumSupported; }

  bool InitializeDataForProgramming(const std::vector<SRecSegment>& segments_I);
  bool ProgramBoard();
  bool SelectCpu();
  bool ReadLoaderParameters();
  bool ReadLoaderDescription();
  static void SetProtocolType(int32_t type_I) { CFLProtocol::SetProtocolType(type_I); }

  // S-record programming.
  bool InitializeFlashVector();
  bool LoadSRecData(const std::vector<SRecSegment>& segments_I);
  bool CalculateChecksums();
  bool InitializeFlash();
  bool WriteFlash();
  bool ProgramBlock(size_t index_I);
  bool FinalizeFlash();
  bool ProgramBoardSRec();
  bool IsChecksumBlock(size_t index_I) const;

  // Streaming programming (protocol type 1).
  void SetIntelHexData(std::shared_ptr<CIntelHex> data_I) { mIntelHexData = std::move(data_I); }
  void SetAiroFlashData(std::shared_ptr<CBinaryAiroFlash> data_I) { mAiroFlashData = std::move(data_I); }
  std::shared_ptr<CIntelHex> GetIntelHexData() const { return mIntelHexData; }
  std::shared_ptr<CBinaryAiroFlash> GetAiroFlashData() const { return mAiroFlashData; }
  bool ProgramBoardIntelHex();
  bool ProgramBoardAiroHaBinary();

  std::string GetDescription() const;

  // Flash-loader commands.
  bool ReadFlash(std::vector<uint8_t>& output_O, int32_t count_I);
  bool WriteFlashBlock(const std::vector<uint8_t>& data_I, uint32_t address_I);
  bool EraseBlock(uint32_t index_I);
  bool WriteValue(uint32_t value_I);
  bool ReadValue(uint32_t& value_O);
  bool ExitLoader(bool save_I);
  bool WriteFlashWord(const std::vector<uint8_t>& data_I, uint32_t address_I);
  bool QueryLoaderParameters(LoaderParameters& parameters_O);
  bool QueryLoaderDescription(std::array<LoaderBlock, kMaxLoaderBlocks>& blocks_O);
  // The magic word followed by one checksum per block.
  bool QueryChecksumInfo(std::vector<uint32_t>& words_O);
  bool SetBlockChecksum(uint16_t index_I, uint32_t checksum_I);
  bool CalculateBlockChecksum(uint16_t index_I);
  bool SetMagicWord(uint32_t value_I);
  bool WriteChecksumsToROM();
  bool QueryLoaderInfo(std::array<uint8_t, 34>& info_O);
  bool QueryStatus(uint8_t& status_O);
  bool SetCurrentCpu(uint16_t cpu_I);
  bool GetCurrentCpu(uint16_t& cpu_O);
  bool GetCpuCount(uint16_t& count_O);

  // Guarded transfers: retries with growing pauses and one reopen.
  bool SafeRead(Report& buffer_IO);
  bool SafeWrite(Report& buffer_IO);
  void LogCommand(const std::vector<uint8_t>& bytes_I);
  static uint32_t SumBytes(const std::vector<uint8_t>& bytes_I);

 protected:
  void Info(const std::string& message_I) const;
  void Error(const std::string& message_I) const;
  void Progress(int32_t value_I) const;
  bool IsLoaderReady();
  // A zero-filled report of the given length with the role's id in byte 0.
  static Report NewReport(eBL_HID_REP role_I, size_t length_I);
  // Eight upper-case hexadecimal digits, as the programming log lines show addresses and sums.
  static std::string Hex8(uint32_t value_I);
  // The integer part of done / total in percent; 1 instead of 0, so progress shows as started.
  static int32_t ProgressPercent(uint64_t done_I, uint64_t total_I);
  bool SendCommand(Report& report_IO);
  bool ReadAnswer(Report& report_IO);
  bool SendChecksumCommand(Report& report_IO);

  std::string mPath;
  bool mOpen = false;
  bool mLoader = false;
  bool mChecksumSupported = false;
  uint32_t mVendorId = 0;
  uint32_t mProductId = 0;
  uint32_t mUsage = 0;
  uint32_t mUsagePage = 0;
  uint32_t mVersion = 0;
  uint32_t mChecksumBefore = 0;
  uint32_t mChecksumAfter = 0;
  uint32_t mChecksumImage = 0;
  int32_t mInterfaceType;
  int32_t mDataSourceFormat = EDATASOURCE_NONE;
  LoaderParameters mLoaderParameters;
  std::array<LoaderBlock, kMaxLoaderBlocks> mLoaderDescription{};
  uint32_t mTotalSize = 0;
  std::vector<FlashBlock> mFlash;
  std::shared_ptr<CIntelHex> mIntelHexData;
  std::shared_ptr<CBinaryAiroFlash> mAiroFlashData;
  CInterfaceNotifier* mNotifier = nullptr;

 private:
  using Transfer = bool (CFLDeviceInterface::*)(Report&);
  bool GuardedTransfer(std::atomic<bool>& active_IO, const char* name_I, const char* retryText_I,
                       const char* failedText_I, Transfer transfer_I, Report& buffer_IO);
  // The description as a whole: block sizes, their sum and their ends within the 32-bit address space.
  bool CheckLoaderDescription();
  // The word geometry of a block the flow scans and writes.
  bool CheckBlockGeometry(size_t index_I);
  uint32_t ImageBlockChecksum(const FlashBlock& block_I) const;
  uint32_t Protocol1ExpectedChecksum(const FlashBlock& block_I) const;
  // written_I: the bytes of the block the image wrote, from and to; the rest holds the erased fill.
  void FindDataRange(FlashBlock& block_IO, std::pair<uint64_t, uint64_t> written_I);
  bool ProgramRange(size_t index_I);
  bool VerifyProtocol1Checksum(size_t index_I, uint32_t expected_I);
  // The streaming report: one 512-byte buffer per run.
  bool SendProgrammingRequest(Report& buffer_IO, int resends_I);
  bool WaitWhileBusy(Report& buffer_IO);

  // The streaming loader's busy flag: up to ten seconds a request (as 101 polls 100 ms apart took), polled
  // as soon as the loader's last request was done.
  CBusyPoll mProgrammingBusy{10100, 100};
};

}  // namespace orv
