// The Windows device calls as the system answers them, in front of the simulated bus: CreateFileA opens a
// present interface, the HID class driver moves feature reports to and from the simulated collections,
// WinUSB reaches the bulk boards, the configuration manager walks the bus's device tree and SetupAPI lists
// the present interfaces of a class. Handles, preparsed data and device information sets are real objects of
// this table, so a call on one already released fails as on Windows, and a test sees what was left open or
// released twice.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/cclock.h"
#include "common/stringutilities.h"
#include "sim/csimbus.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/testfiles.h"
#include "win/fwupdater/cwindeviceenumerator.h"
#include "win/fwupdater/cwinhidsystem.h"
#include "win/fwupdater/cwinsystemcalls.h"

namespace orv::test {

// The HID class's interface GUID, as HidD_GetHidGuid gives it.
constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

class CSimWinCalls : public CWinHidCalls,
                     public CWinUsbCalls,
                     public CWinConfigManagerCalls,
                     public CWinSetupCalls,
                     public std::enable_shared_from_this<CSimWinCalls> {
 public:
  // A collection behind a HID router takes reports of 1024 bytes and more; the simulated boards' other
  // collections take each report at the length it is given, as if each report id had its own length.
  static constexpr USHORT kRouterFeatureLength = 1024;
  static constexpr USHORT kPlainFeatureLength = 2;

  explicit CSimWinCalls(std::shared_ptr<sim::CSimBus> bus_I) : mBus(std::move(bus_I)) {}

  // The four tables, all of them this one.
  SWinDeviceCalls Tables()
  {
    const std::shared_ptr<CSimWinCalls> self = shared_from_this();
    return SWinDeviceCalls{self, self, self, self};
  }
  // The longest feature report the collection at this path declares.
  void SetFeatureLength(const std::string& path_I, USHORT length_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    mFeatureLengths[ToLower(path_I)] = length_I;
  }
  // The collection at this path stops answering feature requests: the device NAKs them for good.
  void StallFeatureReports(const std::string& path_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    mStalled.insert(ToLower(path_I));
  }
  // What went wrong with the table's objects (handles, events, requests still pending, WinUSB handles,
  // preparsed data, device information sets): how many are still open and how many releases named none; empty
  // when nothing did.
  std::string Leftovers()
  {
    std::lock_guard<std::mutex> guard(mLock);
    const auto pending = std::count_if(mRequests.begin(), mRequests.end(),
                                       [](const auto& request_I) { return !request_I.second.done; });
    const size_t open = mFiles.size() + mEvents.size() + static_cast<size_t>(pending) + mUsbHandles.size() +
                        mPreparsed.size() + mSets.size();
    if (open == 0 && mBadReleases == 0) return "";
    return std::to_string(open) + " open, " + std::to_string(mBadReleases) + " released that were not";
  }
  // Every flag word SetupDiGetClassDevsW was given.
  std::vector<DWORD> ClassDevsFlags()
  {
    std::lock_guard<std::mutex> guard(mLock);
    return mClassDevsFlags;
  }

  HANDLE CreateFileA(LPCSTR fileName_I, DWORD access_I, DWORD shareMode_I, LPSECURITY_ATTRIBUTES, DWORD creation_I,
                     DWORD flags_I, HANDLE) override
  {
    if (creation_I != OPEN_EXISTING) return FailOpen(ERROR_ACCESS_DENIED);
    auto file = std::make_shared<SFile>(SFile{fileName_I, access_I, flags_I, mBus->OpenHid(fileName_I)});
    if (!file->hid && !IsPresent(fileName_I, EDEVICECLASS_BULK)) return FailOpen(ERROR_FILE_NOT_FOUND);
    // The tablet's driver service and the system's input stack hold its collections open, reading and writing.
    if (file->hid && (shareMode_I & kReadWrite) != kReadWrite) return FailOpen(ERROR_SHARING_VIOLATION);
    SHidCaps caps;
    const bool hasCaps = file->hid && file->hid->GetCaps(caps);
    // Windows reads mice and keyboards itself and lets no one else open them for reading or writing.
    const bool systemInput = hasCaps && caps.usagePage == 0x01 && (caps.usage == 0x02 || caps.usage == 0x06);
    if (systemInput && (access_I & kGenericReadWrite) != 0) {
      ++mDeniedOpens;
      return FailOpen(ERROR_ACCESS_DENIED);
    }
    const bool router = hasCaps && caps.usagePage == 0xFF00;
    std::lock_guard<std::mutex> guard(mLock);
    const auto length = mFeatureLengths.find(ToLower(fileName_I));
    const USHORT declared = router ? kRouterFeatureLength : kPlainFeatureLength;
    file->featureLength = length != mFeatureLengths.end() ? length->second : declared;
    return Keep(mFiles, std::move(file));
  }
  BOOL CloseHandle(HANDLE handle_I) override
  {
    {
      std::lock_guard<std::mutex> guard(mLock);
      if (mEvents.erase(handle_I) == 1) return TRUE;
    }
    return Release(mFiles, handle_I);
  }

  void HidD_GetHidGuid(LPGUID guid_O) override { *guid_O = kHidInterfaceClass; }
  BOOLEAN HidD_GetAttributes(HANDLE device_I, PHIDD_ATTRIBUTES attributes_IO) override
  {
    const std::shared_ptr<SFile> file = Find(mFiles, device_I);
    SHidAttributes attributes;
    if (!file || !file->hid || attributes_IO->Size != sizeof(HIDD_ATTRIBUTES)) return Fail(ERROR_INVALID_PARAMETER);
    if (!file->hid->GetAttributes(attributes)) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    attributes_IO->VendorID = attributes.vendorId;
    attributes_IO->ProductID = attributes.productId;
    attributes_IO->VersionNumber = attributes.version;
    return TRUE;
  }
  BOOLEAN HidD_GetPreparsedData(HANDLE device_I, PHIDP_PREPARSED_DATA* data_O) override
  {
    const std::shared_ptr<SFile> file = Find(mFiles, device_I);
    SHidCaps caps;
    if (!file || !file->hid) return Fail(ERROR_INVALID_PARAMETER);
    if (!file->hid->GetCaps(caps)) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    auto preparsed = std::make_shared<HIDP_CAPS>();
    preparsed->Usage = caps.usage;
    preparsed->UsagePage = caps.usagePage;
    preparsed->FeatureReportByteLength = file->featureLength;
    std::lock_guard<std::mutex> guard(mLock);
    *data_O = static_cast<PHIDP_PREPARSED_DATA>(Keep(mPreparsed, std::move(preparsed)));
    return TRUE;
  }
  BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data_I) override { return Release(mPreparsed, data_I); }
  NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data_I, PHIDP_CAPS caps_O) override
  {
    const std::shared_ptr<HIDP_CAPS> caps = Find(mPreparsed, data_I);
    if (!caps) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    *caps_O = *caps;
    return HIDP_STATUS_SUCCESS;
  }
  HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset_I, BOOL initialState_I, LPCWSTR) override
  {
    auto event = std::make_shared<SEvent>(SEvent{manualReset_I != FALSE, initialState_I != FALSE});
    std::lock_guard<std::mutex> guard(mLock);
    return Keep(mEvents, std::move(event));
  }
  // The class driver's feature requests. Both are direct I/O: the report is in the output buffer, which the
  // class driver refuses shorter than the collection's longest feature report. On a handle opened for
  // overlapped I/O the driver pends the request and completes it through the OVERLAPPED and its event once
  // the device has answered; on another handle the call returns only then.
  BOOL DeviceIoControl(HANDLE device_I, DWORD code_I, LPVOID, DWORD, LPVOID out_IO, DWORD outSize_I, LPDWORD returned_O,
                       LPOVERLAPPED overlapped_IO) override
  {
    const std::shared_ptr<SFile> file = Find(mFiles, device_I);
    if (!file) return FALSE;
    if (!file->hid || (code_I != IOCTL_HID_SET_FEATURE && code_I != IOCTL_HID_GET_FEATURE)) {
      return Fail(ERROR_INVALID_FUNCTION);
    }
    const bool overlapped = (file->flags & FILE_FLAG_OVERLAPPED) != 0;
    if (out_IO == nullptr || outSize_I == 0 || outSize_I < file->featureLength || (overlapped && !overlapped_IO)) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    if (Stalled(*file)) return overlapped ? Pend(device_I, overlapped_IO, SRequest{}) : NeverReturns("DeviceIoControl");
    auto* bytes = static_cast<uint8_t*>(out_IO);
    std::vector<uint8_t> report(bytes, bytes + outSize_I);
    const bool get = code_I == IOCTL_HID_GET_FEATURE;
    const bool ok = get ? file->hid->GetFeature(report) : file->hid->SetFeature(report);
    if (ok && get) std::copy_n(report.begin(), std::min<size_t>(report.size(), outSize_I), bytes);
    const DWORD error = ok ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
    if (overlapped) return Pend(device_I, overlapped_IO, SRequest{true, error, outSize_I});
    if (!ok) return Fail(error);
    if (returned_O != nullptr) *returned_O = outSize_I;
    return TRUE;
  }
  DWORD WaitForSingleObject(HANDLE object_I, DWORD milliseconds_I) override
  {
    const std::shared_ptr<SEvent> event = Find(mEvents, object_I);
    if (!event) return WAIT_FAILED;
    {
      std::lock_guard<std::mutex> guard(mLock);
      if (event->signaled) {
        event->signaled = event->manualReset;
        return WAIT_OBJECT_0;
      }
    }
    if (milliseconds_I == INFINITE) {
      NeverReturns("WaitForSingleObject");
      return WAIT_FAILED;
    }
    Pause(milliseconds_I);
    return WAIT_TIMEOUT;
  }
  BOOL CancelIoEx(HANDLE device_I, LPOVERLAPPED overlapped_I) override
  {
    std::lock_guard<std::mutex> guard(mLock);
    const auto found = mRequests.find(overlapped_I);
    if (found == mRequests.end() || found->second.file != device_I || found->second.done) return Fail(ERROR_NOT_FOUND);
    found->second = SRequest{true, ERROR_OPERATION_ABORTED, 0, device_I};
    Signal(overlapped_I->hEvent);
    return TRUE;
  }
  BOOL GetOverlappedResult(HANDLE device_I, LPOVERLAPPED overlapped_I, LPDWORD transferred_O, BOOL wait_I) override
  {
    std::unique_lock<std::mutex> guard(mLock);
    const auto found = mRequests.find(overlapped_I);
    if (found == mRequests.end() || found->second.file != device_I) return Fail(ERROR_INVALID_PARAMETER);
    if (!found->second.done) {
      guard.unlock();
      return wait_I ? NeverReturns("GetOverlappedResult") : Fail(ERROR_IO_INCOMPLETE);
    }
    const SRequest request = found->second;
    mRequests.erase(found);
    if (request.error != ERROR_SUCCESS) return Fail(request.error);
    *transferred_O = request.transferred;
    return TRUE;
  }

  BOOL WinUsb_Initialize(HANDLE file_I, PWINUSB_INTERFACE_HANDLE usb_O) override
  {
    const std::shared_ptr<SFile> file = Find(mFiles, file_I);
    // WinUSB works only on a handle opened for overlapped I/O, reading and writing.
    if (!file || (file->flags & FILE_FLAG_OVERLAPPED) == 0) return Fail(ERROR_INVALID_PARAMETER);
    if ((file->access & kGenericReadWrite) != kGenericReadWrite) return Fail(ERROR_ACCESS_DENIED);
    std::shared_ptr<CUsbDevice> usb = mBus->OpenUsb(file->path);
    if (!usb) return Fail(ERROR_NOT_SUPPORTED);
    std::lock_guard<std::mutex> guard(mLock);
    *usb_O = Keep(mUsbHandles, std::move(usb));
    return TRUE;
  }
  BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE usb_I) override { return Release(mUsbHandles, usb_I); }
  BOOL WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE usb_I, UCHAR type_I, UCHAR index_I, USHORT, PUCHAR buffer_O,
                            ULONG length_I, PULONG transferred_O) override
  {
    const std::shared_ptr<CUsbDevice> usb = Find(mUsbHandles, usb_I);
    std::vector<uint8_t> descriptor;
    if (!usb || type_I != 1 || index_I != 0) return Fail(ERROR_INVALID_PARAMETER);
    if (!usb->GetDeviceDescriptor(descriptor)) return Fail(ERROR_GEN_FAILURE);
    const ULONG copied = std::min<ULONG>(length_I, static_cast<ULONG>(descriptor.size()));
    std::copy_n(descriptor.begin(), copied, buffer_O);
    *transferred_O = copied;
    return TRUE;
  }
  // WinUSB moves BufferLength bytes in the data stage (at most 4 KB) behind the setup packet as given. The
  // device ends an IN stage after the wLength bytes it was asked for; an OUT stage of another length than the
  // wLength announced breaks the request, and the device stalls it.
  BOOL WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE usb_I, WINUSB_SETUP_PACKET setup_I, PUCHAR buffer_IO,
                              ULONG length_I, PULONG transferred_O, LPOVERLAPPED) override
  {
    const std::shared_ptr<CUsbDevice> usb = Find(mUsbHandles, usb_I);
    if (!usb || length_I > 4096 || (length_I > 0 && buffer_IO == nullptr)) return Fail(ERROR_INVALID_PARAMETER);
    const bool in = (setup_I.RequestType & 0x80) != 0;
    if (in ? length_I < setup_I.Length : length_I != setup_I.Length) return Fail(ERROR_GEN_FAILURE);
    std::vector<uint8_t> data(buffer_IO, buffer_IO + setup_I.Length);
    const SUsbSetupPacket setup{setup_I.RequestType, setup_I.Request, setup_I.Value, setup_I.Index, setup_I.Length};
    if (!usb->ControlTransfer(setup, data)) return Fail(ERROR_GEN_FAILURE);
    // The device may end an IN stage early, with fewer bytes than asked for.
    const ULONG moved = in ? std::min<ULONG>(static_cast<ULONG>(data.size()), setup_I.Length) : setup_I.Length;
    if (in) std::copy_n(data.begin(), moved, buffer_IO);
    if (transferred_O != nullptr) *transferred_O = moved;
    return TRUE;
  }

  CONFIGRET CM_Locate_DevNodeA(PDEVINST node_O, DEVINSTID_A instanceId_I, ULONG flags_I) override
  {
    if (flags_I != 0 || instanceId_I == nullptr) return CR_INVALID_FLAG;
    const std::string id = mBus->GetAncestorId(instanceId_I, 0);
    if (id.empty()) return CR_NO_SUCH_DEVNODE;
    *node_O = NodeOf(id);
    return CR_SUCCESS;
  }
  CONFIGRET CM_Get_Parent(PDEVINST parent_O, DEVINST node_I, ULONG flags_I) override
  {
    const std::string id = IdOf(node_I);
    if (flags_I != 0) return CR_INVALID_FLAG;
    if (id.empty()) return CR_INVALID_DEVNODE;
    const std::string parent = mBus->GetAncestorId(id, 1);
    if (ToLower(parent) == ToLower(id)) return CR_NO_SUCH_DEVNODE;
    *parent_O = NodeOf(parent);
    return CR_SUCCESS;
  }
  CONFIGRET CM_Get_Device_IDA(DEVINST node_I, PCHAR buffer_O, ULONG length_I, ULONG flags_I) override
  {
    const std::string id = IdOf(node_I);
    if (flags_I != 0) return CR_INVALID_FLAG;
    if (id.empty()) return CR_INVALID_DEVNODE;
    if (length_I < id.size() + 1) return CR_BUFFER_SMALL;
    std::memcpy(buffer_O, id.c_str(), id.size() + 1);
    return CR_SUCCESS;
  }

  HDEVINFO SetupDiGetClassDevsW(const GUID* class_I, PCWSTR, HWND, DWORD flags_I) override
  {
    auto set = std::make_shared<SSet>();
    set->deviceClass = *class_I;
    if ((flags_I & DIGCF_DEVICEINTERFACE) != 0) {
      if (IsEqualGUID(*class_I, kHidInterfaceClass)) set->paths = mBus->EnumerateInterfacePaths(EDEVICECLASS_HID);
      if (IsEqualGUID(*class_I, kWinBulkInterfaceClass)) set->paths = mBus->EnumerateInterfacePaths(EDEVICECLASS_BULK);
    }
    std::lock_guard<std::mutex> guard(mLock);
    mClassDevsFlags.push_back(flags_I);
    return Keep(mSets, std::move(set));
  }
  BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set_I, PSP_DEVINFO_DATA, const GUID* class_I, DWORD index_I,
                                   PSP_DEVICE_INTERFACE_DATA interface_O) override
  {
    const std::shared_ptr<SSet> set = Find(mSets, set_I);
    if (!set) return FALSE;
    if (interface_O->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    if (index_I >= set->paths.size() || !IsEqualGUID(*class_I, set->deviceClass)) return Fail(ERROR_NO_MORE_ITEMS);
    interface_O->InterfaceClassGuid = *class_I;
    interface_O->Flags = SPINT_ACTIVE;
    interface_O->Reserved = index_I + 1;
    return TRUE;
  }
  BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set_I, PSP_DEVICE_INTERFACE_DATA interface_I,
                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail_O, DWORD detailSize_I,
                                        PDWORD requiredSize_O, PSP_DEVINFO_DATA) override
  {
    const std::shared_ptr<SSet> set = Find(mSets, set_I);
    if (!set) return FALSE;
    if (interface_I->Reserved == 0 || interface_I->Reserved > set->paths.size()) return Fail(ERROR_INVALID_PARAMETER);
    const std::string& path = set->paths[interface_I->Reserved - 1];
    const DWORD required = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (requiredSize_O != nullptr) *requiredSize_O = required;
    if (detail_O == nullptr) return Fail(detailSize_I == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
    // The fixed part's size as the system's own build lays the record out: 8 bytes in 64-bit Windows.
    if (detail_O->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return Fail(ERROR_INVALID_USER_BUFFER);
    if (detailSize_I < required) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(detail_O->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
  }
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set_I) override { return Release(mSets, set_I); }

  // Opens of a mouse or keyboard collection refused for asking to read or write.
  std::atomic<uint64_t> mDeniedOpens{0};

 private:
  static constexpr DWORD kReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
  static constexpr DWORD kGenericReadWrite = GENERIC_READ | GENERIC_WRITE;

  struct SFile {
    std::string path;
    DWORD access = 0;
    DWORD flags = 0;
    // The collection's handle on the bus; empty for a bulk interface.
    std::unique_ptr<CHidDevice> hid;
    USHORT featureLength = 0;
  };
  struct SEvent {
    bool manualReset = false;
    bool signaled = false;
  };
  // A feature request on an overlapped handle, done once the device answered or it was called off.
  struct SRequest {
    bool done = false;
    DWORD error = ERROR_SUCCESS;
    DWORD transferred = 0;
    HANDLE file = nullptr;
  };
  struct SSet {
    GUID deviceClass{};
    std::vector<std::string> paths;
  };

  // The object behind a handle of this table, or empty (with the last error set) for any other value.
  template <typename T>
  std::shared_ptr<T> Find(std::map<void*, std::shared_ptr<T>>& objects_I, void* key_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    const auto found = objects_I.find(key_I);
    if (found != objects_I.end()) return found->second;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }

  template <typename T>
  bool Release(std::map<void*, std::shared_ptr<T>>& objects_I, void* key_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    if (objects_I.erase(key_I) == 1) return true;
    ++mBadReleases;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }

  // Called with the lock held.
  template <typename T>
  static void* Keep(std::map<void*, std::shared_ptr<T>>& objects_I, std::shared_ptr<T> object_I)
  {
    void* key = object_I.get();
    objects_I.emplace(key, std::move(object_I));
    return key;
  }

  static BOOL Fail(DWORD error_I)
  {
    SetLastError(error_I);
    return FALSE;
  }

  // Starts a request on the OVERLAPPED: its event is reset as the request starts and set once it is done.
  BOOL Pend(HANDLE file_I, LPOVERLAPPED overlapped_I, SRequest request_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    request_I.file = file_I;
    mRequests[overlapped_I] = request_I;
    const auto event = mEvents.find(overlapped_I->hEvent);
    if (event != mEvents.end()) event->second->signaled = false;
    if (request_I.done) Signal(overlapped_I->hEvent);
    return Fail(ERROR_IO_PENDING);
  }
  // Called with the lock held.
  void Signal(HANDLE event_I)
  {
    const auto event = mEvents.find(event_I);
    if (event != mEvents.end()) event->second->signaled = true;
  }

  bool Stalled(const SFile& file_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    return mStalled.count(ToLower(file_I.path)) != 0;
  }
  // A call Windows would never return from; the test fails instead of hanging.
  static BOOL NeverReturns(const char* call_I)
  {
    ADD_FAILURE() << call_I << " waits for a device that never answers and does not return";
    return Fail(ERROR_GEN_FAILURE);
  }

  static HANDLE FailOpen(DWORD error_I)
  {
    SetLastError(error_I);
    return INVALID_HANDLE_VALUE;
  }

  DEVINST NodeOf(const std::string& instanceId_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    const auto found = std::find_if(mNodes.begin(), mNodes.end(), [&](const std::string& node_I) {
      return ToLower(node_I) == ToLower(instanceId_I);
    });
    if (found != mNodes.end()) return static_cast<DEVINST>(found - mNodes.begin() + 1);
    mNodes.push_back(instanceId_I);
    return static_cast<DEVINST>(mNodes.size());
  }
  std::string IdOf(DEVINST node_I)
  {
    std::lock_guard<std::mutex> guard(mLock);
    return node_I == 0 || node_I > mNodes.size() ? "" : mNodes[node_I - 1];
  }
  bool IsPresent(const std::string& path_I, EDeviceClass class_I)
  {
    const std::vector<std::string> paths = mBus->EnumerateInterfacePaths(class_I);
    return std::any_of(paths.begin(), paths.end(), [&](const std::string& present_I) { return ToLower(present_I) == ToLower(path_I); });
  }

  std::shared_ptr<sim::CSimBus> mBus;
  // Calls may come from the application's thread and the update worker at once; the bus is never called with
  // the lock held, since a simulated board may pause on the shared clock.
  std::mutex mLock;
  std::map<void*, std::shared_ptr<SFile>> mFiles;
  std::map<void*, std::shared_ptr<SEvent>> mEvents;
  std::map<LPOVERLAPPED, SRequest> mRequests;
  std::map<void*, std::shared_ptr<CUsbDevice>> mUsbHandles;
  std::map<void*, std::shared_ptr<HIDP_CAPS>> mPreparsed;
  std::map<void*, std::shared_ptr<SSet>> mSets;
  std::map<std::string, USHORT> mFeatureLengths;
  std::set<std::string> mStalled;
  // Device nodes by number (number - 1 is the index).
  std::vector<std::string> mNodes;
  std::vector<DWORD> mClassDevsFlags;
  size_t mBadReleases = 0;
};

// A scenario's simulated platform with a table of these calls (or a derived one) in front of its bus.
template <typename Calls = CSimWinCalls>
class CSimWinLayer {
 public:
  // The platform's boards pause on a virtual clock of the layer's own.
  explicit CSimWinLayer(const char* scenario_I)
  {
    std::string error;
    mPlatform = sim::CSimPlatform::CreateFromText(scenario_I, error);
    EXPECT_TRUE(mPlatform) << error;
    mCalls = std::make_shared<Calls>(mPlatform->Bus());
  }

  std::vector<std::string> Present(EDeviceClass class_I) { return mPlatform->Bus()->EnumerateInterfacePaths(class_I); }
  std::vector<std::string> Enumerate(EDeviceClass class_I)
  {
    return CWinDeviceEnumerator(mCalls, kHidInterfaceClass).EnumerateInterfacePaths(class_I);
  }
  std::shared_ptr<CWinHidSystem> Hid() { return std::make_shared<CWinHidSystem>(mCalls, mCalls); }

  CInstalledVirtualClock mClock;
  std::unique_ptr<sim::CSimPlatform> mPlatform;
  std::shared_ptr<Calls> mCalls;
};

}  // namespace orv::test
