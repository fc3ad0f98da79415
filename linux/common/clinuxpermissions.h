// Device nodes the system was refused for lack of permission, and what to tell the user about them: the
// udev rules that give the user at the seat access to our boards and the display's FTDI bridge.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace orv {

constexpr const char* kUdevRulesName = "70-orvel-fwupdater.rules";

// Filled by the device ports as they open nodes; read by the application. Each node is kept once.
class CLinuxAccessLog {
 public:
  void Refused(const std::string& node_I);
  bool WasRefused(const std::string& node_I) const;
  std::vector<std::string> RefusedNodes() const;

 private:
  mutable std::mutex mLock;
  std::vector<std::string> mNodes;
};

// Whether an open failed for lack of permission (errno values).
bool IsPermissionError(int error_I);

// udev gives the user access to a node a moment after the node appears (or re-appears, as a board that
// re-enumerates into its loader does), so a node created or changed that recently may refuse an open that a
// little later succeeds. Such a node is tried again for up to this long before the refusal counts.
constexpr uint32_t kFreshNodeGraceMs = 2000;
constexpr uint32_t kFreshNodeRetryMs = 250;

// Runs attempt_I, which returns whether it was refused for lack of permission, and runs it again while it is
// refused and the node is fresh, as above, unless the log (when given) holds the node already: one wait is
// enough. Returns whether the last attempt was refused.
bool RetryWhileRefused(const std::string& node_I, const CLinuxAccessLog* log_I, const std::function<bool()>& attempt_I);

// open(2) of a device node with that retry; -1 with errno set as open set it when it fails.
int OpenDeviceNode(const std::string& node_I, int flags_I, const CLinuxAccessLog* log_I);

// The installed rules file, or empty when none of the places udev reads holds it.
std::string InstalledUdevRules();

// One line naming the node (and its vendor and product ids, when known) and the rules file.
std::string PermissionAdvice(const std::string& node_I, const std::string& identity_I);

}  // namespace orv
