#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "linux/common/clinuxterminalview.h"
#include "tests/linux/linuxtesthelpers.h"

using namespace orv;

// The terminal echoes ^C under the block: every Ctrl-C is answered at once on a line of its own, a refusal
// as often as it is asked (the block drawn anew over the echo) and an accepted one with the run's message.
TEST(LinuxTerminalCancel, EveryCtrlCIsAnsweredOnALineOfItsOwn)
{
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  FILE* const terminal = std::fopen(ptsname(master), "w");
  ASSERT_NE(terminal, nullptr);
  const std::string refused = "Cancel refused: a board is in or near loader mode. Please wait.\r\n";
  const std::string cancelled = "Orvel: Cancelled by the user; 1 of 2 boards were updated.\r\n";
  {
    const test::CScopedEnvironment term("TERM", "xterm");
    CLinuxTerminalView view(terminal, terminal);
    view.SetStatus(u"Updating.");
    view.EnableClose(false);
    for (int i = 0; i < 2; ++i) {
      raise(SIGINT);
      EXPECT_FALSE(view.TakeCancelRequest());
    }
    view.EnableClose(true);
    raise(SIGINT);
    EXPECT_TRUE(view.TakeCancelRequest());
    view.ShowMessage(u"Cancelled by the user; 1 of 2 boards were updated.", u"Orvel", EMESSAGEICON_INFORMATION);
  }
  std::fclose(terminal);
  std::string shown;
  pollfd ready{master, POLLIN, 0};
  char buffer[512];
  for (ssize_t count = 0; shown.find(cancelled) == std::string::npos && poll(&ready, 1, 2000) == 1 &&
                          (count = read(master, buffer, sizeof(buffer))) > 0;) {
    shown.append(buffer, static_cast<size_t>(count));
  }
  close(master);
  EXPECT_EQ(shown, "\x1b[JUpdating.\r\n" + std::string("\r\x1b[1A\x1b[JUpdating.\r\n") + refused +
                       "\r\x1b[2A\x1b[JUpdating.\r\n" + refused + "\r\x1b[2A\x1b[JUpdating.\r\n\r\x1b[K" + cancelled);
}
