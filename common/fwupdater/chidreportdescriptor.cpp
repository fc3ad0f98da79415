#include "common/fwupdater/chidreportdescriptor.h"

#include <optional>

namespace orv {
namespace {

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr size_t kMaxStackDepth = 32;

enum EItemType : uint8_t {
  EITEMTYPE_MAIN = 0,
  EITEMTYPE_GLOBAL = 1,
  EITEMTYPE_LOCAL = 2,
};

enum EItemTag : uint8_t {
  EITEMTAG_COLLECTION = 0x0A,
  EITEMTAG_END_COLLECTION = 0x0C,
  EITEMTAG_USAGE_PAGE = 0x00,
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

}  // namespace

std::vector<SHidCaps> ParseTopLevelCollections(const std::vector<uint8_t>& descriptor_I)
{
  if (descriptor_I.size() > kMaxHidReportDescriptor) return {};
  std::vector<SHidCaps> collections;
  std::vector<uint32_t> pageStack;
  uint32_t usagePage = 0;
  std::optional<SItem> firstUsage;
  size_t depth = 0;
  size_t pos = 0;
  bool malformed = false;
  while (const std::optional<SItem> item = NextItem(descriptor_I, pos, malformed)) {
    if (item->type == EITEMTYPE_GLOBAL && item->tag == EITEMTAG_USAGE_PAGE) {
      usagePage = item->data;
    } else if (item->type == EITEMTYPE_GLOBAL && item->tag == EITEMTAG_PUSH) {
      if (pageStack.size() == kMaxStackDepth) return {};
      pageStack.push_back(usagePage);
    } else if (item->type == EITEMTYPE_GLOBAL && item->tag == EITEMTAG_POP) {
      if (pageStack.empty()) return {};
      usagePage = pageStack.back();
      pageStack.pop_back();
    } else if (item->type == EITEMTYPE_LOCAL && item->tag == EITEMTAG_USAGE) {
      if (!firstUsage) firstUsage = item;
    } else if (item->type == EITEMTYPE_MAIN) {
      if (item->tag == EITEMTAG_COLLECTION) {
        if (depth == 0) {
          const uint32_t usage = firstUsage ? firstUsage->data : 0;
          const bool extended = firstUsage && firstUsage->size == 4;
          collections.push_back({static_cast<uint16_t>(usage & 0xFFFF),
                                 static_cast<uint16_t>(extended ? usage >> 16 : usagePage)});
        }
        if (++depth > kMaxStackDepth) return {};
      } else if (item->tag == EITEMTAG_END_COLLECTION) {
        if (depth == 0) return {};
        --depth;
      }
      // Local items belong to the main item they precede.
      firstUsage.reset();
    }
  }
  if (malformed || depth != 0) return {};
  return collections;
}

}  // namespace orv
