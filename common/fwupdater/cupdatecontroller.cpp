#include "common/fwupdater/cupdatecontroller.h"

#include <algorithm>

#include "common/assertion.h"
#include "common/cclock.h"
#include "common/fwupdater/cfldeviceinterface.h"
#include "common/fwupdater/rtdisp.h"
#include "common/stringutilities.h"

namespace orv {
namespace {

constexpr int kSwitchWaitAttempts = 90;
constexpr uint32_t kSwitchWaitPauseMs = 1000;
// A board's interface missing from the list when its update starts is looked for this often, a pause apart.
constexpr int kInterfaceWaitAttempts = 10;
// An attempt's pause ends this soon after the board's arrival is reported.
constexpr uint32_t kArrivalCheckMs = 10;
// Pen boards of these two products leave their loader with the long form of the exit report.
constexpr uint32_t kLongExitProductA = 0x0357;
constexpr uint32_t kLongExitProductB = 0x0358;

const char* const kUpdateTypeNames[] = {"pen", "touch", "bluetooth", "scalar"};
// The low byte of the port option's default.
constexpr uint8_t kPortNotGiven = 0xFF;

}  // namespace

CUpdateController::~CUpdateController() { mNotifier = nullptr; }

void CUpdateController::Log(const std::string& message_I)
{
  if (mNotifier != nullptr) mNotifier->Log(message_I);
}

void CUpdateController::Info(const std::string& message_I) { Log(message_I); }

void CUpdateController::Error(const std::string& message_I)
{
  if (mNotifier != nullptr) mNotifier->Error(8, message_I);
}

void CUpdateController::Progress(int32_t value_I)
{
  if (mNotifier != nullptr) mNotifier->SetProgress(value_I);
}

bool CUpdateController::SignalStopEvent()
{
  return mNamedEvents && mNamedEvents->Signal("Global\\OrvelProStopEvent");
}

bool CUpdateController::SignalStartEvent()
{
  return mNamedEvents && mNamedEvents->Signal("Global\\OrvelProStartEvent");
}

void CUpdateController::SetState(int32_t state_I)
{
  std::lock_guard<std::mutex> guard(mStateLock);
  if (mNotifier != nullptr) mNotifier->SetState(state_I);
  mState = state_I;
}

bool CUpdateController::ChangeState(std::initializer_list<int32_t> from_I, int32_t to_I)
{
  std::lock_guard<std::mutex> guard(mStateLock);
  if (std::find(from_I.begin(), from_I.end(), mState.load()) == from_I.end()) return false;
  if (mNotifier != nullptr) mNotifier->SetState(to_I);
  mState = to_I;
  return true;
}

void CUpdateController::UpdateComplete()
{
  Log("Device Update complete!");
  SetState(ESTATE_SUCCESS);
  if (mNotifier != nullptr) mNotifier->SetProgress(100);
}

void CUpdateController::UpdateFailed(int32_t code_I, const std::string& message_I)
{
  Log("Device Update failed!");
  if (mNotifier != nullptr) mNotifier->Error(code_I, message_I);
  SetState(ESTATE_FAILED);
}

bool CUpdateController::UpdateDeviceList()
{
  {
    std::lock_guard<std::mutex> guard(mSelectionLock);
    mSelectedDevice.reset();
  }
  Log("Updating Device List...");
  if (!mDiscovery || !mDiscovery->Discover()) {
    if (mNotifier != nullptr) mNotifier->Error(1, "Device List Failed to Update!");
    return false;
  }
  Log("Device List Successfully Updated!");
  Log("Selecting Default Device... ");
  std::shared_ptr<CDevice> device;
  {
    // The device chosen is followed through its boards' switches, and is not listed while it is away: another of
    // the maker's devices attached as well must not take its place and have its boards updated instead.
    std::lock_guard<std::mutex> guard(mSelectionLock);
    device = mChosenModel.second != 0 ? FindChosenDevice() : GetDefaultDevice(mDiscovery->GetDevices());
    mSelectedDevice = device;
  }
  if (!device) {
    if (mNotifier != nullptr) mNotifier->Error(1, "Could not find selected device");
    return false;
  }
  Log(device->GetDescription());
  return true;
}

// A loader model's topology may name its normal-mode pen product id; a normal model's device keeps its own, also
// while its pen board is in its loader (switched in place, or listed with the device's other boards).
uint32_t CUpdateController::NormalPenProductId(const CDevice& device_I) const
{
  if (device_I.mNormalProductId != 0) return device_I.mNormalProductId;
  const uint32_t vendor = device_I.mVendorId[EUPDATETYPE_PEN];
  const uint32_t product = device_I.mProductId[EUPDATETYPE_PEN];
  const std::shared_ptr<CDevice> prototype = mDiscovery ? mDiscovery->FindDevicePrototype(vendor, product) : nullptr;
  return prototype && prototype->mIsLoader ? 0 : product;
}

// The chosen device, in its loader first; else a loader whose model is not known, which may be it.
std::shared_ptr<CDevice> CUpdateController::FindChosenDevice() const
{
  const DeviceList& devices = mDiscovery->GetDevices();
  for (const bool loader : {true, false}) {
    for (const std::shared_ptr<CDevice>& device : devices) {
      if (device->mIsLoader == loader && device->mVendorId[EUPDATETYPE_PEN] == mChosenModel.first &&
          NormalPenProductId(*device) == mChosenModel.second) {
        return device;
      }
    }
  }
  const auto unknown = std::find_if(devices.begin(), devices.end(), [this](const std::shared_ptr<CDevice>& device_I) {
    return device_I->mIsLoader && NormalPenProductId(*device_I) == 0;
  });
  return unknown != devices.end() ? *unknown : nullptr;
}

std::shared_ptr<CDevice> CUpdateController::GetSelectedDevice() const
{
  std::lock_guard<std::mutex> guard(mSelectionLock);
  return mSelectedDevice;
}

bool CUpdateController::SetSelectedDevice(const std::shared_ptr<CDevice>& device_I)
{
  if (!device_I || device_I->mName.empty()) return false;
  std::lock_guard<std::mutex> guard(mSelectionLock);
  mSelectedDevice = device_I;
  mChosenModel = {device_I->mVendorId[EUPDATETYPE_PEN], NormalPenProductId(*device_I)};
  return true;
}

void CUpdateController::SetUpdateType(int32_t type_I)
{
  Log("Update type changed to " + std::to_string(type_I));
  mUpdateType = type_I;
  SetState(ESTATE_IDLE);
}

std::shared_ptr<CFLDeviceInterface> CUpdateController::GetMainInterface() const
{
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  if (!device) return nullptr;
  switch (mUpdateType) {
    case EUPDATETYPE_PEN: return device->mPenInterface;
    case EUPDATETYPE_TOUCH: return device->mTouchInterface;
    case EUPDATETYPE_BLUETOOTH: return device->mBluetoothInterface;
    default: return nullptr;
  }
}

uint32_t CUpdateController::GetBoardSectors() const
{
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  const int32_t type = mUpdateType;
  return device && type >= EUPDATETYPE_PEN && type < EUPDATETYPE_SCALAR ? device->mSectors[type] : 0;
}

bool CUpdateController::HasUpdateFileFor(int32_t board_I) const
{
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  return device && board_I >= EUPDATETYPE_PEN && board_I <= EUPDATETYPE_SCALAR && !device->mUpdateFile[board_I].empty();
}

bool CUpdateController::ValidateAutoUpdate(const std::string& typeName_I, const std::string& folder_I)
{
  Log("Validating AutoUpdate file...");
  mAutoUpdateValid = false;
  const std::string base = folder_I.empty() ? "" : folder_I + "/";
  for (int32_t type = EUPDATETYPE_PEN; type <= EUPDATETYPE_SCALAR; ++type) {
    if (typeName_I != kUpdateTypeNames[type] || !HasUpdateFileFor(type)) continue;
    const std::string path = base + GetSelectedDevice()->mUpdateFile[type];
    SetUpdateType(type);
    mAutoUpdateValid = mFirmwareFile.Load(path);
    if (mAutoUpdateValid) SetState(ESTATE_READY);
    return mAutoUpdateValid;
  }
  return false;
}

bool CUpdateController::PreUpdate()
{
  if (mNotifier != nullptr) mNotifier->SetProgress(1);
  const std::shared_ptr<CFLDeviceInterface> main = GetMainInterface();
  if (!main) {
    UpdateFailed(1, "There is no supported interface attached");
    return false;
  }
  Log("Interface: " + main->GetDescription());
  const bool hasImage = !mFirmwareFile.GetSegments().empty() || mFirmwareFile.GetIntelHex()->GetStartAddress() != -1 ||
                        mFirmwareFile.GetAiroFlash()->GetStartAddress() != -1 ||
                        !mFirmwareFile.GetScaler()->GetData().empty();
  if (!hasImage) {
    UpdateFailed(3, "No loaded data file found.");
    return false;
  }
  Log("Update: " + mFirmwareFile.GetPath());
  return true;
}

bool CUpdateController::InPlaceSwitch() const
{
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  return device && !device->mIntoBLMode[EUPDATETYPE_PEN];
}

std::shared_ptr<CFLDeviceInterface> CUpdateController::OpenMainInterface()
{
  const std::shared_ptr<CFLDeviceInterface> main = GetMainInterface();
  if (!main || !main->Open()) return nullptr;
  main->SetNotifier(this);
  return main;
}

std::shared_ptr<CFLDeviceInterface> CUpdateController::GetLoaderInterface()
{
  Log("Getting Loader Interface...");
  const std::shared_ptr<CFLDeviceInterface> main = GetMainInterface();
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  if (!main || !device) return nullptr;
  main->SetNotifier(this);
  if (device->mIsLoader) {
    Log("Device already in loader mode");
    std::shared_ptr<CFLDeviceInterface> opened = OpenMainInterface();
    SetState(opened ? ESTATE_PROGRAM : ESTATE_FAILED);
    return opened;
  }
  const int32_t type = mUpdateType;
  Log(std::string("Switching ") + (type == EUPDATETYPE_PEN ? "Pen" : type == EUPDATETYPE_TOUCH ? "Touch" : "Bluetooth") +
      " to Loader mode... ");
  SetState(ESTATE_ENTER_LOADER);
  const bool i2c = main->GetInterfaceType() == EINTERFACETYPE_I2C;
  if (!main->SwitchToBLMode()) {
    if (i2c) {
      if (mNotifier != nullptr) mNotifier->Error(6, "I2C Device failed to switch to Loader mode");
      return nullptr;
    }
    Log("Error returned from SwitchToBLMode()");
  }
  if (InPlaceSwitch()) {
    device->mIsLoader = true;
    main->SetLoaderMode(true);
  }
  if (i2c || InPlaceSwitch()) {
    std::shared_ptr<CFLDeviceInterface> opened = OpenMainInterface();
    SetState(opened ? ESTATE_PROGRAM : ESTATE_FAILED);
    return opened;
  }
  bool listed = false;
  for (int attempt = 0; attempt < kSwitchWaitAttempts; ++attempt) {
    Log("Waiting for bootloader mode...");
    PauseUntilState(ESTATE_PROGRAM);
    if (!Reenumerated(ESTATE_ENTER_LOADER, ESTATE_PROGRAM, listed)) continue;
    if (std::shared_ptr<CFLDeviceInterface> opened = OpenMainInterface()) return opened;
  }
  Log("Bootloader mode timeout.");
  return nullptr;
}

std::shared_ptr<CFLDeviceInterface> CUpdateController::GetNormalInterface()
{
  Log("Getting Normal Interface...");
  const std::shared_ptr<CFLDeviceInterface> main = GetMainInterface();
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  if (!main || !device) return nullptr;
  main->SetNotifier(this);
  // A controller behind the I2C tunnel switches on its own, whatever mode the device shows: it is always asked to
  // leave its loader, or it stays there after its update.
  const bool i2c = main->GetInterfaceType() == EINTERFACETYPE_I2C;
  if (!device->mIsLoader && !i2c) {
    Log("Device not in loader mode");
    std::shared_ptr<CFLDeviceInterface> opened = OpenMainInterface();
    SetState(opened ? ESTATE_SUCCESS : ESTATE_FAILED);
    return opened;
  }
  Log("Exiting Loader Mode...");
  SetState(ESTATE_EXIT_LOADER);
  const uint32_t penProduct = device->mProductId[EUPDATETYPE_PEN];
  const bool save = mUpdateType == EUPDATETYPE_PEN || penProduct == kLongExitProductA || penProduct == kLongExitProductB;
  if (!main->SwitchFromBLMode(save)) {
    if (i2c) {
      if (mNotifier != nullptr) mNotifier->Error(5, "I2C Device failed to switch from Loader mode");
      return nullptr;
    }
    // No verdict: a board may restart as it takes the request and fail that very transfer. One that
    // re-enumerates is judged by its return; one switched in place answers alike in either mode.
    Log("Error returned from SwitchFromBLMode()");
  }
  if (InPlaceSwitch()) {
    device->mIsLoader = false;
    main->SetLoaderMode(false);
  }
  if (i2c || InPlaceSwitch()) {
    std::shared_ptr<CFLDeviceInterface> opened = OpenMainInterface();
    SetState(opened ? ESTATE_SUCCESS : ESTATE_FAILED);
    return opened;
  }
  bool listed = false;
  for (int attempt = 0; attempt < kSwitchWaitAttempts; ++attempt) {
    PauseUntilState(ESTATE_SUCCESS);
    if (!Reenumerated(ESTATE_EXIT_LOADER, ESTATE_SUCCESS, listed)) continue;
    if (std::shared_ptr<CFLDeviceInterface> opened = OpenMainInterface()) return opened;
  }
  return nullptr;
}

// An attempt's pause, cut short when the arrival the wait is for is reported meanwhile. When the state was
// there already (the board arrived, but did not open) the whole pause is kept, so the attempts still span the
// whole wait.
void CUpdateController::PauseUntilState(int32_t arrived_I)
{
  if (mState == arrived_I) {
    Pause(kSwitchWaitPauseMs);
    return;
  }
  for (uint32_t waited = 0; waited < kSwitchWaitPauseMs && mState != arrived_I; waited += kArrivalCheckMs) {
    Pause(kArrivalCheckMs);
  }
}

// One attempt of a wait for the board to come back. The device list is rebuilt every time, so that a system
// that reports no arrivals (a failed registration, a filter driver, a remote session) still finds the board:
// listed in the mode waited for on two attempts in a row with no arrival in between, it has arrived. The
// arrival message, which comes moments after the board can be listed, keeps the lead where there is one.
// One rebuild per attempt either way, so a replayed recording is asked the same enumerations whenever its
// arrivals come.
bool CUpdateController::Reenumerated(int32_t waiting_I, int32_t arrived_I, bool& listedBefore_IO)
{
  const bool listed = UpdateDeviceList();
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  const bool loaderWanted = arrived_I == ESTATE_PROGRAM;
  const bool listedNow = listed && device && device->mIsLoader == loaderWanted;
  // An arrival message tells that some device arrived, not that it was this board (a mouse plugged in meanwhile
  // is one too): the board is back once it is listed in the mode waited for.
  if (mState == arrived_I) return listedNow;
  const bool arrived = listedNow && listedBefore_IO && mState == waiting_I;
  listedBefore_IO = listedNow;
  if (!arrived) return false;
  Log(std::string("IMPORTANT Device listed without an Attach Message STATE->") +
      (loaderWanted ? "ESTATE_PROGRAM" : "ESTATE_SUCCESS"));
  SetState(arrived_I);
  return true;
}

// Called on the application's thread while the worker moves the state on: each change is made only from the state
// it was seen in, so that a failure the worker reports meanwhile is never turned into a success.
void CUpdateController::OnAttach(const std::string& path_I)
{
  if (ChangeState({ESTATE_ENTER_LOADER}, ESTATE_PROGRAM)) {
    Log("IMPORTANT Attach Message (" + path_I + ") STATE->ESTATE_PROGRAM");
  } else if (ChangeState({ESTATE_EXIT_LOADER}, ESTATE_SUCCESS)) {
    Log("IMPORTANT Attach Message (" + path_I + ") STATE->ESTATE_SUCCESS");
  } else {
    Log("Ignored Attach Message (" + path_I + ")");
  }
}

void CUpdateController::OnDetach(const std::string& path_I)
{
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  const bool important = IsSelectedDevicePath(path_I) && device && device->mIntoBLMode[EUPDATETYPE_PEN];
  if (!important) {
    Log("Ignored Unimportant Detach Message (" + path_I + ")");
    return;
  }
  // A board back from its loader can be reported back before its loader is reported gone, while the loader is
  // still the one selected: that removal is the board's own switch, not the device leaving.
  const bool terminated = device->mIsLoader ? ChangeState({ESTATE_IDLE, ESTATE_READY}, ESTATE_TERMINATE)
                                            : ChangeState({ESTATE_IDLE, ESTATE_READY, ESTATE_SUCCESS}, ESTATE_TERMINATE);
  if (terminated) {
    Log("IMPORTANT Detach Message (" + path_I + ") STATE->ESTATE_TERMINATE");
    return;
  }
  Log("Ignored Detach Message (" + path_I + ")");
}

bool CUpdateController::IsSelectedDevicePath(const std::string& path_I) const
{
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  if (!device) return false;
  for (const std::shared_ptr<CFLDeviceInterface>& slot :
       {device->mPenInterface, device->mTouchInterface, device->mBluetoothInterface}) {
    if (slot && EqualsIgnoreCase(path_I, slot->GetPath())) return true;
  }
  return false;
}

void CUpdateController::Abandon(const std::shared_ptr<CFLDeviceInterface>& loader_I)
{
  loader_I->SwitchFromBLMode(false);
  loader_I->SetNotifier(nullptr);
  loader_I->Close();
  UpdateFailed(6, "General Program Failure");
}

// The list is rebuilt when the board before this one came back, and a composite device's interfaces come back one
// after another: this board's may have come after that.
bool CUpdateController::AwaitMainInterface()
{
  for (int attempt = 0; attempt < kInterfaceWaitAttempts; ++attempt) {
    if (GetMainInterface()) return true;
    if (attempt > 0) Pause(kSwitchWaitPauseMs);
    Log("The board's interface is not listed; updating the device list");
    UpdateDeviceList();
  }
  return GetMainInterface() != nullptr;
}

bool CUpdateController::UpdateDevice()
{
  if (!AwaitMainInterface()) {
    Log("mainInterface not valid.");
    ORV_ASSERT_MESSAGE("Oops - Could not get a mainInterface pointer");
    UpdateFailed(1, "There is no supported interface attached");
    return false;
  }
  const uint32_t expectedSectors = GetBoardSectors();
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  const bool checkSectors = device && !device->mIsLoader;
  const std::shared_ptr<CFLDeviceInterface> loader = GetLoaderInterface();
  if (!loader) {
    Log("loaderInterface not valid.");
    ORV_ASSERT_MESSAGE("Oops - Could not get a loaderInterface pointer");
    // Left in state 2 or 3 the run would wait for ever with cancelling refused; the board never answered.
    UpdateFailed(6, "General Program Failure");
    return false;
  }
  const int32_t protocolType = InPlaceSwitch() ? 1 : 0;
  Log("Setting protocolType to " + std::to_string(protocolType));
  loader->SetProtocolType(protocolType);
  Log("Starting Update Device Process...");
  if (!PreUpdate()) {
    UpdateFailed(8, "PreUpdate function failed");
    return false;
  }
  Log("Programming...");
  Log(loader->GetDescription());
  loader->SetDataSourceFormat(mFirmwareFile.GetFormat());
  if (!InitCheck(loader, expectedSectors, checkSectors)) {
    Abandon(loader);
    return false;
  }
  loader->SetDataSourceFormat(mFirmwareFile.GetFormat());
  if (!loader->ProgramBoard()) {
    Error("Error Programming Board");
    Abandon(loader);
    return false;
  }
  const std::shared_ptr<CFLDeviceInterface> normal = GetNormalInterface();
  if (!normal) {
    UpdateFailed(5, "There was a problem swapping out of flash mode");
    return false;
  }
  normal->SetChecksums(loader->GetChecksumBefore(), loader->GetChecksumAfter(), loader->GetChecksumImage());
  normal->SetNotifier(nullptr);
  normal->Close();
  // The version the board reports now is that of its new firmware; the one read before the update is not.
  if (!normal->QueryAttributes()) Log("The board's version could not be read after its update");
  UpdateComplete();
  return true;
}

bool CUpdateController::StartISPFlash(const std::string& serial_I, uint8_t port_I, bool skipSerialCheck_I)
{
  auto connector = std::make_shared<CI2CConnectorFTDI>();
  // autoconfig.ini cannot name a port: without one, the display's bridge is the only FTDI device attached.
  const uint32_t port = port_I == kPortNotGiven && connector->DeviceCount() == 1 ? 0 : port_I;
  const std::shared_ptr<CScalarRTDISP> image = mFirmwareFile.GetScaler();
  if (!connector->Open(port)) {
    UpdateFailed(6, "Failed to open device and/or load data");
    return false;
  }
  // Test product ids waive the check of the default, empty serial number; one the caller gave is always checked.
  if (!skipSerialCheck_I || !serial_I.empty()) {
    const std::string displaySerial = connector->GetSerialNumber(kAnyDisplay);
    if (displaySerial != serial_I) {
      UpdateFailed(6, "The display's serial number \"" + displaySerial + "\" is not the serial number \"" + serial_I +
                          "\" the update is for");
      return false;
    }
  }
  if (!image || image->GetData().empty()) {
    UpdateFailed(6, "Failed to open device and/or load data");
    return false;
  }
  {
    const std::string before = PackedVersionText(connector->ReadFWVersion());
    std::lock_guard<std::mutex> guard(mScalerVersionLock);
    mScalerVersionBefore = before;
    mScalerVersionAfter.clear();
  }
  const std::shared_ptr<CDevice> device = GetSelectedDevice();
  CScalarISP isp(connector, this, device && device->mQuantaScalarBoard);
  isp.LoadData(image->GetData());
  SetState(ESTATE_PROGRAM);
  Info("StartISPFlash()");
  if (!isp.IsReady()) {
    Error("Interface not setup");
    UpdateFailed(6, "General Program Failure");
    return false;
  }
  if (!isp.SerialFlashISPFlow()) {
    isp.WriteMCUReg(0x6F, 0x00);
    UpdateFailed(6, "General Program Failure");
    return false;
  }
  // What the display runs now, from the display itself.
  const std::string after = PackedVersionText(connector->ReadFWVersion());
  {
    std::lock_guard<std::mutex> guard(mScalerVersionLock);
    mScalerVersionAfter = after;
  }
  UpdateComplete();
  return true;
}

std::string CUpdateController::GetScalerVersionBefore() const
{
  std::lock_guard<std::mutex> guard(mScalerVersionLock);
  return mScalerVersionBefore;
}

std::string CUpdateController::GetScalerVersionAfter() const
{
  std::lock_guard<std::mutex> guard(mScalerVersionLock);
  return mScalerVersionAfter;
}

bool CUpdateController::InitCheck(const std::shared_ptr<CFLDeviceInterface>& loader_I, uint32_t expectedSectors_I,
                                  bool checkSectors_I)
{
  Log("InitCheck: starting...");
  const int32_t format = loader_I ? loader_I->GetDataSourceFormat() : mFirmwareFile.GetFormat();
  switch (format) {
    case EDATASOURCE_PEN:
    case EDATASOURCE_TOUCH:
    case EDATASOURCE_ORV: return InitCheckForSRecData(loader_I, expectedSectors_I, checkSectors_I);
    case EDATASOURCE_HEX: return InitCheckForIntelHexData(loader_I);
    case EDATASOURCE_AIROFLASH: return InitCheckForAiroFlashData(loader_I);
    default:
      Error("InitCheck: unrecognized data format");
      return false;
  }
}

bool CUpdateController::InitCheckForSRecData(const std::shared_ptr<CFLDeviceInterface>& loader_I,
                                             uint32_t expectedSectors_I, bool checkSectors_I)
{
  Log("InitCheckForSRecData: starting...");
  if (!loader_I) {
    Error("InitCheckForSRecData: NULL CFLDeviceInterface");
    return false;
  }
  if (!loader_I->InitializeDataForProgramming(mFirmwareFile.GetSegments())) {
    Error("InitCheckForSRecData: Error Initializing Board");
    return false;
  }
  if (!checkSectors_I) return true;
  const uint32_t blocks = loader_I->GetLoaderParameters().blocks;
  if (expectedSectors_I != 0 && expectedSectors_I == blocks) return true;
  Error("InitCheckForSRecData: Sector/Block mismatch! Expected " + std::to_string(expectedSectors_I) + " got " +
        std::to_string(blocks) + "\n");
  return false;
}

bool CUpdateController::InitCheckForIntelHexData(const std::shared_ptr<CFLDeviceInterface>& loader_I)
{
  Log("InitCheckForIntelHexData: starting...");
  if (!loader_I) {
    Error("InitCheckForIntelHexData: NULL CFLDeviceInterface");
    return false;
  }
  const std::shared_ptr<CIntelHex> image = mFirmwareFile.GetIntelHex();
  if (!image || image->GetStartAddress() == -1) {
    Log("InitCheckForIntelHexData: ERROR - IntelHex file not loaded!");
    return false;
  }
  loader_I->SetIntelHexData(image);
  Log("InitCheckForIntelHexData: IntelHex file data is loaded; we're good to go...");
  return true;
}

bool CUpdateController::InitCheckForAiroFlashData(const std::shared_ptr<CFLDeviceInterface>& loader_I)
{
  Log("InitCheckForAiroFlashData: starting...");
  if (!loader_I) {
    Error("InitCheckForAiroFlashData: NULL CFLDeviceInterface");
    return false;
  }
  const std::shared_ptr<CBinaryAiroFlash> image = mFirmwareFile.GetAiroFlash();
  if (!image || image->GetStartAddress() == -1) {
    Log("InitCheckForAiroFlashData: ERROR - BinaryAiroFlash file not loaded!");
    return false;
  }
  loader_I->SetAiroFlashData(image);
  return true;
}

}  // namespace orv
