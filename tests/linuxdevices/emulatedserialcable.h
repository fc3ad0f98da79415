// A USB serial cable with an FTDI chip (an FT232R, 0403:6001, unless another is named) as the kernel shows it
// once ftdi_sio has bound it: the
// USB device, its interface with the "driver" link to ftdi_sio, the usb-serial port and its tty node. Its
// usbfs node counts every ioctl that reaches it. As the kernel does, usbfs refuses to claim the interface
// while ftdi_sio holds it, names ftdi_sio as the interface's driver, and a disconnect unbinds the driver (the
// link goes, and with it the user's tty).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "tests/linuxdevices/emulateddevices.h"

namespace orv::test {

class CEmulatedSerialCable : public CEmulatedUsbfsNode {
 public:
  // Plugs the cable into the hub on bus 1, at the port path ports_I below the root hub ("3", "1.7"); its
  // address also numbers its tty.
  static std::shared_ptr<CEmulatedSerialCable> Plug(CUmockdevBed& bed_I, const std::string& hubSyspath_I,
                                                    const std::string& ports_I, unsigned address_I,
                                                    uint16_t productId_I);

  // Every ioctl on the cable's usbfs node so far.
  uint64_t Ioctls() const { return mIoctls; }
  // Whether ftdi_sio still drives the cable (its "driver" link is there).
  bool DriverBound() const;

 protected:
  int Control(const SUsbSetupPacket& setup_I, uint8_t* data_IO, int& actual_O) override;
  bool Claim() override { return !DriverBound(); }

 private:
  void HandleIoctl(CIoctlCall& call_IO);
  // Answers the ioctls usbfs passes to the interface's driver: 0 or the errno; -1 for the others.
  int DriverIoctl(CIoctlCall& call_IO);
  void Bind();

  std::atomic<uint64_t> mIoctls{0};
  std::string mDriverDir;
  std::string mDriverLink;
};

}  // namespace orv::test
