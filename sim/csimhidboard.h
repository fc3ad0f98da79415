// One simulated board on the HID bus: its normal-mode commands, its boot loader, its re-enumeration when it
// switches between the two, the HID-router wrapper, injected faults and a trace of every transfer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/fwupdater/chidsystem.h"
#include "sim/csimbusdevice.h"
#include "sim/csimflashloader.h"

namespace orv::sim {

// A collection whose usage page is this sits behind a HID router: every report travels wrapped in report 0xDC.
constexpr uint16_t kSimRouterUsagePage = 0xFF00;

struct SSimHidIdentity {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t version = 0;
  uint16_t usage = 0;
  uint16_t usagePage = 0;
  // Device interface path, e.g. from MakeSimHidPath.
  std::string path;
  // Instance id of the parent device node; empty: the board's own node is a root.
  std::string parentId{};
};

enum ESimBoardMode : uint8_t {
  ESIMBOARDMODE_NORMAL = 0,
  ESIMBOARDMODE_LOADER = 1,
};

struct SSimHidBoardConfig {
  SSimHidIdentity normal;
  // The identity the board shows in its loader when it re-enumerates; a board switched in place keeps `normal`.
  SSimHidIdentity loader;
  bool reenumerate = true;
  // How long the board is off the bus when it re-enumerates.
  uint32_t reenumerateMs = 2000;
  // How long after it re-enumerates its node refuses to open: the system's tablet service, or the rule that
  // sets the node's permissions, has not let go of it yet.
  uint32_t openRefusedMs = 0;
  bool startInLoader = false;
  SSimLoaderConfig flashLoader;
  // Where the firmware keeps its release number (BCD, least significant byte first). Once programmed, that is
  // the version the board reports in normal mode; until then (erased, FF FF) it reports the identity's.
  std::optional<uint32_t> versionAddress{};
  // What each feature report transfer costs.
  uint32_t transferMs = kSimTransferMs;
};

// One transfer as it crossed the wire: a set carries the report sent, a successful get the answer, a failed
// get the request as the host gave it.
struct SSimTransfer {
  bool set = false;
  std::vector<uint8_t> bytes;
  bool ok = false;
  uint64_t timeMs = 0;
};

class CSimHidBoard : public CSimBusDevice, public std::enable_shared_from_this<CSimHidBoard> {
 public:
  // Empty, with the reason, when the configuration is not usable.
  static std::shared_ptr<CSimHidBoard> Create(const SSimHidBoardConfig& config_I, std::string& error_O);

  const SSimHidBoardConfig& Config() const { return mConfig; }
  // A handle for the board's present path; empty for any other path or while the board is off the bus.
  std::unique_ptr<CHidDevice> Open(const std::string& path_I);
  bool IsPresent();
  // The path of the current mode, present or not yet.
  std::string Path();
  ESimBoardMode Mode();
  // Starts the loader as the enter-loader pair would (a bulk board's vendor request does this); nothing
  // happens in the loader or off the bus.
  void EnterLoader();

  // Faults. Transfers are numbered from 1 in the order the board saw them, failed ones included.
  void FailTransfers(uint64_t first_I, uint64_t count_I = 1);
  void SetStuckBusy(bool stuck_I);
  void CorruptChecksumOf(std::optional<uint32_t> block_I);
  // The byte its loader programs this many bytes from now is kept wrong, the write acknowledged all the same.
  void KeepWrongByte(uint64_t after_I);
  // After this transfer every later transfer and every open fails; at once when it is already past.
  void DropOffBusAfter(uint64_t transfer_I);
  // The answer of every successful get numbered in the range goes through corrupt_I, as it crossed the wire
  // (in the router's wrapper when there is one): a short or garbled reply.
  void CorruptAnswers(uint64_t first_I, uint64_t count_I, std::function<void(std::vector<uint8_t>&)> corrupt_I);
  // Power lost after this transfer: the board leaves the bus, and offMs_I later comes back in its loader with
  // its flash as it was, the working checksums reloaded from its ROM.
  void LosePowerAfter(uint64_t transfer_I, uint32_t offMs_I);
  // Plugged in again after it dropped off (or now, when it is on the bus): it starts in its loader when its
  // ROM holds no valid magic word (the firmware is not whole), else in normal mode.
  void Replug();
  // Forgets every fault set before; transfers already past stay as they were.
  void ClearFaults();
  // Another collection of the USB device this board re-enumerates (a tablet's touch tunnel): the whole device
  // leaves the bus with the board, so the collection is away while the board is off the bus or in its loader
  // and comes back with the board's normal mode.
  void ShareUsbDevice(const std::shared_ptr<CSimBusDevice>& collection_I);

  // What tests and traces look at.
  uint64_t TransferCount();
  std::vector<SSimTransfer> Trace();
  uint64_t ProgrammedBytes();
  std::vector<uint8_t> FlashBytes(uint32_t address_I, uint32_t count_I);
  bool Preload(uint32_t address_I, const std::vector<uint8_t>& bytes_I);
  uint32_t RomMagic();
  std::vector<uint32_t> RomChecksums();
  uint32_t WorkingMagic();

  std::vector<SSimInterface> PresentInterfaces() override;
  std::vector<SSimInterfaceChange> TakeInterfaceChanges() override;
  std::optional<uint64_t> NextInterfaceChangeMs() override;
  std::vector<SSimNode> Nodes() override;
  std::unique_ptr<CHidDevice> OpenHid(const std::string& path_I) override { return Open(path_I); }
  void UsbDeviceGone() override;
  void UsbDeviceBack(uint64_t atMs_I) override;

 private:
  friend class CSimHidDevice;

  struct SRange {
    uint64_t first;
    uint64_t count;
  };

  explicit CSimHidBoard(const SSimHidBoardConfig& config_I);

  // The handle side; a handle belongs to one session (one stay on the bus) of the board.
  bool Transfer(uint64_t session_I, bool set_I, std::vector<uint8_t>& report_IO);
  bool Identity(uint64_t session_I, SSimHidIdentity& identity_O);

  bool Reachable(uint64_t session_I) const;
  bool Present() const;
  bool Failing(uint64_t transfer_I) const;
  const SSimHidIdentity& CurrentIdentity() const;
  bool Deliver(bool set_I, std::vector<uint8_t>& report_IO);
  bool DeliverInner(bool set_I, std::vector<uint8_t>& inner_IO);
  bool LoaderDeliver(bool set_I, std::vector<uint8_t>& inner_IO);
  bool NormalSet(const std::vector<uint8_t>& report_I, bool armed_I);
  void SwitchMode(ESimBoardMode mode_I);
  void Drop();
  // Leaves the bus now and returns at backAtMs_I in the given mode, old handles dead.
  void Restart(ESimBoardMode mode_I, uint64_t backAtMs_I);
  // The collections sharing this board's USB device leave with it, and return when it does in normal mode.
  void CollectionsGone();
  void CollectionsBack(uint64_t atMs_I);

  const SSimHidBoardConfig mConfig;
  std::mutex mLock;
  CSimFlashLoader mLoader;
  ESimBoardMode mMode = ESIMBOARDMODE_NORMAL;
  uint64_t mSession = 1;
  uint64_t mOpenRefusedUntilMs = 0;
  CSimPresence mPresence;
  // The first half of the enter-loader pair (vendor id high byte first) arrived last.
  bool mArmed = false;
  bool mDropped = false;
  // The USB device this board is a collection of is off the bus (another board of it re-enumerates).
  bool mUsbAway = false;
  std::vector<std::weak_ptr<CSimBusDevice>> mCollections;
  std::optional<uint64_t> mDropAfter;
  std::optional<std::pair<uint64_t, uint32_t>> mPowerLossAfter;
  std::vector<SRange> mFailing;
  std::vector<std::pair<SRange, std::function<void(std::vector<uint8_t>&)>>> mCorrupting;
  uint64_t mTransfers = 0;
  std::vector<SSimTransfer> mTrace;
};

}  // namespace orv::sim
