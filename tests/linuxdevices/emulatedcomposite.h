// A composite board as its USB device and the kernel show it: interface 0 its HID function, bound to usbhid;
// interface 1 its vendor function, which answers the bulk boards' vendor requests addressed to it (wIndex 1)
// with the wValue each request takes, and stalls any other. usbfs claims, detaches and gives back drivers per
// interface, as the kernel does, and remembers what was done.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/linuxdevices/emulateddevices.h"

namespace orv::test {

class CEmulatedCompositeBoard : public CEmulatedUsbfsNode {
 public:
  static constexpr uint16_t kProductId = 0x0400;
  static constexpr uint16_t kVersion = 0x0105;

  // Plugs the board into a bus of its own in the testbed.
  explicit CEmulatedCompositeBoard(CUmockdevBed& bed_I);

  const std::string& Node() const { return mNode; }
  // What usbfs did, in order: "detach N", "claim N", "release N", "attach N".
  std::vector<std::string> Actions();
  // Vendor requests the board stalled because they were addressed to another interface.
  unsigned Misaddressed() const { return mMisaddressed; }

 protected:
  int Control(const SUsbSetupPacket& setup_I, uint8_t* data_IO, int& actual_O) override;

 private:
  void HandleInterfaces(CIoctlCall& call_IO);
  int ClaimInterface(unsigned interface_I);
  int ReleaseInterface(unsigned interface_I);
  int Disconnect(unsigned interface_I, const char* except_I);
  int Connect(unsigned interface_I);

  std::string mNode;
  std::mutex mLock;
  // The driver bound to each interface: "usbhid", "usbfs" (claimed by a program) or none.
  std::map<unsigned, std::string> mDrivers;
  std::vector<std::string> mActions;
  std::atomic<unsigned> mMisaddressed{0};
};

}  // namespace orv::test
