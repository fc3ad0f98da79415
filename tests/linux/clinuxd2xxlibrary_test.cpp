#include <dlfcn.h>
#include <gtest/gtest.h>

#include "common/cclock.h"
#include "linux/common/clinuxd2xxlibrary.h"
#include "linux/common/clinuxftdid2xx.h"
#include "sim/csimplatform.h"
#include "tests/linux/linuxtesthelpers.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

TEST(CLinuxD2XXLibrary, FtdisOwnLibraryIsBoundByNameWhenItLoads)
{
  CVirtualClock clock;
  const CScopedClock installed(clock);
  std::string error;
  const std::unique_ptr<sim::CSimPlatform> platform = sim::CSimPlatform::Create("default", error);
  ASSERT_TRUE(platform) << error;
  void* library = dlopen(ORVEL_FTD2XX_SIM, RTLD_NOW);
  ASSERT_NE(library, nullptr) << dlerror();
  reinterpret_cast<void (*)(CD2XX*)>(dlsym(library, "OrvelInstallD2XX"))(&platform->D2XX());

  const test::CScopedEnvironment named(kD2XXLibraryVariable, std::string(ORVEL_FTD2XX_SIM));
  const std::unique_ptr<CD2XX> binding = CreateLinuxD2XX(std::make_shared<CLinuxAccessLog>());
  ASSERT_NE(dynamic_cast<CLinuxFallbackD2XX*>(binding.get()), nullptr);
  // Whether it then opens the bridge depends on the bridges the machine's USB shows: the emulated devices'
  // tests cover both.
  dlclose(library);
}

TEST(CLinuxD2XXLibrary, WithoutItTheCallsGoOverLibftdi)
{
  const test::CDebugCapture debug;
  for (const char* name : {"none", "/nonexistent/libftd2xx.so"}) {
    const test::CScopedEnvironment named(kD2XXLibraryVariable, std::string(name));
    const std::unique_ptr<CD2XX> binding = CreateLinuxD2XX(std::make_shared<CLinuxAccessLog>());
    EXPECT_NE(dynamic_cast<CLinuxFtdiD2XX*>(binding.get()), nullptr) << name;
  }
  EXPECT_TRUE(debug.Lines().empty()) << "a missing library is no fault";
}
