#include "app/cautoupdaterun.h"

#include <algorithm>
#include <cstdio>

#include "app/boardprogress.h"
#include "app/runresult.h"
#include "app/uistrings.h"
#include "common/assertion.h"
#include "common/fwupdater/cfldeviceinterface.h"
#include "common/fwupdater/ctopologyreader.h"
#include "common/fwupdater/rtdisp.h"
#include "common/cclock.h"
#include "common/stringutilities.h"
#include "common/textconversion.h"

namespace orv {
namespace {

std::string JoinWith(const std::vector<std::string>& parts_I, const std::string& separator_I)
{
  std::string text;
  for (const std::string& part : parts_I) text += (text.empty() ? "" : separator_I) + part;
  return text;
}

}  // namespace

CAutoUpdateRun::CAutoUpdateRun(const StartupOptions& options_I, CUpdateView& view_I, CLogUpdateNotifier& notifier_I,
                               SRunEnvironment environment_I)
    : mView(view_I),
      mNotifier(notifier_I),
      mEnvironment(std::move(environment_I)),
      mLanguage(mEnvironment.userLanguage),
      mOptions(options_I)
{
  mController.SetDiscovery(std::move(mEnvironment.discovery));
  std::u16string autoUpdate = options_I.autoUpdate;
  Trim(autoUpdate);
  mAutoUpdates = Split(autoUpdate, u",", false);
  if (!options_I.lang.empty()) mLanguage.SelectLanguage(WideToUtf8(options_I.lang));
  mTitle = Text(EUISTRING_TITLE) + u" ";
  mController.SetNamedEvents(mEnvironment.namedEvents);
  mController.SetNotifier(&mNotifier);
  mController.SignalStopEvent();
  if (mEnvironment.events) mEnvironment.events->Subscribe(this);
}

CAutoUpdateRun::~CAutoUpdateRun()
{
  if (mEnvironment.events) mEnvironment.events->Unsubscribe(this);
  ResumeDriver();
  JoinWorker();
  mController.SetNotifier(nullptr);
}

std::u16string CAutoUpdateRun::Text(uint16_t id_I) const
{
  if (mEnvironment.loadString) return mEnvironment.loadString(id_I, mLanguage.GetLangId());
  return LoadResString(id_I, mLanguage.GetLangId());
}

std::u16string CAutoUpdateRun::VersionText()
{
  const std::string minor = std::to_string(kVersion & 0xFF);
  return Utf8ToWide(std::to_string(kVersion >> 8) + "." + (minor.size() < 2 ? "0" : "") + minor);
}

bool CAutoUpdateRun::IsBusy()
{
  const int32_t state = mNotifier.GetState();
  return state == ESTATE_ENTER_LOADER || state == ESTATE_PROGRAM || state == ESTATE_EXIT_LOADER ||
         ((state == ESTATE_READY || state == ESTATE_SUCCESS) && IsWorkerRunning());
}

int CAutoUpdateRun::Run()
{
  CClockParticipant participant;
  if (Start()) {
    do {
      for (uint32_t waited = 0; waited < kTimerMs; waited += kEventCheckMs) {
        Pause(kEventCheckMs);
        if (mEnvironment.events) mEnvironment.events->DeliverDueEvents();
      }
    } while (Step());
  }
  return Finish();
}

bool CAutoUpdateRun::Step()
{
  if (mEndCode >= 0) return false;
  if (mEnvironment.events) mEnvironment.events->DeliverDueEvents();
  HandleCancelRequest();
  if (mEndCode < 0) Tick();
  return mEndCode < 0;
}

int CAutoUpdateRun::Finish()
{
  if (mEnvironment.keepAwake != nullptr) mEnvironment.keepAwake->SetKeepAwake(false);
  JoinWorker();
  return mEndCode;
}

bool CAutoUpdateRun::Check()
{
  mChecked = true;
  mListed = false;
  mRefusal = CheckDeviceAndFiles();
  return mRefusal.messageId == 0;
}

CAutoUpdateRun::SRefusal CAutoUpdateRun::CheckDeviceAndFiles()
{
  if (!mController.UpdateDeviceList()) return {EUISTRING_ERROR_NO_TABLET, ""};
  mListed = true;
  return HandlePassedParameters();
}

bool CAutoUpdateRun::Start()
{
  mStartMs = Clock().NowMs();
  const bool ready = mChecked ? mRefusal.messageId == 0 : Check();
  if (mListed) {
    mTitle += VersionText();
    mView.SetTitle(mTitle);
  }
  if (!ready) {
    End(mRefusal.messageId, EMESSAGEICON_ERROR, 1, mRefusal.detail);
    return false;
  }
  ReformatForAutoStart();
  mAutomaticMode = true;
  return true;
}

CAutoUpdateRun::SRefusal CAutoUpdateRun::HandlePassedParameters()
{
  mNotifier.Log("Passed Path: " + WideToUtf8(mOptions.path));
  mNotifier.Log("Passed Serial: " + WideToUtf8(mOptions.serial));
  mNotifier.Log("Passed Scalar Port: " + std::to_string(mOptions.port));
  mNotifier.Log("Passed Test PID(s): " + WideToUtf8(mOptions.testPids));
  const DeviceList& devices = mController.GetDiscovery()->GetDevices();
  bool found = mController.SetSelectedDevice(GetDevice(devices, WideToUtf8(mOptions.path)));
  found = found || SelectDeviceByTestPids();
  if (!found || mAutoUpdates.empty()) {
    const std::string reason = mAutoUpdates.empty() ? "the board list (-auto) is empty" : NoDeviceReason(devices);
    mNotifier.Log("Invalid device path passed to updater: " + reason);
    return {EUISTRING_ERROR_TARGET_NOT_FOUND, reason};
  }
  mNotifier.Log("Selected Device changed...");
  mNotifier.Log(mController.GetSelectedDevice()->GetDescription());
  for (int32_t board = EUPDATETYPE_PEN; board < EUPDATETYPE_SCALAR; ++board) mVersionsBefore[board] = BoardVersion(board);
  return CheckUpdateFiles();
}

bool CAutoUpdateRun::SelectDeviceByTestPids()
{
  for (const std::u16string& entry : Split(mOptions.testPids, u",", true)) {
    uint32_t productId = 0;
    if (!ParseHex32(WideToUtf8(entry), productId) || productId > 0xFFFF) continue;
    if (mController.SetSelectedDevice(FindDeviceByProductId(mController.GetDiscovery()->GetDevices(), productId))) {
      return true;
    }
  }
  return false;
}

// Why neither the path nor any of the product ids selects a device, naming what is attached instead.
std::string CAutoUpdateRun::NoDeviceReason(const DeviceList& devices_I) const
{
  std::vector<std::string> reasons;
  if (!mOptions.path.empty()) reasons.push_back("no device has the path " + WideToUtf8(mOptions.path));
  if (!mOptions.testPids.empty()) {
    reasons.push_back("no attached device has product id " + WideToUtf8(mOptions.testPids) + " (attached: " +
                      AttachedProductIds(devices_I) + ")");
  }
  if (reasons.empty()) return "neither a device path (-path) nor a product id (-testpid) was given";
  return JoinWith(reasons, "; ");
}

// The maker's product ids the attached devices answer to, as -testpid takes them.
std::string CAutoUpdateRun::AttachedProductIds(const DeviceList& devices_I)
{
  std::vector<std::string> ids;
  for (const std::shared_ptr<CDevice>& device : devices_I) {
    for (int32_t board = EUPDATETYPE_PEN; board <= EUPDATETYPE_SCALAR; ++board) {
      if (device->mVendorId[board] != DefaultVendorId) continue;
      char id[8];
      std::snprintf(id, sizeof(id), "%04X", device->mProductId[board] & 0xFFFF);
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
  }
  return ids.empty() ? "none" : JoinWith(ids, ", ");
}

// Every board of the list is found and every file loaded before the first board is touched: a list that
// cannot finish must not leave its first boards updated and the rest not.
CAutoUpdateRun::SRefusal CAutoUpdateRun::CheckUpdateFiles()
{
  const std::shared_ptr<CDevice> device = mController.GetSelectedDevice();
  mImageBytes.clear();
  for (const std::u16string& entry : mAutoUpdates) {
    const std::string name = WideToUtf8(entry);
    const auto board = std::find(std::begin(kBoardNames), std::end(kBoardNames), name);
    const int32_t type = static_cast<int32_t>(board - std::begin(kBoardNames));
    std::string problem;
    CSRec file;
    const std::string path = board == std::end(kBoardNames) ? "" : UpdateFileOf(*device, type);
    if (path.empty()) {
      problem = "\"" + device->mName + "\" has no " + name + " update file";
    } else if (const std::string missing = MissingBoard(*device, type, name); !missing.empty()) {
      mNotifier.Log("Board check FAILED: " + missing);
      return {EUISTRING_ERROR_TARGET_NOT_FOUND, missing};
    } else if (!file.Load(path)) {
      problem = path + ": " + file.GetError();
    } else if (const std::string format = BoardFormatProblem(type, file.GetFormat()); !format.empty()) {
      problem = path + ": " + format;
    } else if (file.GetFormat() == EDATASOURCE_BIN && !CScalarISP::ImageProblem(file.GetScaler()->GetSize()).empty()) {
      problem = path + ": " + CScalarISP::ImageProblem(file.GetScaler()->GetSize());
    }
    if (!problem.empty()) {
      mNotifier.Log("Update file check FAILED: " + problem);
      return {EUISTRING_ERROR_INVALID_FILE, problem};
    }
    mImageBytes.push_back(file.GetImageSize());
  }
  return {};
}

// A board the device does not show cannot be updated. A device found in its loader shows only the board that
// runs it; the others come back with the model it returns as.
std::string CAutoUpdateRun::MissingBoard(const CDevice& device_I, int32_t type_I, const std::string& name_I)
{
  if (type_I >= EUPDATETYPE_SCALAR || device_I.mIsLoader) return "";
  const std::shared_ptr<CFLDeviceInterface> slots[] = {device_I.mPenInterface, device_I.mTouchInterface,
                                                       device_I.mBluetoothInterface};
  if (slots[type_I]) return "";
  return "the " + name_I + " board of \"" + device_I.mName + "\" is not attached";
}

// A device found in its loader shows only the board that runs it; the other boards of the list are those of
// the model it returns as, which the run selects again once the board is back.
std::string CAutoUpdateRun::UpdateFileOf(const CDevice& device_I, int32_t type_I) const
{
  if (!device_I.mUpdateFile[type_I].empty() || !device_I.mIsLoader || device_I.mNormalProductId == 0) {
    return device_I.mUpdateFile[type_I];
  }
  const std::shared_ptr<CDevice> normal = mController.GetDiscovery()->FindDevicePrototype(
      device_I.mVendorId[EUPDATETYPE_PEN], device_I.mNormalProductId);
  return normal ? normal->mUpdateFile[type_I] : "";
}

std::string CAutoUpdateRun::BoardVersion(int32_t board_I) const
{
  const std::shared_ptr<CDevice> device = mController.GetSelectedDevice();
  if (!device) return "";
  const std::shared_ptr<CFLDeviceInterface> slots[] = {device->mPenInterface, device->mTouchInterface,
                                                       device->mBluetoothInterface};
  if (board_I < EUPDATETYPE_PEN || board_I >= EUPDATETYPE_SCALAR || !slots[board_I]) return "";
  return BcdVersionText(slots[board_I]->GetVersion());
}

void CAutoUpdateRun::ReformatForAutoStart()
{
  mNotifier.Log("UI Reformatting for AutoStart...");
  mView.ShowProgressLayout({Text(EUISTRING_WARNING_POWER_STATE), Text(EUISTRING_WARNING_CABLES),
                            Text(EUISTRING_WARNING_BUTTONS)});
}

void CAutoUpdateRun::StartCurrentUpdate()
{
  if (mCurrentAutoUpdate >= mAutoUpdates.size()) {
    ORV_ASSERT_MESSAGE("StartCurrentUpdate() called with an invalid mCurrentAutoUpdate");
    return;
  }
  // The board before this one was started; this one is not until its worker is, even when its file fails now.
  mCurrentStarted = false;
  const std::string name = WideToUtf8(mAutoUpdates[mCurrentAutoUpdate]);
  mNotifier.Log("Loading firmware for " + name);
  if (!mController.ValidateAutoUpdate(name, "")) {
    mNotifier.Log("Update file processing FAILED!");
    End(EUISTRING_ERROR_INVALID_FILE, EMESSAGEICON_ERROR, 1);
    return;
  }
  mNotifier.Log("Starting update " + name);
  mStartRequested = true;
}

// A worker ends on its own once the state left 2, 3 and 4; joining it is never cutting it off while it
// holds a lock or a board in its loader.
void CAutoUpdateRun::JoinWorker()
{
  if (!mWorker.joinable()) return;
  Clock().Leave();
  mWorker.join();
  Clock().Join();
}

void CAutoUpdateRun::StartWorker()
{
  JoinWorker();
  Clock().Expect();
  mWorkerDone = false;
  mCurrentStarted = true;
  mBoardStartMs = Clock().NowMs();
  // The last board's 100 % is not this one's.
  mNotifier.SetProgress(0);
  mWorker = std::thread([this] {
    CClockParticipant participant;
    if (mController.GetUpdateType() == EUPDATETYPE_SCALAR) {
      mController.StartISPFlash(WideToUtf8(mOptions.serial), static_cast<uint8_t>(mOptions.port),
                                !mOptions.testPids.empty());
    } else {
      mController.UpdateDevice();
    }
    mWorkerDone = true;
  });
  mStartRequested = false;
  // The board is about to enter its loader: closing is refused from now on, not only from the next tick.
  mView.EnableClose(false);
}

void CAutoUpdateRun::ShowUpdating()
{
  mDots = mDots % 3 + 1;
  mView.SetStatus(Text(EUISTRING_UPDATING) + std::u16string(static_cast<size_t>(mDots), u'.'));
}

// What a started worker does first: it switches a board into its loader, unless the board runs it already or
// is the scaler, which has none.
void CAutoUpdateRun::ShowFirstStep()
{
  const std::shared_ptr<CDevice> device = mController.GetSelectedDevice();
  if (mController.GetUpdateType() != EUPDATETYPE_SCALAR && device && !device->mIsLoader) {
    mView.SetStatus(Text(EUISTRING_WAITING_FOR_LOADER));
    return;
  }
  ShowUpdating();
}

// Every tick of a board's update, from its worker's start to the end of the pause after it: the elapsed time
// moves even while the board is switching or the run is pausing.
void CAutoUpdateRun::ShowBoardProgress(int32_t percent_I)
{
  const uint64_t now = Clock().NowMs();
  SRunTiming timing;
  timing.imageBytes = mImageBytes;
  timing.finishedTransferMs = mProgrammingMsAtFinish;
  timing.currentTransferMs = mNotifier.GetProgrammingMs() - mProgrammingMsAtFinish;
  timing.switchMs = mFinishedBoardsMs - std::min(mFinishedBoardsMs, mProgrammingMsAtFinish);
  timing.boardsFinished = mUpdatedCount;
  timing.pausesAheadMs = PausesAheadMs(now);
  const size_t index = mCurrentAutoUpdate;
  const SBoardProgress progress =
      EstimateBoardProgress(mAutoUpdates[index], index, mAutoUpdates.size(), percent_I, now - mStartMs, timing);
  mView.SetBoardProgress(progress);
  mView.SetProgress(progress.overall);
}

// The pause after the current board (what is left of it once it has begun) and one after each board behind it.
uint64_t CAutoUpdateRun::PausesAheadMs(uint64_t nowMs_I) const
{
  const uint64_t behind = mAutoUpdates.size() - mCurrentAutoUpdate - 1;
  const bool pausing = mUpdatedCount > mCurrentAutoUpdate;
  const uint64_t current = !pausing ? kSuccessPauseMs : mNextBoardAtMs > nowMs_I ? mNextBoardAtMs - nowMs_I : 0;
  return current + behind * kSuccessPauseMs;
}

void CAutoUpdateRun::Tick()
{
  // Read before the state: a worker that has returned has left its last state behind.
  const bool workerDone = mWorkerDone;
  const int32_t state = mNotifier.GetState();
  const bool busy = state == ESTATE_ENTER_LOADER || state == ESTATE_PROGRAM || state == ESTATE_EXIT_LOADER;
  // A board update that returned without a verdict would leave the state where it was; with no worker left to
  // move it on, the run would wait for ever.
  if (workerDone && !mStartRequested && (state == ESTATE_READY || busy)) {
    mNotifier.Log("The update ended without a result");
    End(EUISTRING_UPDATE_FAILED, EMESSAGEICON_ERROR, 1);
    return;
  }
  // Closing follows what a cancel would meet: refused while a board is in or near loader mode, allowed again
  // once its worker has let go of it (the pause after a board included). A worker this tick starts has a board
  // about to enter its loader too, which keeps the system awake.
  const bool refusing = IsBusy();
  const bool starting = state == ESTATE_READY && mStartRequested;
  if (mEnvironment.keepAwake != nullptr) mEnvironment.keepAwake->SetKeepAwake(refusing || starting);
  mView.EnableClose(!refusing);
  switch (state) {
    case ESTATE_IDLE: StartCurrentUpdate(); return;
    case ESTATE_READY:
      // The last worker may still be letting go of its board; the next starts once it has returned.
      if (mStartRequested && !IsWorkerRunning() && !mSessionMayEnd) StartWorker();
      // The board's name and progress show from its worker's start, before its first transfer.
      if (mCurrentStarted) {
        ShowFirstStep();
        ShowBoardProgress(0);
      }
      return;
    case ESTATE_ENTER_LOADER:
      mView.SetStatus(Text(EUISTRING_WAITING_FOR_LOADER));
      ShowBoardProgress(mNotifier.GetProgress());
      return;
    case ESTATE_PROGRAM:
      ShowUpdating();
      ShowBoardProgress(mNotifier.GetProgress());
      return;
    case ESTATE_EXIT_LOADER:
      mView.SetStatus(Text(EUISTRING_WAITING_FOR_DEVICE));
      ShowBoardProgress(mNotifier.GetProgress());
      return;
    case ESTATE_SUCCESS:
      // A success is the board's only once its worker has returned with it (a board switched in place reports it
      // before its worker lets go of it). Counting and moving on both go by the one reading of the worker taken
      // before the state: a worker that returns between two readings would move the run on to the next board
      // with this one neither counted nor paused after.
      if (workerDone && AccountFinishedBoard()) mNextBoardAtMs = Clock().NowMs() + kSuccessPauseMs;
      ShowBoardProgress(100);
      if (mUpdatedCount > mCurrentAutoUpdate && Clock().NowMs() >= mNextBoardAtMs) NextBoardAfterPause();
      return;
    case ESTATE_FAILED: End(EUISTRING_UPDATE_FAILED, EMESSAGEICON_ERROR, 1); return;
    case ESTATE_TERMINATE: End(EUISTRING_ERROR_NO_TABLET, EMESSAGEICON_ERROR, 1); return;
    default: End(EUISTRING_ERROR_INVALID_STATE, EMESSAGEICON_ERROR, 1); return;
  }
}

// Once per board, when its worker has returned with its success; true when this call counted it. Until the
// worker returns the success may be an arrival that was not the board's, and the board may still fail. The
// worker is read before the state: one that has returned has left its last state behind.
bool CAutoUpdateRun::AccountFinishedBoard()
{
  const bool returned = !IsWorkerRunning();
  if (!returned || mNotifier.GetState() != ESTATE_SUCCESS || mUpdatedCount != mCurrentAutoUpdate) return false;
  ++mUpdatedCount;
  // The board after it is not started until its worker is: a run ending in the pause never touched it.
  mCurrentStarted = false;
  mFinishedBoardsMs += Clock().NowMs() - mBoardStartMs;
  mProgrammingMsAtFinish = mNotifier.GetProgrammingMs();
  const int32_t board = mController.GetUpdateType();
  if (board == EUPDATETYPE_SCALAR) {
    // The display tells its version only over DDC/CI, which the scaler's update reads before and after.
    mVersionsBefore[board] = mController.GetScalerVersionBefore();
    mVersionsAfter[board] = mController.GetScalerVersionAfter();
  } else {
    mVersionsAfter[board] = BoardVersion(board);
  }
  return true;
}

void CAutoUpdateRun::NextBoardAfterPause()
{
  if (++mCurrentAutoUpdate < mAutoUpdates.size()) {
    StartCurrentUpdate();
    return;
  }
  mView.SetProgress(100);
  End(EUISTRING_UPDATE_SUCCEEDED, EMESSAGEICON_INFORMATION, 0);
}

void CAutoUpdateRun::HandleCancelRequest()
{
  if (mView.TakeCancelRequest()) Cancel();
}

bool CAutoUpdateRun::Cancel()
{
  if (IsBusy()) {
    mNotifier.Log("Cancel refused: a board is in or near loader mode");
    // Said at once: the user who asked must not wonder whether the run heard.
    mView.ShowNotice(Text(EUISTRING_CANCEL_REFUSED));
    return false;
  }
  const int32_t state = mNotifier.GetState();
  if (state == ESTATE_FAILED || state == ESTATE_TERMINATE) {
    Tick();
    return true;
  }
  AccountFinishedBoard();
  if (mUpdatedCount == mAutoUpdates.size()) {
    mView.SetProgress(100);
    End(EUISTRING_UPDATE_SUCCEEDED, EMESSAGEICON_INFORMATION, 0);
    return true;
  }
  mNotifier.Log("Cancelled by the user");
  EndWith(FormatUiString(Text(EUISTRING_CANCELLED_BY_USER), {Utf8ToWide(std::to_string(mUpdatedCount)),
                                                             Utf8ToWide(std::to_string(mAutoUpdates.size()))}),
          EMESSAGEICON_INFORMATION, 2);
  return true;
}

bool CAutoUpdateRun::MaySessionEnd()
{
  if (IsBusy()) return false;
  mSessionMayEnd = true;
  return true;
}

std::optional<int> CAutoUpdateRun::EndSession()
{
  if (mEndCode < 0 && IsBusy()) {
    mNotifier.Log("The session is ending while a board is in or near loader mode");
    return std::nullopt;
  }
  if (mEndCode < 0) {
    mNotifier.Log("The session is ending");
    Cancel();
  }
  // The process is ended once its window has answered, before the run would be torn down.
  const int code = Finish();
  ResumeDriver();
  return code;
}

void CAutoUpdateRun::ResumeDriver()
{
  if (mDriverResumed) return;
  mDriverResumed = true;
  mController.SignalStartEvent();
}

// The technical detail (a file and what is wrong with it) stands on a line of its own under the message.
void CAutoUpdateRun::End(uint16_t messageId_I, EMessageIcon icon_I, int endCode_I, const std::string& detail_I)
{
  EndWith(Text(messageId_I) + (detail_I.empty() ? u"" : u"\n" + Utf8ToWide(detail_I)), icon_I, endCode_I);
}

void CAutoUpdateRun::EndWith(const std::u16string& message_I, EMessageIcon icon_I, int endCode_I)
{
  mMessage = message_I;
  mView.ShowMessage(mMessage, Text(EUISTRING_TITLE), icon_I);
  mEndCode = endCode_I;
}

void CAutoUpdateRun::OnInterfaceArrival(const std::string& path_I, EDeviceClass /*class_I*/)
{
  mController.OnAttach(path_I);
}

void CAutoUpdateRun::OnInterfaceRemoval(const std::string& path_I, EDeviceClass /*class_I*/)
{
  mController.OnDetach(path_I);
}

}  // namespace orv
