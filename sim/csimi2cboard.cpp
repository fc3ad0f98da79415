#include "sim/csimi2cboard.h"

#include <algorithm>
#include <utility>

#include "common/cclock.h"
#include "common/stringutilities.h"

namespace orv::sim {
namespace {

constexpr uint8_t kLoaderSwitchId = 0xB0;
constexpr uint8_t kReadId = 0xB1;
constexpr uint8_t kWriteId = 0xB2;
constexpr size_t kLoaderSwitchLength = 3;
constexpr size_t kWriteRequestLength = 265;
constexpr size_t kWriteStatusLength = 6;
constexpr size_t kReadRequestLength = 5;
constexpr size_t kReadAnswerLength = 266;
// Where the inner report starts in a write request and in a read answer.
constexpr size_t kWriteInnerOffset = 4;
constexpr size_t kReadInnerOffset = 5;
// The largest inner report the controller takes.
constexpr size_t kMaxInnerLength = 261;
// Bytes 1 and 2 of the leave-loader request, and of the loader status in normal mode.
constexpr uint8_t kNormalMode = 0x01;
constexpr uint8_t kRequestMarker = 0x01;

constexpr uint8_t kStatusDone = 0xF0;
constexpr uint8_t kStatusBusy = 0xF1;
constexpr uint8_t kStatusDoneWithData = 0xF2;
constexpr uint8_t kStatusFailed = 0xF3;

const std::vector<uint8_t> kPing{0x02, 0x00};

uint16_t Le16(const std::vector<uint8_t>& bytes_I, size_t offset_I)
{
  return static_cast<uint16_t>(bytes_I[offset_I] | bytes_I[offset_I + 1] << 8);
}

}  // namespace

// A handle on the tablet's collection; it works for the stay on the bus in which it was opened.
class CSimI2CDevice : public CHidDevice {
 public:
  CSimI2CDevice(std::shared_ptr<CSimI2CTunnelBoard> board_I, uint64_t session_I)
      : mBoard(std::move(board_I)), mSession(session_I)
  {
  }

  bool GetAttributes(SHidAttributes& attributes_O) override
  {
    SSimHidIdentity identity;
    if (!mBoard->Identity(mSession, identity)) return false;
    attributes_O = {identity.vendorId, identity.productId, identity.version};
    return true;
  }

  bool GetCaps(SHidCaps& caps_O) override
  {
    SSimHidIdentity identity;
    if (!mBoard->Identity(mSession, identity)) return false;
    caps_O = {identity.usage, identity.usagePage};
    return true;
  }

  bool SetFeature(const std::vector<uint8_t>& report_I) override
  {
    std::vector<uint8_t> report = report_I;
    return mBoard->Transfer(mSession, true, report);
  }

  bool GetFeature(std::vector<uint8_t>& report_IO) override { return mBoard->Transfer(mSession, false, report_IO); }

 private:
  std::shared_ptr<CSimI2CTunnelBoard> mBoard;
  uint64_t mSession;
};

std::shared_ptr<CSimI2CTunnelBoard> CSimI2CTunnelBoard::Create(const SSimI2CBoardConfig& config_I,
                                                               std::string& error_O)
{
  error_O = CSimFlashLoader::CheckConfig(config_I.flashLoader);
  if (error_O.empty() && config_I.identity.path.empty()) error_O = "the board needs a path";
  if (!error_O.empty()) return nullptr;
  return std::shared_ptr<CSimI2CTunnelBoard>(new CSimI2CTunnelBoard(config_I));
}

CSimI2CTunnelBoard::CSimI2CTunnelBoard(const SSimI2CBoardConfig& config_I)
    : mConfig(config_I),
      mLoader(config_I.flashLoader),
      mMode(config_I.startInLoader ? ESIMBOARDMODE_LOADER : ESIMBOARDMODE_NORMAL)
{
  mWrite.status = kStatusDone;
  mRead.status = kStatusDone;
  mPresence.Appear({config_I.identity.path, EDEVICECLASS_HID}, 0);
}

std::unique_ptr<CHidDevice> CSimI2CTunnelBoard::Open(const std::string& path_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (!Present() || !EqualsIgnoreCase(path_I, mConfig.identity.path)) return nullptr;
  return std::make_unique<CSimI2CDevice>(shared_from_this(), mSession);
}

bool CSimI2CTunnelBoard::IsPresent()
{
  std::lock_guard<std::mutex> lock(mLock);
  return Present();
}

ESimBoardMode CSimI2CTunnelBoard::Mode()
{
  std::lock_guard<std::mutex> lock(mLock);
  Settle();
  return mMode;
}

void CSimI2CTunnelBoard::FailTransfers(uint64_t first_I, uint64_t count_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mFailing.push_back({first_I, count_I});
}

void CSimI2CTunnelBoard::SetStuckBusy(bool stuck_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mStuckBusy = stuck_I;
}

void CSimI2CTunnelBoard::KeepWrongByte(uint64_t after_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mLoader.KeepWrongByte(after_I);
}

uint64_t CSimI2CTunnelBoard::ProgrammedBytes()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.ProgrammedBytes();
}

void CSimI2CTunnelBoard::SetFailStatus(bool fail_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mFailStatus = fail_I;
}

void CSimI2CTunnelBoard::SetWrongEcho(bool wrong_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mWrongEcho = wrong_I;
}

void CSimI2CTunnelBoard::DropOffBusAfter(uint64_t transfer_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mDropAfter = transfer_I;
  if (mTransfers >= transfer_I) Drop();
}

uint64_t CSimI2CTunnelBoard::TransferCount()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mTransfers;
}

std::vector<SSimTransfer> CSimI2CTunnelBoard::Trace()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mTrace;
}

std::vector<uint8_t> CSimI2CTunnelBoard::FlashBytes(uint32_t address_I, uint32_t count_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.FlashBytes(address_I, count_I);
}

bool CSimI2CTunnelBoard::Preload(uint32_t address_I, const std::vector<uint8_t>& bytes_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.Preload(address_I, bytes_I);
}

uint32_t CSimI2CTunnelBoard::RomMagic()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.RomMagic();
}

std::vector<SSimInterface> CSimI2CTunnelBoard::PresentInterfaces()
{
  std::lock_guard<std::mutex> lock(mLock);
  if (!Present()) return {};
  return {{mConfig.identity.path, EDEVICECLASS_HID}};
}

std::vector<SSimInterfaceChange> CSimI2CTunnelBoard::TakeInterfaceChanges()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mPresence.Take(Clock().NowMs());
}

std::optional<uint64_t> CSimI2CTunnelBoard::NextInterfaceChangeMs()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mPresence.PendingArrivalMs();
}

std::vector<SSimNode> CSimI2CTunnelBoard::Nodes()
{
  return {{SimInstanceIdOfPath(mConfig.identity.path), mConfig.identity.parentId}};
}

bool CSimI2CTunnelBoard::Transfer(uint64_t session_I, bool set_I, std::vector<uint8_t>& report_IO)
{
  SpendTransferTime(mConfig.transferMs);
  std::lock_guard<std::mutex> lock(mLock);
  const uint64_t number = ++mTransfers;
  Settle();
  std::vector<uint8_t> wire = report_IO;
  const bool ok = session_I == mSession && Present() && !Failing(number) && Deliver(set_I, wire);
  if (ok) report_IO = std::move(wire);
  mTrace.push_back({set_I, report_IO, ok, Clock().NowMs()});
  if (mDropAfter && number >= *mDropAfter) Drop();
  if (mPowerLossAfter && number == mPowerLossAfter->first) {
    Restart(ESIMBOARDMODE_LOADER, Clock().NowMs() + mPowerLossAfter->second);
  }
  return ok;
}

bool CSimI2CTunnelBoard::Identity(uint64_t session_I, SSimHidIdentity& identity_O)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (session_I != mSession || !Present()) return false;
  identity_O = mConfig.identity;
  return true;
}

bool CSimI2CTunnelBoard::Present() const { return mPresence.Present(Clock().NowMs()); }

bool CSimI2CTunnelBoard::Failing(uint64_t transfer_I) const
{
  return std::any_of(mFailing.begin(), mFailing.end(), [transfer_I](const SRange& range_I) {
    return transfer_I >= range_I.first && transfer_I - range_I.first < range_I.count;
  });
}

void CSimI2CTunnelBoard::LosePowerAfter(uint64_t transfer_I, uint32_t offMs_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mPowerLossAfter = std::make_pair(transfer_I, offMs_I);
}

void CSimI2CTunnelBoard::Replug()
{
  std::lock_guard<std::mutex> lock(mLock);
  mDropped = false;
  mDropAfter.reset();
  Restart(mLoader.RomMagic() == kSimValidMagic ? ESIMBOARDMODE_NORMAL : ESIMBOARDMODE_LOADER, Clock().NowMs());
}

void CSimI2CTunnelBoard::ClearFaults()
{
  std::lock_guard<std::mutex> lock(mLock);
  mFailing.clear();
  mDropAfter.reset();
  mPowerLossAfter.reset();
  mStuckBusy = false;
  mFailStatus = false;
  mWrongEcho = false;
  mLoader.KeepWrongByte(std::nullopt);
}

void CSimI2CTunnelBoard::Restart(ESimBoardMode mode_I, uint64_t backAtMs_I)
{
  mSwitch.reset();
  mWrite = {};
  mRead = {};
  mMode = mode_I;
  if (mode_I == ESIMBOARDMODE_LOADER) mLoader.Enter();
  ++mSession;
  const uint64_t now = Clock().NowMs();
  mPresence.Leave(now);
  // While the tablet's USB device is away the collection comes back with it.
  if (!mUsbAway) mPresence.Appear({mConfig.identity.path, EDEVICECLASS_HID}, std::max(backAtMs_I, now));
}

// The controller keeps its mode and its flash: only the tablet's USB side restarted.
void CSimI2CTunnelBoard::UsbDeviceGone()
{
  std::lock_guard<std::mutex> lock(mLock);
  mUsbAway = true;
  ++mSession;
  mWrite = {};
  mRead = {};
  mWrite.status = kStatusDone;
  mRead.status = kStatusDone;
  mPresence.Leave(Clock().NowMs());
}

void CSimI2CTunnelBoard::UsbDeviceBack(uint64_t atMs_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mUsbAway = false;
  const uint64_t at = std::max(atMs_I + mConfig.arrivalLagMs, Clock().NowMs());
  if (!mDropped) mPresence.Appear({mConfig.identity.path, EDEVICECLASS_HID}, at);
}

void CSimI2CTunnelBoard::Drop()
{
  if (mDropped) return;
  mDropped = true;
  mPresence.Leave(Clock().NowMs());
}

void CSimI2CTunnelBoard::Settle()
{
  if (!mSwitch || Clock().NowMs() < mSwitch->atMs) return;
  mMode = mSwitch->mode;
  if (mMode == ESIMBOARDMODE_LOADER) mLoader.Enter();
  mSwitch.reset();
}

bool CSimI2CTunnelBoard::Deliver(bool set_I, std::vector<uint8_t>& report_IO)
{
  if (report_IO.empty()) return false;
  if (set_I) return SetReport(report_IO);
  switch (report_IO[0]) {
    case kLoaderSwitchId:
      return GetLoaderStatus(report_IO);
    case kWriteId:
      return GetWriteStatus(report_IO);
    case kReadId:
      return GetReadAnswer(report_IO);
    default:
      return false;
  }
}

bool CSimI2CTunnelBoard::SetReport(const std::vector<uint8_t>& report_I)
{
  // The tablet itself answers its ping, whatever mode the controller behind it is in.
  if (report_I == kPing) return true;
  switch (report_I[0]) {
    case kLoaderSwitchId:
      return SetLoaderSwitch(report_I);
    case kWriteId:
      return SetWriteRequest(report_I);
    case kReadId:
      return SetReadRequest(report_I);
    default:
      return false;
  }
}

bool CSimI2CTunnelBoard::SetLoaderSwitch(const std::vector<uint8_t>& report_I)
{
  if (report_I.size() != kLoaderSwitchLength || report_I[1] != report_I[2]) return false;
  if (report_I[1] == 0x00) {
    RequestSwitch(ESIMBOARDMODE_LOADER);
    return true;
  }
  if (report_I[1] != kNormalMode) return false;
  RequestSwitch(ESIMBOARDMODE_NORMAL);
  return true;
}

bool CSimI2CTunnelBoard::SetWriteRequest(const std::vector<uint8_t>& report_I)
{
  if (report_I.size() != kWriteRequestLength || report_I[1] != kRequestMarker) return false;
  const size_t length = Le16(report_I, 2);
  if (length == 0 || length > kMaxInnerLength) return false;
  const auto inner = report_I.begin() + kWriteInnerOffset;
  if (std::any_of(inner + length, report_I.end(), [](uint8_t byte_I) { return byte_I != 0; })) return false;
  const std::vector<uint8_t> report(inner, inner + length);
  const bool accepted = mMode == ESIMBOARDMODE_LOADER && mLoader.Set(report);
  if (accepted && mLoader.ExitRequested()) RequestSwitch(ESIMBOARDMODE_NORMAL);
  StartExchange(mWrite, report[0], accepted, {});
  return true;
}

bool CSimI2CTunnelBoard::SetReadRequest(const std::vector<uint8_t>& report_I)
{
  if (report_I.size() != kReadRequestLength || report_I[1] != kRequestMarker) return false;
  const size_t length = Le16(report_I, 3);
  if (length == 0 || length > kMaxInnerLength) return false;
  std::vector<uint8_t> answer(length, 0);
  answer[0] = report_I[2];
  const bool accepted = mMode == ESIMBOARDMODE_LOADER && mLoader.Get(answer);
  StartExchange(mRead, report_I[2], accepted, std::move(answer));
  return true;
}

void CSimI2CTunnelBoard::RequestSwitch(ESimBoardMode mode_I)
{
  if (mSwitch && mSwitch->mode == mode_I) return;
  // Asking for the mode the controller is in calls off a switch the other way.
  if (mMode == mode_I) {
    mSwitch.reset();
    return;
  }
  const uint32_t delay = mode_I == ESIMBOARDMODE_LOADER ? mConfig.enterMs : mConfig.leaveMs;
  mSwitch = SSwitch{mode_I, Clock().NowMs() + delay};
}

void CSimI2CTunnelBoard::StartExchange(SExchange& exchange_IO, uint8_t innerId_I, bool accepted_I,
                                       std::vector<uint8_t> answer_I)
{
  exchange_IO.status = accepted_I ? kStatusDoneWithData : kStatusFailed;
  exchange_IO.busyUntilMs = Clock().NowMs() + mConfig.busyMs;
  exchange_IO.innerId = innerId_I;
  exchange_IO.answer = std::move(answer_I);
}

uint8_t CSimI2CTunnelBoard::StatusOf(const SExchange& exchange_I) const
{
  if (mStuckBusy || Clock().NowMs() < exchange_I.busyUntilMs) return kStatusBusy;
  return mFailStatus ? kStatusFailed : exchange_I.status;
}

uint8_t CSimI2CTunnelBoard::EchoOf(const SExchange& exchange_I) const
{
  return static_cast<uint8_t>(exchange_I.innerId + (mWrongEcho ? 1 : 0));
}

bool CSimI2CTunnelBoard::GetLoaderStatus(std::vector<uint8_t>& report_IO)
{
  if (report_IO.size() != kLoaderSwitchLength) return false;
  const uint8_t mode = mMode == ESIMBOARDMODE_LOADER ? 0x00 : kNormalMode;
  report_IO = {kLoaderSwitchId, mode, mode};
  return true;
}

bool CSimI2CTunnelBoard::GetWriteStatus(std::vector<uint8_t>& report_IO) const
{
  if (report_IO.size() != kWriteStatusLength) return false;
  report_IO = {kWriteId, StatusOf(mWrite), 0, 0, 0, EchoOf(mWrite)};
  return true;
}

bool CSimI2CTunnelBoard::GetReadAnswer(std::vector<uint8_t>& report_IO) const
{
  if (report_IO.size() != kReadAnswerLength) return false;
  std::fill(report_IO.begin(), report_IO.end(), 0);
  report_IO[0] = kReadId;
  report_IO[1] = StatusOf(mRead);
  if (report_IO[1] != kStatusDoneWithData) return true;
  report_IO[3] = static_cast<uint8_t>(mRead.answer.size());
  report_IO[4] = static_cast<uint8_t>(mRead.answer.size() >> 8);
  std::copy(mRead.answer.begin(), mRead.answer.end(), report_IO.begin() + kReadInnerOffset);
  report_IO[kReadInnerOffset] = EchoOf(mRead);
  return true;
}

}  // namespace orv::sim
