// The whole Linux program, not a mock of it, in a copy of the demo package, against the emulated devices of a
// scenario.
#pragma once

#include <fstream>
#include <string>

#include "app/uistrings.h"
#include "common/textconversion.h"
#include "linux/common/clinuxpermissions.h"
#include "linux/common/clinuxterminalview.h"
#include "tests/linux/linuxtesthelpers.h"
#include "tests/linuxdevices/linuxdevicetest.h"
#include "tests/testsupport/flashimages.h"

namespace orv::test {

class CLinuxProgramTest : public CLinuxDeviceTest, public CLinuxProgramRuns {
 protected:
  using CLinuxProgramRuns::Run;
  static std::string English(uint16_t id_I) { return WideToUtf8(LoadResString(id_I, 9)); }
  // A message as the terminal shows an error.
  static std::string ErrorMessage(uint16_t id_I) { return CLinuxTerminalView::ErrorLine(English(id_I)); }

  void ExpectFlashed(const std::string& board_I, const std::string& file_I)
  {
    test::ExpectFlashed(file_I, SimFlash(*mPlatform, board_I));
  }
};

}  // namespace orv::test
