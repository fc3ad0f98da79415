#include "tests/linuxdevices/emulatedudev.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/cclock.h"

namespace {

constexpr const char* kUdevData = "/run/udev/data/";
// Where the testbed keeps that the monitor sockets overflowed, or are full, until a receive finds it.
constexpr const char* kOverflowMark = "/overflowed";
constexpr const char* kFullMark = "/full";
constexpr size_t kMaxUevent = 65536;

std::string Testbed()
{
  const char* root = std::getenv("UMOCKDEV_DIR");
  return root == nullptr ? std::string() : root;
}

// The monitor sockets umockdev makes are Unix sockets named "event<fd>" in the testbed; udev's side of them
// (umockdev's) is connected to that name.
bool IsMonitorSocket(int fd_I, bool udevSide_I = false)
{
  sockaddr_un address{};
  socklen_t length = sizeof(address);
  auto* name = reinterpret_cast<sockaddr*>(&address);
  if (Testbed().empty() || (udevSide_I ? getpeername(fd_I, name, &length) : getsockname(fd_I, name, &length)) != 0 ||
      address.sun_family != AF_UNIX) {
    return false;
  }
  const std::string prefix = Testbed() + "/event";
  return std::strncmp(address.sun_path, prefix.c_str(), prefix.size()) == 0;
}

bool Marked(const char* mark_I) { return access((Testbed() + mark_I).c_str(), F_OK) == 0; }

// What an overflowing socket held is lost.
void DropQueued(int fd_I)
{
  std::vector<char> scratch(kMaxUevent);
  while (syscall(SYS_recvfrom, fd_I, scratch.data(), scratch.size(), MSG_DONTWAIT, nullptr, nullptr) >= 0) {
  }
}

}  // namespace

// libudev's reads of the database and of the monitor socket pass here first.
extern "C" FILE* fopen64(const char* path_I, const char* mode_I)
{
  using Open = FILE* (*)(const char*, const char*);
  static const Open next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "fopen64"));
  if (Testbed().empty() || path_I == nullptr || std::strncmp(path_I, kUdevData, std::strlen(kUdevData)) != 0) {
    return next(path_I, mode_I);
  }
  return next((Testbed() + path_I).c_str(), mode_I);
}

extern "C" ssize_t recvmsg(int fd_I, msghdr* message_IO, int flags_I)
{
  using Receive = ssize_t (*)(int, msghdr*, int);
  static const Receive next = reinterpret_cast<Receive>(dlsym(RTLD_NEXT, "recvmsg"));
  const bool overflowed = IsMonitorSocket(fd_I) && unlink((Testbed() + kOverflowMark).c_str()) == 0;
  if (overflowed) DropQueued(fd_I);
  if (overflowed || (IsMonitorSocket(fd_I) && unlink((Testbed() + kFullMark).c_str()) == 0)) {
    errno = ENOBUFS;
    return -1;
  }
  return next(fd_I, message_IO, flags_I);
}

// What udev tells a full monitor socket is lost.
extern "C" ssize_t sendmsg(int fd_I, const msghdr* message_I, int flags_I)
{
  using Send = ssize_t (*)(int, const msghdr*, int);
  static const Send next = reinterpret_cast<Send>(dlsym(RTLD_NEXT, "sendmsg"));
  if (!Marked(kFullMark) || !IsMonitorSocket(fd_I, true)) return next(fd_I, message_I, flags_I);
  ssize_t length = 0;
  for (size_t i = 0; i < message_I->msg_iovlen; ++i) length += static_cast<ssize_t>(message_I->msg_iov[i].iov_len);
  return length;
}

namespace orv::test {

std::string CEmulatedUdev::AddUnfinished(const std::string& subsystem_I, const std::string& name_I,
                                         const std::string& parent_I, const std::string& node_I, unsigned major_I,
                                         unsigned minor_I, IoctlHandler handler_I, std::vector<std::string> properties_I)
{
  mBed.CreateNode(node_I, std::move(handler_I));
  mBed.Chmod(node_I, 0600);
  const std::string major = std::to_string(major_I);
  const std::string minor = std::to_string(minor_I);
  properties_I.insert(properties_I.end(), {"DEVNAME", node_I, "MAJOR", major, "MINOR", minor});
  const std::string syspath = mBed.Add(subsystem_I, name_I, parent_I, {"dev", major + ":" + minor}, properties_I);
  std::lock_guard<std::mutex> lock(mLock);
  mUnfinished.push_back({syspath, node_I, "c" + major + ":" + minor});
  return syspath;
}

void CEmulatedUdev::Finish(const std::string& syspath_I)
{
  SUnfinished device;
  {
    std::lock_guard<std::mutex> lock(mLock);
    const auto found = std::find_if(mUnfinished.begin(), mUnfinished.end(),
                                    [&syspath_I](const SUnfinished& device_I) { return device_I.syspath == syspath_I; });
    if (found == mUnfinished.end()) return;
    device = *found;
    mUnfinished.erase(found);
  }
  const std::string directory = Testbed() + kUdevData;
  std::filesystem::create_directories(directory);
  std::ofstream(directory + device.id) << "I:" << Clock().NowMs() * 1000 << "\n";
  mBed.Chmod(device.node, 0666);
  mBed.Uevent(device.syspath, "add");
}

void CEmulatedUdev::GrantAt(const std::string& node_I, uint64_t atMs_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  mGrants.push_back({node_I, atMs_I});
}

void CEmulatedUdev::Pump()
{
  std::lock_guard<std::mutex> lock(mLock);
  std::erase_if(mGrants, [this](const SGrant& grant_I) {
    if (Clock().NowMs() < grant_I.atMs) return false;
    mBed.Chmod(grant_I.node, 0666);
    return true;
  });
}

void CEmulatedUdev::Overflow() { std::ofstream(Testbed() + kOverflowMark).put('\n'); }

void CEmulatedUdev::Fill() { std::ofstream(Testbed() + kFullMark).put('\n'); }

}  // namespace orv::test
