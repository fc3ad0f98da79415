// A board that shows up in normal mode as a USB device under the bulk class: it answers its device descriptor
// and three vendor control requests, and on the switch request leaves the bus and comes back as a HID boot
// loader; leaving that loader brings it back as the bulk device. Injected faults and a trace of every transfer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/fwupdater/cusbsystem.h"
#include "sim/csimbusdevice.h"
#include "sim/csimhidboard.h"

namespace orv::sim {

struct SSimBulkBoardConfig {
  // The USB device descriptor's idVendor, idProduct and bcdDevice.
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t version = 0;
  // Device interface path under the bulk class, e.g. from MakeSimBulkPath.
  std::string path;
  // Instance id of the parent device node; empty: the board's own node is a root.
  std::string parentId;
  // The HID collection of its boot loader.
  SSimHidIdentity loader;
  // How long the board is off the bus on each switch.
  uint32_t reenumerateMs = 2000;
  bool startInLoader = false;
  // What each control transfer costs, in both modes.
  uint32_t transferMs = kSimTransferMs;
  SSimLoaderConfig flashLoader;
};

// One control transfer as it crossed the wire: the data stage as sent or as answered (as the host gave it
// when the transfer failed). A descriptor read shows as the standard GET_DESCRIPTOR request.
struct SSimUsbTransfer {
  SUsbSetupPacket setup;
  std::vector<uint8_t> data;
  bool ok = false;
  uint64_t timeMs = 0;
};

class CSimBulkBoard : public CSimBusDevice, public std::enable_shared_from_this<CSimBulkBoard> {
 public:
  // Empty, with the reason, when the configuration is not usable.
  static std::shared_ptr<CSimBulkBoard> Create(const SSimBulkBoardConfig& config_I, std::string& error_O);

  const SSimBulkBoardConfig& Config() const { return mConfig; }
  // The boot loader the board becomes: its flash, its faults and the trace of its HID transfers.
  const std::shared_ptr<CSimHidBoard>& Loader() const { return mLoader; }
  // A handle for the bulk path while the board is on the bus as the bulk device; empty otherwise.
  std::unique_ptr<CUsbDevice> Open(const std::string& path_I);
  ESimBoardMode Mode();

  // Faults. Control transfers and descriptor reads are numbered from 1, failed ones included.
  void FailTransfers(uint64_t first_I, uint64_t count_I = 1);
  // The device opens, but every transfer and the descriptor fail, as without its WinUSB driver.
  void SetNoWinUsb(bool missing_I);

  uint64_t TransferCount();
  std::vector<SSimUsbTransfer> Trace();

  std::vector<SSimInterface> PresentInterfaces() override;
  std::vector<SSimInterfaceChange> TakeInterfaceChanges() override;
  std::optional<uint64_t> NextInterfaceChangeMs() override;
  std::vector<SSimNode> Nodes() override;
  std::unique_ptr<CHidDevice> OpenHid(const std::string& path_I) override;
  std::unique_ptr<CUsbDevice> OpenUsb(const std::string& path_I) override { return Open(path_I); }

 private:
  friend class CSimUsbHandle;

  struct SRange {
    uint64_t first;
    uint64_t count;
  };

  CSimBulkBoard(const SSimBulkBoardConfig& config_I, std::shared_ptr<CSimHidBoard> loader_I);

  // The handle side; a handle belongs to one stay of the board on the bus as the bulk device.
  bool GetDescriptor(uint64_t session_I, std::vector<uint8_t>& descriptor_O);
  bool Control(uint64_t session_I, const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO);

  bool Reachable(uint64_t session_I) const;
  bool Failing(uint64_t transfer_I) const;
  bool Deliver(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) const;
  std::vector<uint8_t> Descriptor() const;
  // The loader board shows the bulk device as its normal identity; on the bus that is the bulk class.
  SSimInterface OnBus(SSimInterface interface_I) const;

  const SSimBulkBoardConfig mConfig;
  const std::shared_ptr<CSimHidBoard> mLoader;
  std::mutex mLock;
  uint64_t mSession = 1;
  bool mNoWinUsb = false;
  std::vector<SRange> mFailing;
  uint64_t mTransfers = 0;
  std::vector<SSimUsbTransfer> mTrace;
};

}  // namespace orv::sim
