#include "win/fwupdater/cwinsystemcalls.h"

namespace orv {
namespace {

template <typename Table>
class CSystemFileCalls : public Table {
 public:
  HANDLE CreateFileA(LPCSTR fileName_I, DWORD access_I, DWORD shareMode_I, LPSECURITY_ATTRIBUTES security_I,
                     DWORD creation_I, DWORD flags_I, HANDLE template_I) override
  {
    return ::CreateFileA(fileName_I, access_I, shareMode_I, security_I, creation_I, flags_I, template_I);
  }
  BOOL CloseHandle(HANDLE handle_I) override { return ::CloseHandle(handle_I); }
};

class CSystemHidCalls final : public CSystemFileCalls<CWinHidCalls> {
 public:
  void HidD_GetHidGuid(LPGUID guid_O) override { ::HidD_GetHidGuid(guid_O); }
  BOOLEAN HidD_GetAttributes(HANDLE device_I, PHIDD_ATTRIBUTES attributes_IO) override
  {
    return ::HidD_GetAttributes(device_I, attributes_IO);
  }
  BOOLEAN HidD_GetPreparsedData(HANDLE device_I, PHIDP_PREPARSED_DATA* data_O) override
  {
    return ::HidD_GetPreparsedData(device_I, data_O);
  }
  BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data_I) override { return ::HidD_FreePreparsedData(data_I); }
  NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data_I, PHIDP_CAPS caps_O) override
  {
    return ::HidP_GetCaps(data_I, caps_O);
  }
  HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security_I, BOOL manualReset_I, BOOL initialState_I,
                      LPCWSTR name_I) override
  {
    return ::CreateEventW(security_I, manualReset_I, initialState_I, name_I);
  }
  BOOL DeviceIoControl(HANDLE device_I, DWORD code_I, LPVOID in_I, DWORD inSize_I, LPVOID out_IO, DWORD outSize_I,
                       LPDWORD returned_O, LPOVERLAPPED overlapped_IO) override
  {
    return ::DeviceIoControl(device_I, code_I, in_I, inSize_I, out_IO, outSize_I, returned_O, overlapped_IO);
  }
  DWORD WaitForSingleObject(HANDLE object_I, DWORD milliseconds_I) override
  {
    return ::WaitForSingleObject(object_I, milliseconds_I);
  }
  BOOL CancelIoEx(HANDLE device_I, LPOVERLAPPED overlapped_I) override { return ::CancelIoEx(device_I, overlapped_I); }
  BOOL GetOverlappedResult(HANDLE device_I, LPOVERLAPPED overlapped_I, LPDWORD transferred_O, BOOL wait_I) override
  {
    return ::GetOverlappedResult(device_I, overlapped_I, transferred_O, wait_I);
  }
};

class CSystemUsbCalls final : public CSystemFileCalls<CWinUsbCalls> {
 public:
  BOOL WinUsb_Initialize(HANDLE file_I, PWINUSB_INTERFACE_HANDLE usb_O) override
  {
    return ::WinUsb_Initialize(file_I, usb_O);
  }
  BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE usb_I) override { return ::WinUsb_Free(usb_I); }
  BOOL WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE usb_I, UCHAR type_I, UCHAR index_I, USHORT language_I,
                            PUCHAR buffer_O, ULONG length_I, PULONG transferred_O) override
  {
    return ::WinUsb_GetDescriptor(usb_I, type_I, index_I, language_I, buffer_O, length_I, transferred_O);
  }
  BOOL WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE usb_I, WINUSB_SETUP_PACKET setup_I, PUCHAR buffer_IO,
                              ULONG length_I, PULONG transferred_O, LPOVERLAPPED overlapped_I) override
  {
    return ::WinUsb_ControlTransfer(usb_I, setup_I, buffer_IO, length_I, transferred_O, overlapped_I);
  }
};

class CSystemConfigManagerCalls final : public CWinConfigManagerCalls {
 public:
  CONFIGRET CM_Locate_DevNodeA(PDEVINST node_O, DEVINSTID_A instanceId_I, ULONG flags_I) override
  {
    return ::CM_Locate_DevNodeA(node_O, instanceId_I, flags_I);
  }
  CONFIGRET CM_Get_Parent(PDEVINST parent_O, DEVINST node_I, ULONG flags_I) override
  {
    return ::CM_Get_Parent(parent_O, node_I, flags_I);
  }
  CONFIGRET CM_Get_Device_IDA(DEVINST node_I, PCHAR buffer_O, ULONG length_I, ULONG flags_I) override
  {
    return ::CM_Get_Device_IDA(node_I, buffer_O, length_I, flags_I);
  }
};

class CSystemSetupCalls final : public CWinSetupCalls {
 public:
  HDEVINFO SetupDiGetClassDevsW(const GUID* class_I, PCWSTR enumerator_I, HWND parent_I, DWORD flags_I) override
  {
    return ::SetupDiGetClassDevsW(class_I, enumerator_I, parent_I, flags_I);
  }
  BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set_I, PSP_DEVINFO_DATA device_I, const GUID* class_I, DWORD index_I,
                                   PSP_DEVICE_INTERFACE_DATA interface_O) override
  {
    return ::SetupDiEnumDeviceInterfaces(set_I, device_I, class_I, index_I, interface_O);
  }
  BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set_I, PSP_DEVICE_INTERFACE_DATA interface_I,
                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail_O, DWORD detailSize_I,
                                        PDWORD requiredSize_O, PSP_DEVINFO_DATA device_O) override
  {
    return ::SetupDiGetDeviceInterfaceDetailA(set_I, interface_I, detail_O, detailSize_I, requiredSize_O, device_O);
  }
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set_I) override { return ::SetupDiDestroyDeviceInfoList(set_I); }
};

}  // namespace

SWinDeviceCalls WinSystemCalls()
{
  return SWinDeviceCalls{std::make_shared<CSystemHidCalls>(), std::make_shared<CSystemUsbCalls>(),
                         std::make_shared<CSystemConfigManagerCalls>(), std::make_shared<CSystemSetupCalls>()};
}

}  // namespace orv
