// The Windows process ports against the system calls they make.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "common/cclock.h"
#include "common/fwupdater/clogupdatenotifier.h"
#include "common/fwupdater/cupdatecontroller.h"
#include "tests/testsupport/testfiles.h"
#include "win/common/languageprovider.h"
#include "win/common/winprocessservices.h"

using namespace orv;

TEST(WinSingleInstance, OneCopyHoldsTheMutexUntilItEnds)
{
  const std::string name = "OFWUMutexTest" + std::to_string(GetCurrentProcessId());
  {
    CWinSingleInstance first(name);
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.Acquire());
    CWinSingleInstance second(name);
    EXPECT_FALSE(second.Acquire());
  }
  CWinSingleInstance later(name);
  EXPECT_TRUE(later.Acquire());
  // A name another kind of object took cannot be had either: no copy could tell it runs alone.
  const std::string taken = name + "Event";
  const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, taken.c_str());
  ASSERT_NE(event, nullptr);
  CWinSingleInstance clash(taken);
  EXPECT_FALSE(clash.Acquire());
  CloseHandle(event);
}

TEST(WinNamedEvents, AnExistingEventIsSetAndGivenASecondAnAbsentOneCostsNothing)
{
  test::CInstalledVirtualClock clock;
  CUpdateController controller;
  controller.SetNamedEvents(std::make_shared<CWinNamedEvents>());
  EXPECT_FALSE(controller.SignalStopEvent());
  EXPECT_FALSE(controller.SignalStartEvent());
  EXPECT_TRUE(clock.Pauses().empty());

  for (const char* name : {"Global\\OrvelProStopEvent", "Global\\OrvelProStartEvent"}) {
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
    ASSERT_NE(event, nullptr) << name;
    clock.ClearPauses();
    EXPECT_TRUE(std::string(name).find("Stop") != std::string::npos ? controller.SignalStopEvent()
                                                                     : controller.SignalStartEvent());
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << name;
    EXPECT_EQ(clock.Pauses(), std::vector<uint32_t>{CWinNamedEvents::kSettleMs});
    CloseHandle(event);
  }
}

TEST(WinTemporaryDirectory, FollowsTmpAndTakesTheLogEvenUnderANonAsciiName)
{
  test::CScratchDir dir;
  const std::filesystem::path unusual = dir.Path() / std::filesystem::u8path("J\xC3\xBCrgen \xE6\x97\xA5\xE6\x9C\xAC");
  std::filesystem::create_directories(unusual);
  wchar_t previous[MAX_PATH + 1] = L"";
  const bool hadTmp = GetEnvironmentVariableW(L"TMP", previous, MAX_PATH + 1) > 0;
  SetEnvironmentVariableW(L"TMP", unusual.c_str());
  const std::string temp = WinTemporaryDirectory();
  SetEnvironmentVariableW(L"TMP", hadTmp ? previous : nullptr);
  EXPECT_EQ(std::filesystem::u8path(temp), unusual / "");

  const std::tm now = WinLocalTime();
  EXPECT_GE(now.tm_year + 1900, 2024);
  CLogUpdateNotifier notifier(temp, now);
  notifier.Log("one line");
  const std::filesystem::path log = std::filesystem::u8path(notifier.GetLogPath());
  EXPECT_EQ(log.parent_path(), unusual);
  EXPECT_EQ(log.filename().string(), CLogUpdateNotifier::LogFileName(now));
  EXPECT_TRUE(std::filesystem::exists(log));
}

// The user's languages as the system reports them: its UI language when it has one, and its locale.
TEST(WinUserLanguage, AreTheSystemsUiLanguageAndLocale)
{
  const CWinUserLanguage user;
  EXPECT_EQ(user.UILangId(), GetUserDefaultUILanguage());
  EXPECT_EQ(user.Lcid(), GetUserDefaultLCID());
}

// The system keeps its own record of the last request; reading it back sets it to "nothing held".
TEST(WinKeepAwake, HoldsSystemAndDisplayWhileBusyAndLetsGoAfterwards)
{
  CWinKeepAwake keepAwake;
  keepAwake.SetKeepAwake(true);
  const EXECUTION_STATE held = SetThreadExecutionState(ES_CONTINUOUS);
  EXPECT_EQ(held & (ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED),
            static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED));
  keepAwake.SetKeepAwake(true);
  keepAwake.SetKeepAwake(false);
  EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS) & (ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED), 0u);
}

// A debugger's view of OutputDebugStringA: the shared buffer and its two events.
TEST(WinDebugOutput, TheAssertionReportReachesTheDebugger)
{
  const HANDLE bufferReady = CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY");
  const HANDLE dataReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
  const HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
  ASSERT_TRUE(bufferReady != nullptr && dataReady != nullptr && mapping != nullptr);
  const auto* buffer = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4096));
  ASSERT_NE(buffer, nullptr);
  InstallWinDebugOutput();
  AssertReport("the expected condition", "win/somewhere", 42);
  SetDebugOutput(nullptr);
  ASSERT_EQ(WaitForSingleObject(dataReady, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(*reinterpret_cast<const DWORD*>(buffer), GetCurrentProcessId());
  EXPECT_EQ(std::string(buffer + sizeof(DWORD), strnlen(buffer + sizeof(DWORD), 4096 - sizeof(DWORD))),
            "Assert:(the expected condition) in win/somewhere at 42\n");
  UnmapViewOfFile(buffer);
  for (const HANDLE handle : {bufferReady, dataReady, mapping}) CloseHandle(handle);
}
