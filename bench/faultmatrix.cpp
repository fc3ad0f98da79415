// The fault matrix: the whole update, through the application's entry, on the simulated devices and the
// virtual clock, for every board kind x phase x fault. Each case must end within a bound of virtual time with
// exit code 1 and a failure message, or with 0 only when the flash equals the image; and a second, ordinary
// run on the same board (plugged in again, faults gone) must complete the update with the flash equal to the
// image. Prints one line per failing case and a table; exits 1 when any case failed.
//
//   orvel-fault-matrix [--sample N] [--kind K] [--verbose] DEMO_DIR
// --sample N runs every Nth case; --kind K only the board kind K (0-7, in the order of the table); --verbose
// prints every case and keeps the logs of failed runs.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/runapplication.h"
#include "app/uistrings.h"
#include "common/cclock.h"
#include "common/fwupdater/cbinaryairoflash.h"
#include "common/fwupdater/cintelhex.h"
#include "common/fwupdater/csrec.h"
#include "common/osd/cd2xx.h"
#include "common/textconversion.h"
#include "sim/csimplatform.h"
#include "sim/csimscalerisp.h"
#include "tests/testsupport/crecordingview.h"

using namespace orv;

namespace {

constexpr uint64_t kVirtualBoundMs = 30 * 60 * 1000;
constexpr uint32_t kPowerOffMs = 3000;

// The models the matrix adds to the demo package: a pen board behind a HID router, and one of the bulk class.
const char* const kExtraModels = R"(,
	{"name": "Orvel Router Tablet",
	 "penBoard": {"pid": "0301", "interface": "HID", "sectors": 64, "usageId": "0001", "usagePg": "FF00",
	              "intoBLMode": false, "update": "display_pen.orv"}},
	{"name": "Orvel Bulk Tablet",
	 "penBoard": {"pid": "0401", "interface": "BULK", "sectors": 32, "usageId": "0", "usagePg": "0",
	              "update": "tablet_s.pen"}},
	{"name": "Orvel Bulk Tablet",
	 "penBoard": {"pid": "0401", "update": "tablet_s.pen"},
	 "loaderBoard": {"pid": "0400", "interface": "HID", "sectors": 32, "usageId": "0001", "usagePg": "FF0D"}}
])";

// The demo's pen tablet: a re-enumerating pen board and the touch controller behind its I2C tunnel, one
// composite USB device. While the pen board runs its loader the whole device shows only the loader.
const char* const kTablet = R"({
  "nodes": [["USB\\VID_4F52&PID_0101\\TAB1", "USB\\ROOT_HUB30\\1"]],
  "devices": [
    {"kind": "hid", "name": "pen", "pid": "0101", "loaderPid": "0100", "usageId": "1", "instance": 1,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1", "protocol": 0, "blockStart": "8000", "blockSize": 4096,
     "blocks": 32, "writeSize": 128},
    {"kind": "i2c", "name": "touch", "pid": "0101", "usageId": "2", "interface": 1, "instance": 2,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1", "protocol": 0, "blockStart": "2000", "blockSize": 1024,
     "blocks": 22, "writeSize": 128}
  ]
})";

struct SKind {
  const char* name;
  const char* board;     // the scenario's board name
  const char* options;   // the command line
  const char* file;      // the update file
  const char* scenario;  // empty: the built-in pen display
  std::string Scenario() const { return scenario != nullptr ? scenario : sim::CSimPlatform::DefaultScenario(); }
};

const SKind kKinds[] = {
    {"HID protocol 0", "pen", "-testpid 0101 -auto pen", "tablet_s.pen", kTablet},
    {"HID protocol 1 in place", "pen", "-testpid 0210 -auto pen", "display_pen.orv",
     nullptr},
    {"HID behind the router", "pen", "-testpid 0301 -auto pen", "display_pen.orv",
     R"({"devices": [{"kind": "hid", "name": "pen", "pid": "0301", "usageId": "1", "usagePg": "FF00",
        "inPlace": true, "protocol": 1, "blockStart": "0", "blockSize": 4096, "blocks": 64, "writeSize": 256}]})"},
    {"I2C tunnel", "touch", "-testpid 0101 -auto touch", "tablet_s.touch",
     kTablet},
    {"bulk returning as HID", "pen", "-testpid 0401 -auto pen", "tablet_s.pen",
     R"({"devices": [{"kind": "bulk", "name": "pen", "pid": "0401", "loaderPid": "0400", "usageId": "1",
        "protocol": 0, "blockStart": "8000", "blockSize": 4096, "blocks": 32, "writeSize": 128}]})"},
    {"Intel HEX stream", "touch", "-testpid 0210 -auto touch", "display_touch.hex",
     nullptr},
    {"Airoha stream", "bluetooth", "-testpid 0210 -auto bluetooth", "display_bt.airoflash",
     nullptr},
    {"scaler", "scalar", "-testpid 0210 -auto scalar", "display_scaler.bin",
     nullptr},
};

const char* const kPhases[] = {"enter loader", "loader queries", "invalidate checksums", "erase", "write",
                               "checksum", "finalize", "leave loader", "re-enumeration", "ISP entry", "CRC"};
constexpr size_t kPhaseCount = std::size(kPhases);
enum EPhase : size_t { EPHASE_ENTER, EPHASE_QUERY, EPHASE_INVALIDATE, EPHASE_ERASE, EPHASE_WRITE, EPHASE_CHECKSUM, EPHASE_FINALIZE, EPHASE_LEAVE, EPHASE_REENUM, EPHASE_ISP, EPHASE_CRC };

const char* const kFaults[] = {"one failed transfer", "past the transfer ladder", "failing for ever", "busy for ever",
                               "short reply", "garbage reply", "no acknowledge", "unplugged", "power lost"};
constexpr size_t kFaultCount = std::size(kFaults);
enum EFault : size_t { EFAULT_FAIL1, EFAULT_LADDER, EFAULT_FOREVER, EFAULT_BUSY, EFAULT_SHORT, EFAULT_GARBAGE, EFAULT_NOACK, EFAULT_UNPLUG, EFAULT_POWER };

// The flash-loader command a report carries, in protocol 0 numbering (0 for anything else).
uint8_t Command(const std::vector<uint8_t>& bytes_I, bool router_I)
{
  const size_t at = router_I ? 3 : 0;
  if (bytes_I.size() <= at) return 0;
  const uint8_t id = bytes_I[at];
  if (id == 0xCD) return 0x15;
  if (id >= 0xD1 && id <= 0xE3) return static_cast<uint8_t>(id - 0xC1);
  return id;
}

struct SClassified {
  std::vector<size_t> phase;  // per transfer
  std::vector<bool> get;
};

// Sorts each transfer of a healthy run into its phase, from the commands it carried.
SClassified Classify(const std::vector<sim::SSimTransfer>& trace_I, bool router_I, bool tunnel_I, bool reenumerates_I)
{
  SClassified result;
  size_t phase = EPHASE_ENTER;
  bool erased = false;
  bool loader = false;
  uint8_t last = 0;
  uint64_t lastTime = 0;
  for (const sim::SSimTransfer& transfer : trace_I) {
    uint8_t command = Command(transfer.bytes, router_I);
    if (tunnel_I && transfer.set && transfer.bytes.size() > 4 && transfer.bytes[0] == 0xB2) command = transfer.bytes[4];
    if (tunnel_I && transfer.set && transfer.bytes.size() > 2 && transfer.bytes[0] == 0xB1) command = transfer.bytes[2];
    if (tunnel_I && transfer.bytes[0] == 0xB0) command = transfer.set && transfer.bytes[1] == 1 ? 0x15 : 0xCC;
    if (tunnel_I && !transfer.set && transfer.bytes[0] != 0xB0) command = last;
    const bool gap = reenumerates_I && transfer.timeMs > lastTime + 1000;
    switch (command) {
      case 0xCC: phase = EPHASE_ENTER; break;
      case 0x17: case 0x18: case 0x20: case 0x21: case 0x22: phase = loader ? EPHASE_QUERY : phase; break;
      case 0x19: phase = !erased ? EPHASE_QUERY : phase == EPHASE_WRITE || phase == EPHASE_CHECKSUM || phase == EPHASE_ERASE ? EPHASE_CHECKSUM : EPHASE_FINALIZE; break;
      case 0x1C: case 0x1A: phase = !erased ? EPHASE_INVALIDATE : phase == EPHASE_FINALIZE ? EPHASE_FINALIZE : EPHASE_CHECKSUM; break;
      case 0x1D: phase = !erased ? EPHASE_INVALIDATE : EPHASE_FINALIZE; break;
      case 0x1B: phase = phase == EPHASE_FINALIZE || phase == EPHASE_LEAVE ? EPHASE_FINALIZE : EPHASE_CHECKSUM; break;
      case 0x12: phase = EPHASE_ERASE; erased = true; break;
      case 0x11: case 0x16: phase = EPHASE_WRITE; break;
      case 0x15: phase = EPHASE_LEAVE; break;
      case 0x24: {  // the streaming report (0xE4): start, data, end
        const size_t at = router_I ? 3 : 0;
        const uint8_t step = transfer.bytes.size() > at + 2 ? transfer.bytes[at + 2] : 0;
        if (transfer.set) phase = step == 1 ? EPHASE_QUERY : step == 3 ? EPHASE_FINALIZE : EPHASE_WRITE;
        break;
      }
      default: break;
    }
    if (command == 0x14 || command == 0x17) loader = true;
    result.phase.push_back(gap && !result.phase.empty() ? EPHASE_REENUM : phase);
    result.get.push_back(!transfer.set);
    last = command;
    lastTime = transfer.timeMs;
  }
  return result;
}

// The first, middle and last of the transfers, each once.
std::vector<uint64_t> Spread(const std::vector<uint64_t>& transfers_I)
{
  if (transfers_I.empty()) return {};
  std::vector<uint64_t> picked{transfers_I.front(), transfers_I[transfers_I.size() / 2], transfers_I.back()};
  picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
  return picked;
}

struct SOutcome {
  int exitCode = -1;
  std::u16string message;
  uint64_t virtualMs = 0;
  bool flashMatches = false;
  std::string log;
};

class CMatrix {
 public:
  CMatrix(std::filesystem::path demo_I, bool verbose_I) : mDemo(std::move(demo_I)), mVerbose(verbose_I) {}

  bool Prepare();
  void Run(size_t sample_I, size_t onlyKind_I);
  int Report() const;

 private:
  struct SPlatformRun {
    std::unique_ptr<sim::CSimPlatform> platform;
  };
  SOutcome RunOnce(const SKind& kind_I, sim::CSimPlatform& platform_I, test::CRecordingView& view_I);
  bool FlashMatches(const SKind& kind_I, sim::CSimPlatform& platform_I);
  std::vector<sim::SSimTransfer> Trace(const SKind& kind_I, sim::CSimPlatform& platform_I);
  bool Apply(const SKind& kind_I, sim::CSimPlatform& platform_I, size_t fault_I, uint64_t at_I);
  void Recover(const SKind& kind_I, sim::CSimPlatform& platform_I);
  void Case(const SKind& kind_I, size_t phase_I, size_t fault_I, uint64_t at_I);
  void ScalerCases();

  std::filesystem::path mDemo;
  bool mVerbose;
  std::filesystem::path mWork;
  CScheduledClock mClock;
  size_t mCases = 0;
  size_t mPasses = 0;
  size_t mRecoveries = 0;
  size_t mFalseSuccess = 0;
  size_t mUnrecovered = 0;
  size_t mSampleCounter = 0;
  size_t mSample = 1;
  std::array<uint64_t, kPhaseCount> mWorstMs{};
  std::array<size_t, kPhaseCount> mPhaseCases{};
  std::array<size_t, kFaultCount> mFaultCases{};
  std::map<std::string, size_t> mMessages;
};

bool CMatrix::Prepare()
{
  mWork = std::filesystem::temp_directory_path() / ("orvel-fault-matrix-" + std::to_string(::getpid()));
  std::filesystem::remove_all(mWork);
  std::filesystem::copy(mDemo, mWork);
  std::ifstream in(mWork / "fw_loader.ini");
  std::string topology((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t end = topology.rfind(']');
  if (end == std::string::npos) return false;
  topology = topology.substr(0, topology.rfind('}', end) + 1) + kExtraModels;
  std::ofstream(mWork / "fw_loader.ini") << topology;
  std::filesystem::current_path(mWork);
  return true;
}

SOutcome CMatrix::RunOnce(const SKind& kind_I, sim::CSimPlatform& platform_I, test::CRecordingView& view_I)
{
  SApplicationPorts ports;
  ports.view = [&view_I]() -> CUpdateView& { return view_I; };
  ports.userLanguage = std::make_shared<CFixedUserLanguage>(1033);
  ports.preUpdatePrompt = [](const CLanguageProvider&) { return 0; };
  ports.makeEnvironment = [&platform_I] {
    SRunEnvironment environment;
    environment.discovery = platform_I.CreateDiscovery("./fw_loader.ini");
    environment.events = platform_I.Events();
    return environment;
  };
  std::string logPath;
  ports.tempDir = mWork.string() + "/";
  ports.logPath = &logPath;
  const CScopedD2XX bridge(platform_I.D2XX());
  SOutcome outcome;
  const uint64_t start = mClock.NowMs();
  outcome.exitCode = RunApplication(ParseCommandLine(Utf8ToWide(kind_I.options)), ports);
  outcome.virtualMs = mClock.NowMs() - start;
  outcome.message = view_I.mMessage;
  outcome.flashMatches = FlashMatches(kind_I, platform_I);
  // A failing run's log is kept for --verbose; the others go.
  if (!logPath.empty() && !(mVerbose && outcome.exitCode != 0)) std::filesystem::remove(logPath);
  outcome.log = logPath;
  return outcome;
}

bool CMatrix::FlashMatches(const SKind& kind_I, sim::CSimPlatform& platform_I)
{
  const std::string file = kind_I.file;
  if (file.ends_with(".bin")) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return platform_I.Scaler()->isp->FlashBytes(0, static_cast<uint32_t>(image.size())) == image;
  }
  const auto read = [&](uint32_t address_I, uint32_t count_I) {
    if (const auto tunnel = platform_I.I2CBoard(kind_I.board)) return tunnel->FlashBytes(address_I, count_I);
    return platform_I.HidBoard(kind_I.board)->FlashBytes(address_I, count_I);
  };
  CSRec image;
  if (!image.Load(file)) return false;
  if (file.ends_with(".hex")) {
    const CIntelHex& hex = *image.GetIntelHex();
    return read(0x8000, hex.GetLength()) == std::vector<uint8_t>(hex.GetImage(), hex.GetImage() + hex.GetLength());
  }
  if (file.ends_with(".airoflash")) return read(0, image.GetAiroFlash()->GetSize()) == image.GetAiroFlash()->GetData();
  for (const SRecSegment& segment : image.GetSegments()) {
    if (read(segment.start, static_cast<uint32_t>(segment.data.size())) != segment.data) return false;
  }
  return true;
}

std::vector<sim::SSimTransfer> CMatrix::Trace(const SKind& kind_I, sim::CSimPlatform& platform_I)
{
  if (const auto tunnel = platform_I.I2CBoard(kind_I.board)) return tunnel->Trace();
  return platform_I.HidBoard(kind_I.board)->Trace();
}

// False when the fault does not apply to this kind of board.
bool CMatrix::Apply(const SKind& kind_I, sim::CSimPlatform& platform_I, size_t fault_I, uint64_t at_I)
{
  const auto tunnel = platform_I.I2CBoard(kind_I.board);
  const auto hid = platform_I.HidBoard(kind_I.board);
  const bool streaming = std::string(kind_I.file).ends_with(".hex") || std::string(kind_I.file).ends_with(".airoflash");
  switch (fault_I) {
    case EFAULT_FAIL1: tunnel ? tunnel->FailTransfers(at_I, 1) : hid->FailTransfers(at_I, 1); return true;
    case EFAULT_LADDER: tunnel ? tunnel->FailTransfers(at_I, 101) : hid->FailTransfers(at_I, 101); return true;
    case EFAULT_FOREVER: tunnel ? tunnel->FailTransfers(at_I, UINT64_MAX / 2) : hid->FailTransfers(at_I, UINT64_MAX / 2); return true;
    case EFAULT_BUSY:
      // A tunnel that stays busy is left out: every exchange waits 250 polls, under every retry ladder above
      // it, so the run would take hours of virtual time (an open finding, docs/reliability.md).
      if (streaming) hid->SetStuckBusy(true);
      return streaming;
    case EFAULT_SHORT:
      if (tunnel) return false;
      hid->CorruptAnswers(at_I, 1, [](std::vector<uint8_t>& bytes_IO) { bytes_IO.resize(bytes_IO.size() / 2); });
      return true;
    case EFAULT_GARBAGE:
      if (tunnel) {
        tunnel->SetWrongEcho(true);
        return true;
      }
      hid->CorruptAnswers(at_I, 1, [](std::vector<uint8_t>& bytes_IO) {
        for (size_t i = 1; i < bytes_IO.size(); ++i) bytes_IO[i] = static_cast<uint8_t>(bytes_IO[i] ^ (0x5A + i * 29));
      });
      return true;
    case EFAULT_NOACK:
      if (!tunnel) return false;
      tunnel->SetFailStatus(true);
      return true;
    case EFAULT_UNPLUG: tunnel ? tunnel->DropOffBusAfter(at_I) : hid->DropOffBusAfter(at_I); return true;
    case EFAULT_POWER: tunnel ? tunnel->LosePowerAfter(at_I, kPowerOffMs) : hid->LosePowerAfter(at_I, kPowerOffMs); return true;
    default: return false;
  }
}

// The user plugs the board in again, later, and starts the package anew: nothing of the fault is left, and the
// arrivals and removals of the first run are no news to the second.
void CMatrix::Recover(const SKind& kind_I, sim::CSimPlatform& platform_I)
{
  if (const auto tunnel = platform_I.I2CBoard(kind_I.board)) {
    tunnel->ClearFaults();
    if (!tunnel->IsPresent()) tunnel->Replug();
  } else {
    const auto hid = platform_I.HidBoard(kind_I.board);
    hid->ClearFaults();
    if (!hid->IsPresent()) hid->Replug();
  }
  Pause(kPowerOffMs + 1000);
  platform_I.Bus()->DeliverDueEvents();
}

void CMatrix::Case(const SKind& kind_I, size_t phase_I, size_t fault_I, uint64_t at_I)
{
  std::string error;
  std::unique_ptr<sim::CSimPlatform> platform = sim::CSimPlatform::CreateFromText(kind_I.Scenario(), error);
  if (!platform || !Apply(kind_I, *platform, fault_I, at_I)) return;
  if (mSampleCounter++ % mSample != 0) return;
  ++mCases;
  ++mPhaseCases[phase_I];
  ++mFaultCases[fault_I];
  test::CRecordingView view;
  const SOutcome first = RunOnce(kind_I, *platform, view);
  ++mMessages[WideToUtf8(first.message)];
  const bool falseSuccess = first.exitCode == 0 && !first.flashMatches;
  const bool proper = (first.exitCode == 0 || first.exitCode == 1) && !first.message.empty() &&
                      first.virtualMs <= kVirtualBoundMs && !falseSuccess;
  mWorstMs[phase_I] = std::max(mWorstMs[phase_I], first.virtualMs);
  mFalseSuccess += falseSuccess;
  Recover(kind_I, *platform);
  test::CRecordingView again;
  const SOutcome second = RunOnce(kind_I, *platform, again);
  const bool recovered = second.exitCode == 0 && second.flashMatches;
  mPasses += proper;
  mRecoveries += recovered;
  mUnrecovered += !recovered;
  if (!proper || !recovered || mVerbose) {
    std::printf("%s %-24s %-22s %-26s at %5llu: exit %d in %llu ms \"%s\"; second run exit %d, flash %s\n",
                proper && recovered ? "  " : "!!", kind_I.name, kPhases[phase_I], kFaults[fault_I],
                static_cast<unsigned long long>(at_I), first.exitCode, static_cast<unsigned long long>(first.virtualMs),
                WideToUtf8(first.message).c_str(), second.exitCode, second.flashMatches ? "equal" : "DIFFERENT");
    if (mVerbose) std::printf("     logs: %s %s\n", first.log.c_str(), second.log.c_str());
  }
}

// The scaler's faults come from its ISP slave and the bridge: each hits the phase its operation belongs to.
void CMatrix::ScalerCases()
{
  const SKind& kind = kKinds[std::size(kKinds) - 1];
  struct SScalerFault {
    size_t phase;
    size_t fault;
    std::function<void(sim::SSimScalerBoard&)> apply;
  };
  const std::vector<SScalerFault> faults{
      {EPHASE_ISP, EFAULT_NOACK, [](sim::SSimScalerBoard& b) { b.isp->SetNoAcknowledge(true); }},
      {EPHASE_ISP, EFAULT_FOREVER, [](sim::SSimScalerBoard& b) { b.isp->RefuseIspEntry(true); }},
      {EPHASE_ENTER, EFAULT_NOACK, [](sim::SSimScalerBoard& b) { b.display->SetNoAcknowledge(sim::kSimAlways); }},
      {EPHASE_ENTER, EFAULT_GARBAGE, [](sim::SSimScalerBoard& b) { b.display->SetGarbageBytes(3); }},
      {EPHASE_ENTER, EFAULT_SHORT, [](sim::SSimScalerBoard& b) { b.display->SetNothingToSay(sim::kSimAlways); }},
      {EPHASE_ENTER, EFAULT_UNPLUG, [](sim::SSimScalerBoard& b) { b.bridge->SetPresent(false); }},
      {EPHASE_ERASE, EFAULT_FAIL1, [](sim::SSimScalerBoard& b) { b.isp->FailErases(1); }},
      {EPHASE_ERASE, EFAULT_LADDER, [](sim::SSimScalerBoard& b) { b.isp->FailErases(10); }},
      {EPHASE_ERASE, EFAULT_FOREVER, [](sim::SSimScalerBoard& b) { b.isp->FailErases(sim::kSimAlways); }},
      {EPHASE_WRITE, EFAULT_FAIL1, [](sim::SSimScalerBoard& b) { b.isp->CorruptPrograms(1); }},
      {EPHASE_WRITE, EFAULT_LADDER, [](sim::SSimScalerBoard& b) { b.isp->CorruptPrograms(10); }},
      {EPHASE_WRITE, EFAULT_FOREVER, [](sim::SSimScalerBoard& b) { b.isp->CorruptPrograms(sim::kSimAlways); }},
      {EPHASE_CRC, EFAULT_GARBAGE, [](sim::SSimScalerBoard& b) { b.isp->CorruptPrograms(sim::kSimAlways); }},
  };
  for (const SScalerFault& item : faults) {
    std::string error;
    std::unique_ptr<sim::CSimPlatform> platform = sim::CSimPlatform::CreateFromText(kind.Scenario(), error);
    item.apply(*platform->Scaler());
    if (mSampleCounter++ % mSample != 0) continue;
    ++mCases;
    ++mPhaseCases[item.phase];
    ++mFaultCases[item.fault];
    test::CRecordingView view;
    const SOutcome first = RunOnce(kind, *platform, view);
    ++mMessages[WideToUtf8(first.message)];
    const bool falseSuccess = first.exitCode == 0 && !first.flashMatches;
    const bool proper = (first.exitCode == 0 || first.exitCode == 1) && !first.message.empty() &&
                        first.virtualMs <= kVirtualBoundMs && !falseSuccess;
    mWorstMs[item.phase] = std::max(mWorstMs[item.phase], first.virtualMs);
    mFalseSuccess += falseSuccess;
    // Plugged in again and powered anew: the slave and the display answer as they should.
    std::unique_ptr<sim::CSimPlatform> fresh = sim::CSimPlatform::CreateFromText(kind.Scenario(), error);
    const std::vector<uint8_t> kept = platform->Scaler()->isp->FlashBytes(0, 16 * 0x10000);
    fresh->Scaler()->isp->Preload(0, kept);
    test::CRecordingView again;
    const SOutcome second = RunOnce(kind, *fresh, again);
    const bool recovered = second.exitCode == 0 && second.flashMatches;
    mPasses += proper;
    mRecoveries += recovered;
    mUnrecovered += !recovered;
    if (!proper || !recovered || mVerbose) {
      std::printf("%s %-24s %-22s %-26s: exit %d in %llu ms \"%s\"; second run exit %d, flash %s\n",
                  proper && recovered ? "  " : "!!", kind.name, kPhases[item.phase], kFaults[item.fault],
                  first.exitCode, static_cast<unsigned long long>(first.virtualMs), WideToUtf8(first.message).c_str(),
                  second.exitCode, second.flashMatches ? "equal" : "DIFFERENT");
    }
  }
}

void CMatrix::Run(size_t sample_I, size_t onlyKind_I)
{
  mSample = std::max<size_t>(sample_I, 1);
  CScopedClock installed(mClock);
  for (size_t k = 0; k + 1 < std::size(kKinds); ++k) {
    if (onlyKind_I < std::size(kKinds) && k != onlyKind_I) continue;
    const SKind& kind = kKinds[k];
    std::string error;
    std::unique_ptr<sim::CSimPlatform> healthy = sim::CSimPlatform::CreateFromText(kind.Scenario(), error);
    if (!healthy) {
      std::printf("!! %s: %s\n", kind.name, error.c_str());
      ++mUnrecovered;
      continue;
    }
    test::CRecordingView view;
    const SOutcome clean = RunOnce(kind, *healthy, view);
    if (clean.exitCode != 0 || !clean.flashMatches) {
      std::printf("!! %s: a healthy run ends with %d \"%s\"\n", kind.name, clean.exitCode, WideToUtf8(clean.message).c_str());
      ++mUnrecovered;
      continue;
    }
    const std::vector<sim::SSimTransfer> trace = Trace(kind, *healthy);
    const std::string options = kind.options;
    const bool reenumerates = options.find("0101 -auto pen") != std::string::npos || options.find("0401") != std::string::npos;
    const SClassified classified = Classify(trace, options.find("0301") != std::string::npos,
                                            healthy->I2CBoard(kind.board) != nullptr, reenumerates);
    for (size_t phase = 0; phase < kPhaseCount; ++phase) {
      // The phase's first, middle and last transfer, and the same of its gets for the faults of a reply.
      std::vector<uint64_t> all, gets;
      for (size_t i = 0; i < classified.phase.size(); ++i) {
        if (classified.phase[i] != phase) continue;
        all.push_back(i + 1);
        if (classified.get[i]) gets.push_back(i + 1);
      }
      for (size_t fault = 0; fault < kFaultCount; ++fault) {
        const bool reply = fault == EFAULT_SHORT || fault == EFAULT_GARBAGE;
        // Busy, refused and wrongly echoed exchanges last from the start: one case a phase is enough.
        const bool whole = fault == EFAULT_BUSY || fault == EFAULT_NOACK ||
                           (fault == EFAULT_GARBAGE && healthy->I2CBoard(kind.board) != nullptr);
        std::vector<uint64_t> points = Spread(reply ? gets : all);
        if (whole && !points.empty()) points.resize(1);
        for (const uint64_t at : points) Case(kind, phase, fault, at);
      }
    }
  }
  if (onlyKind_I >= std::size(kKinds) - 1) ScalerCases();
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  if (!mVerbose) std::filesystem::remove_all(mWork);
}

int CMatrix::Report() const
{
  std::printf("\n| phase | cases | worst virtual time (s) |\n|---|---:|---:|\n");
  for (size_t phase = 0; phase < kPhaseCount; ++phase) {
    std::printf("| %s | %zu | %.1f |\n", kPhases[phase], mPhaseCases[phase], static_cast<double>(mWorstMs[phase]) / 1000);
  }
  std::printf("\n| fault | cases |\n|---|---:|\n");
  for (size_t fault = 0; fault < kFaultCount; ++fault) std::printf("| %s | %zu |\n", kFaults[fault], mFaultCases[fault]);
  std::printf("\n| first run ended with | cases |\n|---|---:|\n");
  for (const auto& [message, count] : mMessages) std::printf("| \"%s\" | %zu |\n", message.c_str(), count);
  std::printf("\ncases %zu, passes %zu, recoveries %zu, false successes %zu, unrecovered %zu\n", mCases, mPasses,
              mRecoveries, mFalseSuccess, mUnrecovered);
  return mPasses == mCases && mRecoveries == mCases && mUnrecovered == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
  size_t sample = 1;
  size_t onlyKind = SIZE_MAX;
  bool verbose = false;
  std::string demo;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sample") == 0 && i + 1 < argc) {
      sample = static_cast<size_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (std::strcmp(argv[i], "--kind") == 0 && i + 1 < argc) {
      onlyKind = static_cast<size_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (std::strcmp(argv[i], "--verbose") == 0) {
      verbose = true;
    } else {
      demo = argv[i];
    }
  }
  if (demo.empty() || !std::filesystem::is_directory(demo)) {
    std::fprintf(stderr, "usage: orvel-fault-matrix [--sample N] [--kind K] [--verbose] DEMO_DIR (examples/demo)\n");
    return 2;
  }
  CMatrix matrix(std::filesystem::absolute(demo), verbose);
  if (!matrix.Prepare()) {
    std::fprintf(stderr, "cannot prepare the package from %s\n", demo.c_str());
    return 2;
  }
  matrix.Run(sample, onlyKind);
  return matrix.Report();
}
