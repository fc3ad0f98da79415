// HID collections through the HID class driver: a collection opened with CreateFileA for overlapped I/O, its
// identity and top-level usage, and feature reports, each given up after a time-out.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/fwupdater/chidsystem.h"
#include "win/fwupdater/cwindevicetree.h"
#include "win/fwupdater/cwinsystemcalls.h"

namespace orv {

class CWinHidDevice : public CHidDevice {
 public:
  // The event signals the end of each feature request on the handle.
  CWinHidDevice(std::shared_ptr<CWinHidCalls> calls_I, HANDLE handle_I, HANDLE event_I);
  ~CWinHidDevice() override;
  CWinHidDevice(const CWinHidDevice&) = delete;
  CWinHidDevice& operator=(const CWinHidDevice&) = delete;

  bool GetAttributes(SHidAttributes& attributes_O) override;
  bool GetCaps(SHidCaps& caps_O) override;
  // The class driver refuses a buffer shorter than the collection's longest feature report: a shorter
  // report goes out padded with zeros, and a read hands back only as many bytes as the caller asked for.
  bool SetFeature(const std::vector<uint8_t>& report_I) override;
  bool GetFeature(std::vector<uint8_t>& report_IO) override;

 private:
  // The collection's capabilities, read once; empty when the driver cannot tell them.
  const std::optional<HIDP_CAPS>& Caps();
  std::vector<uint8_t> Padded(const std::vector<uint8_t>& report_I);
  // One feature request, true when the driver completed it.
  bool Request(DWORD code_I, std::vector<uint8_t>& buffer_IO);

  std::shared_ptr<CWinHidCalls> mCalls;
  HANDLE mHandle;
  HANDLE mEvent;
  bool mCapsRead = false;
  std::optional<HIDP_CAPS> mCaps;
};

class CWinHidSystem : public CHidSystem {
 public:
  CWinHidSystem(std::shared_ptr<CWinHidCalls> hid_I, std::shared_ptr<CWinConfigManagerCalls> configManager_I)
      : mCalls(std::move(hid_I)), mTree(std::move(configManager_I))
  {
  }

  std::unique_ptr<CHidDevice> Open(const std::string& path_I) override;
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override
  {
    return mTree.GetAncestorId(instanceId_I, levels_I);
  }

 private:
  std::shared_ptr<CWinHidCalls> mCalls;
  CWinDeviceTree mTree;
};

}  // namespace orv
