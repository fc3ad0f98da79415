// The Windows device calls as the system answers them, in front of the simulated bus: CreateFileA opens a
// present interface, the HID class driver moves feature reports to and from the simulated collections,
// WinUSB reaches the bulk boards, the configuration manager walks the bus's device tree and SetupAPI lists
// the present interfaces of a class. Handles, preparsed data and device information sets are real objects of
// this table, so a call on one already released fails as on Windows, and a test sees what was left open or
// released twice.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/cclock.h"
#include "sim/csimbus.h"
#include "sim/csimplatform.h"
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
  SWinDeviceCalls Tables();
  // The longest feature report the collection at this path declares.
  void SetFeatureLength(const std::string& path_I, USHORT length_I);
  // What went wrong with the table's objects (handles, WinUSB handles, preparsed data, device information
  // sets): how many are still open and how many releases named none; empty when nothing did.
  std::string Leftovers();
  // Every flag word SetupDiGetClassDevsW was given.
  std::vector<DWORD> ClassDevsFlags();

  HANDLE CreateFileA(LPCSTR fileName_I, DWORD access_I, DWORD shareMode_I, LPSECURITY_ATTRIBUTES security_I,
                     DWORD creation_I, DWORD flags_I, HANDLE template_I) override;
  BOOL CloseHandle(HANDLE handle_I) override;

  void HidD_GetHidGuid(LPGUID guid_O) override { *guid_O = kHidInterfaceClass; }
  BOOLEAN HidD_GetAttributes(HANDLE device_I, PHIDD_ATTRIBUTES attributes_IO) override;
  BOOLEAN HidD_GetPreparsedData(HANDLE device_I, PHIDP_PREPARSED_DATA* data_O) override;
  BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data_I) override;
  NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data_I, PHIDP_CAPS caps_O) override;
  BOOLEAN HidD_SetFeature(HANDLE device_I, PVOID report_I, ULONG length_I) override;
  BOOLEAN HidD_GetFeature(HANDLE device_I, PVOID report_IO, ULONG length_I) override;

  BOOL WinUsb_Initialize(HANDLE file_I, PWINUSB_INTERFACE_HANDLE usb_O) override;
  BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE usb_I) override;
  BOOL WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE usb_I, UCHAR type_I, UCHAR index_I, USHORT language_I,
                            PUCHAR buffer_O, ULONG length_I, PULONG transferred_O) override;
  BOOL WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE usb_I, WINUSB_SETUP_PACKET setup_I, PUCHAR buffer_IO,
                              ULONG length_I, PULONG transferred_O, LPOVERLAPPED overlapped_I) override;

  CONFIGRET CM_Locate_DevNodeA(PDEVINST node_O, DEVINSTID_A instanceId_I, ULONG flags_I) override;
  CONFIGRET CM_Get_Parent(PDEVINST parent_O, DEVINST node_I, ULONG flags_I) override;
  CONFIGRET CM_Get_Device_IDA(DEVINST node_I, PCHAR buffer_O, ULONG length_I, ULONG flags_I) override;

  HDEVINFO SetupDiGetClassDevsW(const GUID* class_I, PCWSTR enumerator_I, HWND parent_I, DWORD flags_I) override;
  BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set_I, PSP_DEVINFO_DATA device_I, const GUID* class_I, DWORD index_I,
                                   PSP_DEVICE_INTERFACE_DATA interface_O) override;
  BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set_I, PSP_DEVICE_INTERFACE_DATA interface_I,
                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail_O, DWORD detailSize_I,
                                        PDWORD requiredSize_O, PSP_DEVINFO_DATA device_O) override;
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set_I) override;

  // Opens of a mouse or keyboard collection refused for asking to read or write.
  std::atomic<uint64_t> mDeniedOpens{0};

 private:
  struct SFile {
    std::string path;
    DWORD access = 0;
    DWORD flags = 0;
    // The collection's handle on the bus; empty for a bulk interface.
    std::unique_ptr<CHidDevice> hid;
    USHORT featureLength = 0;
  };
  struct SSet {
    GUID deviceClass{};
    std::vector<std::string> paths;
  };

  DEVINST NodeOf(const std::string& instanceId_I);
  std::string IdOf(DEVINST node_I);
  bool IsPresent(const std::string& path_I, EDeviceClass class_I);

  std::shared_ptr<sim::CSimBus> mBus;
  // Calls may come from the application's thread and the update worker at once; the bus is never called with
  // the lock held, since a simulated board may pause on the shared clock.
  std::mutex mLock;
  std::map<void*, std::shared_ptr<SFile>> mFiles;
  std::map<void*, std::shared_ptr<CUsbDevice>> mUsbHandles;
  std::map<void*, std::shared_ptr<HIDP_CAPS>> mPreparsed;
  std::map<void*, std::shared_ptr<SSet>> mSets;
  std::map<std::string, USHORT> mFeatureLengths;
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

  CVirtualClock mClock;
  CScopedClock mInstalled{mClock};
  std::unique_ptr<sim::CSimPlatform> mPlatform;
  std::shared_ptr<Calls> mCalls;
};

}  // namespace orv::test
