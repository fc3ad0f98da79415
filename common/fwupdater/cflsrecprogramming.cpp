// S-record programming of CFLDeviceInterface: the flash vector, the three checksum sums, invalidation of the
// loader's checksums, erase and write of every block with data, and the loader's final checksums.
#include <algorithm>
#include <numeric>
#include <sstream>

#include "common/fwupdater/cfldeviceinterface.h"
#include "common/fwupdater/flprotocol.h"

namespace orv {
namespace {

constexpr size_t kChecksumBlocksOfPenAndTouch = 39;
constexpr int kProgramBlockAttempts = 10;

// A word that runs past the end of the bytes reads erased flash (0xFF) there.
uint32_t LittleEndianWord(const std::vector<uint8_t>& bytes_I, uint64_t pos_I)
{
  uint32_t word = 0;
  for (size_t i = 0; i < 4; ++i) {
    const uint32_t byte = pos_I + i < bytes_I.size() ? bytes_I[pos_I + i] : 0xFF;
    word |= byte << (8 * i);
  }
  return word;
}

bool IsErasedWord(const std::vector<uint8_t>& data_I, uint64_t pos_I, uint64_t wordSize_I)
{
  for (uint64_t i = pos_I; i < pos_I + wordSize_I; ++i) {
    if (data_I[i] != 0xFF) return false;
  }
  return true;
}

// The byte sum of a block whose bytes outside the written span hold the erased fill.
uint32_t WrittenByteSum(const FlashBlock& block_I, std::pair<uint64_t, uint64_t> written_I)
{
  if (block_I.data.empty()) return 0;
  const auto begin = block_I.data.begin();
  const uint32_t inside = std::accumulate(begin + static_cast<ptrdiff_t>(written_I.first),
                                          begin + static_cast<ptrdiff_t>(written_I.second), uint32_t{0});
  return inside + static_cast<uint32_t>(0xFF * (block_I.data.size() - (written_I.second - written_I.first)));
}

const FlashBlock* FindBlock(const std::vector<FlashBlock>& flash_I, uint64_t address_I)
{
  for (const FlashBlock& block : flash_I) {
    if (block.start <= address_I && address_I < uint64_t{block.start} + block.size) return &block;
  }
  return nullptr;
}

}  // namespace

bool CFLDeviceInterface::IsChecksumBlock(size_t index_I) const
{
  return index_I < kChecksumBlocksOfPenAndTouch ||
         (mDataSourceFormat != EDATASOURCE_PEN && mDataSourceFormat != EDATASOURCE_TOUCH);
}

// The image is laid out over every described block it touches, so what a board describes decides how much
// memory the updater takes: a description no tablet's flash could have is refused before anything is allocated.
bool CFLDeviceInterface::CheckLoaderDescription()
{
  uint64_t total = 0;
  for (size_t i = 0; i < mLoaderParameters.blocks; ++i) {
    const LoaderBlock& block = mLoaderDescription[i];
    total += block.size;
    if (uint64_t{block.start} + block.size > 0x100000000ull) {
      Error("Loader block " + std::to_string(i) + " at 0x" + Hex8(block.start) + " of " + std::to_string(block.size) +
            " bytes ends beyond the 32-bit address space");
      return false;
    }
    if (total > kMaxDescribedFlash) {
      Error("The loader describes more than " + std::to_string(kMaxDescribedFlash) + " bytes of flash (block " +
            std::to_string(i) + " of " + std::to_string(block.size) + " bytes)");
      return false;
    }
  }
  return true;
}

// The scans and word writes step through a block word by word; a block that breaks that (or a protocol-1 block
// the loader cannot check) is refused instead of looping or dividing by zero later. Only blocks the flow scans
// and writes are held to this: a protected boot block may describe its words as it likes.
bool CFLDeviceInterface::CheckBlockGeometry(size_t index_I)
{
  const FlashBlock& block = mFlash[index_I];
  if (block.wordSize == 0 || block.size % block.wordSize != 0) {
    Error("Loader block " + std::to_string(index_I) + " of " + std::to_string(block.size) +
          " bytes is not a whole number of its " + std::to_string(block.wordSize) + "-byte words");
    return false;
  }
  if (CFLProtocol::GetProtocolType() == 1 && block.size > kProtocol1BlockImage) {
    Error("Loader block " + std::to_string(index_I) + " of " + std::to_string(block.size) +
          " bytes is larger than the 4096 bytes the loader can check");
    return false;
  }
  return true;
}

bool CFLDeviceInterface::InitializeFlashVector()
{
  mTotalSize = 0;
  mFlash.clear();
  if (mLoaderParameters.blocks == 0 || mLoaderParameters.blocks > kMaxLoaderBlocks || !CheckLoaderDescription()) {
    return false;
  }
  for (size_t i = 0; i < mLoaderParameters.blocks; ++i) {
    const LoaderBlock& described = mLoaderDescription[i];
    FlashBlock block;
    block.start = described.start;
    block.size = described.size;
    block.readSize = mLoaderParameters.readSize;
    block.wordSize = described.attributes & ~kProtectedBlock;
    block.blockSize = mLoaderParameters.blockSize;
    block.isProtected = (described.attributes & kProtectedBlock) != 0;
    mFlash.push_back(std::move(block));
  }
  return true;
}

// Only called for blocks whose size is a whole number of (non-zero) words. Only the words the image wrote can
// differ from the erased fill, so a block of megabytes with a few bytes of image costs a few bytes of scan.
void CFLDeviceInterface::FindDataRange(FlashBlock& block_IO, std::pair<uint64_t, uint64_t> written_I)
{
  const uint64_t word = block_IO.wordSize;
  uint64_t first = written_I.first / word * word;
  const uint64_t end = std::min<uint64_t>(block_IO.size, (written_I.second + word - 1) / word * word);
  while (first < end && IsErasedWord(block_IO.data, first, word)) first += word;
  if (first >= end) return;
  uint64_t last = end - word;
  while (last > first && IsErasedWord(block_IO.data, last, word)) last -= word;
  block_IO.dataOffset = static_cast<uint32_t>(first);
  block_IO.dataLength = static_cast<uint32_t>(last + word - first);
}

bool CFLDeviceInterface::LoadSRecData(const std::vector<SRecSegment>& segments_I)
{
  Info("Filling in mFlash blocks from srec data...");
  bool complete = true;
  std::vector<std::pair<uint64_t, uint64_t>> written(mFlash.size(), {UINT64_MAX, 0});
  for (const SRecSegment& segment : segments_I) {
    uint64_t cursor = segment.start;
    const uint64_t end = uint64_t{segment.start} + segment.data.size();
    while (cursor < end) {
      const FlashBlock* found = FindBlock(mFlash, cursor);
      if (found == nullptr) break;
      FlashBlock& block = mFlash[static_cast<size_t>(found - mFlash.data())];
      const uint64_t stop = std::min(end, uint64_t{block.start} + block.size);
      if (block.data.empty()) block.data.assign(block.size, 0xFF);
      auto& [from, to] = written[static_cast<size_t>(&block - mFlash.data())];
      from = std::min(from, cursor - block.start);
      to = std::max(to, stop - block.start);
      std::copy(segment.data.begin() + static_cast<long>(cursor - segment.start),
                segment.data.begin() + static_cast<long>(stop - segment.start),
                block.data.begin() + static_cast<long>(cursor - block.start));
      cursor = stop;
    }
    complete = complete && cursor == end;
  }
  if (!complete) {
    Error("Address space from SREC file does not correspond to that of the connected CPU!");
    return false;
  }
  for (size_t i = 0; i < mFlash.size(); ++i) {
    if (!mFlash[i].data.empty() && !mFlash[i].isProtected && !CheckBlockGeometry(i)) return false;
  }
  for (size_t i = 0; i < mFlash.size(); ++i) {
    FlashBlock& block = mFlash[i];
    // A protected block is never written: its words are not scanned unless they are well formed.
    const bool scannable = block.wordSize != 0 && block.size % block.wordSize == 0;
    if (!block.data.empty() && scannable) {
      FindDataRange(block, written[i]);
      mTotalSize += block.dataLength;
    }
    Info("Checksum Block [0x" + Hex8(block.start) + "] = 0x" + Hex8(WrittenByteSum(block, written[i])));
  }
  Info("Total size: " + std::to_string(mTotalSize) + "\n");
  return true;
}

// The loader sums the block as little-endian 32-bit words from its start, whatever the block's word size (a last
// word past the end reads erased flash): the erased block's sum, 0xFFFFFFFF a word, corrected byte by byte over the
// data range by each byte's weight in its word (modulo 2^32, so a byte below 0xFF subtracts). Words are counted,
// not stepped, so that no position can wrap past 4 GiB.
uint32_t CFLDeviceInterface::ImageBlockChecksum(const FlashBlock& block_I) const
{
  uint32_t sum = static_cast<uint32_t>(0 - (uint64_t{block_I.size} + 3) / 4);
  const uint64_t end = uint64_t{block_I.dataOffset} + block_I.dataLength;
  for (uint64_t pos = block_I.dataOffset; pos < end; ++pos) {
    sum += (uint32_t{block_I.data[pos]} - 0xFF) << (8 * (pos % 4));
  }
  return sum;
}

bool CFLDeviceInterface::CalculateChecksums()
{
  Info("Starting CalculateChecksums...");
  std::vector<uint32_t> words(mFlash.size() + 1, 0);
  QueryChecksumInfo(words);
  words.resize(mFlash.size() + 1, 0);
  mChecksumBefore = 0;
  mChecksumImage = 0;
  std::ostringstream text;
  text << std::hex << "Checksum Magic Word:" << words[0] << "\n";
  for (size_t i = 0; i < mFlash.size(); ++i) {
    text << "Checksum Block [" << std::dec << i << "] = " << std::hex << words[i + 1] << "\n";
    const FlashBlock& block = mFlash[i];
    if (block.data.empty() || block.isProtected || !IsChecksumBlock(i)) continue;
    if (mChecksumSupported) mChecksumBefore += words[i + 1];
    mChecksumImage += ImageBlockChecksum(block);
  }
  Info(text.str());
  return true;
}

bool CFLDeviceInterface::InitializeFlash()
{
  Info("Starting InitializeFlash...");
  Info("Setting magic word to zero...");
  if (!SetMagicWord(0)) {
    Error("Failed to set magic word");
    return false;
  }
  Info("Invalidating " + std::to_string(mFlash.size()) + " blocks' checksum ...\n");
  for (size_t i = 0; i < mFlash.size(); ++i) {
    if (!SetBlockChecksum(static_cast<uint16_t>(i), 0)) {
      Error("Failed setting a block checksum");
      return false;
    }
  }
  Info("Writing invalidated checksums to ROM... ");
  if (!WriteChecksumsToROM()) {
    Error("Failed writing checksums to ROM");
    return false;
  }
  return true;
}

bool CFLDeviceInterface::WriteFlash()
{
  Info("Starting WriteFlash...");
  const size_t count = mFlash.size();
  for (size_t i = 0; i < count; ++i) {
    const FlashBlock& block = mFlash[i];
    Info("Block " + std::to_string(i) + " at [0x" + Hex8(block.start) + "] :");
    if (block.data.empty()) {
      Info("Empty Block Skipped");
    } else if (block.isProtected) {
      Info("Protected Block Skipped");
    } else {
      int attempt = 0;
      while (attempt < kProgramBlockAttempts && !ProgramBlock(i)) ++attempt;
      if (attempt == kProgramBlockAttempts) return false;
    }
    Progress(ProgressPercent(i, count));
  }
  return true;
}

uint32_t CFLDeviceInterface::Protocol1ExpectedChecksum(const FlashBlock& block_I) const
{
  std::vector<uint8_t> image(kProtocol1BlockImage, 0xFF);
  const uint32_t end = std::min(block_I.dataOffset + block_I.dataLength, kProtocol1BlockImage);
  for (uint32_t pos = block_I.dataOffset; pos < end; ++pos) image[pos] = block_I.data[pos];
  uint32_t sum = 0;
  for (size_t pos = 0; pos < image.size(); pos += 4) sum += LittleEndianWord(image, pos);
  return sum;
}

bool CFLDeviceInterface::ProgramRange(size_t index_I)
{
  const FlashBlock& block = mFlash[index_I];
  uint32_t offset = block.dataOffset;
  uint32_t remaining = block.dataLength;
  while (remaining > 0) {
    // A loader without a block size (0) fails its block write below rather than looping on empty chunks.
    const bool wholeBlock = remaining >= block.blockSize;
    if (!wholeBlock && remaining % block.wordSize != 0) {
      Error("Data left to write in block is not divisible by word size");
      return false;
    }
    const uint32_t length = wholeBlock ? block.blockSize : block.wordSize;
    const std::vector<uint8_t> chunk(block.data.begin() + offset, block.data.begin() + offset + length);
    Info("Block at [0x" + Hex8(block.start + offset) + "]; checksum: [0x" + Hex8(SumBytes(chunk)) + "]");
    if (wholeBlock && !WriteFlashBlock(chunk, block.start + offset)) {
      Error("Failed writing block to device");
      return false;
    }
    if (!wholeBlock && !WriteFlashWord(chunk, block.start + offset)) {
      Error("Failed writing word to device");
      return false;
    }
    offset += length;
    remaining -= length;
  }
  return true;
}

bool CFLDeviceInterface::VerifyProtocol1Checksum(size_t index_I, uint32_t expected_I)
{
  std::vector<uint32_t> words;
  const uint16_t index = static_cast<uint16_t>(index_I);
  return CalculateBlockChecksum(index) && QueryChecksumInfo(words) && words.size() > index_I + 1 &&
         words[index_I + 1] == expected_I && SetBlockChecksum(index, expected_I);
}

bool CFLDeviceInterface::ProgramBlock(size_t index_I)
{
  Info("Erasing block.");
  if (!EraseBlock(static_cast<uint32_t>(index_I))) {
    Error("Failed to erase block from device");
    return false;
  }
  const bool protocol1 = CFLProtocol::GetProtocolType() == 1;
  const uint32_t expected = protocol1 ? Protocol1ExpectedChecksum(mFlash[index_I]) : 0;
  if (!ProgramRange(index_I)) return false;
  Info("Block " + std::to_string(index_I) + " programmed.");
  // A loader without checksums cannot answer the check; it would fail every block for good.
  return !protocol1 || !IsChecksumSupported() || VerifyProtocol1Checksum(index_I, expected);
}

bool CFLDeviceInterface::FinalizeFlash()
{
  Info("Starting FinalizeFlash...");
  mChecksumAfter = 0;
  if (!IsChecksumSupported()) return true;
  for (size_t i = 0; i < mFlash.size(); ++i) {
    if (!CalculateBlockChecksum(static_cast<uint16_t>(i))) {
      Error("Failed calculating block checksum");
      return false;
    }
  }
  if (!WriteChecksumsToROM()) {
    Error("Failed writing checksum to ROM");
    return false;
  }
  std::vector<uint32_t> words;
  if (!QueryChecksumInfo(words)) {
    Error("Failed refreshing checksum info");
    return false;
  }
  for (size_t i = 0; i < mFlash.size() && i + 1 < words.size(); ++i) {
    const FlashBlock& block = mFlash[i];
    if (!block.data.empty() && !block.isProtected && IsChecksumBlock(i)) mChecksumAfter += words[i + 1];
  }
  // The loader summed what its flash holds. Every write was acknowledged, yet a sum other than the image's means
  // a byte was kept wrong: the checksums are invalidated again, so that the board stays in its loader for the
  // next run instead of starting firmware that is not the image.
  if (mChecksumAfter != mChecksumImage) {
    Error("The board's checksums (0x" + Hex8(mChecksumAfter) + ") differ from the image's (0x" + Hex8(mChecksumImage) +
          ")");
    InitializeFlash();
    return false;
  }
  return true;
}

bool CFLDeviceInterface::ProgramBoardSRec()
{
  Info("Starting ProgramBoardSRec...");
  const int32_t format = GetDataSourceFormat();
  if (format != EDATASOURCE_PEN && format != EDATASOURCE_TOUCH && format != EDATASOURCE_ORV) {
    Error("ProgramBoardSRec:  Datasource not correct");
    return false;
  }
  if (!CalculateChecksums()) {
    Error("ProgramBoardSRec: Failed to calculate checksums");
    return false;
  }
  Info("Checksums calculated");
  if (!InitializeFlash()) {
    Error("ProgramBoardSRec: Failed to initialize to flash data");
    return false;
  }
  Info("Wrote checksums and magic word to flash");
  if (!WriteFlash()) {
    Error("ProgramBoardSRec: Failed to write flash data to device");
    return false;
  }
  Info("Flash Write Complete");
  if (!FinalizeFlash()) {
    Error("ProgramBoardSRec: Failed to finalize flash data");
    return false;
  }
  Info("ProgramBoardSRec: Flash Finalized");
  Info("ProgramBoardSRec done!");
  return true;
}

}  // namespace orv
