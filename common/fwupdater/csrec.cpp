#include "common/fwupdater/csrec.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "common/assertion.h"
#include "common/fwupdater/cdevice.h"
#include "common/stringutilities.h"

namespace orv {
namespace {

// Count, checksum and the four address digits of an S1 record.
constexpr size_t kMinRecordLength = 10;
// Offset of the address digits in a record.
constexpr size_t kAddressPos = 4;
constexpr uint64_t kAddressSpace = 1ull << 32;

struct SExtension {
  const char* extension;
  EDataSource format;
};

constexpr SExtension kExtensions[] = {
    {"pen", EDATASOURCE_PEN},       {"touch", EDATASOURCE_TOUCH},         {"orv", EDATASOURCE_ORV},
    {"hex", EDATASOURCE_HEX},       {"airoflash", EDATASOURCE_AIROFLASH}, {"bin", EDATASOURCE_BIN},
};

// The extension is whatever follows the last "." of the whole path, directories included.
int32_t FormatFromPath(const std::string& path_I)
{
  const size_t dot = path_I.rfind('.');
  if (dot == std::string::npos) return EDATASOURCE_NONE;
  const std::string extension = ToLower(path_I.substr(dot + 1));
  for (const SExtension& row : kExtensions) {
    if (extension == row.extension) return row.format;
  }
  return EDATASOURCE_NONE;
}

struct SRecord {
  uint32_t address = 0;
  std::vector<uint8_t> data;
};

enum ELine { ELINE_SKIP, ELINE_DATA, ELINE_COUNT, ELINE_END, ELINE_ERROR };

std::string HexText(uint32_t value_I, int digits_I)
{
  char text[16];
  std::snprintf(text, sizeof(text), "0x%0*X", digits_I, value_I);
  return text;
}

// Address digits of a record type: 0 for the types that carry no data (header, count, start address),
// none for the types that are errors.
std::optional<size_t> AddressDigits(char type_I)
{
  switch (type_I) {
    case '1': return 4;
    case '2': return 6;
    case '3': return 8;
    case '0':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9': return 0;
    default: return std::nullopt;
  }
}

// Why a run of characters is not all hexadecimal digits; empty when it is.
std::string HexProblem(std::string_view line_I, size_t pos_I, size_t digits_I)
{
  for (size_t i = pos_I; i < pos_I + digits_I && i < line_I.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(line_I[i]))) {
      return "'" + std::string(1, line_I[i]) + "' at column " + std::to_string(i + 1) + " is not a hexadecimal digit";
    }
  }
  return "the record ends early";
}

// Reads the record's count, address, data and checksum pairs; the byte count is not compared with the line:
// the data run is fixed by the line length alone.
bool ParseRecord(std::string_view line_I, size_t addressDigits_I, SRecord& record_O, std::string& error_O)
{
  const size_t dataPos = kAddressPos + addressDigits_I;
  if (line_I.size() < dataPos + 2) {
    error_O = "the record ends early";
    return false;
  }
  if ((line_I.size() - dataPos) % 2 != 0) {
    error_O = "odd number of hexadecimal digits";
    return false;
  }
  const size_t checksumPos = line_I.size() - 2;
  uint32_t count = 0;
  uint32_t checksum = 0;
  if (!ReadHexDigits(line_I, 2, 2, count) || !ReadHexDigits(line_I, checksumPos, 2, checksum)) {
    error_O = HexProblem(line_I, 2, 2) == "the record ends early" ? HexProblem(line_I, checksumPos, 2)
                                                                   : HexProblem(line_I, 2, 2);
    return false;
  }
  if (count < 3) {
    error_O = "byte count " + HexText(count, 2) + " is below 3";
    return false;
  }
  uint32_t sum = count;
  record_O.address = 0;
  record_O.data.clear();
  for (size_t pos = kAddressPos; pos < checksumPos; pos += 2) {
    uint32_t byte = 0;
    if (!ReadHexDigits(line_I, pos, 2, byte)) {
      error_O = HexProblem(line_I, pos, 2);
      return false;
    }
    if (pos < dataPos) {
      record_O.address = (record_O.address << 8) | byte;
    } else {
      record_O.data.push_back(static_cast<uint8_t>(byte));
    }
    sum += byte;
  }
  const uint32_t expected = 0xFF - (sum & 0xFF);
  if (checksum != expected) {
    error_O = "checksum " + HexText(checksum, 2) + ", expected " + HexText(expected, 2);
    return false;
  }
  return true;
}

ELine ParseLine(std::string_view line_I, SRecord& record_O, std::string& error_O)
{
  // The same file must load alike everywhere, so a CR LF line end reads as LF on every platform.
  if (!line_I.empty() && line_I.back() == '\r') line_I.remove_suffix(1);
  if (line_I.empty()) return ELINE_SKIP;
  if (line_I.size() < kMinRecordLength) {
    error_O = "a record of " + std::to_string(line_I.size()) + " characters is too short (at least " +
              std::to_string(kMinRecordLength) + ")";
    return ELINE_ERROR;
  }
  if (line_I[0] != 'S') return ELINE_SKIP;
  const std::optional<size_t> addressDigits = AddressDigits(line_I[1]);
  if (!addressDigits) {
    error_O = "unknown record type S" + std::string(1, line_I[1]);
    return ELINE_ERROR;
  }
  switch (line_I[1]) {
    case '0': return ELINE_SKIP;
    case '5':
    case '6':
      // A record count: 16 bits (S5) or 24 bits (S6) of address field, checked against the data records.
      if (!ParseRecord(line_I, line_I[1] == '5' ? 4 : 6, record_O, error_O)) return ELINE_ERROR;
      return ELINE_COUNT;
    case '7':
    case '8':
    case '9':
      if (!ParseRecord(line_I, static_cast<size_t>(('9' - line_I[1]) * 2 + 4), record_O, error_O)) {
        return ELINE_ERROR;
      }
      return ELINE_END;
    default: break;
  }
  if (!ParseRecord(line_I, *addressDigits, record_O, error_O)) return ELINE_ERROR;
  // A record running past 0xFFFFFFFF would wrap around to address 0.
  if (record_O.address + uint64_t{record_O.data.size()} > kAddressSpace) {
    error_O = "the record's data runs past address 0xFFFFFFFF";
    return ELINE_ERROR;
  }
  return ELINE_DATA;
}

// The printable text of an S0 header's data: the file's own name for itself, often with a version.
std::string HeaderText(std::string_view line_I)
{
  if (!line_I.empty() && line_I.back() == '\r') line_I.remove_suffix(1);
  std::string text;
  for (size_t pos = 8; pos + 2 < line_I.size(); pos += 2) {
    uint32_t byte = 0;
    if (!ReadHexDigits(line_I, pos, 2, byte)) return "";
    if (byte == 0) break;
    if (byte >= 0x20 && byte < 0x7F) text += static_cast<char>(byte);
  }
  return text;
}

// Gathers records into segments. A record goes to the first segment in list order that it starts inside
// (the bytes already loaded win; only a tail past the segment's end is appended), ends (appended) or precedes exactly (prepended); otherwise it
// starts a segment of its own. Segments are never joined afterwards. Indexes by start and end find that
// segment without walking the list, so files with many records and gaps load quickly.
//
// Segments only grow, so once two of them overlap the final sorted list can never be free of overlaps;
// Add reports that at once. While Add succeeds the non-empty segments are disjoint, and an empty segment
// lies neither inside a non-empty one nor at the start of one that came before it in the list.
class CSegmentBuilder {
 public:
  bool Add(uint32_t address_I, std::vector<uint8_t>&& data_I)
  {
    uint64_t address = address_I;
    const std::optional<size_t> found = FirstMatch(address, data_I.size());
    if (!found) {
      mSegments.push_back({address, std::deque<uint8_t>(data_I.begin(), data_I.end())});
      return Index(mSegments.size() - 1) && Fits(mSegments.size() - 1);
    }
    SWork& segment = mSegments[*found];
    if (data_I.empty()) return true;
    if (address >= segment.start && address < segment.End()) {
      // The bytes already loaded win; a record that runs past the segment's end still adds its tail, so no
      // byte of the file is lost without a word.
      const uint64_t overlap = segment.End() - address;
      if (overlap >= data_I.size()) return true;
      data_I.erase(data_I.begin(), data_I.begin() + static_cast<long>(overlap));
      address = segment.End();
    }
    Unindex(*found);
    if (address == segment.End()) {
      segment.data.insert(segment.data.end(), data_I.begin(), data_I.end());
    } else {
      segment.data.insert(segment.data.begin(), data_I.begin(), data_I.end());
      segment.start = address;
    }
    return Index(*found) && Fits(*found);
  }

  // No byte at all: records without data leave nothing to program.
  bool Empty() const { return mByStart.empty(); }

  std::vector<SRecSegment> Finish() const
  {
    std::vector<SRecSegment> segments;
    segments.reserve(mSegments.size());
    for (const SWork& work : mSegments) {
      segments.push_back({static_cast<uint32_t>(work.start), std::vector<uint8_t>(work.data.begin(), work.data.end())});
    }
    std::stable_sort(segments.begin(), segments.end(),
                     [](const SRecSegment& a_I, const SRecSegment& b_I) { return a_I.start < b_I.start; });
    return segments;
  }

 private:
  struct SWork {
    uint64_t start = 0;
    std::deque<uint8_t> data;
    uint64_t End() const { return start + data.size(); }
  };

  // The lowest list index among the segments that contain the address, end at it, or start where the
  // record ends.
  std::optional<size_t> FirstMatch(uint64_t address_I, uint64_t length_I) const
  {
    std::optional<size_t> first;
    const auto consider = [&first](const std::map<uint64_t, size_t>& index_I, uint64_t key_I) {
      const auto it = index_I.find(key_I);
      if (it != index_I.end() && (!first || it->second < *first)) first = it->second;
    };
    auto containing = mByStart.upper_bound(address_I);
    if (containing != mByStart.begin() && address_I < mSegments[std::prev(containing)->second].End()) {
      first = std::prev(containing)->second;
    }
    consider(mByEnd, address_I);
    consider(mEmpty, address_I);
    consider(mByStart, address_I + length_I);
    consider(mEmpty, address_I + length_I);
    return first;
  }

  // False when another segment already sits at the same key: the two overlap.
  bool Index(size_t index_I)
  {
    const SWork& segment = mSegments[index_I];
    if (segment.data.empty()) return mEmpty.emplace(segment.start, index_I).second;
    return mByStart.emplace(segment.start, index_I).second && mByEnd.emplace(segment.End(), index_I).second;
  }

  void Unindex(size_t index_I)
  {
    const SWork& segment = mSegments[index_I];
    if (segment.data.empty()) {
      mEmpty.erase(segment.start);
      return;
    }
    mByStart.erase(segment.start);
    mByEnd.erase(segment.End());
  }

  // Whether the segment that just grew or appeared keeps the final list free of overlaps.
  bool Fits(size_t index_I) const
  {
    const SWork& segment = mSegments[index_I];
    if (segment.data.empty()) return true;
    const auto it = mByStart.find(segment.start);
    if (it != mByStart.begin() && mSegments[std::prev(it)->second].End() > segment.start) return false;
    const auto next = std::next(it);
    if (next != mByStart.end() && next->first < segment.End()) return false;
    for (auto empty = mEmpty.lower_bound(segment.start); empty != mEmpty.end() && empty->first < segment.End();
         ++empty) {
      if (empty->first > segment.start || empty->second > index_I) return false;
    }
    return true;
  }

  std::vector<SWork> mSegments;
  std::map<uint64_t, size_t> mByStart;
  std::map<uint64_t, size_t> mByEnd;
  std::map<uint64_t, size_t> mEmpty;
};

std::filesystem::path Utf8Path(const std::string& path_I)
{
  return std::filesystem::path(std::u8string(path_I.begin(), path_I.end()));
}

}  // namespace

const char* DataSourceName(int32_t format_I)
{
  switch (format_I) {
    case EDATASOURCE_PEN: return "S-record (.pen)";
    case EDATASOURCE_TOUCH: return "S-record (.touch)";
    case EDATASOURCE_ORV: return "S-record (.orv)";
    case EDATASOURCE_HEX: return "Intel HEX";
    case EDATASOURCE_AIROFLASH: return "Airoha binary";
    case EDATASOURCE_BIN: return "scaler binary";
    default: return "none";
  }
}

std::string BoardFormatProblem(int32_t board_I, int32_t format_I)
{
  const bool scaler = board_I == EUPDATETYPE_SCALAR;
  if (scaler == (format_I == EDATASOURCE_BIN)) return "";
  const std::string board = std::string("the ") + UpdateTypeName(board_I) + " board takes ";
  return board + (scaler ? std::string("only a scaler binary (.bin), not ") + DataSourceName(format_I)
                         : std::string("no scaler binary (.bin)"));
}

bool ReadFirmwareFile(const std::string& path_I, std::vector<uint8_t>& bytes_O)
{
  std::string error;
  return ReadFirmwareFile(path_I, bytes_O, error);
}

bool ReadFirmwareFile(const std::string& path_I, std::vector<uint8_t>& bytes_O, std::string& error_O)
{
  std::ifstream file;
  std::error_code status;
  try {
    const std::filesystem::path path = Utf8Path(path_I);
    if (!std::filesystem::exists(path, status)) {
      error_O = "no such file";
      return false;
    }
    // A directory opens as a stream on some systems and then fails in the middle of a read.
    if (!std::filesystem::is_regular_file(path, status)) {
      error_O = "not a regular file";
      return false;
    }
    file.open(path, std::ios::binary);
  } catch (const std::exception&) {
    error_O = "the path is not valid UTF-8";  // such a path cannot name a file on Windows
    return false;
  }
  if (!file.is_open()) {
    error_O = "cannot open the file";
    return false;
  }
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size <= 0 || static_cast<uint64_t>(size) > kMaxFirmwareFileSize) {
    error_O = size == 0 ? "the file is empty" : size < 0 ? "cannot read the file" : "the file is larger than 64 MiB";
    return false;
  }
  file.seekg(0, std::ios::beg);
  try {
    bytes_O.assign(static_cast<size_t>(size), 0);
    file.read(reinterpret_cast<char*>(bytes_O.data()), size);
  } catch (const std::exception&) {
    error_O = "cannot read the file";
    return false;
  }
  // A short read means the file changed under us: half an image must not pass for a whole one.
  if (file.gcount() != size) {
    error_O = "the file could not be read completely";
    return false;
  }
  return true;
}

bool ReadHexDigits(std::string_view text_I, size_t pos_I, size_t digits_I, uint32_t& value_O)
{
  if (pos_I > text_I.size() || digits_I > text_I.size() - pos_I) return false;
  const char* first = text_I.data() + pos_I;
  const char* last = first + digits_I;
  const auto [end, error] = std::from_chars(first, last, value_O, 16);
  return error == std::errc() && end == last;
}

CSRec::CSRec()
    : mIntelHex(std::make_shared<CIntelHex>()),
      mAiroFlash(std::make_shared<CBinaryAiroFlash>()),
      mScaler(std::make_shared<CScalarRTDISP>())
{
}

bool CSRec::Load(const std::string& path_I)
{
  mPath = path_I;
  mFormat = EDATASOURCE_NONE;
  mError.clear();
  if (path_I.empty()) {
    ORV_ASSERT_MESSAGE("firmware file not specified");
    mError = "no firmware file named";
  } else {
    mFormat = FormatFromPath(path_I);
  }
  switch (mFormat) {
    case EDATASOURCE_PEN:
    case EDATASOURCE_TOUCH:
    case EDATASOURCE_ORV: return LoadSRec();
    case EDATASOURCE_HEX:
      if (mIntelHex->Load(path_I)) return true;
      mError = mIntelHex->GetError();
      return false;
    case EDATASOURCE_AIROFLASH: return LoadBinary(*mAiroFlash) && CheckAirohaReach();
    case EDATASOURCE_BIN: return LoadBinary(*mScaler);
    default:
      ORV_ASSERT_MESSAGE("unrecognized file format");
      if (!mError.empty()) return false;
      mError = "unknown file extension (expected .pen, .touch, .orv, .hex, .airoflash or .bin)";
      return false;
  }
}

template <typename Image>
bool CSRec::LoadBinary(Image& image_IO)
{
  if (image_IO.Load(mPath)) return true;
  std::vector<uint8_t> bytes;
  if (!ReadFirmwareFile(mPath, bytes, mError)) return false;
  mError = "cannot read the file";
  return false;
}

// An Airoha frame addresses 24 bits: an image's bytes past that would be written over its start again, the window
// kept from writing included.
bool CSRec::CheckAirohaReach()
{
  constexpr uint64_t kAirohaAddressSpace = 0x1000000;
  if (mAiroFlash->GetData().size() <= kAirohaAddressSpace) return true;
  mError = "the Airoha image of " + std::to_string(mAiroFlash->GetData().size()) + " bytes reaches past the " +
           std::to_string(kAirohaAddressSpace) + " bytes its frames can address";
  mAiroFlash = std::make_shared<CBinaryAiroFlash>();
  return false;
}

std::string CSRec::GetHeaderVersion() const
{
  const size_t start = mHeader.find_last_of(' ') == std::string::npos ? 0 : mHeader.find_last_of(' ') + 1;
  std::string word = mHeader.substr(start);
  if (!word.empty() && (word[0] == 'v' || word[0] == 'V')) word.erase(0, 1);
  const bool digitsAndDots = !word.empty() && std::isdigit(static_cast<unsigned char>(word.front())) &&
                             std::isdigit(static_cast<unsigned char>(word.back())) &&
                             std::all_of(word.begin(), word.end(), [](char c_I) {
                               return c_I == '.' || std::isdigit(static_cast<unsigned char>(c_I));
                             });
  return digitsAndDots && word.find('.') != std::string::npos ? word : "";
}

uint64_t CSRec::GetImageSize() const
{
  switch (mFormat) {
    case EDATASOURCE_HEX: return mIntelHex->GetStartAddress() == -1 ? 0 : mIntelHex->GetLength();
    case EDATASOURCE_AIROFLASH: return mAiroFlash->GetData().size();
    case EDATASOURCE_BIN: return mScaler->GetData().size();
    default: {
      uint64_t total = 0;
      for (const SRecSegment& segment : mSegments) total += segment.data.size();
      return total;
    }
  }
}

void CSRec::Reset()
{
  mSegments.clear();
  mPath.clear();
  mFormat = EDATASOURCE_NONE;
  mIntelHex = std::make_shared<CIntelHex>();
  mAiroFlash = std::make_shared<CBinaryAiroFlash>();
  mScaler = std::make_shared<CScalarRTDISP>();
}

// Any malformed line fails the whole load and leaves the segment list empty. A record count (S5, S6) must
// match the data records before it. The file is whole when its data is followed by a termination record (S7,
// S8 or S9), or when its last record is such a count, as tools that write no start address leave it: a file
// cut short by a broken download never passes for a whole one.
bool CSRec::LoadSRec()
{
  mSegments.clear();
  mHeader.clear();
  std::vector<uint8_t> bytes;
  if (!ReadFirmwareFile(mPath, bytes, mError)) return false;
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  // A byte order mark an editor put in front would make the first record a line to skip.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  CSegmentBuilder builder;
  SRecord record;
  size_t dataRecords = 0;
  bool ended = false;
  bool countedLast = false;
  size_t line = 0;
  const auto fail = [&](const std::string& reason_I) {
    mError = "line " + std::to_string(line) + ": " + reason_I;
    return false;
  };
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = std::min(text.find('\n', begin), text.size());
    const std::string_view content = text.substr(begin, end - begin);
    ++line;
    begin = end + 1;
    std::string reason;
    switch (ParseLine(content, record, reason)) {
      case ELINE_ERROR: return fail(reason);
      case ELINE_DATA:
        if (ended) return fail("data record after the termination record");
        ++dataRecords;
        countedLast = false;
        if (!builder.Add(record.address, std::move(record.data))) {
          return fail("data at " + HexText(record.address, 8) + " overlaps data loaded before");
        }
        break;
      case ELINE_COUNT:
        if (record.address != dataRecords) {
          return fail("record count " + std::to_string(record.address) + ", but " + std::to_string(dataRecords) +
                      " data records precede it");
        }
        countedLast = true;
        break;
      case ELINE_END: ended = true; break;
      case ELINE_SKIP:
        if (mHeader.empty() && content.size() >= kMinRecordLength && content.substr(0, 2) == "S0") {
          mHeader = HeaderText(content);
        }
        break;
    }
  }
  if (builder.Empty()) {
    mError = "no data records";
    return false;
  }
  if (!ended && !countedLast) {
    mError = "no termination record (S7, S8 or S9) or final record count (S5, S6): the file is incomplete";
    return false;
  }
  mSegments = builder.Finish();
  return true;
}

}  // namespace orv
