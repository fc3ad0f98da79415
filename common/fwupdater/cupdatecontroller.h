// The update controller: owns the discovery, the selected device and the firmware file, and runs one board
// update from loader entry to result, reporting everything through the update notifier.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "common/fwupdater/cdiscovery.h"
#include "common/fwupdater/cinterfacenotifier.h"
#include "common/fwupdater/csrec.h"
#include "common/fwupdater/cupdatenotifier.h"

namespace orv {

enum EState : int32_t {
  ESTATE_IDLE = 0,
  ESTATE_READY = 1,
  ESTATE_ENTER_LOADER = 2,
  ESTATE_PROGRAM = 3,
  ESTATE_EXIT_LOADER = 4,
  ESTATE_SUCCESS = 5,
  ESTATE_FAILED = 6,
  ESTATE_TERMINATE = 7,
};

// Named events of another process (one that created them) that the updater sets: stop while we run, start
// again afterwards. Each platform supplies one.
class CNamedEvents {
 public:
  virtual ~CNamedEvents() = default;
  // Sets the event when it exists; false when nobody created it.
  virtual bool Signal(const std::string& name_I) = 0;
};

class CUpdateController : public CInterfaceNotifier {
 public:
  CUpdateController() = default;
  ~CUpdateController() override;

  void Info(const std::string& message_I) override;
  void Error(const std::string& message_I) override;
  void Progress(int32_t value_I) override;
  bool SignalStopEvent();
  bool SignalStartEvent();

  void SetDiscovery(std::unique_ptr<CDiscovery> discovery_I) { mDiscovery = std::move(discovery_I); }
  CDiscovery* GetDiscovery() const { return mDiscovery.get(); }
  void SetNotifier(CUpdateNotifier* notifier_I) { mNotifier = notifier_I; }
  void SetNamedEvents(std::shared_ptr<CNamedEvents> events_I) { mNamedEvents = std::move(events_I); }

  bool UpdateDeviceList();
  std::shared_ptr<CDevice> GetSelectedDevice() const;
  bool SetSelectedDevice(const std::shared_ptr<CDevice>& device_I);
  void SetUpdateType(int32_t type_I);
  int32_t GetUpdateType() const { return mUpdateType; }
  int32_t GetState() const { return mState; }

  bool ValidateAutoUpdate(const std::string& typeName_I, const std::string& folder_I);
  bool HasUpdateFileFor(int32_t board_I) const;
  bool PreUpdate();
  bool UpdateDevice();
  // Programs the display scaler over DDC/CI; the serial number must match when one is given, and an empty one
  // must match too unless skipSerialCheck_I.
  bool StartISPFlash(const std::string& serial_I, uint8_t port_I, bool skipSerialCheck_I);
  // The firmware version the display reported before and after the last scaler update ("1.2.3", as the device
  // listing shows it); empty when it was not read.
  std::string GetScalerVersionBefore() const;
  std::string GetScalerVersionAfter() const;

  std::shared_ptr<CFLDeviceInterface> GetMainInterface() const;
  uint32_t GetBoardSectors() const;
  std::shared_ptr<CFLDeviceInterface> GetLoaderInterface();
  std::shared_ptr<CFLDeviceInterface> GetNormalInterface();
  void OnAttach(const std::string& path_I);
  void OnDetach(const std::string& path_I);
  bool IsSelectedDevicePath(const std::string& path_I) const;

  bool InitCheck(const std::shared_ptr<CFLDeviceInterface>& loader_I, uint32_t expectedSectors_I, bool checkSectors_I);
  bool InitCheckForSRecData(const std::shared_ptr<CFLDeviceInterface>& loader_I, uint32_t expectedSectors_I,
                            bool checkSectors_I);
  bool InitCheckForIntelHexData(const std::shared_ptr<CFLDeviceInterface>& loader_I);
  bool InitCheckForAiroFlashData(const std::shared_ptr<CFLDeviceInterface>& loader_I);

 protected:
  void Log(const std::string& message_I);
  void SetState(int32_t state_I);
  // Moves the state to to_I only when it is one of from_I; false, nothing changed, otherwise.
  bool ChangeState(std::initializer_list<int32_t> from_I, int32_t to_I);
  void UpdateComplete();
  void UpdateFailed(int32_t code_I, const std::string& message_I);

 private:
  // The interface found afresh, opened and connected to this controller; empty when it does not open.
  std::shared_ptr<CFLDeviceInterface> OpenMainInterface();
  bool InPlaceSwitch() const;
  // The board's interface, listed afresh while it is missing; false when it stays away.
  bool AwaitMainInterface();
  // Rebuilds the device list in a wait in state waiting_I; true when the board is back (state arrived_I).
  // listedBefore_IO: whether the last attempt listed it in the mode waited for.
  bool Reenumerated(int32_t waiting_I, int32_t arrived_I, bool& listedBefore_IO);
  void PauseUntilState(int32_t arrived_I);
  void Abandon(const std::shared_ptr<CFLDeviceInterface>& loader_I);
  // The pen board's product id in normal mode, also for a device in its loader; 0 when its model does not say.
  uint32_t NormalPenProductId(const CDevice& device_I) const;
  // The device of the list that is the chosen one, after its boards switched into or out of their loader.
  std::shared_ptr<CDevice> FindChosenDevice() const;

  CSRec mFirmwareFile;
  std::unique_ptr<CDiscovery> mDiscovery;
  // Replaced by the worker while the application thread reads it on a removal.
  mutable std::mutex mSelectionLock;
  std::shared_ptr<CDevice> mSelectedDevice;
  // The pen board's vendor and normal-mode product id of the device chosen with SetSelectedDevice; a product id of
  // 0: none chosen, or one whose model is not known, and the list selects its default device.
  std::pair<uint32_t, uint32_t> mChosenModel{0, 0};
  CUpdateNotifier* mNotifier = nullptr;
  std::shared_ptr<CNamedEvents> mNamedEvents;
  // Every change of the state and of the notifier's copy of it, the application thread's and the worker's alike.
  std::mutex mStateLock;
  std::atomic<int32_t> mState{ESTATE_IDLE};
  std::atomic<int32_t> mUpdateType{EUPDATETYPE_PEN};
  bool mAutoUpdateValid = false;
  // Written by the update worker, read by the application once it is done.
  mutable std::mutex mScalerVersionLock;
  std::string mScalerVersionBefore;
  std::string mScalerVersionAfter;
};

}  // namespace orv
