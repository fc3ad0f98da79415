// Device nodes the system was refused for lack of permission, and what to tell the user about them: the
// udev rules that give the user at the seat access to our boards and the display's FTDI bridge.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace orv {

constexpr const char* kUdevRulesName = "70-orvel-fwupdater.rules";

// Filled by the device ports as they open nodes; read by the application. Each node is kept once.
class CLinuxAccessLog {
 public:
  void Refused(const std::string& node_I);
  std::vector<std::string> RefusedNodes() const;

 private:
  mutable std::mutex mLock;
  std::vector<std::string> mNodes;
};

// Whether an open failed for lack of permission (errno values).
bool IsPermissionError(int error_I);

// The installed rules file, or empty when none of the places udev reads holds it.
std::string InstalledUdevRules();

// One line naming the node (and its vendor and product ids, when known) and the rules file.
std::string PermissionAdvice(const std::string& node_I, const std::string& identity_I);

}  // namespace orv
