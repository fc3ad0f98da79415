#include "sim/csimbulkboard.h"

#include <algorithm>
#include <utility>

#include "common/cclock.h"
#include "common/stringutilities.h"

namespace orv::sim {
namespace {

constexpr size_t kDescriptorLength = 18;
// The standard GET_DESCRIPTOR request for the device descriptor, as a descriptor read shows in the trace.
constexpr SUsbSetupPacket kGetDeviceDescriptor{0x80, 0x06, 0x0100, 0, kDescriptorLength};
constexpr SUsbSetupPacket kSwitchToLoader{0x41, 0xF0, 0xFFFF, 0, 0};
constexpr SUsbSetupPacket kPing{0xC1, 0x01, 0, 0, 2};
constexpr SUsbSetupPacket kVendorCommand{0x41, 0xF5, 0xFFFF, 0, 0};

bool Same(const SUsbSetupPacket& left_I, const SUsbSetupPacket& right_I)
{
  return left_I.requestType == right_I.requestType && left_I.request == right_I.request &&
         left_I.value == right_I.value && left_I.index == right_I.index && left_I.length == right_I.length;
}

// A ping asking for more than the two bytes of its answer gets those two alone.
bool IsPing(const SUsbSetupPacket& setup_I)
{
  SUsbSetupPacket asked = kPing;
  asked.length = setup_I.length;
  return setup_I.length >= kPing.length && Same(setup_I, asked);
}

}  // namespace

// A handle on the bulk device; it works for the stay on the bus in which it was opened.
class CSimUsbHandle : public CUsbDevice {
 public:
  CSimUsbHandle(std::shared_ptr<CSimBulkBoard> board_I, uint64_t session_I)
      : mBoard(std::move(board_I)), mSession(session_I)
  {
  }

  bool GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O) override
  {
    return mBoard->GetDescriptor(mSession, descriptor_O);
  }

  bool ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) override
  {
    return mBoard->Control(mSession, setup_I, data_IO);
  }

 private:
  std::shared_ptr<CSimBulkBoard> mBoard;
  uint64_t mSession;
};

std::shared_ptr<CSimBulkBoard> CSimBulkBoard::Create(const SSimBulkBoardConfig& config_I, std::string& error_O)
{
  if (config_I.path.empty()) {
    error_O = "the board needs a path";
    return nullptr;
  }
  if (EqualsIgnoreCase(config_I.path, config_I.loader.path)) {
    error_O = "the loader needs a path of its own";
    return nullptr;
  }
  // The loader board's normal identity stands for the bulk device, so that it re-enumerates between the two.
  SSimHidBoardConfig loader;
  loader.normal = {config_I.vendorId, config_I.productId, config_I.version, 0, 0, config_I.path, config_I.parentId};
  loader.loader = config_I.loader;
  loader.reenumerate = true;
  loader.reenumerateMs = config_I.reenumerateMs;
  loader.startInLoader = config_I.startInLoader;
  loader.transferMs = config_I.transferMs;
  loader.flashLoader = config_I.flashLoader;
  std::shared_ptr<CSimHidBoard> board = CSimHidBoard::Create(loader, error_O);
  if (!board) return nullptr;
  return std::shared_ptr<CSimBulkBoard>(new CSimBulkBoard(config_I, std::move(board)));
}

CSimBulkBoard::CSimBulkBoard(const SSimBulkBoardConfig& config_I, std::shared_ptr<CSimHidBoard> loader_I)
    : mConfig(config_I), mLoader(std::move(loader_I))
{
}

std::unique_ptr<CUsbDevice> CSimBulkBoard::Open(const std::string& path_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (!EqualsIgnoreCase(path_I, mConfig.path) || !Reachable(mSession)) return nullptr;
  return std::make_unique<CSimUsbHandle>(shared_from_this(), mSession);
}

ESimBoardMode CSimBulkBoard::Mode() { return mLoader->Mode(); }

void CSimBulkBoard::FailTransfers(uint64_t first_I, uint64_t count_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mFailing.push_back({first_I, count_I});
}

void CSimBulkBoard::SetNoWinUsb(bool missing_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mNoWinUsb = missing_I;
}

uint64_t CSimBulkBoard::TransferCount()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mTransfers;
}

std::vector<SSimUsbTransfer> CSimBulkBoard::Trace()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mTrace;
}

std::vector<SSimInterface> CSimBulkBoard::PresentInterfaces()
{
  std::vector<SSimInterface> interfaces = mLoader->PresentInterfaces();
  for (SSimInterface& iface : interfaces) iface = OnBus(iface);
  return interfaces;
}

std::vector<SSimInterfaceChange> CSimBulkBoard::TakeInterfaceChanges()
{
  std::vector<SSimInterfaceChange> changes = mLoader->TakeInterfaceChanges();
  for (SSimInterfaceChange& change : changes) change.iface = OnBus(change.iface);
  return changes;
}

std::optional<uint64_t> CSimBulkBoard::NextInterfaceChangeMs() { return mLoader->NextInterfaceChangeMs(); }

std::vector<SSimNode> CSimBulkBoard::Nodes() { return mLoader->Nodes(); }

std::unique_ptr<CHidDevice> CSimBulkBoard::OpenHid(const std::string& path_I)
{
  // The bulk device has no HID collection.
  if (EqualsIgnoreCase(path_I, mConfig.path)) return nullptr;
  return mLoader->Open(path_I);
}

bool CSimBulkBoard::GetDescriptor(uint64_t session_I, std::vector<uint8_t>& descriptor_O)
{
  SpendTransferTime(mConfig.transferMs);
  std::lock_guard<std::mutex> lock(mLock);
  const uint64_t number = ++mTransfers;
  const bool ok = Reachable(session_I) && !mNoWinUsb && !Failing(number);
  if (ok) descriptor_O = Descriptor();
  mTrace.push_back({kGetDeviceDescriptor, descriptor_O, ok, Clock().NowMs()});
  return ok;
}

bool CSimBulkBoard::Control(uint64_t session_I, const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO)
{
  SpendTransferTime(mConfig.transferMs);
  std::lock_guard<std::mutex> lock(mLock);
  const uint64_t number = ++mTransfers;
  std::vector<uint8_t> wire = data_IO;
  const bool ok = Reachable(session_I) && !mNoWinUsb && !Failing(number) && Deliver(setup_I, wire);
  if (ok) data_IO = std::move(wire);
  mTrace.push_back({setup_I, data_IO, ok, Clock().NowMs()});
  if (ok && Same(setup_I, kSwitchToLoader)) {
    // The handles of this stay die with it; the loader comes up after the delay.
    ++mSession;
    mLoader->EnterLoader();
  }
  return ok;
}

bool CSimBulkBoard::Reachable(uint64_t session_I) const
{
  return session_I == mSession && mLoader->Mode() == ESIMBOARDMODE_NORMAL && mLoader->IsPresent();
}

bool CSimBulkBoard::Failing(uint64_t transfer_I) const
{
  return std::any_of(mFailing.begin(), mFailing.end(), [transfer_I](const SRange& range_I) {
    return transfer_I >= range_I.first && transfer_I - range_I.first < range_I.count;
  });
}

bool CSimBulkBoard::Deliver(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) const
{
  if (data_IO.size() < setup_I.length) return false;
  if (IsPing(setup_I)) {
    // The ping answers the firmware version, least significant byte first.
    data_IO = {static_cast<uint8_t>(mConfig.version), static_cast<uint8_t>(mConfig.version >> 8)};
    return true;
  }
  return Same(setup_I, kSwitchToLoader) || Same(setup_I, kVendorCommand);
}

std::vector<uint8_t> CSimBulkBoard::Descriptor() const
{
  const auto low = [](uint16_t value_I) { return static_cast<uint8_t>(value_I); };
  const auto high = [](uint16_t value_I) { return static_cast<uint8_t>(value_I >> 8); };
  // USB 2.0, class in the interface descriptors, 64-byte control endpoint, three strings, one configuration.
  return {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40,
          low(mConfig.vendorId), high(mConfig.vendorId), low(mConfig.productId), high(mConfig.productId),
          low(mConfig.version), high(mConfig.version), 0x01, 0x02, 0x03, 0x01};
}

SSimInterface CSimBulkBoard::OnBus(SSimInterface interface_I) const
{
  if (EqualsIgnoreCase(interface_I.path, mConfig.path)) interface_I.deviceClass = EDEVICECLASS_BULK;
  return interface_I;
}

}  // namespace orv::sim
