// The start-up options: the device to update (by interface path or by test product ids), the display's
// serial number and bridge port for a scaler update, the boards to update in order, and the UI language.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

struct StartupOptions {
  std::u16string path;
  std::u16string serial;
  uint16_t port = 65535;
  std::u16string testPids;
  std::u16string autoUpdate;
  std::u16string lang;
  // Where the run's result goes as JSON ("-result"); empty for none.
  std::u16string resultFile;
  // "-y": the pre-update warning is accepted without being shown, for scripts and fleet tools.
  bool acceptWarning = false;
  // "-quiet": no window and no question at all; every message goes to the log. Accepts the pre-update warning.
  bool quiet = false;
  // Where every transfer with the attached devices is recorded ("-record"); empty for none.
  std::u16string recordFile;
};

// The board names of the automatic update list, in the order of their update types.
inline constexpr const char* kBoardNames[] = {"pen", "touch", "bluetooth", "scalar"};

// Splits the command line at every blank outside double quotes, which it drops; "-path", "-serial", "-port",
// "-testpid", "-auto", "-lang", "-result" and "-record" take the token after them, "-y" and "-quiet" take none.
// "-path" takes a device path as "--list" shows it, with or without its "\\?\" prefix; in an interface path "+"
// stands for "&", which a command line cannot carry unquoted, and a device node ("/dev/hidraw3") stands as it is.
StartupOptions ParseCommandLine(const std::u16string& commandLine_I);
// The same for arguments the system has split already (a program's argument vector): each is one token, blanks
// and all.
StartupOptions ParseArguments(const std::vector<std::u16string>& tokens_I);

// What ParseCommandLine passes over without a word: unknown options and stray tokens, an option without its
// value, a port that is not a number. One line each, naming the token; an installer may pass more than we
// know, so none of them stops the run.
std::vector<std::string> CommandLineWarnings(const std::u16string& commandLine_I);
std::vector<std::string> ArgumentWarnings(const std::vector<std::u16string>& tokens_I);

// Why the options cannot start an update, before anything is touched: a board name that is not one of
// kBoardNames (an empty entry included), a test product id that is not hexadecimal. Empty when they can.
std::string OptionsProblem(const StartupOptions& options_I);

// Without a path or test product ids, takes "auto" and "product" from the file (both, or neither) and
// forgets serial and port.
void ReadAutoConfig(StartupOptions& options_IO, const std::string& file_I = "autoconfig.ini");

}  // namespace orv
