#include <gtest/gtest.h>

#include "linux/common/clinuxd2xxlibrary.h"
#include "linux/common/clinuxftdid2xx.h"
#include "tests/linux/linuxtesthelpers.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

// FTDI's own library, bound by name when it loads, is met on emulated USB (LinuxFtdiBridges); without it the
// calls go over libftdi1.
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
