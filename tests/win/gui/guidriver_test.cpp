// OrvelFWUpdater.exe as a user sees it, driven from outside its process: the driver starts the program
// against simulated devices in a copy of the demo package, finds its windows by their titles, reads their
// texts, rectangles and progress, answers its dialogs, and takes screenshots of the real windows.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/uistrings.h"
#include "common/textconversion.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/flashimages.h"
#include "tests/testsupport/resultschema.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

constexpr DWORD kTimeoutMs = 120000;
constexpr int kUnnamed = -1;
constexpr const char* kSpeed = " -speed 10";

std::wstring W(const std::u16string& text_I) { return std::wstring(text_I.begin(), text_I.end()); }
std::wstring W(const std::string& text_I) { return W(Utf8ToWide(text_I)); }
std::string Utf8(const std::wstring& text_I) { return WideToUtf8(std::u16string(text_I.begin(), text_I.end())); }
std::wstring Text(uint16_t id_I, uint16_t langId_I = 9) { return W(LoadResString(id_I, langId_I)); }

// Waits, handling this thread's messages meanwhile (a window of ours may be asked to come forward).
bool WaitUntil(const std::function<bool()>& done_I, DWORD timeoutMs_I = kTimeoutMs)
{
  const DWORD start = GetTickCount();
  while (!done_I()) {
    if (GetTickCount() - start > timeoutMs_I) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(5);
  }
  return true;
}

// Lets the program paint, or a moment pass, while this thread's messages are handled.
void Pause(DWORD ms_I) { WaitUntil([] { return false; }, ms_I); }

std::wstring WindowText(HWND window_I)
{
  // The text may change between the two messages: one that grew meanwhile fills the room left for a longer
  // one, and is read again rather than taken cut short.
  for (;;) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window_I, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return L"?";
    std::wstring text(length + 2, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window_I, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        2000, &copied);
    if (copied > length) continue;
    text.resize(copied);
    return text;
  }
}

std::wstring ItemText(HWND dialog_I, int id_I) { return WindowText(GetDlgItem(dialog_I, id_I)); }

// The controls' texts are the strings of these ids in the language.
void ExpectTexts(HWND dialog_I, uint16_t langId_I, std::initializer_list<std::pair<int, uint16_t>> texts_I)
{
  for (const auto& [id, text] : texts_I) EXPECT_EQ(ItemText(dialog_I, id), Text(text, langId_I)) << langId_I << " " << id;
}

RECT WindowRect(HWND window_I)
{
  RECT rect{};
  GetWindowRect(window_I, &rect);
  return rect;
}

// A control's rectangle in its dialog's client coordinates.
RECT ClientRect(HWND dialog_I, int id_I)
{
  RECT rect = WindowRect(GetDlgItem(dialog_I, id_I));
  MapWindowPoints(nullptr, dialog_I, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

int Pos(HWND progress_I)
{
  DWORD_PTR position = 0;
  SendMessageTimeoutW(progress_I, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position);
  return static_cast<int>(position);
}

// How many boards a result file names as updated.
size_t UpdatedBoards(const std::string& json_I)
{
  size_t updated = 0;
  for (size_t at = json_I.find("\"updated\""); at != std::string::npos; at = json_I.find("\"updated\"", at + 1)) ++updated;
  return updated;
}

// One started copy of the program; ended by force only if a test left it running.
class CUpdater {
 public:
  static std::filesystem::path Program()
  {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path() / L"OrvelFWUpdater.exe";
  }

  // desktop_I: the window station and desktop to start it in ("station\\desktop"); empty for ours.
  CUpdater(const std::filesystem::path& dir_I, const std::string& arguments_I, const std::filesystem::path& exe = Program(),
           std::wstring desktop_I = {})
  {
    std::wstring line = L"\"" + exe.wstring() + L"\" " + W(arguments_I);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!desktop_I.empty()) startup.lpDesktop = desktop_I.data();
    PROCESS_INFORMATION process{};
    // Under load Wine now and then fails to start a process at once; the program itself is not yet involved.
    DWORD error = 0;
    for (int attempt = 0; attempt < 3 && !mStarted; ++attempt) {
      if (attempt > 0) Sleep(1000);
      mStarted = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_I.c_str(), &startup,
                                &process) != FALSE;
      if (!mStarted) error = GetLastError();
    }
    EXPECT_TRUE(mStarted) << "cannot start " << exe.string() << ": error " << error;
    if (!mStarted) return;
    CloseHandle(process.hThread);
    mProcess = process.hProcess;
    mPid = process.dwProcessId;
  }

  ~CUpdater()
  {
    if (mProcess == nullptr) return;
    if (WaitForSingleObject(mProcess, 0) == WAIT_TIMEOUT) {
      ADD_FAILURE() << "the program was still running";
      TerminateProcess(mProcess, 99);
      WaitForSingleObject(mProcess, 10000);
    }
    CloseHandle(mProcess);
  }

  bool Running() const { return mProcess != nullptr && WaitForSingleObject(mProcess, 0) == WAIT_TIMEOUT; }

  // The exit code once the program ended; 12345 when it did not in time.
  int ExitCode(DWORD timeoutMs_I = kTimeoutMs)
  {
    if (!WaitUntil([this] { return !Running(); }, timeoutMs_I)) return 12345;
    DWORD code = 12345;
    GetExitCodeProcess(mProcess, &code);
    return static_cast<int>(code);
  }

  // A visible window of this copy that accept_I takes; null when there is none.
  HWND Find(const std::function<bool(HWND)>& accept_I) const
  {
    for (HWND window = FindWindowExW(nullptr, nullptr, nullptr, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, nullptr, nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      if (pid == mPid && IsWindowVisible(window) && accept_I(window)) return window;
    }
    return nullptr;
  }

  // The hidden window of this copy's quiet run; null when there is none.
  HWND QuietWindow() const
  {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"OrvelFWUpdaterQuiet", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"OrvelFWUpdaterQuiet", nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      if (pid == mPid) return window;
    }
    return nullptr;
  }

  // A visible dialog of this copy with the title; null when there is none.
  HWND Dialog(const std::wstring& title_I, HWND other_than_I = nullptr) const
  {
    return Find([&](HWND window_I) {
      wchar_t name[64] = L"";
      GetClassNameW(window_I, name, 64);
      return window_I != other_than_I && std::wstring(name) == L"#32770" && WindowText(window_I) == title_I;
    });
  }

  HWND WaitForDialog(const std::wstring& title_I, HWND other_than_I = nullptr, DWORD timeoutMs_I = kTimeoutMs) const
  {
    HWND found = nullptr;
    WaitUntil([&] { return (found = Dialog(title_I, other_than_I)) != nullptr || !Running(); }, timeoutMs_I);
    return found;
  }

  // Waits for the copy to end, noting whether it ever showed a window meanwhile; eachLook_I runs at every look.
  bool ShowedAWindowBeforeItEnded(const std::function<void()>& eachLook_I = [] {})
  {
    bool window = false;
    WaitUntil([&] {
      window = window || Find([](HWND) { return true; }) != nullptr;
      eachLook_I();
      return !Running();
    });
    return window;
  }

 private:
  bool mStarted = false;
  HANDLE mProcess = nullptr;
  DWORD mPid = 0;
};

void Click(HWND dialog_I, int id_I)
{
  PostMessageW(dialog_I, WM_COMMAND, MAKEWPARAM(id_I, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog_I, id_I)));
}

// Windows' own test for a hung window, from a thread of its own: WM_NULL every 100 ms, and a count of the
// answers that took longer than a second. Windows ghosts a window after five; a second leaves room for a
// machine busy with other work and still catches a window thread that waits for a device or a worker.
class CHangProbe {
 public:
  explicit CHangProbe(HWND window_I)
      : mThread([this, window_I](std::stop_token stop_I) {
          while (!stop_I.stop_requested()) {
            DWORD_PTR ignored = 0;
            ++mSent;
            SetLastError(0);
            if (!SendMessageTimeoutW(window_I, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored) &&
                GetLastError() == ERROR_TIMEOUT) {
              ++mTimeouts;
            }
            Sleep(100);
          }
        })
  {
  }

  // Ends the probing (a joined thread); the counts stay.
  void Stop() { mThread = {}; }

  std::atomic<int> mSent{0};
  std::atomic<int> mTimeouts{0};

 private:
  std::jthread mThread;
};

// A copy of the demo package, a scenario that writes every board's flash, and the strings of one language.
class CWindowTest : public ::testing::Test {
 protected:
  CWindowTest()
  {
    std::filesystem::copy(test::SourceDir() / "examples" / "demo", mDir.Path() / "demo");
    mPackage = mDir.Path() / "demo";
    std::string scenario = sim::CSimPlatform::DefaultScenario();
    for (const std::string name : {"pen", "touch", "bluetooth", "scalar"}) {
      const std::string key = "\"name\": \"" + name + "\",";
      scenario.replace(scenario.find(key), key.size(), key + " \"flashOut\": \"" + name + ".flash\",");
    }
    Write("demo.scenario", scenario);
    // A pen board slow enough (50 ms a transfer, about a second at -speed 10) that a test that sees it
    // updating can still ask the window something while it is busy.
    const std::string pen = "\"name\": \"pen\",";
    scenario.replace(scenario.find(pen), pen.size(), pen + " \"transferMs\": 50,");
    Write("slowpen.scenario", scenario);
    // A pen board that drops off the bus after 40 transfers.
    std::string failing = sim::CSimPlatform::DefaultScenario();
    failing.replace(failing.find("\"writeSize\": 256"), 16, "\"writeSize\": 256, \"dropAfter\": 40");
    Write("failing.scenario", failing);
  }

  void Write(const std::string& name_I, const std::string& text_I) { std::ofstream(mPackage / name_I) << text_I; }

  std::wstring Title(uint16_t langId_I = 9) { return Text(EUISTRING_TITLE, langId_I) + L" 3.09"; }

  // The message box of a copy: caption string 2000; its text, then OK.
  std::wstring AnswerMessageBox(CUpdater& updater_I, uint16_t langId_I = 9, const std::string& screenshot_I = "",
                                HWND over_I = nullptr)
  {
    const HWND box = updater_I.WaitForDialog(Text(EUISTRING_TITLE, langId_I));
    if (box == nullptr) return L"(no message box)";
    const std::wstring text = ItemText(box, 0xFFFF);
    if (!screenshot_I.empty()) {
      Pause(300);  // let it paint
      RECT shown = WindowRect(box);
      const RECT over = over_I != nullptr ? WindowRect(over_I) : shown;
      UnionRect(&shown, &shown, &over);
      Shot(screenshot_I, shown);
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return text;
  }

  // A screenshot of the X display the Wine desktop lies on, cropped to a rectangle, by ImageMagick's import.
  void Shot(const std::string& name_I, RECT rect_I)
  {
    wchar_t dir[MAX_PATH] = L"";
    if (GetEnvironmentVariableW(L"ORVEL_SCREENSHOT_DIR", dir, MAX_PATH) == 0) return;
    const std::filesystem::path file = std::filesystem::path(dir) / (name_I + ".png");
    std::error_code error;
    std::filesystem::remove(file, error);
    const std::string unixPath = WideToUtf8(file.generic_u16string());
    char command[1024];
    std::snprintf(command, sizeof(command),
                  "/bin/sh -c \"import -window root -crop %ldx%ld+%ld+%ld +repage '%s.part.png' && mv '%s.part.png' '%s'\"",
                  rect_I.right - rect_I.left, rect_I.bottom - rect_I.top, rect_I.left, rect_I.top, unixPath.c_str(),
                  unixPath.c_str(), unixPath.c_str());
    std::wstring line = W(std::string(command));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    // Wine starts a Unix program given by its Unix path; its end cannot be waited for, its file can.
    ASSERT_TRUE(CreateProcessW(L"/bin/sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(file); }, 30000)) << name_I;
  }

  void FullUpdate(uint16_t langId_I, const std::string& language_I);
  void StressRun(std::mt19937& random_I, const std::string& speed_I);

  // Watches the status line (dots taken off) and the progress bar until a message box shows or the copy
  // ends; each change is handed to onChange_I. The statuses seen, in order, are kept in mStatuses.
  std::vector<int> Follow(CUpdater& updater_I, HWND main_I, uint16_t langId_I,
                          const std::function<void(const std::wstring&, int)>& onChange_I = {})
  {
    const std::wstring updating = Text(EUISTRING_UPDATING, langId_I);
    const std::wstring caption = Text(EUISTRING_TITLE, langId_I);
    std::vector<int> positions;
    mStatuses.clear();
    WaitUntil([&] {
      std::wstring text = WindowText(GetDlgItem(main_I, 1023));
      const int position = Pos(GetDlgItem(main_I, 1025));
      if (text.rfind(updating, 0) == 0 && text.size() > updating.size()) {
        EXPECT_LE(text.size() - updating.size(), 3u) << "one to three dots";
        EXPECT_EQ(text.find_first_not_of(L'.', updating.size()), std::wstring::npos);
        text = updating;
      }
      const bool changed = positions.empty() || positions.back() != position || mStatuses.empty() || mStatuses.back() != text;
      if (positions.empty() || positions.back() != position) positions.push_back(position);
      if (mStatuses.empty() || mStatuses.back() != text) mStatuses.push_back(text);
      if (changed && onChange_I) onChange_I(text, position);
      return updater_I.Dialog(caption) != nullptr || !updater_I.Running();
    });
    return positions;
  }

  std::vector<std::wstring> mStatuses;

  test::CScratchDir mDir;
  std::filesystem::path mPackage;
};

// The layout the main dialog takes for an automatic update, in pixels: the window centred on the desktop,
// the progress controls and the three warnings with their icons; everything else hidden.
void ExpectAutomaticLayout(HWND dialog_I)
{
  const RECT window = WindowRect(dialog_I);
  EXPECT_EQ(window.right - window.left, 413);
  EXPECT_EQ(window.bottom - window.top, 290);
  EXPECT_EQ(window.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 206);
  EXPECT_EQ(window.top, GetSystemMetrics(SM_CYSCREEN) / 2 - 145);
  const struct {
    int id;
    LONG x, y, width, height;
  } placed[] = {{1023, 7, 7, -1, -1},     {1025, 7, 35, -1, -1},    {1029, 0, 0, -1, -1},
                {1037, 105, 100, 270, 33}, {1038, 105, 147, 270, 33}, {kUnnamed, 105, 194, 270, 33},
                {1039, 61, 84, -1, -1},    {1042, 61, 132, -1, -1},   {1041, 61, 181, -1, -1}};
  for (const auto& control : placed) {
    const RECT rect = ClientRect(dialog_I, control.id);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog_I, control.id))) << control.id;
    EXPECT_EQ(rect.left, control.x) << control.id;
    EXPECT_EQ(rect.top, control.y) << control.id;
    if (control.width > 0) {
      EXPECT_EQ(rect.right - rect.left, control.width) << control.id;
      EXPECT_EQ(rect.bottom - rect.top, control.height) << control.id;
    }
  }
  RECT client{};
  GetClientRect(dialog_I, &client);
  EXPECT_LE(ClientRect(dialog_I, 1025).right, client.right);
  EXPECT_LE(ClientRect(dialog_I, kUnnamed).bottom, client.bottom);
  for (int id = 1001; id <= 1036; ++id) {
    if (id == 1023 || id == 1025 || id == 1029) continue;
    EXPECT_NE(GetDlgItem(dialog_I, id), nullptr) << id;
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog_I, id))) << id;
  }
}

// The demo package as an installer starts it, without options: the warning first, then all four boards of
// the pen display in the main window, and the success message.
void CWindowTest::FullUpdate(uint16_t langId_I, const std::string& language_I)
{
  const std::string lang = langId_I == 9 ? "" : " -lang " + language_I;
  CUpdater updater(mPackage, "-simulate slowpen.scenario -result result.json" + std::string(kSpeed) + lang);
  const HWND warning = updater.WaitForDialog(Title(langId_I));
  ASSERT_NE(warning, nullptr);
  ExpectTexts(warning, langId_I, {{1030, EUISTRING_UPDATE}, {1031, EUISTRING_CANCEL}, {kUnnamed, EUISTRING_WARNING_INTRO},
                                  {1032, EUISTRING_WARNING_POWER_STATE}, {1034, EUISTRING_WARNING_BUTTONS}});
  Pause(300);  // let it paint
  Shot("preupdate-" + language_I, WindowRect(warning));
  Click(warning, 1030);

  const HWND main = updater.WaitForDialog(Title(langId_I), warning);
  ASSERT_NE(main, nullptr);
  ExpectAutomaticLayout(main);
  ExpectTexts(main, langId_I, {{1037, EUISTRING_WARNING_POWER_STATE}, {1038, EUISTRING_WARNING_CABLES},
                               {kUnnamed, EUISTRING_WARNING_BUTTONS}});

  // Follow the status line and the progress bar until the success message; while a board is being
  // programmed, Cancel, closing and the end of the session are refused.
  bool triedCancel = false;
  bool screenshot = false;
  const std::vector<int> positions = Follow(updater, main, langId_I, [&](const std::wstring& status_I, int position_I) {
    if (status_I != Text(EUISTRING_UPDATING, langId_I)) return;
    if (!triedCancel) {
      triedCancel = true;
      PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
      PostMessageW(main, WM_CLOSE, 0, 0);
      DWORD_PTR answer = 1;
      EXPECT_TRUE(SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
      EXPECT_EQ(answer, 0u) << "the end of the session is refused while a board is busy";
    }
    if (!screenshot && position_I >= 60) {
      screenshot = true;
      Shot("update-" + language_I, WindowRect(main));
    }
  });
  ASSERT_TRUE(updater.Running());
  EXPECT_TRUE(IsWindow(main)) << "Cancel and Close were refused";
  EXPECT_TRUE(triedCancel);
  ASSERT_GE(positions.size(), 5u);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(Pos(GetDlgItem(main, 1025)), 100);
  // Nothing is in its loader any more: the session may end.
  DWORD_PTR answer = 0;
  EXPECT_TRUE(SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
  EXPECT_EQ(answer, 1u);
  EXPECT_EQ(AnswerMessageBox(updater, langId_I, "success-" + language_I, main), Text(EUISTRING_UPDATE_SUCCEEDED, langId_I));
  EXPECT_EQ(updater.ExitCode(), 0);
  test::ExpectDemoDisplayFlashed(mPackage, [this](const std::string& board_I) {
    return test::FileFlash(mPackage / (board_I + ".flash"));
  });
  // The result an installer reads: success, and each of the four boards updated.
  test::ExpectValidRunResult(mPackage / "result.json");
  const std::string json = test::ReadText(mPackage / "result.json");
  EXPECT_NE(json.find("\"success\""), std::string::npos) << json;
  EXPECT_EQ(UpdatedBoards(json), 4u) << json;
}

TEST_F(CWindowTest, TheDemoPackageUpdatesEveryBoardInTheWindow) { FullUpdate(9, "en"); }

TEST_F(CWindowTest, GermanShowsEveryTextInGerman) { FullUpdate(7, "de"); }

// The demo package's pen tablet: its pen board leaves the bus for its loader and comes back, so both waiting
// statuses show, in order. Its few kilobytes program within a tick or two, which a busy machine may not give
// the window: "Updating", where it shows, is between them.
TEST_F(CWindowTest, ATabletThatLeavesTheBusShowsEveryStatusInTurn)
{
  CUpdater updater(mPackage, "-simulate tablet_s.scenario -testpid 0101 -auto pen" + std::string(kSpeed));
  const HWND main = updater.WaitForDialog(Title());
  ASSERT_NE(main, nullptr);
  const std::vector<int> positions = Follow(updater, main, 9);
  std::vector<std::wstring> shown = mStatuses;
  if (!shown.empty() && shown.front().empty()) shown.erase(shown.begin());  // before the first tick
  const std::wstring loader = Text(EUISTRING_WAITING_FOR_LOADER), device = Text(EUISTRING_WAITING_FOR_DEVICE);
  const std::vector<std::wstring> full = {loader, Text(EUISTRING_UPDATING), device}, quick = {loader, device};
  std::wstring statuses;
  for (const std::wstring& status : shown) statuses += L"[" + status + L"] ";
  EXPECT_TRUE(shown == full || shown == quick) << Utf8(statuses);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(AnswerMessageBox(updater), Text(EUISTRING_UPDATE_SUCCEEDED));
  EXPECT_EQ(updater.ExitCode(), 0);
}

TEST_F(CWindowTest, TheWarningDeclinedByEnterOrClosingEndsWithTwoAndNoMainWindow)
{
  for (const bool enter : {true, false}) {
    CUpdater updater(mPackage, "-simulate default");
    const HWND warning = updater.WaitForDialog(Title());
    ASSERT_NE(warning, nullptr);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof(thread);
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(warning, nullptr), &thread));
    EXPECT_EQ(thread.hwndFocus, GetDlgItem(warning, 1031)) << "Cancel has the focus";
    if (enter) {
      PostMessageW(thread.hwndFocus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
      PostMessageW(thread.hwndFocus, WM_KEYUP, VK_RETURN, 0xC01C0001);
    } else {
      PostMessageW(warning, WM_CLOSE, 0, 0);
    }
    bool mainWindow = false;
    WaitUntil([&] {
      mainWindow = mainWindow || updater.Dialog(Title(), warning) != nullptr;
      return !updater.Running();
    });
    EXPECT_FALSE(mainWindow);
    EXPECT_EQ(updater.ExitCode(), 2);
  }
}

// The window of the running copy, minimized and behind another, is restored and becomes the foreground window.
TEST_F(CWindowTest, AWindowWithTheSameTitleIsBroughtForwardInstead)
{
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"OrvelTestWindow";
  RegisterClassW(&windowClass);
  const auto open = [](const wchar_t* title_I) {
    return CreateWindowExW(0, L"OrvelTestWindow", title_I, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
  };
  const HWND other = open(Title().c_str());
  ASSERT_NE(other, nullptr);
  ShowWindow(other, SW_MINIMIZE);
  const HWND front = open(L"Another program");
  SetForegroundWindow(front);
  WaitUntil([&] { return GetForegroundWindow() == front; }, 5000);
  ASSERT_EQ(GetForegroundWindow(), front);
  CUpdater updater(mPackage, "-simulate default -testpid 0210 -auto pen");
  EXPECT_FALSE(updater.ShowedAWindowBeforeItEnded());
  EXPECT_EQ(updater.ExitCode(), 1);
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other; }, 5000));
  EXPECT_FALSE(IsIconic(other));
  DestroyWindow(front);
  DestroyWindow(other);
}

// A run that cannot update ends with its message and 1: a board that fails; a machine without tablets (no
// -simulate: the machine's own devices); simulation options that do not serve.
TEST_F(CWindowTest, ARunThatCannotUpdateShowsWhyAndEndsWithOne)
{
  const std::pair<std::string, std::wstring> cases[] = {
      {"-simulate failing.scenario -testpid 0210 -auto pen" + std::string(kSpeed), Text(EUISTRING_UPDATE_FAILED)},
      {"-testpid 0210 -auto pen", Text(EUISTRING_ERROR_NO_TABLET)},
      {"-simulate nosuch.scenario", {}},  {"-simulate default -speed 0", {}},
      {"-speed 10 -auto pen", {}},        {"-auto pen -simulate", {}}};
  for (const auto& [arguments, expected] : cases) {
    CUpdater updater(mPackage, arguments);
    const std::wstring text = AnswerMessageBox(updater);
    EXPECT_NE(text, L"(no message box)") << arguments;
    EXPECT_FALSE(text.empty()) << arguments;
    if (!expected.empty()) {
      EXPECT_EQ(text, expected) << arguments;
    }
    EXPECT_EQ(updater.ExitCode(), 1) << arguments;
  }
}

// Wine reports an older Windows to a program named in its per-program settings.
TEST_F(CWindowTest, AnOlderWindowsIsRefusedWithItsMessage)
{
  const std::filesystem::path old = mPackage / "OldWindows.exe";
  std::filesystem::copy_file(CUpdater::Program(), old);
  const wchar_t* key = L"Software\\Wine\\AppDefaults\\OldWindows.exe";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Version", REG_SZ, L"winxp", sizeof(L"winxp")), ERROR_SUCCESS);
  CUpdater updater(mPackage, "-simulate default -testpid 0210 -auto pen", old);
  EXPECT_EQ(AnswerMessageBox(updater),
            L"This utility cannot be run on your operating system. Please consult the ReadMe for more information.");
  EXPECT_EQ(updater.ExitCode(), -1);
  RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

// Two boards of the pen display at the speed of real devices, the pause after each included (about 25 s):
// the window answers Windows' hang test every time.
TEST_F(CWindowTest, TheWindowAnswersAtOnceThroughAWholeRunAtRealSpeed)
{
  CUpdater updater(mPackage, "-simulate demo.scenario -testpid 0210 -auto pen,bluetooth");
  const HWND main = updater.WaitForDialog(Title());
  ASSERT_NE(main, nullptr);
  const DWORD start = GetTickCount();
  CHangProbe probe(main);
  EXPECT_EQ(AnswerMessageBox(updater), Text(EUISTRING_UPDATE_SUCCEEDED));
  probe.Stop();
  EXPECT_EQ(updater.ExitCode(), 0);
  EXPECT_GE(GetTickCount() - start, 20000u) << "two pauses of ten seconds";
  EXPECT_GT(probe.mSent, 100);
  EXPECT_EQ(probe.mTimeouts, 0);
}

// Logs older than shortly before this test program started are not read: the temp folder keeps every earlier
// run's, and reading hundreds of them on every poll made the tests miss the moments they wait for.
const std::filesystem::file_time_type kProgramStarted =
    std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1);

// The log in the temporary folder of the run whose command line holds the marker; empty while there is none.
std::filesystem::path LogOfRun(const std::string& marker_I)
{
  wchar_t temp[MAX_PATH + 1] = L"";
  GetTempPathW(MAX_PATH + 1, temp);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(temp, error)) {
    if (entry.path().filename().wstring().rfind(L"OrvelFWUpdater_", 0) != 0) continue;
    if (entry.last_write_time(error) < kProgramStarted) continue;
    if (test::ReadText(entry.path()).find(marker_I) != std::string::npos) return entry.path();
  }
  return {};
}

// Closing the window in the ten seconds after a board: the run ends at once, with its message, and the
// board counts as updated in the box, the result and the log alike.
TEST_F(CWindowTest, ClosingInThePauseBetweenBoardsEndsAtOnceWithItsMessage)
{
  const std::string result = "closed-" + std::to_string(GetTickCount()) + ".json";
  Write(result, "{\"meaning\": \"success\"}");
  CUpdater updater(mPackage, "-simulate demo.scenario -testpid 0210 -auto pen,touch -result " + result);
  const HWND main = updater.WaitForDialog(Title());
  ASSERT_NE(main, nullptr);
  EXPECT_FALSE(std::filesystem::exists(mPackage / result)) << "an earlier run's result stands while this one runs";
  std::filesystem::path log;
  ASSERT_TRUE(WaitUntil([&] {
    if (log.empty()) log = LogOfRun(result);
    return !log.empty() && test::ReadText(log).find("Device Update complete!") != std::string::npos;
  }));
  const DWORD closed = GetTickCount();
  PostMessageW(main, WM_CLOSE, 0, 0);
  const HWND box = updater.WaitForDialog(Text(EUISTRING_TITLE), nullptr, 5000);
  EXPECT_LT(GetTickCount() - closed, 3000u) << "not after the pause";
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(AnswerMessageBox(updater, 9, "cancelled-en", main), L"Cancelled by the user; 1 of 2 boards were updated.");
  EXPECT_EQ(updater.ExitCode(), 2);
  test::ExpectValidRunResult(mPackage / result);
  const std::string json = test::ReadText(mPackage / result);
  EXPECT_NE(json.find("{\"board\": \"pen\", \"outcome\": \"updated\""), std::string::npos) << json;
  EXPECT_NE(json.find("{\"board\": \"touch\", \"outcome\": \"not started\""), std::string::npos) << json;
  EXPECT_NE(test::ReadText(log).find("Finished: Cancelled by the user; 1 of 2 boards were updated.\nExit code: 2"),
            std::string::npos);
}

// Asked whether the session may end, the window agrees (within a moment: a board's worker lets go of it
// just after it logs its success).
bool AgreesToEndTheSession(HWND window_I)
{
  return WaitUntil([&] {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window_I, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer) && answer;
  }, 5000);
}

// Windows asks every program before it tells any whether the session ends, and another program may keep it
// waiting: a run that agreed must not start its next board meanwhile, or the board may be in its loader
// when the process is ended. A session that goes on after all lets the run finish.
TEST_F(CWindowTest, AfterAgreeingToTheSessionsEndTheNextBoardWaitsForTheVerdict)
{
  const std::string result = "held-" + std::to_string(GetTickCount()) + ".json";
  CUpdater updater(mPackage, "-simulate demo.scenario -testpid 0210 -auto pen,touch -result " + result + kSpeed);
  const HWND main = updater.WaitForDialog(Title());
  ASSERT_NE(main, nullptr);
  std::filesystem::path log;
  ASSERT_TRUE(WaitUntil([&] {
    if (log.empty()) log = LogOfRun(result);
    return !log.empty() && test::ReadText(log).find("Device Update complete!") != std::string::npos;
  }));
  ASSERT_TRUE(AgreesToEndTheSession(main));
  Pause(3000);  // three times the pause after a board at this speed
  EXPECT_EQ(test::ReadText(log).find("Switching Touch to Loader mode"), std::string::npos);
  DWORD_PTR answer = 0;
  EXPECT_TRUE(SendMessageTimeoutW(main, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer));
  EXPECT_EQ(AnswerMessageBox(updater), Text(EUISTRING_UPDATE_SUCCEEDED));
  EXPECT_EQ(updater.ExitCode(), 0);
}

// The user logs off while no board is busy: at the warning, or in the pause after the first board, quiet or
// not. Windows ends the process as soon as its window has answered WM_ENDSESSION, so by then the result and
// the log's last lines must tell what happened to each board, and no box may wait for a click.
TEST_F(CWindowTest, TheEndOfTheSessionIsRecordedBeforeTheWindowAnswers)
{
  const std::string inPause = "Cancelled by the user; 1 of 2 boards were updated.";
  const struct {
    std::string options;
    bool atWarning;
    std::string message;
  } cases[] = {{"-simulate demo.scenario", true, Utf8(Text(EUISTRING_CANCELLED_AT_WARNING))},
               {"-simulate demo.scenario -testpid 0210 -auto pen,touch", false, inPause},
               {"-quiet -simulate demo.scenario -testpid 0210 -auto pen,touch", false, inPause}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string result = "session-" + std::to_string(GetTickCount()) + ".json";
    CUpdater updater(mPackage, c.options + " -result " + result);
    HWND window = nullptr;
    std::filesystem::path log;
    ASSERT_TRUE(WaitUntil([&] {
      window = c.options.starts_with("-quiet") ? updater.QuietWindow() : updater.Dialog(Title());
      if (log.empty()) log = LogOfRun(result);
      return window != nullptr && !log.empty() &&
             (c.atWarning || test::ReadText(log).find("Device Update complete!") != std::string::npos);
    }));
    EXPECT_TRUE(AgreesToEndTheSession(window));
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer));
    if (!std::filesystem::exists(mPackage / result)) {
      ADD_FAILURE() << "no result when the window answered";
      continue;
    }
    test::ExpectValidRunResult(mPackage / result);
    const std::string json = test::ReadText(mPackage / result);
    EXPECT_NE(json.find("\"message\": \"" + c.message + "\""), std::string::npos) << json;
    EXPECT_EQ(UpdatedBoards(json), c.atWarning ? 0u : 1u) << json;
    EXPECT_NE(test::ReadText(log).find("Finished: " + c.message + "\nExit code: 2 (cancelled)\n"), std::string::npos);
    // Where the process outlives its answer, it ends by itself, without a box.
    bool box = false;
    WaitUntil([&] { return (box = box || updater.Dialog(Text(EUISTRING_TITLE)) != nullptr) || !updater.Running(); }, 30000);
    EXPECT_FALSE(box);
    EXPECT_EQ(updater.ExitCode(30000), 2);
  }
}

// The whole update at a high speed, left alone, cancelled, closed, or Esc and Alt+F4, at a
// random moment: it ends with its message box and exit code, and the box, the result file and the log's
// last lines tell the same outcome.
void CWindowTest::StressRun(std::mt19937& random_I, const std::string& speed_I)
{
  std::filesystem::remove(mPackage / "result.json");
  const int action = std::uniform_int_distribution<int>(0, 3)(random_I);
  const DWORD delayMs = std::uniform_int_distribution<DWORD>(0, 4000)(random_I);
  SCOPED_TRACE("action " + std::to_string(action) + " after " + std::to_string(delayMs) + " ms");
  CUpdater updater(mPackage, "-simulate demo.scenario -result result.json -speed " + speed_I);
  const HWND warning = updater.WaitForDialog(Title(), nullptr, 30000);
  ASSERT_NE(warning, nullptr);
  Click(warning, 1030);
  const HWND main = updater.WaitForDialog(Title(), warning, 30000);
  ASSERT_NE(main, nullptr);
  Pause(delayMs);
  if (action == 1 || action == 3) PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
  if (action == 2) PostMessageW(main, WM_CLOSE, 0, 0);
  if (action == 3) PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  const std::wstring box = AnswerMessageBox(updater);
  const int code = updater.ExitCode(30000);
  test::ExpectValidRunResult(mPackage / "result.json");
  const std::string json = test::ReadText(mPackage / "result.json");
  const size_t updated = UpdatedBoards(json);
  const size_t logAt = json.find("\"log\": \"") + 8;
  std::string logPath = json.substr(logAt, json.find('"', logAt) - logAt);
  for (size_t at = logPath.find("\\\\"); at != std::string::npos; at = logPath.find("\\\\", at + 1)) logPath.erase(at, 1);
  const std::string log = test::ReadText(std::filesystem::path(W(logPath)));
  if (box == Text(EUISTRING_UPDATE_SUCCEEDED)) {
    EXPECT_EQ(code, 0);
    EXPECT_EQ(updated, 4u) << json;
    EXPECT_NE(log.find("Exit code: 0 (success)\n"), std::string::npos) << logPath;
    return;
  }
  ASSERT_NE(action, 0) << "a run left alone succeeds: " << Utf8(box);
  const std::string finished = "Cancelled by the user; " + std::to_string(updated) + " of 4 boards were updated.";
  EXPECT_EQ(Utf8(box), finished) << json;
  EXPECT_EQ(code, 2);
  EXPECT_NE(json.find("\"message\": \"" + finished + "\""), std::string::npos) << json;
  EXPECT_NE(log.find("Finished: " + finished + "\nExit code: 2 (cancelled)\n"), std::string::npos) << logPath;
}

// ORVEL_GUI_STRESS_RUNS runs (5 unless set; tests/win/gui/run-stress sets 100) at ORVEL_GUI_STRESS_SPEED
// (100 unless set).
TEST_F(CWindowTest, TheWholeUpdateEndsWithItsMessageHoweverItIsCancelledOrClosed)
{
  const char* runs = std::getenv("ORVEL_GUI_STRESS_RUNS");
  const int count = runs != nullptr ? std::atoi(runs) : 5;
  const char* speed = std::getenv("ORVEL_GUI_STRESS_SPEED");
  const unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  for (int run = 0; run < count && !HasFatalFailure() && !HasFailure(); ++run) {
    SCOPED_TRACE("run " + std::to_string(run) + " of seed " + std::to_string(seed));
    StressRun(random, speed != nullptr ? speed : "100");
  }
}

#include "tests/win/gui/languages_test.inc"
#include "tests/win/gui/quiet_test.inc"

}  // namespace

int main(int argc, char** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  // Started inside a Wine desktop, the exit code does not reach the caller: the result file does.
  wchar_t file[MAX_PATH] = L"";
  if (GetEnvironmentVariableW(L"ORVEL_GUI_RESULT", file, MAX_PATH) > 0) std::ofstream(std::filesystem::path(file)) << result;
  return result;
}
