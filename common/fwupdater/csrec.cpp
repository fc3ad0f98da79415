#include "common/fwupdater/csrec.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "common/assertion.h"
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

enum ELine { ELINE_SKIP, ELINE_DATA, ELINE_ERROR };

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
    case '7':
    case '8':
    case '9': return 0;
    default: return std::nullopt;
  }
}

// The byte count is not compared with the line: the data run is fixed by the line length alone.
bool ParseDataRecord(std::string_view line_I, size_t addressDigits_I, SRecord& record_O)
{
  const size_t dataPos = kAddressPos + addressDigits_I;
  if (line_I.size() < dataPos + 2 || (line_I.size() - dataPos) % 2 != 0) return false;
  const size_t checksumPos = line_I.size() - 2;
  uint32_t count = 0;
  uint32_t checksum = 0;
  if (!ReadHexDigits(line_I, 2, 2, count) || count < 3 || !ReadHexDigits(line_I, checksumPos, 2, checksum)) {
    return false;
  }
  uint32_t sum = count;
  record_O.address = 0;
  for (size_t pos = kAddressPos; pos < dataPos; pos += 2) {
    uint32_t byte = 0;
    if (!ReadHexDigits(line_I, pos, 2, byte)) return false;
    record_O.address = (record_O.address << 8) | byte;
    sum += byte;
  }
  record_O.data.clear();
  for (size_t pos = dataPos; pos < checksumPos; pos += 2) {
    uint32_t byte = 0;
    if (!ReadHexDigits(line_I, pos, 2, byte)) return false;
    record_O.data.push_back(static_cast<uint8_t>(byte));
    sum += byte;
  }
  if ((sum & 0xFF) + checksum != 0xFF) return false;
  // A record running past 0xFFFFFFFF would wrap around to address 0.
  return record_O.address + uint64_t{record_O.data.size()} <= kAddressSpace;
}

ELine ParseLine(std::string_view line_I, SRecord& record_O)
{
  // The same file must load alike everywhere, so a CR LF line end reads as LF on every platform.
  if (!line_I.empty() && line_I.back() == '\r') line_I.remove_suffix(1);
  if (line_I.empty()) return ELINE_SKIP;
  if (line_I.size() < kMinRecordLength) return ELINE_ERROR;
  if (line_I[0] != 'S') return ELINE_SKIP;
  const std::optional<size_t> addressDigits = AddressDigits(line_I[1]);
  if (!addressDigits) return ELINE_ERROR;
  if (*addressDigits == 0) return ELINE_SKIP;
  return ParseDataRecord(line_I, *addressDigits, record_O) ? ELINE_DATA : ELINE_ERROR;
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

  bool Empty() const { return mSegments.empty(); }

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

bool ReadFirmwareFile(const std::string& path_I, std::vector<uint8_t>& bytes_O)
{
  std::ifstream file;
  try {
    file.open(Utf8Path(path_I), std::ios::binary);
  } catch (const std::exception&) {
    return false;  // a path that is not UTF-8 cannot name a file on Windows
  }
  if (!file.is_open()) return false;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size <= 0 || static_cast<uint64_t>(size) > kMaxFirmwareFileSize) return false;
  file.seekg(0, std::ios::beg);
  try {
    bytes_O.assign(static_cast<size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  file.read(reinterpret_cast<char*>(bytes_O.data()), size);
  // A short read means the file changed under us: half an image must not pass for a whole one.
  return file.gcount() == size;
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
  if (path_I.empty()) {
    ORV_ASSERT_MESSAGE("firmware file not specified");
  } else {
    mFormat = FormatFromPath(path_I);
  }
  switch (mFormat) {
    case EDATASOURCE_PEN:
    case EDATASOURCE_TOUCH:
    case EDATASOURCE_ORV: return LoadSRec();
    case EDATASOURCE_HEX: return mIntelHex->Load(path_I);
    case EDATASOURCE_AIROFLASH: return mAiroFlash->Load(path_I);
    case EDATASOURCE_BIN: return mScaler->Load(path_I);
    default: ORV_ASSERT_MESSAGE("unrecognized file format"); return false;
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

// Any malformed line fails the whole load and leaves the segment list empty.
bool CSRec::LoadSRec()
{
  mSegments.clear();
  std::vector<uint8_t> bytes;
  if (!ReadFirmwareFile(mPath, bytes)) return false;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  CSegmentBuilder builder;
  SRecord record;
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = std::min(text.find('\n', begin), text.size());
    switch (ParseLine(text.substr(begin, end - begin), record)) {
      case ELINE_ERROR: return false;
      case ELINE_DATA:
        if (!builder.Add(record.address, std::move(record.data))) return false;
        break;
      case ELINE_SKIP: break;
    }
    begin = end + 1;
  }
  if (builder.Empty()) return false;
  mSegments = builder.Finish();
  return true;
}

}  // namespace orv
