// How long one board of each kind takes to update on the simulated devices and the virtual clock, against its
// floor: the transfers its protocol needs for the image (loader queries, checksum commands, erases, block and
// word writes, programming reports, the loader switches) at the board's cost per transfer, plus the waits the
// device imposes (busy times, the I2C controller's loader switch, re-enumeration and its arrival notice) and
// the pauses the protocol prescribes. The floor is counted from the protocol's rules, the loader's description
// and the image alone, never from what the updater sends. The update runs through the application's entry as
// a user's run does and is timed from the switch into the loader to "Device Update complete!", when the board
// is back in normal mode; the difference is split into transfers beyond the floor (polls, repeated queries)
// and time paused beyond the device's waits.
//
//   orvel-update-bench DEMO_DIR
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/runapplication.h"
#include "bench/benchpackage.h"
#include "common/cclock.h"
#include "common/fwupdater/cbinaryairoflash.h"
#include "common/fwupdater/cintelhex.h"
#include "common/fwupdater/csrec.h"
#include "common/textconversion.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/crecordingview.h"

using namespace orv;

namespace {

// The loader's rules the floor is counted from.
constexpr uint16_t kProtectedAttribute = 0x8000;
constexpr uint32_t kIntelHexPacket = 128;
constexpr uint32_t kIntelHexLimit = 0x2C000;
// The Intel HEX flow pauses 1 ms after each acknowledged packet.
constexpr uint32_t kIntelHexPacketPauseMs = 1;
constexpr uint32_t kAirohaChunk = 256;
constexpr uint32_t kAirohaSkipStart = 0x3000;
constexpr uint32_t kAirohaSkipEnd = 0x8000;

// The demo's pen tablet: a re-enumerating pen board and a touch controller behind its I2C tunnel.
const char* const kTablet = R"({"nodes": [["USB\\VID_4F52&PID_0101\\TAB1", "USB\\ROOT_HUB30\\1"]], "devices": [
  {"kind": "hid", "name": "pen", "pid": "0101", "loaderPid": "0100", "usageId": "1", "instance": 1,
   "parent": "USB\\VID_4F52&PID_0101\\TAB1", "blockStart": "8000", "blockSize": 4096, "blocks": 32, "writeSize": 128},
  {"kind": "i2c", "name": "touch", "pid": "0101", "usageId": "2", "interface": 1, "instance": 2,
   "parent": "USB\\VID_4F52&PID_0101\\TAB1", "blockStart": "2000", "blockSize": 1024, "blocks": 22, "writeSize": 128}]})";

enum ETransport { ETRANSPORT_REENUMERATING, ETRANSPORT_IN_PLACE, ETRANSPORT_I2C, ETRANSPORT_BULK };

struct SKind {
  const char* name;
  const char* board;
  const char* options;
  const char* file;
  ETransport transport;
  const char* scenario;  // empty: the built-in pen display
};

const SKind kKinds[] = {
    {"HID protocol 0, re-enumerating", "pen", "-testpid 0101 -auto pen", "tablet_s.pen", ETRANSPORT_REENUMERATING, kTablet},
    {"HID protocol 1, in place", "pen", "-testpid 0210 -auto pen", "display_pen.orv", ETRANSPORT_IN_PLACE, nullptr},
    {"HID behind the router", "pen", "-testpid 0301 -auto pen", "display_pen.orv", ETRANSPORT_IN_PLACE,
     R"({"devices": [{"kind": "hid", "name": "pen", "pid": "0301", "usageId": "1", "usagePg": "FF00", "inPlace": true,
        "protocol": 1, "blockStart": "0", "blockSize": 4096, "blocks": 64, "writeSize": 256}]})"},
    {"I2C tunnel", "touch", "-testpid 0101 -auto touch", "tablet_s.touch", ETRANSPORT_I2C, kTablet},
    {"bulk returning as HID", "pen", "-testpid 0401 -auto pen", "tablet_s.pen", ETRANSPORT_BULK,
     R"({"devices": [{"kind": "bulk", "name": "pen", "pid": "0401", "loaderPid": "0400", "usageId": "1",
        "blockStart": "8000", "blockSize": 4096, "blocks": 32, "writeSize": 128}]})"},
    {"Intel HEX stream", "touch", "-testpid 0210 -auto touch", "display_touch.hex", ETRANSPORT_IN_PLACE, nullptr},
    {"Airoha stream", "bluetooth", "-testpid 0210 -auto bluetooth", "display_bt.airoflash", ETRANSPORT_IN_PLACE, nullptr},
};

struct SFloorItem {
  std::string what;
  uint64_t transfers;
  uint64_t waitMs;
};

// What the board cannot do without: each item's transfers at the board's cost, plus its waits. The answer that
// finds a busy device ready is read during the last transfer time of the busy time, so a wait for a busy
// device counts its busy time less one transfer.
struct SFloor {
  uint32_t transferMs = 1;
  // A flash-loader command's transfers and wait: one report, or over the tunnel the loader check every
  // command makes first (there it asks the controller), a request, the controller's busy time and its answer.
  uint64_t commandTransfers = 1;
  uint64_t commandWaitMs = 0;
  std::vector<SFloorItem> items;

  void Commands(const std::string& what_I, uint64_t count_I)
  {
    if (count_I != 0) items.push_back({what_I, count_I * commandTransfers, count_I * BusyWait(commandWaitMs)});
  }
  uint64_t BusyWait(uint64_t busyMs_I) const { return busyMs_I - std::min<uint64_t>(busyMs_I, transferMs); }
  uint64_t Transfers() const
  {
    uint64_t sum = 0;
    for (const SFloorItem& item : items) sum += item.transfers;
    return sum;
  }
  uint64_t Ms() const
  {
    uint64_t sum = 0;
    for (const SFloorItem& item : items) sum += item.transfers * transferMs + item.waitMs;
    return sum;
  }
};

// The image bytes a block holds, erased elsewhere; empty when no byte of the image falls into it.
std::vector<uint8_t> BlockImage(const sim::SSimLoaderBlock& block_I, const std::vector<SRecSegment>& segments_I)
{
  std::vector<uint8_t> data;
  for (const SRecSegment& segment : segments_I) {
    const uint64_t begin = std::max<uint64_t>(segment.start, block_I.start);
    const uint64_t end = std::min<uint64_t>(uint64_t{segment.start} + segment.data.size(), uint64_t{block_I.start} + block_I.size);
    if (begin >= end) continue;
    data.resize(block_I.size, 0xFF);
    std::copy(segment.data.begin() + static_cast<std::ptrdiff_t>(begin - segment.start),
              segment.data.begin() + static_cast<std::ptrdiff_t>(end - segment.start),
              data.begin() + static_cast<std::ptrdiff_t>(begin - block_I.start));
  }
  return data;
}

// Bytes from the first to the last word that is not erased.
uint64_t ProgrammedLength(const std::vector<uint8_t>& data_I, uint32_t wordSize_I)
{
  const auto erased = [&](size_t at_I) {
    return std::all_of(data_I.begin() + static_cast<std::ptrdiff_t>(at_I),
                       data_I.begin() + static_cast<std::ptrdiff_t>(std::min(at_I + wordSize_I, data_I.size())),
                       [](uint8_t byte_I) { return byte_I == 0xFF; });
  };
  size_t first = 0;
  while (first < data_I.size() && erased(first)) first += wordSize_I;
  if (first >= data_I.size()) return 0;
  size_t last = (data_I.size() - 1) / wordSize_I * wordSize_I;
  while (last > first && erased(last)) last -= wordSize_I;
  return last + wordSize_I - first;
}

// The S-record flow: loader queries, checksums read and invalidated, each block with image data erased and
// written (whole write reports, then words), its checksum checked under numbering 1, the checksums stored.
void AddSRecProgram(const sim::SSimLoaderConfig& loader_I, const CSRec& image_I, SFloor& floor_IO)
{
  const uint64_t blocks = loader_I.blocks.size();
  floor_IO.Commands("loader queries (CPU, count, parameters, description, checksums)", loader_I.cpuCount > 1 ? 6 : 5);
  floor_IO.Commands("checksums before", 1);
  if (loader_I.checksumSupported) floor_IO.Commands("magic word, block checksums, store (invalidate)", blocks + 2);
  uint64_t erases = 0;
  uint64_t blockWrites = 0;
  uint64_t wordWrites = 0;
  const std::vector<SRecSegment> segments = image_I.GetSegments();
  for (const sim::SSimLoaderBlock& block : loader_I.blocks) {
    const std::vector<uint8_t> data = BlockImage(block, segments);
    if (data.empty() || (block.attributes & kProtectedAttribute) != 0) continue;
    const uint32_t wordSize = std::max<uint32_t>(1, block.attributes & 0x7FFF);
    const uint64_t length = ProgrammedLength(data, wordSize);
    ++erases;
    blockWrites += length / loader_I.blockSize;
    wordWrites += length % loader_I.blockSize / wordSize;
  }
  floor_IO.Commands("erases", erases);
  floor_IO.Commands("block writes", blockWrites);
  floor_IO.Commands("word writes", wordWrites);
  if (loader_I.protocol == 1) floor_IO.Commands("block checksum checks (calculate, read, set)", 3 * erases);
  if (loader_I.checksumSupported) floor_IO.Commands("block checksums, store, read (finalize)", blocks + 2);
}

// The streaming flow: start, each packet and end, each acknowledged once the loader is no longer busy.
void AddStream(const sim::SSimLoaderConfig& loader_I, const CSRec& image_I, SFloor& floor_IO)
{
  uint64_t packets = 0;
  uint64_t pausesMs = 0;
  const std::shared_ptr<CIntelHex> hex = image_I.GetIntelHex();
  const std::shared_ptr<CBinaryAiroFlash> airoha = image_I.GetAiroFlash();
  if (hex && hex->GetLength() != 0) {
    packets = (std::min(hex->GetLength(), kIntelHexLimit) + kIntelHexPacket - 1) / kIntelHexPacket;
    pausesMs = packets * kIntelHexPacketPauseMs;
  } else if (airoha) {
    for (uint64_t offset = 0; offset < airoha->GetSize(); offset += kAirohaChunk) {
      const uint64_t address = static_cast<uint32_t>(airoha->GetStartAddress()) + offset;
      if (address < kAirohaSkipStart || address >= kAirohaSkipEnd) ++packets;
    }
  }
  const uint64_t busyMs = floor_IO.BusyWait(loader_I.busyMs);
  floor_IO.items.push_back({"programming start, request, busy time, answer", 2, busyMs});
  floor_IO.items.push_back({"programming packets, request, busy time, answer each", 2 * packets, packets * busyMs});
  if (pausesMs != 0) floor_IO.items.push_back({"the flow's pause after each packet", 0, pausesMs});
  floor_IO.items.push_back({"programming end, request, busy time, answer", 2, busyMs});
}

class CBench {
 public:
  explicit CBench(std::filesystem::path demo_I) : mDemo(std::move(demo_I)) {}
  bool Prepare();
  bool Run(const SKind& kind_I);

 private:
  SFloor Floor(const SKind& kind_I, const sim::CSimPlatform& platform_I, uint32_t eventDelayMs_I) const;
  uint64_t TransfersBetween(const SKind& kind_I, const sim::CSimPlatform& platform_I, uint64_t from_I, uint64_t to_I) const;

  std::filesystem::path mDemo;
  std::filesystem::path mWork;
  CScheduledClock mClock;
};

bool CBench::Prepare()
{
  mWork = bench::PrepareDemoCopy(mDemo, "orvel-update-bench");
  return !mWork.empty();
}

SFloor CBench::Floor(const SKind& kind_I, const sim::CSimPlatform& platform_I, uint32_t eventDelayMs_I) const
{
  SFloor floor;
  CSRec image;
  image.Load(kind_I.file);
  const auto tunnel = platform_I.I2CBoard(kind_I.board);
  const auto hid = platform_I.HidBoard(kind_I.board);
  const auto bulk = platform_I.BulkBoard(kind_I.board);
  const sim::SSimLoaderConfig& loader = tunnel ? tunnel->Config().flashLoader : hid->Config().flashLoader;
  floor.transferMs = tunnel ? tunnel->Config().transferMs : hid->Config().transferMs;
  const uint32_t reenumerateMs = bulk ? bulk->Config().reenumerateMs : hid ? hid->Config().reenumerateMs : 0;
  switch (kind_I.transport) {
    case ETRANSPORT_I2C:
      floor.items.push_back({"loader switch (status, enter, switch time, status, final status)", 4,
                             floor.BusyWait(tunnel->Config().enterMs)});
      floor.items.push_back({"loader checks of CPU selection, parameters and description", 3, 0});
      floor.commandTransfers = 3;
      floor.commandWaitMs = tunnel->Config().busyMs;
      break;
    case ETRANSPORT_BULK: floor.items.push_back({"enter loader (vendor request)", 1, 0}); break;
    default: floor.items.push_back({"enter loader (the CC pair)", 2, 0}); break;
  }
  const bool reenumerates = kind_I.transport == ETRANSPORT_REENUMERATING || kind_I.transport == ETRANSPORT_BULK;
  if (reenumerates) floor.items.push_back({"re-enumeration into the loader and its arrival notice", 0, reenumerateMs + eventDelayMs_I});
  image.GetSegments().empty() ? AddStream(loader, image, floor) : AddSRecProgram(loader, image, floor);
  floor.commandTransfers = 1;
  floor.commandWaitMs = 0;
  if (kind_I.transport == ETRANSPORT_I2C) {
    floor.items.push_back({"leave loader (status, leave, status, final status)", 4, 0});
  } else {
    floor.items.push_back({"leave loader", 1, 0});
  }
  if (reenumerates) floor.items.push_back({"re-enumeration back and its arrival notice", 0, reenumerateMs + eventDelayMs_I});
  return floor;
}

uint64_t CBench::TransfersBetween(const SKind& kind_I, const sim::CSimPlatform& platform_I, uint64_t from_I, uint64_t to_I) const
{
  const auto within = [&](uint64_t atMs_I) { return atMs_I > from_I && atMs_I <= to_I; };
  uint64_t count = 0;
  if (const auto tunnel = platform_I.I2CBoard(kind_I.board)) {
    for (const sim::SSimTransfer& transfer : tunnel->Trace()) count += within(transfer.timeMs) ? 1 : 0;
    return count;
  }
  for (const sim::SSimTransfer& transfer : platform_I.HidBoard(kind_I.board)->Trace()) count += within(transfer.timeMs) ? 1 : 0;
  if (const auto bulk = platform_I.BulkBoard(kind_I.board)) {
    for (const sim::SSimUsbTransfer& transfer : bulk->Trace()) count += within(transfer.timeMs) ? 1 : 0;
  }
  return count;
}

bool CBench::Run(const SKind& kind_I)
{
  std::string error;
  const std::string scenario = kind_I.scenario != nullptr ? kind_I.scenario : sim::CSimPlatform::DefaultScenario();
  const std::unique_ptr<sim::CSimPlatform> platform = sim::CSimPlatform::CreateFromText(scenario, error);
  if (!platform) {
    std::printf("%-32s scenario refused: %s\n", kind_I.name, error.c_str());
    return false;
  }
  test::CRecordingView view;
  std::mutex linesLock;
  std::vector<std::pair<uint64_t, std::string>> lines;
  SApplicationPorts ports;
  ports.view = [&view]() -> CUpdateView& { return view; };
  ports.userLanguage = std::make_shared<CFixedUserLanguage>(1033);
  ports.preUpdatePrompt = [](const CLanguageProvider&) { return 0; };
  ports.makeEnvironment = [&platform] {
    SRunEnvironment environment;
    environment.discovery = platform->CreateDiscovery("./fw_loader.ini");
    environment.events = platform->Events();
    return environment;
  };
  ports.tempDir = mWork.string() + "/";
  ports.logMirror = [&](const std::string& line_I) {
    const std::lock_guard<std::mutex> guard(linesLock);
    lines.emplace_back(Clock().NowMs(), line_I);
  };
  const CScopedClock installed(mClock);
  const int exitCode = RunApplication(ParseCommandLine(Utf8ToWide(kind_I.options)), ports);
  const auto at = [&lines](const std::string& text_I) -> std::optional<uint64_t> {
    for (const auto& [timeMs, line] : lines) {
      if (line.find(text_I) != std::string::npos) return timeMs;
    }
    return std::nullopt;
  };
  const std::optional<uint64_t> start = at("to Loader mode...");
  const std::optional<uint64_t> end = at("Device Update complete!");
  if (exitCode != 0 || !start || !end) {
    std::printf("%-32s the update failed (exit code %d)\n", kind_I.name, exitCode);
    return false;
  }
  const SFloor floor = Floor(kind_I, *platform, platform->Bus()->EventDelayMs());
  const uint64_t updateMs = *end - *start;
  const uint64_t floorMs = floor.Ms();
  const int64_t extraTransfers = static_cast<int64_t>(TransfersBetween(kind_I, *platform, *start, *end)) -
                                 static_cast<int64_t>(floor.Transfers());
  const int64_t extraPausesMs = static_cast<int64_t>(updateMs) - static_cast<int64_t>(floorMs) -
                                extraTransfers * static_cast<int64_t>(floor.transferMs);
  std::printf("%s (%s, %u ms a transfer), floor:\n", kind_I.name, kind_I.file, floor.transferMs);
  for (const SFloorItem& item : floor.items) {
    std::printf("    %-66s %6llu transfers %7llu ms waits\n", item.what.c_str(),
                static_cast<unsigned long long>(item.transfers), static_cast<unsigned long long>(item.waitMs));
  }
  std::printf("%-32s update %8.3f s  floor %8.3f s  beyond: %lld transfers (polls, repeated queries), "
              "%lld ms paused beyond the device's waits  ratio %.2f\n",
              kind_I.name, updateMs / 1e3, floorMs / 1e3, static_cast<long long>(extraTransfers),
              static_cast<long long>(extraPausesMs), static_cast<double>(updateMs) / static_cast<double>(floorMs));
  return true;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2 || !std::filesystem::is_directory(argv[1])) {
    std::fprintf(stderr, "usage: orvel-update-bench DEMO_DIR (examples/demo)\n");
    return 2;
  }
  CBench bench(std::filesystem::absolute(argv[1]));
  if (!bench.Prepare()) {
    std::fprintf(stderr, "cannot prepare the package from %s\n", argv[1]);
    return 2;
  }
  bool ok = true;
  for (const SKind& kind : kKinds) ok = bench.Run(kind) && ok;
  return ok ? 0 : 1;
}
