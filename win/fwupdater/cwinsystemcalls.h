// The Windows calls the device layer makes, one narrow table per subsystem: the HID class driver, WinUSB,
// the configuration manager's device tree and SetupAPI's enumeration. Each table is bound to the system's
// DLLs by default (WinSystemCalls); tests bind tables of their own that behave as the system does.
//
// Every call keeps its Windows name and signature, so a binding only forwards.
#pragma once

#include <windows.h>
// The device headers need the base types first.
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winusb.h>
// The HID headers declare their functions without C linkage.
extern "C" {
#include <hidsdi.h>
}
// The class driver's feature requests, with the device control codes they are built from.
#include <winioctl.h>
#include <hidclass.h>

#include <memory>

namespace orv {

// kernel32.dll: the file handle a device interface is opened with.
class CWinFileCalls {
 public:
  virtual ~CWinFileCalls() = default;
  virtual HANDLE CreateFileA(LPCSTR fileName_I, DWORD access_I, DWORD shareMode_I,
                             LPSECURITY_ATTRIBUTES security_I, DWORD creation_I, DWORD flags_I, HANDLE template_I) = 0;
  virtual BOOL CloseHandle(HANDLE handle_I) = 0;
};

// hid.dll, with the file calls that open a collection.
class CWinHidCalls : public CWinFileCalls {
 public:
  virtual void HidD_GetHidGuid(LPGUID guid_O) = 0;
  virtual BOOLEAN HidD_GetAttributes(HANDLE device_I, PHIDD_ATTRIBUTES attributes_IO) = 0;
  virtual BOOLEAN HidD_GetPreparsedData(HANDLE device_I, PHIDP_PREPARSED_DATA* data_O) = 0;
  virtual BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data_I) = 0;
  virtual NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data_I, PHIDP_CAPS caps_O) = 0;
  // Feature reports travel as the class driver's requests on a handle opened for overlapped I/O, so that one
  // the device never answers can be waited for with a time-out and called off (HidD_SetFeature and
  // HidD_GetFeature wait for good).
  virtual HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security_I, BOOL manualReset_I, BOOL initialState_I,
                              LPCWSTR name_I) = 0;
  virtual BOOL DeviceIoControl(HANDLE device_I, DWORD code_I, LPVOID in_I, DWORD inSize_I, LPVOID out_IO,
                               DWORD outSize_I, LPDWORD returned_O, LPOVERLAPPED overlapped_IO) = 0;
  virtual DWORD WaitForSingleObject(HANDLE object_I, DWORD milliseconds_I) = 0;
  virtual BOOL CancelIoEx(HANDLE device_I, LPOVERLAPPED overlapped_I) = 0;
  virtual BOOL GetOverlappedResult(HANDLE device_I, LPOVERLAPPED overlapped_I, LPDWORD transferred_O, BOOL wait_I) = 0;
};

// winusb.dll, with the file calls that open the device interface it works on.
class CWinUsbCalls : public CWinFileCalls {
 public:
  virtual BOOL WinUsb_Initialize(HANDLE file_I, PWINUSB_INTERFACE_HANDLE usb_O) = 0;
  virtual BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE usb_I) = 0;
  virtual BOOL WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE usb_I, UCHAR type_I, UCHAR index_I, USHORT language_I,
                                    PUCHAR buffer_O, ULONG length_I, PULONG transferred_O) = 0;
  virtual BOOL WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE usb_I, WINUSB_SETUP_PACKET setup_I, PUCHAR buffer_IO,
                                      ULONG length_I, PULONG transferred_O, LPOVERLAPPED overlapped_I) = 0;
};

// cfgmgr32.dll: the tree of device nodes.
class CWinConfigManagerCalls {
 public:
  virtual ~CWinConfigManagerCalls() = default;
  virtual CONFIGRET CM_Locate_DevNodeA(PDEVINST node_O, DEVINSTID_A instanceId_I, ULONG flags_I) = 0;
  virtual CONFIGRET CM_Get_Parent(PDEVINST parent_O, DEVINST node_I, ULONG flags_I) = 0;
  virtual CONFIGRET CM_Get_Device_IDA(DEVINST node_I, PCHAR buffer_O, ULONG length_I, ULONG flags_I) = 0;
};

// setupapi.dll: the present interfaces of a device interface class.
class CWinSetupCalls {
 public:
  virtual ~CWinSetupCalls() = default;
  virtual HDEVINFO SetupDiGetClassDevsW(const GUID* class_I, PCWSTR enumerator_I, HWND parent_I, DWORD flags_I) = 0;
  virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set_I, PSP_DEVINFO_DATA device_I, const GUID* class_I,
                                           DWORD index_I, PSP_DEVICE_INTERFACE_DATA interface_O) = 0;
  virtual BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set_I, PSP_DEVICE_INTERFACE_DATA interface_I,
                                                PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail_O, DWORD detailSize_I,
                                                PDWORD requiredSize_O, PSP_DEVINFO_DATA device_O) = 0;
  virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set_I) = 0;
};

struct SWinDeviceCalls {
  std::shared_ptr<CWinHidCalls> hid;
  std::shared_ptr<CWinUsbCalls> usb;
  std::shared_ptr<CWinConfigManagerCalls> configManager;
  std::shared_ptr<CWinSetupCalls> setup;
};

// The tables bound to hid.dll, winusb.dll, cfgmgr32.dll, setupapi.dll and kernel32.dll.
SWinDeviceCalls WinSystemCalls();

}  // namespace orv
