#include "common/fwupdater/chidreportdescriptor.h"

#include <map>
#include <optional>

namespace orv {
namespace {

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr size_t kMaxStackDepth = 32;
// The kernel's HID core refuses a field wider than this, and more fields in one item than this.
constexpr uint32_t kMaxReportSizeBits = 256;
constexpr uint32_t kMaxReportCount = 12288;

enum EItemType : uint8_t {
  EITEMTYPE_MAIN = 0,
  EITEMTYPE_GLOBAL = 1,
  EITEMTYPE_LOCAL = 2,
};

enum EItemTag : uint8_t {
  EITEMTAG_FEATURE = 0x0B,
  EITEMTAG_COLLECTION = 0x0A,
  EITEMTAG_END_COLLECTION = 0x0C,
  EITEMTAG_USAGE_PAGE = 0x00,
  EITEMTAG_REPORT_SIZE = 0x07,
  EITEMTAG_REPORT_ID = 0x08,
  EITEMTAG_REPORT_COUNT = 0x09,
  EITEMTAG_PUSH = 0x0A,
  EITEMTAG_POP = 0x0B,
  EITEMTAG_USAGE = 0x00,
};

struct SItem {
  uint8_t type = 0;
  uint8_t tag = 0;
  size_t size = 0;
  uint32_t data = 0;
};

// The short item at pos_IO, long items stepped over; empty at the end, and with malformed_O set when an
// item runs past it.
std::optional<SItem> NextItem(const std::vector<uint8_t>& bytes_I, size_t& pos_IO, bool& malformed_O)
{
  while (pos_IO < bytes_I.size() && bytes_I[pos_IO] == kLongItemPrefix) {
    const size_t next = pos_IO + 3 + (pos_IO + 1 < bytes_I.size() ? bytes_I[pos_IO + 1] : 0);
    if (pos_IO + 2 >= bytes_I.size() || next > bytes_I.size()) {
      malformed_O = true;
      return std::nullopt;
    }
    pos_IO = next;
  }
  if (pos_IO == bytes_I.size()) return std::nullopt;
  const uint8_t prefix = bytes_I[pos_IO];
  SItem item;
  item.size = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
  item.type = (prefix >> 2) & 0x03;
  item.tag = prefix >> 4;
  if (pos_IO + 1 + item.size > bytes_I.size()) {
    malformed_O = true;
    return std::nullopt;
  }
  for (size_t i = 0; i < item.size; ++i) item.data |= static_cast<uint32_t>(bytes_I[pos_IO + 1 + i]) << (8 * i);
  pos_IO += 1 + item.size;
  return item;
}

// What the globals say at one point of the descriptor.
struct SGlobals {
  uint32_t usagePage = 0;
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  uint8_t reportId = 0;
};

// The descriptor read item by item; false from Apply ends the parse as malformed.
class CDescriptorParser {
 public:
  bool Apply(const SItem& item_I);
  bool Finish() const { return mDepth == 0; }
  std::vector<SHidCollection> TakeCollections();

 private:
  bool ApplyGlobal(const SItem& item_I);
  bool ApplyMain(const SItem& item_I);
  bool AddFeatureBits();

  SGlobals mGlobals;
  std::vector<SGlobals> mStack;
  std::optional<SItem> mFirstUsage;
  size_t mDepth = 0;
  // Top-level collections closed so far, listed or not.
  size_t mTopLevelCount = 0;
  std::vector<SHidCollection> mCollections;
  // The bits declared so far for each feature report of the open top-level collection.
  std::map<uint8_t, uint64_t> mFeatureBits;
  std::vector<uint8_t> mFeatureOrder;
};

bool CDescriptorParser::Apply(const SItem& item_I)
{
  if (item_I.type == EITEMTYPE_GLOBAL) return ApplyGlobal(item_I);
  if (item_I.type == EITEMTYPE_LOCAL && item_I.tag == EITEMTAG_USAGE && !mFirstUsage) mFirstUsage = item_I;
  if (item_I.type != EITEMTYPE_MAIN) return true;
  const bool applied = ApplyMain(item_I);
  // Local items belong to the main item they precede.
  mFirstUsage.reset();
  return applied;
}

bool CDescriptorParser::ApplyGlobal(const SItem& item_I)
{
  switch (item_I.tag) {
    case EITEMTAG_USAGE_PAGE: mGlobals.usagePage = item_I.data; return true;
    case EITEMTAG_REPORT_SIZE: mGlobals.reportSize = item_I.data; return item_I.data <= kMaxReportSizeBits;
    case EITEMTAG_REPORT_COUNT: mGlobals.reportCount = item_I.data; return item_I.data <= kMaxReportCount;
    case EITEMTAG_REPORT_ID:
      mGlobals.reportId = static_cast<uint8_t>(item_I.data);
      return item_I.data != 0 && item_I.data <= 0xFF;
    case EITEMTAG_PUSH:
      if (mStack.size() == kMaxStackDepth) return false;
      mStack.push_back(mGlobals);
      return true;
    case EITEMTAG_POP:
      if (mStack.empty()) return false;
      mGlobals = mStack.back();
      mStack.pop_back();
      return true;
    default: return true;
  }
}

bool CDescriptorParser::ApplyMain(const SItem& item_I)
{
  if (item_I.tag == EITEMTAG_FEATURE) return mDepth == 0 || AddFeatureBits();
  if (item_I.tag == EITEMTAG_COLLECTION) {
    if (mDepth == 0 && mCollections.size() < kMaxHidCollections) {
      const uint32_t usage = mFirstUsage ? mFirstUsage->data : 0;
      const bool extended = mFirstUsage && mFirstUsage->size == 4;
      mCollections.push_back({{static_cast<uint16_t>(usage & 0xFFFF),
                               static_cast<uint16_t>(extended ? usage >> 16 : mGlobals.usagePage)},
                              {}});
    }
    return ++mDepth <= kMaxStackDepth;
  }
  if (item_I.tag != EITEMTAG_END_COLLECTION) return true;
  if (mDepth == 0) return false;
  if (--mDepth > 0) return true;
  if (++mTopLevelCount <= kMaxHidCollections) {
    for (const uint8_t id : mFeatureOrder) mCollections.back().features.push_back({id, (mFeatureBits[id] + 7) / 8});
  }
  mFeatureBits.clear();
  mFeatureOrder.clear();
  return true;
}

// Fields of a feature report add to it; padding fields (constant) count as well, being part of the report.
bool CDescriptorParser::AddFeatureBits()
{
  const auto [entry, added] = mFeatureBits.try_emplace(mGlobals.reportId, 0);
  if (added) mFeatureOrder.push_back(mGlobals.reportId);
  entry->second += uint64_t{mGlobals.reportSize} * mGlobals.reportCount;
  return entry->second <= uint64_t{kMaxHidReportLength} * 8;
}

std::vector<SHidCollection> CDescriptorParser::TakeCollections() { return std::move(mCollections); }

}  // namespace

std::vector<SHidCollection> ParseHidCollections(const std::vector<uint8_t>& descriptor_I)
{
  if (descriptor_I.size() > kMaxHidReportDescriptor) return {};
  CDescriptorParser parser;
  size_t pos = 0;
  bool malformed = false;
  while (const std::optional<SItem> item = NextItem(descriptor_I, pos, malformed)) {
    if (!parser.Apply(*item)) return {};
  }
  if (malformed || !parser.Finish()) return {};
  return parser.TakeCollections();
}

std::vector<SHidCaps> ParseTopLevelCollections(const std::vector<uint8_t>& descriptor_I)
{
  std::vector<SHidCaps> caps;
  for (const SHidCollection& collection : ParseHidCollections(descriptor_I)) caps.push_back(collection.caps);
  return caps;
}

}  // namespace orv
