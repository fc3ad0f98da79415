// The FTDI bridge's DLL bound by name: the test FTD2XX.dll next to this program stands in for the vendor's,
// with the simulated bridge, display and scaler behind its twelve functions.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/cclock.h"
#include "common/fwupdater/rtdisp.h"
#include "common/osd/i2cconnectorftdi.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/crecordingnotifier.h"
#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/testfiles.h"
#include "tests/win/devices/csimbridgedll.h"
#include "win/common/importwin32api.h"

using namespace orv;

namespace {

const char* const kFunctions[] = {"FT_OpenEx",        "FT_ListDevices",      "FT_Close",       "FT_Read",
                                  "FT_Write",         "FT_ResetDevice",      "FT_SetChars",    "FT_SetTimeouts",
                                  "FT_GetQueueStatus", "FT_SetLatencyTimer", "FT_SetBitMode", "FT_SetUSBParameters"};

std::filesystem::path ProgramFolder()
{
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  return std::filesystem::path(program).parent_path();
}

std::unique_ptr<sim::CSimPlatform> DefaultPlatform()
{
  std::string error;
  std::unique_ptr<sim::CSimPlatform> platform = sim::CSimPlatform::Create("default", error);
  EXPECT_TRUE(platform) << error;
  return platform;
}

class FtdiBinding : public ::testing::Test {
 protected:
  CVirtualClock mClock;
  CScopedClock mInstalled{mClock};
  std::unique_ptr<sim::CSimPlatform> mPlatform = DefaultPlatform();
  test::CSimBridgeDll mDll{mPlatform->D2XX()};
};

}  // namespace

// The DLL comes from the program's folder with all twelve functions; one in the current directory is never
// loaded, where a bare name would have taken it.
TEST_F(FtdiBinding, TheDllComesFromTheProgramsFolderOnly)
{
  CWinImportLibrary library(L"FTD2XX.dll");
  ASSERT_TRUE(library.Load());
  EXPECT_EQ(std::filesystem::path(library.LoadedFrom()), ProgramFolder() / "FTD2XX.dll");
  for (const char* function : kFunctions) EXPECT_NE(library.GetProc(function), nullptr) << function;

  test::CScratchDir dir;
  std::filesystem::copy_file(ProgramFolder() / "FTD2XX.dll", dir.Path() / "ftd2xx-planted.dll");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  EXPECT_FALSE(CWinImportLibrary(L"ftd2xx-planted.dll").Load());
  const HMODULE planted = LoadLibraryW(L"ftd2xx-planted.dll");
  EXPECT_NE(planted, nullptr);
  if (planted != nullptr) FreeLibrary(planted);
  std::filesystem::current_path(previous);
}

TEST_F(FtdiBinding, AScalerIsProgrammedThroughTheDll)
{
  auto d2xx = std::make_unique<CFTDIExAPI32>(std::make_unique<CWinImportLibrary>(L"FTD2XX.dll"));
  auto connector = std::make_shared<CI2CConnectorFTDI>(*d2xx);
  ASSERT_TRUE(connector->Open(0));
  EXPECT_EQ(connector->GetSerialNumber(0), "ORV16A0012345");
  test::CRecordingNotifier log;
  CScalarISP isp(connector, &log, false);
  const std::vector<uint8_t> image = test::PatternBytes(7, 2 * FLASH_UINT_SIZE);
  isp.LoadData(image);
  ASSERT_TRUE(isp.SerialFlashISPFlow()) << (log.mErrors.empty() ? "" : log.mErrors.front());
  EXPECT_EQ(mPlatform->Scaler()->isp->FlashBytes(0, static_cast<uint32_t>(image.size())), image);
  // The bridge and the scaler spent their time on this test's clock: two erases alone take 800 ms.
  EXPECT_GT(mClock.NowMs(), 800u);
  connector->Close();
}

TEST_F(FtdiBinding, WithoutTheDllTheBridgeCannotBeOpenedAndNothingElseFails)
{
  test::CDebugCapture capture;
  CFTDIExAPI32 d2xx(std::make_unique<CWinImportLibrary>(L"FTD2XX-absent.dll"));
  CI2CConnectorFTDI connector(d2xx);
  EXPECT_EQ(connector.OpenBridge(0), FT_INVALID_PARAMETER);
  EXPECT_FALSE(connector.IsOpen());
  EXPECT_EQ(capture.CountAsserts("m_pList"), 1u);
  // A quiet library reports nothing of its own; the member assertion is the one line.
  EXPECT_EQ(capture.CountAsserts("m_hDll"), 0u);
}
