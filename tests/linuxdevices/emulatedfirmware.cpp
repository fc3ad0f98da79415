#include "tests/linuxdevices/emulatedfirmware.h"

#include <algorithm>

#include "common/stringutilities.h"
#include "sim/csimflashloader.h"
#include "sim/csimhidboard.h"

namespace orv::test {
namespace {

// The board's normal-mode commands, each in a report of this size: ping, enter-loader, vendor command.
constexpr size_t kNormalReportLength = 64;
const std::vector<SFirmwareReport> kNormalReports{
    {0x02, kNormalReportLength, 2, 2}, {0xCC, kNormalReportLength, 3, 3}, {0x08, kNormalReportLength, 5, 5}};
// The HID router's wrapper.
const SFirmwareReport kRouterReport{0xDC, 1024, 1024, 1024};
// The tunnel: its own ping, the loader switch and status, read requests (5) and answers (266), write
// requests (265) and their status (6).
const std::vector<SFirmwareReport> kTunnelReports{
    {0x02, kNormalReportLength, 2, 2}, {0xB0, 3, 3, 3}, {0xB1, 266, 5, 266}, {0xB2, 265, 265, 6}};
// The most fields one main item of this firmware declares.
constexpr size_t kMaxFieldsPerItem = 4096;

void PutItem(std::vector<uint8_t>& bytes_IO, uint8_t prefix_I, uint32_t value_I)
{
  const bool wide = value_I > 0xFF;
  bytes_IO.push_back(static_cast<uint8_t>(prefix_I | (wide ? 2 : 1)));
  bytes_IO.push_back(static_cast<uint8_t>(value_I));
  if (wide) bytes_IO.push_back(static_cast<uint8_t>(value_I >> 8));
}

// The report's bytes after the id as byte-wide feature fields, in items of at most kMaxFieldsPerItem.
void PutFeature(std::vector<uint8_t>& bytes_IO, const SFirmwareReport& report_I, bool withId_I)
{
  if (withId_I) PutItem(bytes_IO, 0x84, report_I.id);
  for (size_t left = report_I.length - 1; left > 0;) {
    const size_t fields = std::min(left, kMaxFieldsPerItem);
    PutItem(bytes_IO, 0x94, static_cast<uint32_t>(fields));
    PutItem(bytes_IO, 0x08, report_I.id == 0 ? 1 : report_I.id);
    bytes_IO.insert(bytes_IO.end(), {0xB1, 0x02});
    left -= fields;
  }
}

std::vector<SFirmwareReport> LoaderReports(const sim::SSimLoaderConfig& config_I)
{
  std::vector<SFirmwareReport> reports;
  for (const auto& [id, length] : sim::CSimFlashLoader::ReportLengths(config_I)) {
    reports.push_back({id, length, length, length});
  }
  return reports;
}

}  // namespace

std::vector<uint8_t> FirmwareDescriptor(const std::vector<SFirmwareCollection>& collections_I)
{
  std::vector<uint8_t> bytes;
  for (const SFirmwareCollection& collection : collections_I) {
    const SHidCaps& caps = collection.caps;
    bytes.insert(bytes.end(), {0x06, static_cast<uint8_t>(caps.usagePage), static_cast<uint8_t>(caps.usagePage >> 8),
                               0x0A, static_cast<uint8_t>(caps.usage), static_cast<uint8_t>(caps.usage >> 8), 0xA1, 0x01});
    // Byte-wide fields throughout, set once for the whole collection.
    bytes.insert(bytes.end(), {0xA4, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08});
    for (const SFirmwareReport& report : collection.reports) PutFeature(bytes, report, !collection.withoutIds);
    bytes.insert(bytes.end(), {0xB4, 0xC0});
  }
  return bytes;
}

SFirmwareCollection BoardFirmware(const sim::CSimPlatform& platform_I, const std::string& simPath_I,
                                  const SHidCaps& caps_I)
{
  SFirmwareCollection collection{caps_I, {}};
  for (const std::string& name : platform_I.BoardNames()) {
    if (const std::shared_ptr<sim::CSimI2CTunnelBoard> tunnel = platform_I.I2CBoard(name)) {
      if (EqualsIgnoreCase(tunnel->Config().identity.path, simPath_I)) collection.reports = kTunnelReports;
      continue;
    }
    const std::shared_ptr<sim::CSimHidBoard> board = platform_I.HidBoard(name);
    if (!board) continue;
    const sim::SSimHidBoardConfig& config = board->Config();
    const bool normal = EqualsIgnoreCase(config.normal.path, simPath_I);
    const bool loader = config.reenumerate ? EqualsIgnoreCase(config.loader.path, simPath_I) : normal;
    if (!normal && !loader) continue;
    if (caps_I.usagePage == sim::kSimRouterUsagePage) {
      collection.reports = {kRouterReport};
      return collection;
    }
    if (normal) collection.reports = kNormalReports;
    if (loader) {
      const std::vector<SFirmwareReport> reports = LoaderReports(config.flashLoader);
      collection.reports.insert(collection.reports.end(), reports.begin(), reports.end());
    }
  }
  return collection;
}

}  // namespace orv::test
