#include "common/fwupdater/cintelhex.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/fwupdater/csrec.h"

namespace orv {
namespace {

constexpr uint32_t kWorkSize = 0x30000;
constexpr int64_t kImageLimit = 0x2C000;
constexpr int64_t kImageStart = 0x8000;
// The first address before any data record was read.
constexpr int64_t kNoAddress = -1;
// Image lengths are whole 512-byte pages.
constexpr int64_t kPageMask = 0x1FF;
// The offsets of a record under an extended segment address.
constexpr size_t kSegmentSize = 0x10000;

enum ERecordType : uint32_t {
  ERECORDTYPE_DATA = 0,
  ERECORDTYPE_END_OF_FILE = 1,
  ERECORDTYPE_EXTENDED_SEGMENT = 2,
  ERECORDTYPE_START_SEGMENT = 3,
  ERECORDTYPE_EXTENDED_LINEAR = 4,
  ERECORDTYPE_START_LINEAR = 5
};

std::string HexText(int64_t value_I, int digits_I)
{
  char text[24];
  std::snprintf(text, sizeof(text), "0x%0*llX", digits_I, static_cast<unsigned long long>(value_I));
  return text;
}

// The line (from 1) a position of the text lies on.
size_t LineAt(std::string_view text_I, size_t pos_I)
{
  return 1 + static_cast<size_t>(std::count(text_I.begin(), text_I.begin() + static_cast<long>(std::min(pos_I, text_I.size())), '\n'));
}

// Every line ends in CR LF, the last one included, and no NUL byte appears: the file the loader was
// made for, whichever platform reads it.
bool CheckCrLfLines(std::string_view text_I, std::string& error_O)
{
  for (size_t pos = 0; pos < text_I.size(); ++pos) {
    if (text_I[pos] == '\0') {
      error_O = "line " + std::to_string(LineAt(text_I, pos)) + ": NUL byte";
      return false;
    }
    if (text_I[pos] == '\n' && (pos == 0 || text_I[pos - 1] != '\r')) {
      error_O = "line " + std::to_string(LineAt(text_I, pos)) + ": CR LF line ends required";
      return false;
    }
  }
  if (text_I.back() != '\n') {
    error_O = "line " + std::to_string(LineAt(text_I, text_I.size())) + ": the last line has no CR LF line end";
    return false;
  }
  return true;
}

// Reads the records of the text into a work image that starts at the first data record's address.
class CHexScanner {
 public:
  CHexScanner(std::string_view text_I, std::vector<uint8_t>& work_IO) : mText(text_I), mWork(work_IO) {}

  // Characters other than ":" between records are skipped. Records after an end-of-file record are still
  // read, but the last record must be one: a file cut short never passes for a whole one.
  bool Scan()
  {
    while (mPos < mText.size()) {
      if (mText[mPos++] != ':') continue;
      mRecordPos = mPos - 1;
      if (!ReadRecord()) return false;
    }
    if (!mEndLast) return Fail("no end-of-file record (:00000001FF) at the end: the file is incomplete", false);
    return true;
  }

  int64_t FirstAddress() const { return mFirstAddress; }
  int64_t HighestOffset() const { return mHighestOffset; }
  const std::string& Error() const { return mError; }

 private:
  bool Fail(const std::string& reason_I, bool withLine_I = true)
  {
    mError = withLine_I ? "line " + std::to_string(LineAt(mText, mRecordPos)) + ": " + reason_I : reason_I;
    return false;
  }

  // Reads digits_I hexadecimal digits and adds their bytes to the record's checksum.
  bool Field(size_t digits_I, uint32_t& value_O)
  {
    if (!ReadHexDigits(mText, mPos, digits_I, value_O)) {
      for (size_t i = mPos; i < mPos + digits_I && i < mText.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(mText[i]))) {
          const std::string shown = mText[i] == '\r' || mText[i] == '\n' ? "the line end" : "'" + std::string(1, mText[i]) + "'";
          return Fail("the record ends early: " + shown + " where a hexadecimal digit belongs");
        }
      }
      return Fail("the record ends early");
    }
    mPos += digits_I;
    for (size_t shift = 0; shift < digits_I * 4; shift += 8) mSum += (value_O >> shift) & 0xFF;
    return true;
  }

  bool ReadRecord()
  {
    mSum = 0;
    uint32_t count = 0;
    uint32_t address = 0;
    uint32_t type = 0;
    if (!Field(2, count) || !Field(4, address) || !Field(2, type)) return false;
    if (type > ERECORDTYPE_START_LINEAR) return Fail("unknown record type " + HexText(type, 2));
    std::vector<uint8_t> data;
    uint32_t value = 0;
    bool read = true;
    switch (type) {
      case ERECORDTYPE_DATA: read = ReadData(count, data); break;
      case ERECORDTYPE_EXTENDED_SEGMENT:
      case ERECORDTYPE_EXTENDED_LINEAR: read = Field(4, value); break;
      case ERECORDTYPE_START_SEGMENT:
      case ERECORDTYPE_START_LINEAR: read = Field(8, value); break;
      default: break;
    }
    uint32_t checksum = 0;
    if (!read) return false;
    const uint32_t sumBefore = mSum;
    if (!Field(2, checksum)) return false;
    if ((mSum & 0xFF) != 0) {
      return Fail("checksum " + HexText(checksum, 2) + ", expected " + HexText((0x100 - (sumBefore & 0xFF)) & 0xFF, 2));
    }
    if (!ReadLineEnd()) return Fail("text after the checksum");
    mEndLast = type == ERECORDTYPE_END_OF_FILE;
    switch (type) {
      case ERECORDTYPE_DATA: return PlaceData(address, data);
      case ERECORDTYPE_EXTENDED_SEGMENT:
        mBase = int64_t{value} << 4;
        mSegmented = true;
        return true;
      case ERECORDTYPE_EXTENDED_LINEAR:
        mBase = int64_t{value} << 16;
        mSegmented = false;
        return true;
      default: return true;
    }
  }

  bool ReadData(uint32_t count_I, std::vector<uint8_t>& data_O)
  {
    for (uint32_t i = 0; i < count_I; ++i) {
      uint32_t byte = 0;
      if (!Field(2, byte)) return false;
      data_O.push_back(static_cast<uint8_t>(byte));
    }
    return true;
  }

  bool ReadLineEnd()
  {
    if (mText.substr(mPos, 2) != "\r\n") return false;
    mPos += 2;
    return true;
  }

  // Under a segment base the offset wraps within its 64 KiB segment, so the bytes of a record that runs past
  // offset 0xFFFF belong at the segment's start, not behind its end. Tools disagree on this; such a record is
  // refused rather than written to whichever address we guess.
  bool PlaceData(uint32_t address_I, const std::vector<uint8_t>& data_I)
  {
    if (mSegmented && address_I + data_I.size() > kSegmentSize) {
      return Fail("data at offset " + HexText(address_I, 4) + " runs past the end of segment " +
                  HexText(mBase >> 4, 4) + ", where its offset wraps to 0");
    }
    return Place(mBase + address_I, data_I);
  }

  // The first data record fixes where the image starts. Data below that start would land in front of
  // the image, so it fails the load like data beyond the work image does.
  bool Place(int64_t absolute_I, const std::vector<uint8_t>& data_I)
  {
    if (mFirstAddress == kNoAddress) mFirstAddress = absolute_I;
    if (data_I.empty()) return true;
    const int64_t offset = absolute_I - mFirstAddress;
    if (offset < 0) {
      return Fail("data at " + HexText(absolute_I, 8) + " lies below the first record's address " +
                  HexText(mFirstAddress, 8));
    }
    if (offset + static_cast<int64_t>(data_I.size()) > kWorkSize) {
      return Fail("data at " + HexText(absolute_I, 8) + " lies beyond the image's 0x30000 bytes");
    }
    std::copy(data_I.begin(), data_I.end(), mWork.begin() + offset);
    mHighestOffset = std::max(mHighestOffset, offset + static_cast<int64_t>(data_I.size()) - 1);
    return true;
  }

  std::string_view mText;
  std::vector<uint8_t>& mWork;
  size_t mPos = 0;
  size_t mRecordPos = 0;
  uint32_t mSum = 0;
  int64_t mBase = 0;
  // The base came from an extended segment address record.
  bool mSegmented = false;
  int64_t mFirstAddress = kNoAddress;
  // Below 0 until a data record carries a byte.
  int64_t mHighestOffset = -1;
  bool mEndLast = false;
  std::string mError;
};

}  // namespace

CIntelHex::CIntelHex() : mImage(kWorkSize, 0xFF) {}

CIntelHex::~CIntelHex() = default;

bool CIntelHex::Load(const std::string& path_I)
{
  mError.clear();
  std::vector<uint8_t> bytes;
  if (!ReadFirmwareFile(path_I, bytes, mError)) return false;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!CheckCrLfLines(text, mError)) return false;
  std::vector<uint8_t> work(kWorkSize, 0xFF);
  CHexScanner scanner(text, work);
  if (!scanner.Scan()) {
    mError = scanner.Error();
    return false;
  }
  // Empty data records alone would pass for an image of erased flash.
  if (scanner.HighestOffset() < 0) {
    mError = "no data records";
    return false;
  }
  if (scanner.FirstAddress() != kImageStart) {
    mError = "the image starts at " + HexText(scanner.FirstAddress(), 8) + ", not at 0x00008000";
    return false;
  }
  const int64_t highest = scanner.HighestOffset() | kPageMask;
  if (highest >= kImageLimit) {
    mError = "the image ends at " + HexText(kImageStart + scanner.HighestOffset(), 8) + ", past 0x00033FFF";
    return false;
  }
  mStartAddress = static_cast<int32_t>(kImageStart);
  mLength = static_cast<uint32_t>(highest + 1);
  mImage = std::move(work);
  int32_t sum = 0;
  for (uint32_t i = 0; i < mLength; ++i) sum += static_cast<int8_t>(mImage[i]);
  mChecksum = static_cast<uint32_t>(sum) & 0xFFFF;
  return true;
}

}  // namespace orv
