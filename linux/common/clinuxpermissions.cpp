#include "linux/common/clinuxpermissions.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace orv {

void CLinuxAccessLog::Refused(const std::string& node_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (std::find(mNodes.begin(), mNodes.end(), node_I) == mNodes.end()) mNodes.push_back(node_I);
}

std::vector<std::string> CLinuxAccessLog::RefusedNodes() const
{
  std::lock_guard<std::mutex> lock(mLock);
  return mNodes;
}

bool IsPermissionError(int error_I) { return error_I == EACCES || error_I == EPERM; }

// Where udev reads rules from, in its order of precedence: the administrator's, the runtime ones, a local
// install's (cmake --install to /usr/local), the package's (and /lib where /usr is not merged).
std::string InstalledUdevRules()
{
  for (const char* directory : {"/etc/udev/rules.d/", "/run/udev/rules.d/", "/usr/local/lib/udev/rules.d/",
                                "/usr/lib/udev/rules.d/", "/lib/udev/rules.d/"}) {
    const std::string path = std::string(directory) + kUdevRulesName;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return path;
  }
  return "";
}

std::string PermissionAdvice(const std::string& node_I, const std::string& identity_I)
{
  const std::string node = node_I + (identity_I.empty() ? "" : " (" + identity_I + ")");
  const std::string rules = InstalledUdevRules();
  if (!rules.empty()) {
    return "no permission to open " + node + ": the udev rules " + rules +
           " give the user at the computer's seat access (without a seat, as over SSH, use their plugdev variant);"
           " unplug the device and plug it in again, or run as root";
  }
  return "no permission to open " + node + ": install the udev rules " + kUdevRulesName +
         " (the orvel-fwupdater package, or sudo cmake --install) and plug the device in again, or run as root";
}

}  // namespace orv
