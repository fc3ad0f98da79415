#include "linux/common/clinuxpermissions.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "common/cclock.h"

namespace orv {
namespace {

// Whether the node's status changed within the grace: udev creates the node, then sets its owner, mode and
// access list, each of which changes it. The file system keeps real time, whatever clock pauses run on.
bool IsFreshNode(const std::string& node_I)
{
  struct stat info {};
  if (stat(node_I.c_str(), &info) != 0) return false;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const int64_t ageMs = (static_cast<int64_t>(now.tv_sec) - info.st_ctim.tv_sec) * 1000 +
                        (static_cast<int64_t>(now.tv_nsec) - info.st_ctim.tv_nsec) / 1000000;
  return ageMs < static_cast<int64_t>(kFreshNodeGraceMs);
}

}  // namespace

void CLinuxAccessLog::Refused(const std::string& node_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (std::find(mNodes.begin(), mNodes.end(), node_I) == mNodes.end()) mNodes.push_back(node_I);
}

bool CLinuxAccessLog::WasRefused(const std::string& node_I) const
{
  std::lock_guard<std::mutex> lock(mLock);
  return std::find(mNodes.begin(), mNodes.end(), node_I) != mNodes.end();
}

std::vector<std::string> CLinuxAccessLog::RefusedNodes() const
{
  std::lock_guard<std::mutex> lock(mLock);
  return mNodes;
}

bool IsPermissionError(int error_I) { return error_I == EACCES || error_I == EPERM; }

bool RetryWhileRefused(const std::string& node_I, const CLinuxAccessLog* log_I, const std::function<bool()>& attempt_I)
{
  bool refused = attempt_I();
  if (!refused || !IsFreshNode(node_I) || (log_I != nullptr && log_I->WasRefused(node_I))) return refused;
  const uint64_t start = Clock().NowMs();
  while (refused && Clock().NowMs() - start < kFreshNodeGraceMs) {
    Pause(kFreshNodeRetryMs);
    refused = attempt_I();
  }
  return refused;
}

int OpenDeviceNode(const std::string& node_I, int flags_I, const CLinuxAccessLog* log_I)
{
  int fd = -1;
  int error = 0;
  RetryWhileRefused(node_I, log_I, [&] {
    fd = open(node_I.c_str(), flags_I);
    error = fd < 0 ? errno : 0;
    return fd < 0 && IsPermissionError(error);
  });
  errno = error;
  return fd;
}

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
