// udev's side of emulated devices: the kernel makes a device and its node, and udev then writes the device's
// database entry (which makes it "initialised"), applies the rules that give the user at the seat its node,
// and only then tells the monitors. Also the kernel's side of a monitor socket that overflows.
//
// libudev reads the database from /run/udev/data, which umockdev does not redirect: this process reads it
// from the testbed's own run/udev/data instead, so that each testbed has a database of its own.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tests/linuxdevices/umockdevbed.h"

namespace orv::test {

class CEmulatedUdev {
 public:
  explicit CEmulatedUdev(CUmockdevBed& bed_I) : mBed(bed_I) {}

  // The kernel's half of a device with a node: sysfs with the node's numbers in its uevent, and the node,
  // root's alone as devtmpfs makes it. umockdev tells the monitors present at once, as the kernel tells its
  // own listeners; a monitor started afterwards hears of the device only when udev has finished with it.
  std::string AddUnfinished(const std::string& subsystem_I, const std::string& name_I, const std::string& parent_I,
                            const std::string& node_I, unsigned major_I, unsigned minor_I, IoctlHandler handler_I,
                            std::vector<std::string> properties_I);
  // udev's half: the database entry, the mode the rules give the node, then "add" to the monitors.
  void Finish(const std::string& syspath_I);
  // The rules give the node to everyone once the clock reaches atMs_I (seen by Pump).
  void GrantAt(const std::string& node_I, uint64_t atMs_I);
  void Pump();

  // The next receive on a monitor socket finds that the socket overflowed and fails with ENOBUFS; what the
  // socket held is lost too, as if it had held only other devices' events and ours had found no room.
  void Overflow();
  // The monitor socket is full: what udev tells it from now on is lost, and the next receive fails with ENOBUFS
  // before it hands out, in order, what the socket held, as the kernel keeps that.
  void Fill();

 private:
  struct SUnfinished {
    std::string syspath;
    std::string node;
    std::string id;
  };
  struct SGrant {
    std::string node;
    uint64_t atMs;
  };

  CUmockdevBed& mBed;
  std::mutex mLock;
  std::vector<SUnfinished> mUnfinished;
  std::vector<SGrant> mGrants;
};

}  // namespace orv::test
