// A tablet's HID collection that tunnels feature reports to an I2C touch controller with its own boot loader:
// the loader switch and status (0xB0), read requests and answers (0xB1), write requests and their status
// (0xB2), each request busy for a while on the installed clock; injected faults and a trace of every transfer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/fwupdater/chidsystem.h"
#include "sim/csimbusdevice.h"
#include "sim/csimflashloader.h"
#include "sim/csimhidboard.h"

namespace orv::sim {

struct SSimI2CBoardConfig {
  // The tablet's collection that carries the tunnel; it stays on the bus while the controller switches, and
  // leaves with the tablet's USB device when the pen board re-enumerates.
  SSimHidIdentity identity;
  bool startInLoader = false;
  // How long the controller takes to enter and to leave its loader; until then the status shows the old mode.
  // The host asks to leave many times without pausing, so only an instant leave succeeds on a virtual clock.
  uint32_t enterMs = 200;
  uint32_t leaveMs = 0;
  // How long each write or read request keeps its status busy.
  uint32_t busyMs = 10;
  // What each feature report transfer of the tunnel costs.
  uint32_t transferMs = kSimTransferMs;
  // How much later than the tablet's first interface the collection comes back with the tablet's USB device:
  // the system binds a composite device's interfaces one after another.
  uint32_t arrivalLagMs = 0;
  SSimLoaderConfig flashLoader;
};

class CSimI2CTunnelBoard : public CSimBusDevice, public std::enable_shared_from_this<CSimI2CTunnelBoard> {
 public:
  // Empty, with the reason, when the configuration is not usable.
  static std::shared_ptr<CSimI2CTunnelBoard> Create(const SSimI2CBoardConfig& config_I, std::string& error_O);

  const SSimI2CBoardConfig& Config() const { return mConfig; }
  // A handle for the collection's path; empty for another path or once the board dropped off the bus.
  std::unique_ptr<CHidDevice> Open(const std::string& path_I);
  bool IsPresent();
  // The controller's mode now (a requested switch counts once it took effect).
  ESimBoardMode Mode();

  // Faults. Transfers are numbered from 1 in the order the board saw them, failed ones included.
  void FailTransfers(uint64_t first_I, uint64_t count_I = 1);
  // Every request stays busy (0xF1) for ever.
  void SetStuckBusy(bool stuck_I);
  // Every request ends failed (0xF3).
  void SetFailStatus(bool fail_I);
  // Answers echo an inner report id one higher than the request's.
  void SetWrongEcho(bool wrong_I);
  // The byte the controller programs this many bytes from now is kept wrong, its write status good all the same.
  void KeepWrongByte(uint64_t after_I);
  // After this transfer every later transfer and every open fails; at once when it is already past.
  void DropOffBusAfter(uint64_t transfer_I);
  // The tablet lost power after this transfer: the collection leaves the bus and comes back offMs_I later,
  // its controller restarted in its loader with the flash as it was.
  void LosePowerAfter(uint64_t transfer_I, uint32_t offMs_I);
  // Plugged in again: the controller starts in its loader when its ROM holds no valid magic word.
  void Replug();
  void ClearFaults();

  uint64_t TransferCount();
  std::vector<SSimTransfer> Trace();
  uint64_t ProgrammedBytes();
  std::vector<uint8_t> FlashBytes(uint32_t address_I, uint32_t count_I);
  bool Preload(uint32_t address_I, const std::vector<uint8_t>& bytes_I);
  uint32_t RomMagic();

  std::vector<SSimInterface> PresentInterfaces() override;
  std::vector<SSimInterfaceChange> TakeInterfaceChanges() override;
  std::optional<uint64_t> NextInterfaceChangeMs() override;
  std::vector<SSimNode> Nodes() override;
  std::unique_ptr<CHidDevice> OpenHid(const std::string& path_I) override { return Open(path_I); }
  void UsbDeviceGone() override;
  void UsbDeviceBack(uint64_t atMs_I) override;

 private:
  friend class CSimI2CDevice;

  struct SRange {
    uint64_t first;
    uint64_t count;
  };

  // One tunnelled exchange: its outcome once no longer busy, and the inner report it carries back.
  struct SExchange {
    uint8_t status = 0;
    uint64_t busyUntilMs = 0;
    uint8_t innerId = 0;
    std::vector<uint8_t> answer;
  };

  struct SSwitch {
    ESimBoardMode mode;
    uint64_t atMs;
  };

  explicit CSimI2CTunnelBoard(const SSimI2CBoardConfig& config_I);

  // A handle belongs to one stay of the collection on the bus (a session).
  bool Transfer(uint64_t session_I, bool set_I, std::vector<uint8_t>& report_IO);
  bool Identity(uint64_t session_I, SSimHidIdentity& identity_O);
  bool Present() const;
  bool Failing(uint64_t transfer_I) const;
  void Drop();
  void Restart(ESimBoardMode mode_I, uint64_t backAtMs_I);
  // Lets a requested switch take effect once its time has come.
  void Settle();
  bool Busy() const;
  bool Deliver(bool set_I, std::vector<uint8_t>& report_IO);
  bool SetReport(const std::vector<uint8_t>& report_I);
  bool SetLoaderSwitch(const std::vector<uint8_t>& report_I);
  bool SetWriteRequest(const std::vector<uint8_t>& report_I);
  bool SetReadRequest(const std::vector<uint8_t>& report_I);
  void RequestSwitch(ESimBoardMode mode_I);
  void StartExchange(SExchange& exchange_IO, uint8_t innerId_I, bool accepted_I, std::vector<uint8_t> answer_I);
  uint8_t StatusOf(const SExchange& exchange_I) const;
  uint8_t EchoOf(const SExchange& exchange_I) const;
  bool GetLoaderStatus(std::vector<uint8_t>& report_IO);
  bool GetWriteStatus(std::vector<uint8_t>& report_IO) const;
  bool GetReadAnswer(std::vector<uint8_t>& report_IO) const;

  const SSimI2CBoardConfig mConfig;
  std::mutex mLock;
  CSimFlashLoader mLoader;
  ESimBoardMode mMode = ESIMBOARDMODE_NORMAL;
  std::optional<SSwitch> mSwitch;
  SExchange mWrite;
  SExchange mRead;
  CSimPresence mPresence;
  uint64_t mSession = 1;
  bool mDropped = false;
  // The tablet's USB device is off the bus while its pen board re-enumerates.
  bool mUsbAway = false;
  bool mStuckBusy = false;
  bool mFailStatus = false;
  bool mWrongEcho = false;
  std::optional<uint64_t> mDropAfter;
  std::optional<std::pair<uint64_t, uint32_t>> mPowerLossAfter;
  std::vector<SRange> mFailing;
  uint64_t mTransfers = 0;
  std::vector<SSimTransfer> mTrace;
};

}  // namespace orv::sim
