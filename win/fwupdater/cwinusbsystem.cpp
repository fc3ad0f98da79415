#include "win/fwupdater/cwinusbsystem.h"

#include <algorithm>

namespace orv {
namespace {

constexpr UCHAR kDeviceDescriptorType = 1;
constexpr ULONG kDeviceDescriptorLength = 18;
constexpr uint8_t kDeviceToHost = 0x80;

}  // namespace

CWinUsbDevice::CWinUsbDevice(std::shared_ptr<CWinUsbCalls> calls_I, HANDLE file_I, WINUSB_INTERFACE_HANDLE usb_I)
    : mCalls(std::move(calls_I)), mFile(file_I), mUsb(usb_I)
{
}

CWinUsbDevice::~CWinUsbDevice()
{
  mCalls->WinUsb_Free(mUsb);
  mCalls->CloseHandle(mFile);
}

bool CWinUsbDevice::GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O)
{
  std::vector<uint8_t> descriptor(kDeviceDescriptorLength, 0);
  ULONG transferred = 0;
  if (!mCalls->WinUsb_GetDescriptor(mUsb, kDeviceDescriptorType, 0, 0, descriptor.data(), kDeviceDescriptorLength,
                                    &transferred)) {
    return false;
  }
  descriptor.resize(std::min(transferred, kDeviceDescriptorLength));
  descriptor_O = std::move(descriptor);
  return true;
}

bool CWinUsbDevice::ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO)
{
  if (data_IO.size() < setup_I.length) return false;
  const WINUSB_SETUP_PACKET setup{setup_I.requestType, setup_I.request, setup_I.value, setup_I.index, setup_I.length};
  ULONG transferred = 0;
  // WinUSB moves as many bytes as it is given a buffer length; the data stage is the setup packet's wLength,
  // whatever the caller's buffer holds beyond it.
  if (!mCalls->WinUsb_ControlTransfer(mUsb, setup, setup_I.length == 0 ? nullptr : data_IO.data(), setup_I.length,
                                      &transferred, nullptr)) {
    return false;
  }
  if (setup_I.requestType & kDeviceToHost) data_IO.resize(std::min<ULONG>(transferred, setup_I.length));
  return true;
}

std::unique_ptr<CUsbDevice> CWinUsbSystem::Open(const std::string& path_I)
{
  // WinUSB works only on a handle opened for overlapped I/O.
  const HANDLE file = mCalls->CreateFileA(path_I.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  WINUSB_INTERFACE_HANDLE usb = nullptr;
  if (!mCalls->WinUsb_Initialize(file, &usb)) {
    mCalls->CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<CWinUsbDevice>(mCalls, file, usb);
}

}  // namespace orv
