// HID collections through hidraw: a collection path opens its node; the identity comes from the node and the
// USB device above it, the usage and the feature reports from the report descriptor, and feature reports
// travel as the kernel's feature ioctls at the length the collection declares for their id, as the Windows
// class driver sends them: a device stalls any other length. A transfer counts only when the whole report
// went out, or at least as much as was asked for came back.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/fwupdater/chidreportdescriptor.h"
#include "common/fwupdater/chidsystem.h"
#include "linux/common/clinuxpermissions.h"

namespace orv {

class CLinuxHidDevice : public CHidDevice {
 public:
  // Takes over the open descriptor of node_I; collection_I is what the descriptor declares for the opened
  // collection (none when it declares no such collection: nothing can be sent then).
  CLinuxHidDevice(int fd_I, std::string node_I, std::optional<SHidCollection> collection_I);
  ~CLinuxHidDevice() override;
  CLinuxHidDevice(const CLinuxHidDevice&) = delete;
  CLinuxHidDevice& operator=(const CLinuxHidDevice&) = delete;

  bool GetAttributes(SHidAttributes& attributes_O) override;
  bool GetCaps(SHidCaps& caps_O) override;
  // A report shorter than declared goes out zero-padded; a longer one, or one of an id the collection does
  // not declare, is refused with a line to the debugger output and nothing is sent.
  bool SetFeature(const std::vector<uint8_t>& report_I) override;
  // Asks for the declared length and hands back as much as the buffer holds; the answer must carry the
  // report id asked for and fill the buffer, which is left as it was otherwise. Refused as a set is.
  bool GetFeature(std::vector<uint8_t>& report_IO) override;

 private:
  // The length of the ioctl for the report: the declared length and the id byte; none when refused.
  std::optional<size_t> DeclaredLength(const std::vector<uint8_t>& report_I, const char* transfer_I);

  int mFd;
  std::string mNode;
  std::optional<SHidCollection> mCollection;
  // A node whose descriptor could not be read (often one that is going away) is named in the log once.
  bool mUndeclaredLogged = false;
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
