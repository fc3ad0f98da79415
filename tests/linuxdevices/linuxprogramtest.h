// The whole Linux program, not a mock of it, in a copy of the demo package, against the emulated devices of a
// scenario.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/uistrings.h"
#include "common/textconversion.h"
#include "linux/common/clinuxpermissions.h"
#include "linux/common/clinuxterminalview.h"
#include "linux/fwupdater/clinuxapplication.h"
#include "tests/linux/linuxtesthelpers.h"
#include "tests/linuxdevices/linuxdevicetest.h"
#include "tests/testsupport/flashimages.h"
#include "tests/testsupport/testfiles.h"

namespace orv::test {

class CLinuxProgramTest : public CLinuxDeviceTest {
 protected:
  CLinuxProgramTest()
      : mPrevious(std::filesystem::current_path()),
        mTemp("TMPDIR", mDir.Path().string()),
        mRuntime("XDG_RUNTIME_DIR", mDir.Path().string()),
        mLanguage("LC_ALL", std::string("C"))
  {
    std::filesystem::copy(SourceDir() / "examples" / "demo", mDir.Path() / "demo");
    std::filesystem::current_path(mDir.Path() / "demo");
  }
  ~CLinuxProgramTest() override { std::filesystem::current_path(mPrevious); }

  int Run(const std::vector<std::string>& args_I, const std::string& input_I = "")
  {
    FILE* in = std::tmpfile();
    std::fputs(input_I.c_str(), in);
    std::rewind(in);
    const int code = RunLinuxApplication(args_I, in, mOut, mErr, (mDir.Path() / "machine.lock").string());
    std::fclose(in);
    return code;
  }

  std::string Out() { return Contents(mOut); }
  std::string Err() { return Contents(mErr); }
  std::string Log()
  {
    const std::string out = Out();
    const size_t start = out.rfind("log: ");
    if (start == std::string::npos) return "";
    return ReadText(out.substr(start + 5, out.find('\n', start) - start - 5));
  }
  static std::string English(uint16_t id_I) { return WideToUtf8(LoadResString(id_I, 9)); }
  // A message as the terminal shows an error.
  static std::string ErrorMessage(uint16_t id_I) { return CLinuxTerminalView::ErrorLine(English(id_I)); }

  void ExpectFlashed(const std::string& board_I, const std::string& file_I)
  {
    test::ExpectFlashed(file_I, SimFlash(*mPlatform, board_I));
  }

  CScratchDir mDir;
  std::filesystem::path mPrevious;
  CScopedEnvironment mTemp;
  // Locks of its own (the simulated runs' one and the devices' one): test programs run side by side.
  CScopedEnvironment mRuntime;
  CScopedEnvironment mLanguage;
  FILE* mOut = std::tmpfile();
  FILE* mErr = std::tmpfile();
};

}  // namespace orv::test
