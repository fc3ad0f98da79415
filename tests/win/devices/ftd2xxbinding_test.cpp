// The FTDI bridge's DLL bound by name: the test FTD2XX.dll next to this program stands in for the vendor's.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/testsupport/testfiles.h"
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

}  // namespace

// The DLL comes from the program's folder with all twelve functions; one in the current directory is never
// loaded, where a bare name would have taken it.
TEST(FtdiBinding, TheDllComesFromTheProgramsFolderOnly)
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
