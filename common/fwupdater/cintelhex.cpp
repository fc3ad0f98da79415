#include "common/fwupdater/cintelhex.h"

#include <algorithm>
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

enum ERecordType : uint32_t {
  ERECORDTYPE_DATA = 0,
  ERECORDTYPE_END_OF_FILE = 1,
  ERECORDTYPE_EXTENDED_SEGMENT = 2,
  ERECORDTYPE_START_SEGMENT = 3,
  ERECORDTYPE_EXTENDED_LINEAR = 4,
  ERECORDTYPE_START_LINEAR = 5
};

// Every line ends in CR LF, the last one included, and no NUL byte appears: the file the loader was
// made for, whichever platform reads it.
bool HasCrLfLines(std::string_view text_I)
{
  if (text_I.empty() || text_I.back() != '\n') return false;
  for (size_t pos = 0; pos < text_I.size(); ++pos) {
    if (text_I[pos] == '\0') return false;
    if (text_I[pos] == '\n' && (pos == 0 || text_I[pos - 1] != '\r')) return false;
  }
  return true;
}

// Reads the records of the text into a work image that starts at the first data record's address.
class CHexScanner {
 public:
  CHexScanner(std::string_view text_I, std::vector<uint8_t>& work_IO) : mText(text_I), mWork(work_IO) {}

  // Characters other than ":" between records are skipped.
  bool Scan()
  {
    while (mPos < mText.size()) {
      if (mText[mPos++] == ':' && !ReadRecord()) return false;
    }
    return true;
  }

  int64_t FirstAddress() const { return mFirstAddress; }
  int64_t HighestOffset() const { return mHighestOffset; }

 private:
  // Reads digits_I hexadecimal digits and adds their bytes to the record's checksum.
  bool Field(size_t digits_I, uint32_t& value_O)
  {
    if (!ReadHexDigits(mText, mPos, digits_I, value_O)) return false;
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
    if (!Field(2, count) || !Field(4, address) || !Field(2, type) || type > ERECORDTYPE_START_LINEAR) return false;
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
    if (!read || !Field(2, checksum) || (mSum & 0xFF) != 0 || !ReadLineEnd()) return false;
    switch (type) {
      case ERECORDTYPE_DATA: return Place(mBase + address, data);
      case ERECORDTYPE_EXTENDED_SEGMENT: mBase = int64_t{value} << 4; return true;
      case ERECORDTYPE_EXTENDED_LINEAR: mBase = int64_t{value} << 16; return true;
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

  // The first data record fixes where the image starts. Data below that start would land in front of
  // the image, so it fails the load like data beyond the work image does.
  bool Place(int64_t absolute_I, const std::vector<uint8_t>& data_I)
  {
    if (mFirstAddress == kNoAddress) mFirstAddress = absolute_I;
    if (data_I.empty()) return true;
    const int64_t offset = absolute_I - mFirstAddress;
    if (offset < 0 || offset + static_cast<int64_t>(data_I.size()) > kWorkSize) return false;
    std::copy(data_I.begin(), data_I.end(), mWork.begin() + offset);
    mHighestOffset = std::max(mHighestOffset, offset + static_cast<int64_t>(data_I.size()) - 1);
    return true;
  }

  std::string_view mText;
  std::vector<uint8_t>& mWork;
  size_t mPos = 0;
  uint32_t mSum = 0;
  int64_t mBase = 0;
  int64_t mFirstAddress = kNoAddress;
  int64_t mHighestOffset = 0;
};

}  // namespace

CIntelHex::CIntelHex() : mImage(kWorkSize, 0xFF) {}

CIntelHex::~CIntelHex() = default;

bool CIntelHex::Load(const std::string& path_I)
{
  std::vector<uint8_t> bytes;
  if (!ReadFirmwareFile(path_I, bytes)) return false;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!HasCrLfLines(text)) return false;
  std::vector<uint8_t> work(kWorkSize, 0xFF);
  CHexScanner scanner(text, work);
  if (!scanner.Scan()) return false;
  const int64_t highest = scanner.HighestOffset() | kPageMask;
  if (highest >= kImageLimit || scanner.FirstAddress() != kImageStart) return false;
  mStartAddress = static_cast<int32_t>(kImageStart);
  mLength = static_cast<uint32_t>(highest + 1);
  mImage = std::move(work);
  int32_t sum = 0;
  for (uint32_t i = 0; i < mLength; ++i) sum += static_cast<int8_t>(mImage[i]);
  mChecksum = static_cast<uint32_t>(sum) & 0xFFFF;
  return true;
}

}  // namespace orv
