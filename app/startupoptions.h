// The start-up options: the device to update (by interface path or by test product ids), the display's
// serial number and bridge port for a scaler update, the boards to update in order, and the UI language.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

struct StartupOptions {
  std::u16string path;
  std::u16string serial;
  uint16_t port = 65535;
  std::u16string testPids;
  std::u16string autoUpdate;
  std::u16string lang;
};

// Splits the command line at every blank (no quoting); "-path", "-serial", "-port", "-testpid", "-auto" and
// "-lang" take the token after them.
StartupOptions ParseCommandLine(const std::u16string& commandLine_I);

// Without a path or test product ids, takes "auto" and "product" from the file (both, or neither) and
// forgets serial and port.
void ReadAutoConfig(StartupOptions& options_IO, const std::string& file_I = "autoconfig.ini");

}  // namespace orv
