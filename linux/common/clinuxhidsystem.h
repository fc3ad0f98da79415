// HID collections through hidraw: a collection path opens its node; the identity comes from the node and the
// USB device above it, the usage from the report descriptor, and feature reports travel as the kernel's
// feature ioctls. A transfer counts only when the whole report went out or came back.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/fwupdater/chidsystem.h"
#include "linux/common/clinuxpermissions.h"

namespace orv {

class CLinuxHidDevice : public CHidDevice {
 public:
  // Takes over the open descriptor of node_I.
  CLinuxHidDevice(int fd_I, std::string node_I, std::optional<SHidCaps> caps_I);
  ~CLinuxHidDevice() override;
  CLinuxHidDevice(const CLinuxHidDevice&) = delete;
  CLinuxHidDevice& operator=(const CLinuxHidDevice&) = delete;

  bool GetAttributes(SHidAttributes& attributes_O) override;
  bool GetCaps(SHidCaps& caps_O) override;
  bool SetFeature(const std::vector<uint8_t>& report_I) override;
  // The answer must be as long as the buffer and carry the report id asked for; the buffer is left as it
  // was otherwise.
  bool GetFeature(std::vector<uint8_t>& report_IO) override;

 private:
  int mFd;
  std::string mNode;
  std::optional<SHidCaps> mCaps;
};

class CLinuxHidSystem : public CHidSystem {
 public:
  // Nodes refused for lack of permission go into the log.
  explicit CLinuxHidSystem(std::shared_ptr<CLinuxAccessLog> accessLog_I) : mAccessLog(std::move(accessLog_I)) {}

  std::unique_ptr<CHidDevice> Open(const std::string& path_I) override;
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override;
  std::string InstanceIdOfPath(const std::string& path_I) override;

 private:
  std::shared_ptr<CLinuxAccessLog> mAccessLog;
};

}  // namespace orv
