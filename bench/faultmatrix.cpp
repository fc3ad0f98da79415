// The fault matrix: the whole update, through the application's entry, on the simulated devices and the
// virtual clock, for every board kind x phase x fault, then the same faults again in the recovery run, flash
// that silently keeps a wrong byte, and cancel requests at every phase. Each faulty run must end within a
// bound of virtual time with exit code 1 (2 when cancelled) and a message, or with 0 only when the flash equals
// the image and the board has left its loader, and its result and log trailer must tell what happened to the
// board; a later, ordinary run on the same board (plugged in again, faults gone) must complete the update with
// the flash equal to the image and the board out of its loader.
// Prints one line per failing case and tables; exits 1 when any case failed.
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
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/runapplication.h"
#include "app/uistrings.h"
#include "bench/benchpackage.h"
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

// The demo's pen tablet: a re-enumerating pen board and the touch controller behind its I2C tunnel, one
// composite USB device. While the pen board runs its loader the whole device shows only the loader; when it
// comes back the touch collection follows the pen's a moment later, as the system binds one after another.
const char* const kTablet = R"({
  "nodes": [["USB\\VID_4F52&PID_0101\\TAB1", "USB\\ROOT_HUB30\\1"]],
  "devices": [
    {"kind": "hid", "name": "pen", "pid": "0101", "loaderPid": "0100", "usageId": "1", "instance": 1,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1", "protocol": 0, "blockStart": "8000", "blockSize": 4096,
     "blocks": 32, "writeSize": 128},
    {"kind": "i2c", "name": "touch", "pid": "0101", "usageId": "2", "interface": 1, "instance": 2,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1", "arrivalLagMs": 150, "protocol": 0, "blockStart": "2000", "blockSize": 1024,
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
  bool Scaler() const { return std::string(file).ends_with(".bin"); }
  // The Intel HEX and Airoha streams have no read-back and no checksum the loader answers: what the flash
  // kept is never compared with what was sent.
  bool Verified() const { return !std::string(file).ends_with(".hex") && !std::string(file).ends_with(".airoflash"); }
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

enum ECategory : size_t { ECATEGORY_SINGLE, ECATEGORY_DOUBLE, ECATEGORY_SILENT, ECATEGORY_CANCEL };
const char* const kCategories[] = {"one fault", "a second fault in the recovery run", "flash keeps a wrong byte",
                                   "cancel request"};
constexpr size_t kCategoryCount = std::size(kCategories);

// How the user asks to stop: the window hands Cancel and Close to the run, which refuses them while a board is
// in or near its loader; the terminal takes Ctrl-C, and the window lets the session end, only while closing is
// allowed; a user may also press Ctrl-C again on every tick until it is taken.
enum ECancel : size_t { ECANCEL_BUTTON, ECANCEL_ALLOWED, ECANCEL_HELD };
const char* const kCancels[] = {"Cancel or Close", "Ctrl-C or end of session", "Ctrl-C on every tick"};

const char* const kWrongByte = "flash keeps a wrong byte";

// The user's side of the window or terminal: a cancel request once the board has seen a given transfer.
class CMatrixView : public test::CRecordingView {
 public:
  void EnableClose(bool enable_I) override { mCloseEnabled = enable_I; }
  bool TakeCancelRequest() override
  {
    if (!mDue || !mDue()) return false;
    if (mCancel != ECANCEL_HELD) mDue = nullptr;
    return mCancel == ECANCEL_BUTTON || mCloseEnabled;
  }

  std::function<bool()> mDue;
  ECancel mCancel = ECANCEL_BUTTON;

 private:
  bool mCloseEnabled = true;
};

struct SOutcome {
  int exitCode = -1;
  std::u16string message;
  uint64_t virtualMs = 0;
  bool flashMatches = false;
  bool flashUnchanged = false;
  // The board runs its firmware again, out of its loader; whether the host can see it leave the loader.
  bool running = false;
  bool returnSeen = true;
  SRunResult result;
  // The log's last lines.
  std::string trailer;
  std::string log;
};

// One case: the fault of the first run, the one of the recovery run (none: it is an ordinary run) and the
// user's requests in the first run. A last, ordinary run must then complete the update.
struct SCase {
  ECategory category = ECATEGORY_SINGLE;
  const SKind* kind = nullptr;
  size_t phase = 0;
  std::string fault;
  uint64_t at = 0;
  // False when the fault does not apply to the board.
  std::function<bool(sim::CSimPlatform&)> first;
  std::function<void(sim::CSimPlatform&)> second;
  std::function<void(CMatrixView&, sim::CSimPlatform&)> user;
};

struct STally {
  size_t cases = 0;
  size_t passes = 0;
  size_t recoveries = 0;
  size_t falseSuccesses = 0;
  // Successes with a wrong flash, or with a board switched in place still in its loader, where the protocol has no
  // way to see it.
  size_t protocolLimit = 0;
  size_t unrecovered = 0;
};

// Where an image goes in the flash, piece by piece.
using Layout = std::vector<std::pair<uint32_t, std::vector<uint8_t>>>;

class CMatrix {
 public:
  CMatrix(std::filesystem::path demo_I, bool verbose_I) : mDemo(std::move(demo_I)), mVerbose(verbose_I) {}

  bool Prepare();
  void Run(size_t sample_I, size_t onlyKind_I);
  int Report() const;

 private:
  struct SPoint {
    size_t phase;
    size_t fault;
    uint64_t at;
  };

  SOutcome RunOnce(const SKind& kind_I, sim::CSimPlatform& platform_I, CMatrixView& view_I);
  const Layout& ImageLayout(const SKind& kind_I);
  std::vector<uint8_t> Flash(const SKind& kind_I, sim::CSimPlatform& platform_I);
  static bool Running(const SKind& kind_I, sim::CSimPlatform& platform_I);
  static bool ReturnSeen(const SKind& kind_I, sim::CSimPlatform& platform_I);
  std::vector<uint8_t> Image(const SKind& kind_I);
  uint64_t TransferCount(const SKind& kind_I, sim::CSimPlatform& platform_I);
  bool Apply(const SKind& kind_I, sim::CSimPlatform& platform_I, size_t fault_I, uint64_t at_I);
  void Recover(const SKind& kind_I, std::unique_ptr<sim::CSimPlatform>& platform_IO);
  bool Judge(const SCase& case_I, const SOutcome& outcome_I, STally& tally_IO) const;
  static bool Truthful(const SOutcome& outcome_I, bool limit_I);
  bool Sampled();
  void Case(const SCase& case_I);
  std::vector<SPoint> Points(const SKind& kind_I, sim::CSimPlatform& healthy_I);
  void KindCases(const SKind& kind_I);
  void FaultCases(const SKind& kind_I, const std::vector<SPoint>& points_I);
  void WrongByteCases(const SKind& kind_I, uint64_t programmed_I);
  void CancelCases(const SKind& kind_I, const std::vector<SPoint>& points_I);
  void ScalerCases();

  std::filesystem::path mDemo;
  bool mVerbose;
  std::filesystem::path mWork;
  CScheduledClock mClock;
  size_t mSampleCounter = 0;
  size_t mSample = 1;
  std::map<std::string, Layout> mLayouts;
  std::array<STally, kCategoryCount> mTallies{};
  std::array<uint64_t, kPhaseCount> mWorstMs{};
  std::array<size_t, kPhaseCount> mPhaseCases{};
  std::map<std::string, size_t> mFaultCases;
  std::map<std::string, size_t> mMessages;
};

bool CMatrix::Prepare()
{
  mWork = bench::PrepareDemoCopy(mDemo, "orvel-fault-matrix");
  return !mWork.empty();
}

std::string LastBytes(const std::string& path_I, size_t count_I)
{
  std::ifstream in(path_I, std::ios::binary | std::ios::ate);
  const std::streamoff size = in.tellg();
  if (size <= 0) return {};
  in.seekg(std::max<std::streamoff>(0, size - static_cast<std::streamoff>(count_I)));
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

SOutcome CMatrix::RunOnce(const SKind& kind_I, sim::CSimPlatform& platform_I, CMatrixView& view_I)
{
  SOutcome outcome;
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
  ports.result = &outcome.result;
  const CScopedD2XX bridge(platform_I.D2XX());
  const std::vector<uint8_t> before = Flash(kind_I, platform_I);
  const uint64_t start = mClock.NowMs();
  outcome.exitCode = RunApplication(ParseCommandLine(Utf8ToWide(kind_I.options)), ports);
  outcome.virtualMs = mClock.NowMs() - start;
  outcome.message = view_I.mMessage;
  const std::vector<uint8_t> after = Flash(kind_I, platform_I);
  outcome.flashMatches = after == Image(kind_I);
  outcome.flashUnchanged = after == before;
  outcome.running = Running(kind_I, platform_I);
  outcome.returnSeen = ReturnSeen(kind_I, platform_I);
  outcome.trailer = LastBytes(logPath, 1024);
  // A failing run's log is kept for --verbose; the others go.
  if (!logPath.empty() && !(mVerbose && outcome.exitCode != 0)) std::filesystem::remove(logPath);
  outcome.log = logPath;
  return outcome;
}

const Layout& CMatrix::ImageLayout(const SKind& kind_I)
{
  const std::string file = kind_I.file;
  const auto known = mLayouts.find(file);
  if (known != mLayouts.end()) return known->second;
  Layout& layout = mLayouts[file];
  if (kind_I.Scaler()) {
    std::ifstream in(file, std::ios::binary);
    layout.emplace_back(0, std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    return layout;
  }
  CSRec image;
  if (!image.Load(file)) return layout;
  if (file.ends_with(".hex")) {
    const CIntelHex& hex = *image.GetIntelHex();
    layout.emplace_back(0x8000, std::vector<uint8_t>(hex.GetImage(), hex.GetImage() + hex.GetLength()));
  } else if (file.ends_with(".airoflash")) {
    layout.emplace_back(0, image.GetAiroFlash()->GetData());
  } else {
    for (const SRecSegment& segment : image.GetSegments()) layout.emplace_back(segment.start, segment.data);
  }
  return layout;
}

// Whether the board has left its loader. The scaler has no loader of its own to be left in.
bool CMatrix::Running(const SKind& kind_I, sim::CSimPlatform& platform_I)
{
  if (kind_I.Scaler()) return true;
  if (const auto bulk = platform_I.BulkBoard(kind_I.board)) return bulk->Mode() == sim::ESIMBOARDMODE_NORMAL;
  if (const auto tunnel = platform_I.I2CBoard(kind_I.board)) return tunnel->Mode() == sim::ESIMBOARDMODE_NORMAL;
  return platform_I.HidBoard(kind_I.board)->Mode() == sim::ESIMBOARDMODE_NORMAL;
}

// A board switched in place answers on the same path in either mode, and its protocol has no query that tells
// them apart: the host cannot see whether it left its loader.
bool CMatrix::ReturnSeen(const SKind& kind_I, sim::CSimPlatform& platform_I)
{
  if (kind_I.Scaler() || platform_I.BulkBoard(kind_I.board) || platform_I.I2CBoard(kind_I.board)) return true;
  return platform_I.HidBoard(kind_I.board)->Config().reenumerate;
}

// The flash where the image goes, read back from the simulated board.
std::vector<uint8_t> CMatrix::Flash(const SKind& kind_I, sim::CSimPlatform& platform_I)
{
  std::vector<uint8_t> flash;
  for (const auto& [address, bytes] : ImageLayout(kind_I)) {
    const auto count = static_cast<uint32_t>(bytes.size());
    std::vector<uint8_t> piece;
    if (kind_I.Scaler()) {
      piece = platform_I.Scaler()->isp->FlashBytes(address, count);
    } else if (const auto tunnel = platform_I.I2CBoard(kind_I.board)) {
      piece = tunnel->FlashBytes(address, count);
    } else {
      piece = platform_I.HidBoard(kind_I.board)->FlashBytes(address, count);
    }
    flash.insert(flash.end(), piece.begin(), piece.end());
  }
  return flash;
}

std::vector<uint8_t> CMatrix::Image(const SKind& kind_I)
{
  std::vector<uint8_t> image;
  for (const auto& piece : ImageLayout(kind_I)) image.insert(image.end(), piece.second.begin(), piece.second.end());
  return image;
}

uint64_t CMatrix::TransferCount(const SKind& kind_I, sim::CSimPlatform& platform_I)
{
  if (const auto tunnel = platform_I.I2CBoard(kind_I.board)) return tunnel->TransferCount();
  return platform_I.HidBoard(kind_I.board)->TransferCount();
}

std::vector<sim::SSimTransfer> Trace(const SKind& kind_I, sim::CSimPlatform& platform_I)
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
// arrivals and removals of the run before are no news to the next. A scaler is powered anew with what its flash
// kept.
void CMatrix::Recover(const SKind& kind_I, std::unique_ptr<sim::CSimPlatform>& platform_IO)
{
  if (kind_I.Scaler()) {
    std::string error;
    std::unique_ptr<sim::CSimPlatform> fresh = sim::CSimPlatform::CreateFromText(kind_I.Scenario(), error);
    fresh->Scaler()->isp->Preload(0, platform_IO->Scaler()->isp->FlashBytes(0, 16 * 0x10000));
    platform_IO = std::move(fresh);
    return;
  }
  if (const auto tunnel = platform_IO->I2CBoard(kind_I.board)) {
    tunnel->ClearFaults();
    if (!tunnel->IsPresent()) tunnel->Replug();
  } else {
    const auto hid = platform_IO->HidBoard(kind_I.board);
    hid->ClearFaults();
    if (!hid->IsPresent()) hid->Replug();
  }
  Pause(kPowerOffMs + 1000);
  platform_IO->Bus()->DeliverDueEvents();
}

// The run's result and its log's trailer tell what happened: its code and message, each board updated only
// with the image in its flash and out of its loader, a board not started untouched.
bool CMatrix::Truthful(const SOutcome& outcome_I, bool limit_I)
{
  const SRunResult& result = outcome_I.result;
  if (result.exitCode != outcome_I.exitCode || result.message != WideToUtf8(outcome_I.message)) return false;
  for (const SBoardResult& board : result.boards) {
    if (board.outcome == "updated" && !outcome_I.flashMatches && !limit_I) return false;
    if (board.outcome == "updated" && !outcome_I.running && outcome_I.returnSeen) return false;
    if (board.outcome == "not started" && !outcome_I.flashUnchanged) return false;
    if (outcome_I.exitCode == 0 && board.outcome != "updated") return false;
  }
  const std::string trailer = "Finished: " + result.message + "\nExit code: " + std::to_string(result.exitCode) +
                              " (" + ExitCodeMeaning(result.exitCode) + ")\n";
  return outcome_I.trailer.ends_with(trailer);
}

// A faulty run ends in time with a message and a code that says what happened, and with success only when the
// flash holds the image, unless the protocol has no way to see the difference (counted as its limit).
bool CMatrix::Judge(const SCase& case_I, const SOutcome& outcome_I, STally& tally_IO) const
{
  const bool wrong = outcome_I.exitCode == 0 && !outcome_I.flashMatches;
  const bool limit = wrong && case_I.category == ECATEGORY_SILENT && !case_I.kind->Verified();
  const bool leftUnseen = outcome_I.exitCode == 0 && !outcome_I.running && !outcome_I.returnSeen;
  tally_IO.falseSuccesses += wrong && !limit;
  tally_IO.protocolLimit += limit || leftUnseen;
  const bool known = outcome_I.exitCode == 0 || outcome_I.exitCode == 1 ||
                     (outcome_I.exitCode == 2 && case_I.category == ECATEGORY_CANCEL);
  return known && !outcome_I.message.empty() && outcome_I.virtualMs <= kVirtualBoundMs && (!wrong || limit) &&
         Truthful(outcome_I, limit);
}

// One case of every N: the one at a place within each run of N that moves on by one from run to run, so that
// cases listed in a repeating order (a fault alone, then twice) are all sampled.
bool CMatrix::Sampled()
{
  const size_t counter = mSampleCounter++;
  return counter % mSample == counter / mSample % mSample;
}

void CMatrix::Case(const SCase& case_I)
{
  const SKind& kind = *case_I.kind;
  std::string error;
  std::unique_ptr<sim::CSimPlatform> platform = sim::CSimPlatform::CreateFromText(kind.Scenario(), error);
  if (!platform || !case_I.first(*platform)) return;
  if (!Sampled()) return;
  STally& tally = mTallies[case_I.category];
  ++tally.cases;
  ++mPhaseCases[case_I.phase];
  ++mFaultCases[case_I.fault];
  CMatrixView view;
  if (case_I.user) case_I.user(view, *platform);
  const SOutcome first = RunOnce(kind, *platform, view);
  ++mMessages[WideToUtf8(first.message)];
  mWorstMs[case_I.phase] = std::max(mWorstMs[case_I.phase], first.virtualMs);
  bool proper = Judge(case_I, first, tally);
  Recover(kind, platform);
  int secondExit = -1;
  if (case_I.second) {
    case_I.second(*platform);
    CMatrixView secondView;
    const SOutcome faulty = RunOnce(kind, *platform, secondView);
    secondExit = faulty.exitCode;
    proper = Judge(case_I, faulty, tally) && proper;
    Recover(kind, platform);
  }
  CMatrixView lastView;
  const SOutcome last = RunOnce(kind, *platform, lastView);
  const bool recovered = last.exitCode == 0 && last.flashMatches && last.running;
  tally.passes += proper;
  tally.recoveries += recovered;
  tally.unrecovered += !recovered;
  if (!proper || !recovered || mVerbose) {
    std::printf("%s %-24s %-22s %-26s at %5llu: exit %d in %llu ms \"%s\"; exit %d; last run exit %d, flash %s\n",
                proper && recovered ? "  " : "!!", kind.name, kPhases[case_I.phase], case_I.fault.c_str(),
                static_cast<unsigned long long>(case_I.at), first.exitCode,
                static_cast<unsigned long long>(first.virtualMs), WideToUtf8(first.message).c_str(), secondExit,
                last.exitCode, last.flashMatches ? "equal" : "DIFFERENT");
    if (mVerbose) std::printf("     logs: %s %s\n", first.log.c_str(), last.log.c_str());
  }
}

// Every fault that applies, at the first, middle and last transfer of each phase of a healthy run (its first,
// middle and last answer for the faults of a reply).
std::vector<CMatrix::SPoint> CMatrix::Points(const SKind& kind_I, sim::CSimPlatform& healthy_I)
{
  const std::string options = kind_I.options;
  const bool reenumerates = options.find("0101 -auto pen") != std::string::npos || options.find("0401") != std::string::npos;
  const bool tunnel = healthy_I.I2CBoard(kind_I.board) != nullptr;
  const SClassified classified = Classify(Trace(kind_I, healthy_I), options.find("0301") != std::string::npos, tunnel,
                                          reenumerates);
  std::vector<SPoint> points;
  for (size_t phase = 0; phase < kPhaseCount; ++phase) {
    std::vector<uint64_t> all, gets;
    for (size_t i = 0; i < classified.phase.size(); ++i) {
      if (classified.phase[i] != phase) continue;
      all.push_back(i + 1);
      if (classified.get[i]) gets.push_back(i + 1);
    }
    for (size_t fault = 0; fault < kFaultCount; ++fault) {
      const bool reply = fault == EFAULT_SHORT || fault == EFAULT_GARBAGE;
      // Busy, refused and wrongly echoed exchanges last from the start: one case a phase is enough.
      const bool whole = fault == EFAULT_BUSY || fault == EFAULT_NOACK || (fault == EFAULT_GARBAGE && tunnel);
      std::vector<uint64_t> picked = Spread(reply ? gets : all);
      if (whole && !picked.empty()) picked.resize(1);
      for (const uint64_t at : picked) points.push_back({phase, fault, at});
    }
  }
  return points;
}

void CMatrix::KindCases(const SKind& kind_I)
{
  std::string error;
  std::unique_ptr<sim::CSimPlatform> healthy = sim::CSimPlatform::CreateFromText(kind_I.Scenario(), error);
  if (!healthy) {
    std::printf("!! %s: %s\n", kind_I.name, error.c_str());
    ++mTallies[ECATEGORY_SINGLE].unrecovered;
    return;
  }
  CMatrixView view;
  const SOutcome clean = RunOnce(kind_I, *healthy, view);
  if (clean.exitCode != 0 || !clean.flashMatches) {
    std::printf("!! %s: a healthy run ends with %d \"%s\"\n", kind_I.name, clean.exitCode, WideToUtf8(clean.message).c_str());
    ++mTallies[ECATEGORY_SINGLE].unrecovered;
    return;
  }
  const auto tunnel = healthy->I2CBoard(kind_I.board);
  const uint64_t programmed = tunnel ? tunnel->ProgrammedBytes() : healthy->HidBoard(kind_I.board)->ProgrammedBytes();
  std::vector<SPoint> points = Points(kind_I, *healthy);
  std::erase_if(points, [&](const SPoint& point_I) { return !Apply(kind_I, *healthy, point_I.fault, point_I.at); });
  FaultCases(kind_I, points);
  WrongByteCases(kind_I, programmed);
  CancelCases(kind_I, points);
}

// Each fault alone, and each followed in the recovery run by two others of the same board's faults, picked
// in turn from all of them, at the same point of the recovery run's transfers.
void CMatrix::FaultCases(const SKind& kind_I, const std::vector<SPoint>& points_I)
{
  for (size_t i = 0; i < points_I.size(); ++i) {
    const SPoint point = points_I[i];
    SCase single{ECATEGORY_SINGLE, &kind_I, point.phase, kFaults[point.fault], point.at, {}, {}, {}};
    single.first = [this, &kind_I, point](sim::CSimPlatform& platform_I) {
      return Apply(kind_I, platform_I, point.fault, point.at);
    };
    Case(single);
    for (const size_t step : {7, 31}) {
      const SPoint then = points_I[(i * 13 + step) % points_I.size()];
      SCase twice = single;
      twice.category = ECATEGORY_DOUBLE;
      twice.second = [this, &kind_I, then](sim::CSimPlatform& platform_I) {
        Apply(kind_I, platform_I, then.fault, TransferCount(kind_I, platform_I) + then.at);
      };
      Case(twice);
    }
  }
}

// The board acknowledges every write, but its flash keeps the first, the middle or the last byte of the image
// wrong.
void CMatrix::WrongByteCases(const SKind& kind_I, uint64_t programmed_I)
{
  if (programmed_I == 0) return;
  for (const uint64_t at : Spread({0, programmed_I / 2, programmed_I - 1})) {
    SCase wrong{ECATEGORY_SILENT, &kind_I, EPHASE_WRITE, kWrongByte, at, {}, {}, {}};
    wrong.first = [&kind_I, at](sim::CSimPlatform& platform_I) {
      if (const auto tunnel = platform_I.I2CBoard(kind_I.board)) {
        tunnel->KeepWrongByte(at);
      } else {
        platform_I.HidBoard(kind_I.board)->KeepWrongByte(at);
      }
      return true;
    };
    Case(wrong);
  }
}

// Each way of asking to stop: at once, before the board is touched, and once the board has seen the first,
// middle or last transfer of each phase.
void CMatrix::CancelCases(const SKind& kind_I, const std::vector<SPoint>& points_I)
{
  std::vector<SPoint> requests{{EPHASE_ENTER, EFAULT_FAIL1, 0}};
  std::copy_if(points_I.begin(), points_I.end(), std::back_inserter(requests),
               [](const SPoint& point_I) { return point_I.fault == EFAULT_FAIL1; });
  for (const SPoint& point : requests) {
    for (size_t cancel = 0; cancel < std::size(kCancels); ++cancel) {
      SCase request{ECATEGORY_CANCEL, &kind_I, point.phase, kCancels[cancel], point.at, {}, {}, {}};
      request.first = [](sim::CSimPlatform&) { return true; };
      request.user = [this, &kind_I, point, cancel](CMatrixView& view_IO, sim::CSimPlatform& platform_I) {
        view_IO.mCancel = static_cast<ECancel>(cancel);
        view_IO.mDue = [this, &kind_I, &platform_I, point] { return TransferCount(kind_I, platform_I) >= point.at; };
      };
      Case(request);
    }
  }
}

// The scaler's faults come from its ISP slave and the bridge: each hits the phase its operation belongs to. Each
// is also followed in the recovery run by two others.
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
  for (size_t i = 0; i < faults.size(); ++i) {
    const SScalerFault& item = faults[i];
    SCase single{ECATEGORY_SINGLE, &kind, item.phase, kFaults[item.fault], 0, {}, {}, {}};
    single.first = [&item](sim::CSimPlatform& platform_I) {
      item.apply(*platform_I.Scaler());
      return true;
    };
    Case(single);
    for (const size_t step : {1, 5}) {
      const SScalerFault& then = faults[(i + step) % faults.size()];
      SCase twice = single;
      twice.category = ECATEGORY_DOUBLE;
      twice.second = [&then](sim::CSimPlatform& platform_I) { then.apply(*platform_I.Scaler()); };
      Case(twice);
    }
  }
}

void CMatrix::Run(size_t sample_I, size_t onlyKind_I)
{
  mSample = std::max<size_t>(sample_I, 1);
  CScopedClock installed(mClock);
  for (size_t k = 0; k + 1 < std::size(kKinds); ++k) {
    if (onlyKind_I >= std::size(kKinds) || k == onlyKind_I) KindCases(kKinds[k]);
  }
  if (onlyKind_I >= std::size(kKinds) - 1) ScalerCases();
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  if (!mVerbose) std::filesystem::remove_all(mWork);
}

int CMatrix::Report() const
{
  std::printf("\n| phase | cases | worst virtual time of a first run (s) |\n|---|---:|---:|\n");
  for (size_t phase = 0; phase < kPhaseCount; ++phase) {
    std::printf("| %s | %zu | %.1f |\n", kPhases[phase], mPhaseCases[phase], static_cast<double>(mWorstMs[phase]) / 1000);
  }
  std::printf("\n| fault or request of the first run | cases |\n|---|---:|\n");
  for (const auto& [fault, count] : mFaultCases) std::printf("| %s | %zu |\n", fault.c_str(), count);
  std::printf("\n| first run ended with | cases |\n|---|---:|\n");
  for (const auto& [message, count] : mMessages) std::printf("| \"%s\" | %zu |\n", message.c_str(), count);
  std::printf("\n| category | cases | passes | recoveries | false successes | protocol limit | unrecovered |\n"
              "|---|---:|---:|---:|---:|---:|---:|\n");
  STally total;
  for (size_t category = 0; category < kCategoryCount; ++category) {
    const STally& tally = mTallies[category];
    std::printf("| %s | %zu | %zu | %zu | %zu | %zu | %zu |\n", kCategories[category], tally.cases, tally.passes,
                tally.recoveries, tally.falseSuccesses, tally.protocolLimit, tally.unrecovered);
    total.cases += tally.cases;
    total.passes += tally.passes;
    total.recoveries += tally.recoveries;
    total.falseSuccesses += tally.falseSuccesses;
    total.protocolLimit += tally.protocolLimit;
    total.unrecovered += tally.unrecovered;
  }
  std::printf("\ncases %zu, passes %zu, recoveries %zu, false successes %zu, protocol limit %zu, unrecovered %zu\n",
              total.cases, total.passes, total.recoveries, total.falseSuccesses, total.protocolLimit,
              total.unrecovered);
  return total.passes == total.cases && total.recoveries == total.cases && total.unrecovered == 0 ? 0 : 1;
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
