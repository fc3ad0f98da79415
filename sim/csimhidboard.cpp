#include "sim/csimhidboard.h"

#include <algorithm>
#include <utility>

#include "common/cclock.h"
#include "common/fwupdater/cdevice.h"
#include "common/stringutilities.h"

namespace orv::sim {
namespace {

constexpr uint8_t kWrapperId = 0xDC;
constexpr size_t kWrapperLength = 1024;
constexpr size_t kWrapperHeader = 3;
constexpr uint8_t kEnterLoaderId = 0xCC;
constexpr uint8_t kVendorHigh = static_cast<uint8_t>(DefaultVendorId >> 8);
constexpr uint8_t kVendorLow = static_cast<uint8_t>(DefaultVendorId);
const std::vector<uint8_t> kPing{0x02, 0x00};
const std::vector<uint8_t> kVendorCommand{0x08, 0x01, 0x00, 0xAA, 0xAA};

// The inner report of a router report; empty when the wrapper is malformed.
std::vector<uint8_t> Unwrap(const std::vector<uint8_t>& outer_I, bool set_I)
{
  if (outer_I.size() < kWrapperLength || outer_I[0] != kWrapperId) return {};
  const size_t length = static_cast<size_t>(outer_I[1] << 8 | outer_I[2]);
  if (length == 0 || kWrapperHeader + length > outer_I.size()) return {};
  const auto inner = outer_I.begin() + kWrapperHeader;
  // What the host sends is zero-padded; a get's padding is whatever its buffer held.
  if (set_I && std::any_of(inner + length, outer_I.end(), [](uint8_t byte_I) { return byte_I != 0; })) return {};
  return {inner, inner + length};
}

// The answer goes back in the same wrapper, in the buffer the host gave.
void Wrap(const std::vector<uint8_t>& inner_I, std::vector<uint8_t>& outer_IO)
{
  std::fill(outer_IO.begin(), outer_IO.end(), 0);
  outer_IO[0] = kWrapperId;
  outer_IO[1] = static_cast<uint8_t>(inner_I.size() >> 8);
  outer_IO[2] = static_cast<uint8_t>(inner_I.size());
  std::copy(inner_I.begin(), inner_I.end(), outer_IO.begin() + kWrapperHeader);
}

}  // namespace

// A handle on a board; it works for the session (one stay on the bus) in which it was opened.
class CSimHidDevice : public CHidDevice {
 public:
  CSimHidDevice(std::shared_ptr<CSimHidBoard> board_I, uint64_t session_I)
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
  std::shared_ptr<CSimHidBoard> mBoard;
  uint64_t mSession;
};

std::shared_ptr<CSimHidBoard> CSimHidBoard::Create(const SSimHidBoardConfig& config_I, std::string& error_O)
{
  error_O = CSimFlashLoader::CheckConfig(config_I.flashLoader);
  if (error_O.empty() && config_I.normal.path.empty()) error_O = "the board needs a path";
  if (error_O.empty() && config_I.reenumerate && config_I.loader.path.empty()) {
    error_O = "a board that re-enumerates needs a loader path";
  }
  if (!error_O.empty()) return nullptr;
  return std::shared_ptr<CSimHidBoard>(new CSimHidBoard(config_I));
}

CSimHidBoard::CSimHidBoard(const SSimHidBoardConfig& config_I)
    : mConfig(config_I),
      mLoader(config_I.flashLoader),
      mMode(config_I.startInLoader ? ESIMBOARDMODE_LOADER : ESIMBOARDMODE_NORMAL)
{
  mPresence.Appear({CurrentIdentity().path, EDEVICECLASS_HID}, 0);
}

std::unique_ptr<CHidDevice> CSimHidBoard::Open(const std::string& path_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (!Present() || !EqualsIgnoreCase(path_I, CurrentIdentity().path)) return nullptr;
  if (Clock().NowMs() < mOpenRefusedUntilMs) return nullptr;
  return std::make_unique<CSimHidDevice>(shared_from_this(), mSession);
}

bool CSimHidBoard::IsPresent()
{
  std::lock_guard<std::mutex> lock(mLock);
  return Present();
}

std::string CSimHidBoard::Path()
{
  std::lock_guard<std::mutex> lock(mLock);
  return CurrentIdentity().path;
}

ESimBoardMode CSimHidBoard::Mode()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mMode;
}

void CSimHidBoard::EnterLoader()
{
  std::lock_guard<std::mutex> lock(mLock);
  if (mMode == ESIMBOARDMODE_NORMAL && Present()) SwitchMode(ESIMBOARDMODE_LOADER);
}

void CSimHidBoard::FailTransfers(uint64_t first_I, uint64_t count_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mFailing.push_back({first_I, count_I});
}

void CSimHidBoard::SetStuckBusy(bool stuck_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mLoader.SetStuckBusy(stuck_I);
}

void CSimHidBoard::CorruptChecksumOf(std::optional<uint32_t> block_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mLoader.SetCorruptChecksumBlock(block_I);
}

void CSimHidBoard::KeepWrongByte(uint64_t after_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mLoader.KeepWrongByte(after_I);
}

uint64_t CSimHidBoard::ProgrammedBytes()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.ProgrammedBytes();
}

void CSimHidBoard::DropOffBusAfter(uint64_t transfer_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mDropAfter = transfer_I;
  if (mTransfers >= transfer_I) Drop();
}

uint64_t CSimHidBoard::TransferCount()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mTransfers;
}

std::vector<SSimTransfer> CSimHidBoard::Trace()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mTrace;
}

std::vector<uint8_t> CSimHidBoard::FlashBytes(uint32_t address_I, uint32_t count_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.FlashBytes(address_I, count_I);
}

bool CSimHidBoard::Preload(uint32_t address_I, const std::vector<uint8_t>& bytes_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.Preload(address_I, bytes_I);
}

uint32_t CSimHidBoard::RomMagic()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.RomMagic();
}

std::vector<uint32_t> CSimHidBoard::RomChecksums()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.RomChecksums();
}

uint32_t CSimHidBoard::WorkingMagic()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mLoader.WorkingMagic();
}

bool CSimHidBoard::Transfer(uint64_t session_I, bool set_I, std::vector<uint8_t>& report_IO)
{
  SpendTransferTime(mConfig.transferMs);
  std::lock_guard<std::mutex> lock(mLock);
  const uint64_t number = ++mTransfers;
  std::vector<uint8_t> wire = report_IO;
  const bool ok = Reachable(session_I) && !Failing(number) && Deliver(set_I, wire);
  if (ok && !set_I) {
    for (const auto& [range, corrupt] : mCorrupting) {
      if (number >= range.first && number - range.first < range.count) corrupt(wire);
    }
  }
  if (ok) report_IO = std::move(wire);
  mTrace.push_back({set_I, report_IO, ok, Clock().NowMs()});
  if (mDropAfter && number >= *mDropAfter) Drop();
  if (mPowerLossAfter && number == mPowerLossAfter->first) {
    Restart(ESIMBOARDMODE_LOADER, Clock().NowMs() + mPowerLossAfter->second);
  }
  return ok;
}

bool CSimHidBoard::Identity(uint64_t session_I, SSimHidIdentity& identity_O)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (!Reachable(session_I)) return false;
  identity_O = CurrentIdentity();
  if (mMode == ESIMBOARDMODE_NORMAL && mConfig.versionAddress) {
    const std::vector<uint8_t> word = mLoader.FlashBytes(*mConfig.versionAddress, 2);
    if (word.size() == 2 && (word[0] != 0xFF || word[1] != 0xFF)) {
      identity_O.version = static_cast<uint16_t>(word[0] | word[1] << 8);
    }
  }
  return true;
}

bool CSimHidBoard::Reachable(uint64_t session_I) const { return session_I == mSession && Present(); }

bool CSimHidBoard::Present() const { return mPresence.Present(Clock().NowMs()); }

bool CSimHidBoard::Failing(uint64_t transfer_I) const
{
  return std::any_of(mFailing.begin(), mFailing.end(), [transfer_I](const SRange& range_I) {
    return transfer_I >= range_I.first && transfer_I - range_I.first < range_I.count;
  });
}

const SSimHidIdentity& CSimHidBoard::CurrentIdentity() const
{
  return mMode == ESIMBOARDMODE_LOADER && mConfig.reenumerate ? mConfig.loader : mConfig.normal;
}

bool CSimHidBoard::Deliver(bool set_I, std::vector<uint8_t>& report_IO)
{
  if (report_IO.empty()) return false;
  if (CurrentIdentity().usagePage != kSimRouterUsagePage) return DeliverInner(set_I, report_IO);
  std::vector<uint8_t> inner = Unwrap(report_IO, set_I);
  if (inner.empty() || !DeliverInner(set_I, inner)) return false;
  if (!set_I) Wrap(inner, report_IO);
  return true;
}

bool CSimHidBoard::DeliverInner(bool set_I, std::vector<uint8_t>& inner_IO)
{
  if (mMode == ESIMBOARDMODE_LOADER) return LoaderDeliver(set_I, inner_IO);
  // Any report between the two halves of the enter-loader pair breaks the pair.
  const bool armed = std::exchange(mArmed, false);
  return set_I && NormalSet(inner_IO, armed);
}

bool CSimHidBoard::LoaderDeliver(bool set_I, std::vector<uint8_t>& inner_IO)
{
  if (!set_I) return mLoader.Get(inner_IO);
  if (!mLoader.Set(inner_IO)) return false;
  if (mLoader.ExitRequested()) SwitchMode(ESIMBOARDMODE_NORMAL);
  return true;
}

bool CSimHidBoard::NormalSet(const std::vector<uint8_t>& report_I, bool armed_I)
{
  if (report_I.size() != 3 || report_I[0] != kEnterLoaderId) return report_I == kPing || report_I == kVendorCommand;
  if (report_I[1] == kVendorHigh && report_I[2] == kVendorLow) {
    mArmed = true;
    return true;
  }
  if (report_I[1] != kVendorLow || report_I[2] != kVendorHigh) return false;
  if (armed_I) SwitchMode(ESIMBOARDMODE_LOADER);
  return true;
}

void CSimHidBoard::SwitchMode(ESimBoardMode mode_I)
{
  mMode = mode_I;
  if (mode_I == ESIMBOARDMODE_LOADER) mLoader.Enter();
  if (!mConfig.reenumerate) return;
  // The old handles die with the old session; the new interface appears after the delay.
  ++mSession;
  const uint64_t now = Clock().NowMs();
  mPresence.Leave(now);
  mPresence.Appear({CurrentIdentity().path, EDEVICECLASS_HID}, now + mConfig.reenumerateMs);
  mOpenRefusedUntilMs = now + mConfig.reenumerateMs + mConfig.openRefusedMs;
  mode_I == ESIMBOARDMODE_LOADER ? CollectionsGone() : CollectionsBack(now + mConfig.reenumerateMs);
}

void CSimHidBoard::CorruptAnswers(uint64_t first_I, uint64_t count_I, std::function<void(std::vector<uint8_t>&)> corrupt_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mCorrupting.push_back({{first_I, count_I}, std::move(corrupt_I)});
}

void CSimHidBoard::LosePowerAfter(uint64_t transfer_I, uint32_t offMs_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mPowerLossAfter = std::make_pair(transfer_I, offMs_I);
}

void CSimHidBoard::Replug()
{
  std::lock_guard<std::mutex> lock(mLock);
  mDropped = false;
  mDropAfter.reset();
  Restart(mLoader.RomMagic() == kSimValidMagic ? ESIMBOARDMODE_NORMAL : ESIMBOARDMODE_LOADER, Clock().NowMs());
}

void CSimHidBoard::ClearFaults()
{
  std::lock_guard<std::mutex> lock(mLock);
  mFailing.clear();
  mCorrupting.clear();
  mDropAfter.reset();
  mPowerLossAfter.reset();
  mLoader.SetStuckBusy(false);
  mLoader.SetCorruptChecksumBlock(std::nullopt);
  mLoader.KeepWrongByte(std::nullopt);
}

void CSimHidBoard::Restart(ESimBoardMode mode_I, uint64_t backAtMs_I)
{
  ++mSession;
  mArmed = false;
  mMode = mode_I;
  if (mode_I == ESIMBOARDMODE_LOADER) mLoader.Enter();
  const uint64_t now = Clock().NowMs();
  mPresence.Leave(now);
  CollectionsGone();
  // A collection of a device that is away comes back with the device.
  if (mUsbAway) return;
  mPresence.Appear({CurrentIdentity().path, EDEVICECLASS_HID}, std::max(backAtMs_I, now));
  if (mode_I == ESIMBOARDMODE_NORMAL) CollectionsBack(std::max(backAtMs_I, now));
}

void CSimHidBoard::Drop()
{
  if (mDropped) return;
  mDropped = true;
  mPresence.Leave(Clock().NowMs());
  CollectionsGone();
}

void CSimHidBoard::ShareUsbDevice(const std::shared_ptr<CSimBusDevice>& collection_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mCollections.push_back(collection_I);
  if (mDropped || (mMode == ESIMBOARDMODE_LOADER && mConfig.reenumerate)) collection_I->UsbDeviceGone();
}

// Called with the board's lock held: a collection never calls back into the board that re-enumerates it.
void CSimHidBoard::CollectionsGone()
{
  for (const std::weak_ptr<CSimBusDevice>& collection : mCollections) {
    if (const std::shared_ptr<CSimBusDevice> device = collection.lock()) device->UsbDeviceGone();
  }
}

void CSimHidBoard::CollectionsBack(uint64_t atMs_I)
{
  for (const std::weak_ptr<CSimBusDevice>& collection : mCollections) {
    if (const std::shared_ptr<CSimBusDevice> device = collection.lock()) device->UsbDeviceBack(atMs_I);
  }
}

void CSimHidBoard::UsbDeviceGone()
{
  std::lock_guard<std::mutex> lock(mLock);
  mUsbAway = true;
  ++mSession;
  mArmed = false;
  mPresence.Leave(Clock().NowMs());
}

void CSimHidBoard::UsbDeviceBack(uint64_t atMs_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mUsbAway = false;
  if (!mDropped) mPresence.Appear({CurrentIdentity().path, EDEVICECLASS_HID}, std::max(atMs_I, Clock().NowMs()));
}

std::vector<SSimInterface> CSimHidBoard::PresentInterfaces()
{
  std::lock_guard<std::mutex> lock(mLock);
  if (!Present()) return {};
  return {{CurrentIdentity().path, EDEVICECLASS_HID}};
}

std::vector<SSimInterfaceChange> CSimHidBoard::TakeInterfaceChanges()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mPresence.Take(Clock().NowMs());
}

std::optional<uint64_t> CSimHidBoard::NextInterfaceChangeMs()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mPresence.PendingArrivalMs();
}

std::vector<SSimNode> CSimHidBoard::Nodes()
{
  std::vector<SSimNode> nodes{{SimInstanceIdOfPath(mConfig.normal.path), mConfig.normal.parentId}};
  if (mConfig.reenumerate) nodes.push_back({SimInstanceIdOfPath(mConfig.loader.path), mConfig.loader.parentId});
  return nodes;
}

}  // namespace orv::sim
