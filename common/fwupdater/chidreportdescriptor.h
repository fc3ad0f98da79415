// The top-level collections a HID report descriptor declares: their usage page and usage, what the system
// identifies a HID collection by, and the feature reports each declares with their lengths, what a transport
// must send and ask for. Platforms whose HID stack hands out the raw descriptor use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/fwupdater/chidsystem.h"

namespace orv {

// The largest report descriptor a HID device can have.
constexpr size_t kMaxHidReportDescriptor = 4096;
// The longest report the kernel's HID core takes, its report id not counted.
constexpr size_t kMaxHidReportLength = 16383;
// The most top-level collections a device's collection paths can number.
constexpr size_t kMaxHidCollections = 255;

// A feature report as a collection declares it: its id (0 when the descriptor declares no ids) and its
// length in bytes after the id, the bits of all its fields rounded up to whole bytes.
struct SHidFeatureReport {
  uint8_t id = 0;
  size_t length = 0;
  bool operator==(const SHidFeatureReport&) const = default;
};

struct SHidCollection {
  SHidCaps caps;
  // In the order the descriptor first names each id.
  std::vector<SHidFeatureReport> features;
  bool operator==(const SHidCollection&) const = default;
};

// The top-level collections in descriptor order. A collection's usage is the first usage declared before
// it; a one- or two-byte usage takes the usage page in effect at the collection. A feature report belongs
// to the collection its fields are declared in; the report id, size and count are the globals in effect
// (push and pop included). Empty for a descriptor that is malformed (an item running past the end, an
// unbalanced collection or pop, nesting too deep, a report id of 0 or above 255, a field size or count the
// kernel refuses, a report longer than kMaxHidReportLength) or longer than kMaxHidReportDescriptor: such a
// device cannot be identified. Collections past the first kMaxHidCollections are checked but not listed,
// having no path to be opened by.
std::vector<SHidCollection> ParseHidCollections(const std::vector<uint8_t>& descriptor_I);

// The usage and usage page of each collection ParseHidCollections finds.
std::vector<SHidCaps> ParseTopLevelCollections(const std::vector<uint8_t>& descriptor_I);

}  // namespace orv
