#include "app/startupoptions.h"

#include <algorithm>

#include "common/settings/csettingsmap.h"
#include "common/stringutilities.h"
#include "common/textconversion.h"

namespace orv {
namespace {

// The "-path" value is a device interface path without its "\\?\" prefix; "+" stands for "&", which a
// command line cannot carry unquoted.
std::u16string DevicePath(const std::u16string& value_I)
{
  std::u16string path = u"\\\\?\\" + value_I;
  std::replace(path.begin(), path.end(), u'+', u'&');
  return path;
}

// A decimal number read the way a stream reads an unsigned 16-bit value: leading blanks skipped, digits up to
// the first other character; nothing readable or out of range leaves the port unchanged.
void ReadPort(const std::u16string& value_I, uint16_t& port_IO)
{
  size_t pos = 0;
  while (pos < value_I.size() && (value_I[pos] == u' ' || value_I[pos] == u'\t')) ++pos;
  uint32_t number = 0;
  size_t digits = 0;
  for (; pos < value_I.size() && value_I[pos] >= u'0' && value_I[pos] <= u'9'; ++pos, ++digits) {
    number = number * 10 + static_cast<uint32_t>(value_I[pos] - u'0');
    if (number > 65535) return;
  }
  if (digits > 0) port_IO = static_cast<uint16_t>(number);
}

}  // namespace

StartupOptions ParseCommandLine(const std::u16string& commandLine_I)
{
  StartupOptions options;
  std::u16string line = commandLine_I;
  Trim(line);
  // Every blank ends a token, so two blanks in a row make an empty one.
  std::vector<std::u16string> tokens;
  size_t start = 0;
  while (!line.empty()) {
    const size_t blank = line.find(u' ', start);
    tokens.push_back(line.substr(start, blank == std::u16string::npos ? std::u16string::npos : blank - start));
    if (blank == std::u16string::npos) break;
    start = blank + 1;
  }
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    const std::u16string& value = tokens[i + 1];
    if (tokens[i] == u"-auto") options.autoUpdate = value;
    else if (tokens[i] == u"-path") options.path = DevicePath(value);
    else if (tokens[i] == u"-serial") options.serial = value;
    else if (tokens[i] == u"-port") ReadPort(value, options.port);
    else if (tokens[i] == u"-testpid") options.testPids = value;
    else if (tokens[i] == u"-lang") options.lang = value;
  }
  return options;
}

void ReadAutoConfig(StartupOptions& options_IO, const std::string& file_I)
{
  if (!options_IO.path.empty() || !options_IO.testPids.empty()) return;
  options_IO.port = 65535;
  options_IO.serial.clear();
  const SettingsMapPtr root = ToMap(CSettingsObject::ParseFile(file_I));
  if (!root || !root->HasKey("auto") || !root->HasKey("product")) return;
  options_IO.autoUpdate = Utf8ToWide(root->Get("auto")->GetValueString());
  options_IO.testPids = Utf8ToWide(root->Get("product")->GetValueString());
}

}  // namespace orv
