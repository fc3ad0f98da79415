#include "sim/csimflashloader.h"

#include <algorithm>

#include "common/cclock.h"

namespace orv::sim {
namespace {

enum ECommand : int {
  ECOMMAND_READ_FLASH,
  ECOMMAND_WRITE_FLASH_BLOCK,
  ECOMMAND_ERASE_BLOCK,
  ECOMMAND_WRITE_VALUE,
  ECOMMAND_READ_VALUE,
  ECOMMAND_EXIT_LOADER,
  ECOMMAND_EXIT_LOADER_SHORT,
  ECOMMAND_WRITE_FLASH_WORD,
  ECOMMAND_QUERY_PARAMETERS,
  ECOMMAND_QUERY_DESCRIPTION,
  ECOMMAND_QUERY_CHECKSUM_INFO,
  ECOMMAND_SET_BLOCK_CHECKSUM,
  ECOMMAND_CALCULATE_BLOCK_CHECKSUM,
  ECOMMAND_SET_MAGIC_WORD,
  ECOMMAND_WRITE_CHECKSUMS_TO_ROM,
  ECOMMAND_QUERY_LOADER_INFO,
  ECOMMAND_QUERY_STATUS,
  ECOMMAND_SET_CURRENT_CPU,
  ECOMMAND_GET_CURRENT_CPU,
  ECOMMAND_GET_CPU_COUNT,
  ECOMMAND_PROGRAMMING,
};

enum EDirection : uint8_t {
  EDIRECTION_SET = 1,
  EDIRECTION_GET = 2,
  EDIRECTION_BOTH = 3,
};

// The report id of a command under numbering 0 and under numbering 1; -1 where the numbering lacks it.
struct SCommandReport {
  ECommand command;
  int16_t id[2];
  EDirection direction;
};

constexpr SCommandReport kReports[] = {
    {ECOMMAND_READ_FLASH, {0x10, 0xD1}, EDIRECTION_GET},
    {ECOMMAND_WRITE_FLASH_BLOCK, {0x11, 0xD2}, EDIRECTION_SET},
    {ECOMMAND_ERASE_BLOCK, {0x12, 0xD3}, EDIRECTION_SET},
    {ECOMMAND_WRITE_VALUE, {0x13, 0xD4}, EDIRECTION_SET},
    {ECOMMAND_READ_VALUE, {0x14, 0xD5}, EDIRECTION_GET},
    {ECOMMAND_EXIT_LOADER, {0x15, 0xD6}, EDIRECTION_SET},
    {ECOMMAND_EXIT_LOADER_SHORT, {0x15, 0xCD}, EDIRECTION_SET},
    {ECOMMAND_WRITE_FLASH_WORD, {0x16, 0xD7}, EDIRECTION_SET},
    {ECOMMAND_QUERY_PARAMETERS, {0x17, 0xD8}, EDIRECTION_GET},
    {ECOMMAND_QUERY_DESCRIPTION, {0x18, 0xD9}, EDIRECTION_GET},
    {ECOMMAND_QUERY_CHECKSUM_INFO, {0x19, 0xDA}, EDIRECTION_GET},
    {ECOMMAND_SET_BLOCK_CHECKSUM, {0x1A, 0xDB}, EDIRECTION_SET},
    {ECOMMAND_CALCULATE_BLOCK_CHECKSUM, {0x1B, 0xDC}, EDIRECTION_SET},
    {ECOMMAND_SET_MAGIC_WORD, {0x1C, 0xDD}, EDIRECTION_SET},
    {ECOMMAND_WRITE_CHECKSUMS_TO_ROM, {0x1D, 0xDE}, EDIRECTION_SET},
    {ECOMMAND_QUERY_LOADER_INFO, {0x1E, 0xDF}, EDIRECTION_GET},
    {ECOMMAND_QUERY_STATUS, {0x1F, 0x1F}, EDIRECTION_GET},
    {ECOMMAND_SET_CURRENT_CPU, {0x20, 0xE1}, EDIRECTION_SET},
    {ECOMMAND_GET_CURRENT_CPU, {0x21, 0xE2}, EDIRECTION_GET},
    {ECOMMAND_GET_CPU_COUNT, {0x22, 0xE3}, EDIRECTION_GET},
    {ECOMMAND_PROGRAMMING, {-1, 0xE4}, EDIRECTION_BOTH},
};

constexpr uint8_t kErased = 0xFF;
constexpr uint64_t kAddressSpace = 0x100000000;
// Every report must fit the 16-bit length field of the HID-router wrapper.
constexpr size_t kMaxReportLength = 0xFFFF;
constexpr size_t kMaxBlocks = kSimMaxBlocks;
static_assert(kSimMaxBlocks == (kMaxReportLength - 1) / 10);
// Bytes ahead of the data in the read, block and word reports: the id and a 32-bit address.
constexpr size_t kDataHeader = 5;
// Flipped in a checksum that the corruption fault spoils.
constexpr uint32_t kCorruptionBit = 0x100;

constexpr size_t kProgrammingLength = 512;
constexpr uint8_t kTargetIntelHex = 0;
constexpr uint8_t kTargetAiroha = 1;
constexpr uint8_t kStreamStart = 1;
constexpr uint8_t kStreamData = 2;
constexpr uint8_t kStreamEnd = 3;
constexpr size_t kIntelHexPacket = 128;
constexpr uint8_t kIntelHexMarker = 0x10;
constexpr size_t kAirohaFrameAt = 3;
constexpr uint8_t kAirohaFrameHead[] = {0x02, 0x00, 0x0F, 0x06, 0x01, 0x08, 0x01};
constexpr size_t kAirohaChunk = 256;

uint32_t Le32(const std::vector<uint8_t>& bytes_I, size_t at_I)
{
  return bytes_I[at_I] | bytes_I[at_I + 1] << 8 | bytes_I[at_I + 2] << 16 |
         static_cast<uint32_t>(bytes_I[at_I + 3]) << 24;
}

uint16_t Le16(const std::vector<uint8_t>& bytes_I, size_t at_I)
{
  return static_cast<uint16_t>(bytes_I[at_I] | bytes_I[at_I + 1] << 8);
}

void PutLe32(std::vector<uint8_t>& bytes_IO, size_t at_I, uint32_t value_I)
{
  for (size_t i = 0; i < 4; ++i) bytes_IO[at_I + i] = static_cast<uint8_t>(value_I >> (8 * i));
}

void PutLe16(std::vector<uint8_t>& bytes_IO, size_t at_I, uint16_t value_I)
{
  bytes_IO[at_I] = static_cast<uint8_t>(value_I);
  bytes_IO[at_I + 1] = static_cast<uint8_t>(value_I >> 8);
}

size_t ReportLength(ECommand command_I, const SSimLoaderConfig& config_I)
{
  switch (command_I) {
    case ECOMMAND_READ_FLASH: return config_I.readSize + kDataHeader;
    case ECOMMAND_WRITE_FLASH_BLOCK: return config_I.blockSize + kDataHeader;
    case ECOMMAND_WRITE_FLASH_WORD: return config_I.wordSize + kDataHeader;
    case ECOMMAND_QUERY_PARAMETERS: return 13;
    case ECOMMAND_QUERY_DESCRIPTION: return config_I.blocks.size() * 10 + 1;
    case ECOMMAND_QUERY_CHECKSUM_INFO: return config_I.blocks.size() * 4 + 5;
    case ECOMMAND_SET_BLOCK_CHECKSUM: return 7;
    case ECOMMAND_QUERY_LOADER_INFO: return 35;
    case ECOMMAND_QUERY_STATUS: return 2;
    case ECOMMAND_PROGRAMMING: return kProgrammingLength;
    case ECOMMAND_EXIT_LOADER_SHORT:
    case ECOMMAND_CALCULATE_BLOCK_CHECKSUM:
    case ECOMMAND_SET_CURRENT_CPU:
    case ECOMMAND_GET_CURRENT_CPU:
    case ECOMMAND_GET_CPU_COUNT: return 3;
    case ECOMMAND_ERASE_BLOCK:
    case ECOMMAND_WRITE_VALUE:
    case ECOMMAND_READ_VALUE:
    case ECOMMAND_EXIT_LOADER:
    case ECOMMAND_SET_MAGIC_WORD:
    case ECOMMAND_WRITE_CHECKSUMS_TO_ROM: return 5;
  }
  return 0;
}

// The command a report stands for: its id under the configured numbering, its direction and its exact length.
std::optional<ECommand> FindCommand(const std::vector<uint8_t>& report_I, EDirection direction_I,
                                    const SSimLoaderConfig& config_I)
{
  if (report_I.empty() || config_I.protocol > 1) return std::nullopt;
  for (const SCommandReport& entry : kReports) {
    if (entry.id[config_I.protocol] != report_I[0] || (entry.direction & direction_I) == 0) continue;
    if (ReportLength(entry.command, config_I) == report_I.size()) return entry.command;
  }
  return std::nullopt;
}

bool IsExitWithoutSaving(const std::vector<uint8_t>& report_I)
{
  return report_I.size() >= 3 && report_I[1] == 0xA6 && report_I[2] == 0x50;
}

}  // namespace

std::vector<SSimLoaderBlock> MakeSimBlocks(uint32_t start_I, uint32_t size_I, uint32_t count_I, uint16_t attributes_I)
{
  std::vector<SSimLoaderBlock> blocks;
  for (uint64_t i = 0; i < count_I; ++i) {
    blocks.push_back({static_cast<uint32_t>(start_I + i * size_I), size_I, attributes_I});
  }
  return blocks;
}

uint8_t SimAirohaCrc(const uint8_t* data_I, size_t size_I)
{
  uint8_t crc = 0;
  for (size_t i = 0; i < size_I; ++i) {
    crc ^= data_I[i];
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x31 : crc << 1);
  }
  uint8_t reversed = 0;
  for (int bit = 0; bit < 8; ++bit, crc >>= 1) reversed = static_cast<uint8_t>(reversed << 1 | (crc & 1));
  return reversed;
}

uint8_t CSimFlashMemory::Read(uint64_t address_I) const
{
  auto page = mPages.find(address_I / kPageSize);
  return page == mPages.end() ? kErased : page->second[address_I % kPageSize];
}

std::vector<uint8_t>& CSimFlashMemory::Page(uint64_t address_I)
{
  std::vector<uint8_t>& page = mPages[address_I / kPageSize];
  if (page.empty()) page.assign(kPageSize, kErased);
  return page;
}

void CSimFlashMemory::Program(uint64_t address_I, uint8_t value_I)
{
  Page(address_I)[address_I % kPageSize] &= value_I;
}

void CSimFlashMemory::Store(uint64_t address_I, uint8_t value_I) { Page(address_I)[address_I % kPageSize] = value_I; }

void CSimFlashMemory::Erase(uint64_t begin_I, uint64_t end_I)
{
  auto page = mPages.lower_bound(begin_I / kPageSize);
  while (page != mPages.end() && page->first * kPageSize < end_I) {
    const uint64_t pageBegin = page->first * kPageSize;
    if (begin_I <= pageBegin && pageBegin + kPageSize <= end_I) {
      page = mPages.erase(page);
      continue;
    }
    const uint64_t from = std::max(begin_I, pageBegin) - pageBegin;
    const uint64_t to = std::min(end_I, pageBegin + kPageSize) - pageBegin;
    std::fill(page->second.begin() + from, page->second.begin() + to, kErased);
    ++page;
  }
}

uint32_t CSimFlashMemory::WordSum(uint64_t start_I, uint64_t size_I) const
{
  // A byte at offset k of the range weighs 256^(k mod 4); an erased page holds 1024 bytes of every weight.
  constexpr uint32_t kErasedPageSum = static_cast<uint32_t>(kPageSize / 4 * 0xFFFFFFFFull);
  uint32_t sum = 0;
  uint64_t offset = 0;
  while (offset < size_I) {
    const uint64_t address = start_I + offset;
    const uint64_t chunk = std::min(kPageSize - address % kPageSize, size_I - offset);
    if (chunk == kPageSize && mPages.count(address / kPageSize) == 0) {
      sum += kErasedPageSum;
    } else {
      for (uint64_t k = 0; k < chunk; ++k) sum += static_cast<uint32_t>(Read(address + k)) << (8 * ((offset + k) % 4));
    }
    offset += chunk;
  }
  for (; offset % 4 != 0; ++offset) sum += static_cast<uint32_t>(kErased) << (8 * (offset % 4));
  return sum;
}

std::map<uint8_t, size_t> CSimFlashLoader::ReportLengths(const SSimLoaderConfig& config_I)
{
  std::map<uint8_t, size_t> lengths;
  for (const SCommandReport& entry : kReports) {
    if (config_I.protocol > 1 || entry.id[config_I.protocol] < 0) continue;
    size_t& length = lengths[static_cast<uint8_t>(entry.id[config_I.protocol])];
    length = std::max(length, ReportLength(entry.command, config_I));
  }
  return lengths;
}

std::string CSimFlashLoader::CheckConfig(const SSimLoaderConfig& config_I)
{
  if (config_I.protocol > 1) return "the report numbering must be 0 or 1";
  if (config_I.blocks.size() > kMaxBlocks) return "more blocks than the description report can carry";
  if (std::max({config_I.readSize, config_I.wordSize, config_I.blockSize}) + kDataHeader > kMaxReportLength) {
    return "read, word and block sizes must leave room for the report header";
  }
  for (size_t i = 0; i < config_I.blocks.size(); ++i) {
    if (uint64_t{config_I.blocks[i].start} + config_I.blocks[i].size > kAddressSpace) {
      return "block " + std::to_string(i) + " ends beyond the 32-bit address space";
    }
  }
  if (config_I.memorySize > kAddressSpace - config_I.memoryBase) {
    return "the flash memory ends beyond the 32-bit address space";
  }
  return {};
}

CSimFlashLoader::CSimFlashLoader(const SSimLoaderConfig& config_I) : mConfig(config_I)
{
  mMemoryBegin = mConfig.memoryBase;
  mMemoryEnd = mMemoryBegin + mConfig.memorySize;
  if (mConfig.memorySize == 0 && !mConfig.blocks.empty()) {
    mMemoryBegin = kAddressSpace;
    for (const SSimLoaderBlock& block : mConfig.blocks) {
      mMemoryBegin = std::min<uint64_t>(mMemoryBegin, block.start);
      mMemoryEnd = std::max<uint64_t>(mMemoryEnd, uint64_t{block.start} + block.size);
    }
  }
  SealRom();
  Enter();
}

void CSimFlashLoader::Enter()
{
  mWorkingMagic = mRomMagic;
  mWorkingChecksums = mRomChecksums;
  mReadPointer = static_cast<uint32_t>(mMemoryBegin);
  mCurrentCpu = mConfig.currentCpu;
  mExitRequested = false;
  mStream = ESTREAM_IDLE;
  mStreamTarget = 0;
  mStreamCommand = 0;
  mBusyUntilMs = 0;
}

bool CSimFlashLoader::Set(const std::vector<uint8_t>& report_I)
{
  std::optional<ECommand> command = FindCommand(report_I, EDIRECTION_SET, mConfig);
  return command && SetCommand(*command, report_I);
}

bool CSimFlashLoader::Get(std::vector<uint8_t>& report_IO)
{
  std::optional<ECommand> command = FindCommand(report_IO, EDIRECTION_GET, mConfig);
  if (!command) return false;
  std::vector<uint8_t> answer(report_IO.size(), 0);
  answer[0] = report_IO[0];
  if (!GetCommand(*command, answer)) return false;
  report_IO = std::move(answer);
  return true;
}

bool CSimFlashLoader::SetCommand(int command_I, const std::vector<uint8_t>& report_I)
{
  const bool checksums = mConfig.checksumSupported;
  switch (command_I) {
    case ECOMMAND_WRITE_FLASH_BLOCK:
      return mConfig.blockSize > 0 && WriteInBlock(Le32(report_I, 1), report_I.data() + kDataHeader, mConfig.blockSize);
    case ECOMMAND_WRITE_FLASH_WORD:
      return mConfig.wordSize > 0 && WriteInBlock(Le32(report_I, 1), report_I.data() + kDataHeader, mConfig.wordSize);
    case ECOMMAND_ERASE_BLOCK: return EraseBlock(Le32(report_I, 1));
    case ECOMMAND_WRITE_VALUE: mReadPointer = Le32(report_I, 1); return true;
    case ECOMMAND_EXIT_LOADER:
      // Numbering 0 gives both exits one report id, which a HID descriptor declares at one length: a host whose
      // driver pads reports to it sends the exit without saving at the saving exit's length.
      mExitRequested = report_I[1] == 0x01 || (mConfig.protocol == 0 && IsExitWithoutSaving(report_I));
      return mExitRequested;
    case ECOMMAND_EXIT_LOADER_SHORT:
      mExitRequested = IsExitWithoutSaving(report_I);
      return mExitRequested;
    case ECOMMAND_SET_BLOCK_CHECKSUM:
      if (!checksums || Le16(report_I, 1) >= mConfig.blocks.size()) return false;
      mWorkingChecksums[Le16(report_I, 1)] = Le32(report_I, 3);
      return true;
    case ECOMMAND_CALCULATE_BLOCK_CHECKSUM: return checksums && CalculateChecksum(Le16(report_I, 1));
    case ECOMMAND_SET_MAGIC_WORD:
      if (checksums) mWorkingMagic = Le32(report_I, 1);
      return checksums;
    case ECOMMAND_WRITE_CHECKSUMS_TO_ROM:
      if (!checksums || Le32(report_I, 1) != 0) return false;
      WriteChecksumsToRom();
      return true;
    case ECOMMAND_SET_CURRENT_CPU:
      if (Le16(report_I, 1) >= std::max<uint16_t>(mConfig.cpuCount, 1)) return false;
      mCurrentCpu = Le16(report_I, 1);
      return true;
    case ECOMMAND_PROGRAMMING: return Stream(report_I);
    default: return false;
  }
}

bool CSimFlashLoader::GetCommand(int command_I, std::vector<uint8_t>& answer_IO)
{
  const std::vector<SSimLoaderBlock>& blocks = mConfig.blocks;
  switch (command_I) {
    case ECOMMAND_READ_FLASH:
      if (mConfig.readSize == 0) return false;
      PutLe32(answer_IO, 1, mReadPointer);
      for (size_t i = 0; i < mConfig.readSize; ++i) {
        answer_IO[kDataHeader + i] = mFlash.Read(uint64_t{mReadPointer} + i);
      }
      mReadPointer += mConfig.readSize;
      return true;
    case ECOMMAND_READ_VALUE: PutLe32(answer_IO, 1, mReadPointer); return true;
    case ECOMMAND_QUERY_PARAMETERS:
      PutLe16(answer_IO, 3, mConfig.readSize);
      PutLe16(answer_IO, 5, mConfig.wordSize);
      PutLe16(answer_IO, 7, mConfig.blockSize);
      PutLe16(answer_IO, 9, static_cast<uint16_t>(blocks.size()));
      return true;
    case ECOMMAND_QUERY_DESCRIPTION:
      for (size_t i = 0; i < blocks.size(); ++i) {
        PutLe32(answer_IO, 1 + 10 * i, blocks[i].start);
        PutLe32(answer_IO, 5 + 10 * i, blocks[i].size);
        PutLe16(answer_IO, 9 + 10 * i, blocks[i].attributes);
      }
      return true;
    case ECOMMAND_QUERY_CHECKSUM_INFO:
      if (!mConfig.checksumSupported) return false;
      PutLe32(answer_IO, 1, mWorkingMagic);
      for (size_t i = 0; i < blocks.size(); ++i) PutLe32(answer_IO, 5 + 4 * i, mWorkingChecksums[i]);
      return true;
    case ECOMMAND_QUERY_LOADER_INFO:
      std::copy(mConfig.loaderInfo.begin(), mConfig.loaderInfo.end(), answer_IO.begin() + 1);
      return true;
    case ECOMMAND_QUERY_STATUS: answer_IO[1] = mConfig.status; return true;
    case ECOMMAND_GET_CURRENT_CPU: PutLe16(answer_IO, 1, mCurrentCpu); return true;
    case ECOMMAND_GET_CPU_COUNT: PutLe16(answer_IO, 1, mConfig.cpuCount); return true;
    case ECOMMAND_PROGRAMMING:
      // The target and the last command are echoed: the host's next request keeps byte 1 from this answer.
      answer_IO[1] = mStreamTarget;
      answer_IO[2] = mStreamCommand;
      answer_IO[3] = mStuckBusy || Busy() ? 1 : 0;
      return true;
    default: return false;
  }
}

bool CSimFlashLoader::WriteInBlock(uint32_t address_I, const uint8_t* data_I, size_t size_I)
{
  const uint64_t begin = address_I;
  const uint64_t end = begin + size_I;
  for (const SSimLoaderBlock& block : mConfig.blocks) {
    if (begin < block.start || end > uint64_t{block.start} + block.size) continue;
    if ((block.attributes & kSimProtectedBlock) != 0 || !InMemory(begin, end)) return false;
    for (size_t i = 0; i < size_I; ++i) mFlash.Program(begin + i, Kept(data_I[i]));
    return true;
  }
  return false;
}

bool CSimFlashLoader::EraseBlock(uint32_t block_I)
{
  if (block_I >= mConfig.blocks.size()) return false;
  const SSimLoaderBlock& block = mConfig.blocks[block_I];
  const uint64_t end = uint64_t{block.start} + block.size;
  if ((block.attributes & kSimProtectedBlock) != 0 || !InMemory(block.start, end)) return false;
  mFlash.Erase(block.start, end);
  return true;
}

bool CSimFlashLoader::CalculateChecksum(uint32_t block_I)
{
  if (block_I >= mConfig.blocks.size()) return false;
  mWorkingChecksums[block_I] = BlockSum(block_I) ^ (mCorruptBlock == block_I ? kCorruptionBit : 0);
  return true;
}

void CSimFlashLoader::WriteChecksumsToRom()
{
  mRomChecksums = mWorkingChecksums;
  bool allMatch = true;
  for (size_t i = 0; i < mConfig.blocks.size() && allMatch; ++i) allMatch = mRomChecksums[i] == BlockSum(i);
  mRomMagic = allMatch ? kSimValidMagic : mWorkingMagic;
  mWorkingMagic = mRomMagic;
}

void CSimFlashLoader::SealRom()
{
  mRomChecksums.clear();
  for (size_t i = 0; i < mConfig.blocks.size(); ++i) mRomChecksums.push_back(BlockSum(i));
  mRomMagic = kSimValidMagic;
  mWorkingChecksums = mRomChecksums;
  mWorkingMagic = mRomMagic;
}

bool CSimFlashLoader::Preload(uint32_t address_I, const std::vector<uint8_t>& bytes_I)
{
  if (!InMemory(address_I, uint64_t{address_I} + bytes_I.size())) return false;
  for (size_t i = 0; i < bytes_I.size(); ++i) mFlash.Store(uint64_t{address_I} + i, bytes_I[i]);
  SealRom();
  return true;
}

std::vector<uint8_t> CSimFlashLoader::FlashBytes(uint32_t address_I, uint32_t count_I) const
{
  std::vector<uint8_t> bytes(count_I);
  for (size_t i = 0; i < count_I; ++i) bytes[i] = mFlash.Read(uint64_t{address_I} + i);
  return bytes;
}

uint32_t CSimFlashLoader::BlockSum(size_t block_I) const
{
  if (block_I >= mConfig.blocks.size()) return 0;
  return mFlash.WordSum(mConfig.blocks[block_I].start, mConfig.blocks[block_I].size);
}

bool CSimFlashLoader::InMemory(uint64_t begin_I, uint64_t end_I) const
{
  return begin_I >= mMemoryBegin && end_I <= mMemoryEnd;
}

bool CSimFlashLoader::TouchesProtected(uint64_t begin_I, uint64_t end_I) const
{
  return std::any_of(mConfig.blocks.begin(), mConfig.blocks.end(), [&](const SSimLoaderBlock& block_I) {
    return (block_I.attributes & kSimProtectedBlock) != 0 && block_I.start < end_I &&
           begin_I < uint64_t{block_I.start} + block_I.size;
  });
}

bool CSimFlashLoader::Busy() const { return Clock().NowMs() < mBusyUntilMs; }

bool CSimFlashLoader::Stream(const std::vector<uint8_t>& report_I)
{
  // A request while busy is refused and changes nothing.
  if (Busy()) return false;
  const uint8_t target = report_I[1];
  const uint8_t command = report_I[2];
  if (command == kStreamStart && target <= kTargetAiroha) {
    mStream = ESTREAM_RUNNING;
    mStreamTarget = target;
    mNextSequence = 1;
    mNextAddress.reset();
  } else if (mStream != ESTREAM_RUNNING) {
    return false;
  } else if (target != mStreamTarget || (command != kStreamData && command != kStreamEnd) ||
             (command == kStreamData && !StreamData(report_I))) {
    mStream = ESTREAM_FAILED;
    return false;
  } else if (command == kStreamEnd) {
    mStream = ESTREAM_IDLE;
  }
  mStreamCommand = command;
  mBusyUntilMs = Clock().NowMs() + mConfig.busyMs;
  return true;
}

bool CSimFlashLoader::StreamData(const std::vector<uint8_t>& report_I)
{
  return mStreamTarget == kTargetIntelHex ? StreamIntelHex(report_I) : StreamAiroha(report_I);
}

bool CSimFlashLoader::StreamIntelHex(const std::vector<uint8_t>& report_I)
{
  const uint32_t address = Le32(report_I, 5);
  if (report_I[3] != 1 || report_I[4] != mNextSequence || report_I[9] != kIntelHexMarker) return false;
  if ((mNextAddress && address != *mNextAddress) || !StreamWrite(address, report_I.data() + 10, kIntelHexPacket)) {
    return false;
  }
  mNextSequence = static_cast<uint8_t>(mNextSequence + 1);
  mNextAddress = address + kIntelHexPacket;
  return true;
}

bool CSimFlashLoader::StreamAiroha(const std::vector<uint8_t>& report_I)
{
  const uint8_t* frame = report_I.data() + kAirohaFrameAt;
  if (!std::equal(std::begin(kAirohaFrameHead), std::end(kAirohaFrameHead), frame)) return false;
  const uint32_t address = frame[7] << 16 | frame[8] << 8 | frame[9];
  return frame[10] == SimAirohaCrc(frame + 11, kAirohaChunk) && StreamWrite(address, frame + 11, kAirohaChunk);
}

void CSimFlashLoader::KeepWrongByte(std::optional<uint64_t> after_I)
{
  mWrongByteAt.reset();
  if (after_I) mWrongByteAt = mProgrammed + *after_I;
}

uint8_t CSimFlashLoader::Kept(uint8_t value_I)
{
  return mProgrammed++ == mWrongByteAt ? static_cast<uint8_t>(value_I ^ 0x10) : value_I;
}

// The streaming loaders erase what they program, so each packet replaces its bytes.
bool CSimFlashLoader::StreamWrite(uint32_t address_I, const uint8_t* data_I, size_t size_I)
{
  const uint64_t end = uint64_t{address_I} + size_I;
  if (!InMemory(address_I, end) || TouchesProtected(address_I, end)) return false;
  for (size_t i = 0; i < size_I; ++i) mFlash.Store(uint64_t{address_I} + i, Kept(data_I[i]));
  return true;
}

}  // namespace orv::sim
