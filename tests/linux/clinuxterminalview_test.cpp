#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "app/boardprogress.h"
#include "linux/common/clinuxterminalview.h"
#include "tests/linux/linuxtesthelpers.h"

using namespace orv;

namespace {

using CFile = std::unique_ptr<FILE, int (*)(FILE*)>;

CFile TempFile() { return CFile(std::tmpfile(), &std::fclose); }

// What a view on a pseudo-terminal shows while use_I drives it, read until it shows last_I.
std::string ShownOnTerminal(const std::function<void(CLinuxTerminalView&)>& use_I, const std::string& last_I)
{
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "no pseudo-terminal";
  const CFile terminal(std::fopen(ptsname(master), "w"), &std::fclose);
  if (terminal) {
    const test::CScopedEnvironment term("TERM", "xterm");
    CLinuxTerminalView view(terminal.get(), terminal.get());
    use_I(view);
  }
  std::string shown;
  pollfd ready{master, POLLIN, 0};
  char buffer[512];
  for (ssize_t count = 0; shown.find(last_I) == std::string::npos && poll(&ready, 1, 2000) == 1 &&
                          (count = read(master, buffer, sizeof(buffer))) > 0;) {
    shown.append(buffer, static_cast<size_t>(count));
  }
  close(master);
  return shown;
}

// Whether the signal made a cancel request the view takes.
bool Requests(CLinuxTerminalView& view_IO, int signal_I)
{
  raise(signal_I);
  return view_IO.TakeCancelRequest();
}

void ExpectStopsIgnored(bool ignored_I)
{
  for (const int signal : {SIGTSTP, SIGTTIN, SIGTTOU}) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    EXPECT_EQ(current.sa_handler == SIG_IGN, ignored_I) << signal;
  }
}

}  // namespace

// Off a terminal every change is one plain line; close signals request a cancel unless refused while busy.
TEST(LinuxTerminalView, PlainOutputAndCloseRequests)
{
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction hangUp {};
  sigaction(SIGHUP, &ignore, &hangUp);
  const CFile out = TempFile();
  const CFile err = TempFile();
  {
    CLinuxTerminalView view(out.get(), err.get());
    EXPECT_FALSE(view.IsTerminal());
    for (int i = 0; i < 2; ++i) view.SetTitle(u"Orvel Firmware Update Utility 3.09");
    view.ShowProgressLayout({u"Do not sleep", u"Do not unplug", u"Hände weg"});
    for (const char16_t* status : {u"Waiting", u"Waiting", u"Updating..", u"Updating...", u"Updating."}) {
      view.SetStatus(status);
    }
    view.SetProgress(45);
    view.SetBoardProgress(EstimateBoardProgress(u"touch", 0, 2, 90, 9000, {{3072}}));
    for (const int32_t percent : {45, 50, 250}) view.SetProgress(percent);
    EXPECT_TRUE(Requests(view, SIGINT));
    EXPECT_FALSE(view.TakeCancelRequest());
    view.EnableClose(false);
    EXPECT_FALSE(Requests(view, SIGTERM));
    // Ctrl-\ and Ctrl-Z neither end nor stop a run with a board in its loader.
    ExpectStopsIgnored(true);
    EXPECT_FALSE(Requests(view, SIGQUIT));
    view.EnableClose(true);
    ExpectStopsIgnored(false);
    EXPECT_TRUE(Requests(view, SIGQUIT));
    EXPECT_FALSE(Requests(view, SIGHUP)) << "ignored before (nohup), so it stays ignored";
    EXPECT_TRUE(Requests(view, SIGTERM));
    view.ShowMessage(u"Firmware was successfully updated.", u"Orvel", EMESSAGEICON_INFORMATION);
    view.ShowMessage(u"Error: Invalid state.", u"Orvel", EMESSAGEICON_ERROR);
  }
  struct sigaction restored {};
  sigaction(SIGHUP, &hangUp, &restored);
  EXPECT_EQ(restored.sa_handler, SIG_IGN);
  EXPECT_EQ(test::Contents(out.get()),
            "Orvel Firmware Update Utility 3.09\n! Do not sleep\n! Do not unplug\n! Hände weg\n"
            "Waiting\nUpdating\nStatus: 45%\nStatus: 45% touch\nStatus: 50% touch\nStatus: 100% touch\n"
            "Cancel refused: a board is in or near loader mode. Please wait.\n"
            "Cancel refused: a board is in or near loader mode. Please wait.\n"
            "Orvel: Firmware was successfully updated.\n");
  EXPECT_EQ(test::Contents(err.get()), "error: Invalid state.\n");
  // A request no one took under an earlier guard is not one for the next run.
  {
    const CLinuxInterruptGuard earlier;
    raise(SIGINT);
  }
  const CLinuxInterruptGuard next;
  EXPECT_FALSE(CLinuxInterruptGuard::TakeRequest());
}

// After the pre-update prompt a plain log does not repeat the title and the warnings it showed.
TEST(LinuxTerminalView, AfterThePromptThePlainLogDoesNotRepeatItsIntroduction)
{
  const CFile out = TempFile();
  {
    CLinuxTerminalView view(out.get(), out.get(), true);
    view.SetTitle(u"Orvel Firmware Update Utility 3.09");
    view.ShowProgressLayout({u"Do not sleep", u"Do not unplug", u"Hands off"});
    view.SetStatus(u"Waiting");
  }
  EXPECT_EQ(test::Contents(out.get()), "Waiting\n");
}

TEST(LinuxTerminalView, ProgressDetailsAndErrorLines)
{
  // Half of the second board's 3072 bytes in 12 s of transfers: as long again for the other half.
  const SRunTiming timing{{0, 3072, 0}, 0, 12000};
  EXPECT_EQ(CLinuxTerminalView::ProgressDetails(EstimateBoardProgress(u"touch", 1, 3, 50, 12000, timing)),
            "touch, board 2 of 3: 1536 of 3072 bytes, 0:12 elapsed, about 0:12 left");
  EXPECT_EQ(CLinuxTerminalView::ProgressDetails(EstimateBoardProgress(u"scalar", 0, 1, 0, 500, {})),
            "scalar, board 1 of 1: 0:00 elapsed");
  EXPECT_EQ(CLinuxTerminalView::ProgressDetails(EstimateBoardProgress(u"touch", 1, 3, 50, 12000, timing), 17),
            "touch、ボード 2/3: 1536/3072 バイト, 経過 0:12, 残り約 0:12");
  EXPECT_EQ(CLinuxTerminalView::ErrorLine("Error: No supported tablet is connected."),
            "error: No supported tablet is connected.");
  EXPECT_EQ(CLinuxTerminalView::ErrorLine("Erreur : aucune tablette"), "error: aucune tablette");
  EXPECT_EQ(CLinuxTerminalView::ErrorLine("Firmware failed to update. Please reattach: now"),
            "error: Firmware failed to update. Please reattach: now");
}

TEST(LinuxTerminalView, TerminalRedrawsTheBlockInPlace)
{
  const std::string shown = ShownOnTerminal(
      [](CLinuxTerminalView& view_IO) {
        ASSERT_TRUE(view_IO.IsTerminal());
        view_IO.SetTitle(u"Title");
        view_IO.SetStatus(u"Updating.");
        view_IO.SetStatus(u"Updating..");
        // A warning stays on the screen: the block is drawn anew below it, not over it.
        view_IO.ShowWarning("not kept awake");
        view_IO.SetStatus(u"Updating...");
      },
      "Updating...\r\n");
  EXPECT_EQ(shown, "\x1b[JTitle\r\n\r\x1b[1A\x1b[JTitle\r\nUpdating.\r\n\r\x1b[2A\x1b[JTitle\r\nUpdating..\r\n"
                   "warning: not kept awake\r\n\x1b[JTitle\r\nUpdating...\r\n");
}

// The terminal echoes ^C under the block: every Ctrl-C is answered at once on a line of its own, a refusal
// as often as it is asked (the block drawn anew over the echo) and an accepted one with the run's message.
TEST(LinuxTerminalView, EveryCtrlCIsAnsweredOnALineOfItsOwn)
{
  const std::string refused = "Cancel refused: a board is in or near loader mode. Please wait.\r\n";
  const std::string cancelled = "Orvel: Cancelled by the user; 1 of 2 boards were updated.\r\n";
  const std::string shown = ShownOnTerminal(
      [](CLinuxTerminalView& view_IO) {
        view_IO.SetStatus(u"Updating.");
        view_IO.EnableClose(false);
        for (int i = 0; i < 2; ++i) EXPECT_FALSE(Requests(view_IO, SIGINT));
        view_IO.EnableClose(true);
        EXPECT_TRUE(Requests(view_IO, SIGINT));
        view_IO.ShowMessage(u"Cancelled by the user; 1 of 2 boards were updated.", u"Orvel", EMESSAGEICON_INFORMATION);
      },
      cancelled);
  EXPECT_EQ(shown, "\x1b[JUpdating.\r\n" + std::string("\r\x1b[1A\x1b[JUpdating.\r\n") + refused +
                       "\r\x1b[2A\x1b[JUpdating.\r\n" + refused + "\r\x1b[2A\x1b[JUpdating.\r\n\r\x1b[K" + cancelled);
}
