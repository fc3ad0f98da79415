// The emulated-device tests run with umockdev's preload library loaded from the start: without it the
// program starts itself again with it, and with its testbeds on tmpfs, where tearing one down is cheap.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "linux/common/clinuxd2xxlibrary.h"

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

void Prepend(const char* name_I, const std::string& value_I, const char* separator_I)
{
  const char* previous = std::getenv(name_I);
  const std::string value = previous != nullptr && *previous != '\0' ? value_I + separator_I + previous : value_I;
  setenv(name_I, value.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv)
{
  if (dlopen(kPreload, RTLD_NOW | RTLD_NOLOAD) == nullptr) {
    Prepend("LD_PRELOAD", kPreload, ":");
    // The sanitizer runtime cannot come first in the preload list; it works all the same.
    Prepend("ASAN_OPTIONS", "verify_asan_link_order=0", ":");
    if (std::getenv("TMPDIR") == nullptr) setenv("TMPDIR", "/dev/shm", 1);
    execv("/proc/self/exe", argv);
    std::perror("cannot start again with umockdev");
    return 1;
  }
  // Adding a variable makes glibc move the environment and free the old one, which umockdev's thread may be
  // reading meanwhile (glib looks variables up there): the tests' own are made to exist now, before any
  // thread, so that setting them later only replaces a value. Empty is the same as unset to the program.
  for (const char* name : {"XDG_RUNTIME_DIR", "LC_ALL", orv::kD2XXLibraryVariable}) setenv(name, "", 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
