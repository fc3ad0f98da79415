#include "app/startupoptions.h"

#include <algorithm>
#include <utility>

#include "app/languageprovider.h"
#include "common/fwupdater/ctopologyreader.h"
#include "common/settings/csettingsmap.h"
#include "common/stringutilities.h"
#include "common/textconversion.h"

namespace orv {
namespace {

constexpr std::u16string_view kPathPrefix = u"\\\\?\\";

std::u16string DevicePath(const std::u16string& value_I)
{
  std::u16string path = value_I.starts_with(kPathPrefix) ? value_I.substr(kPathPrefix.size()) : value_I;
  if (path.starts_with(u'/')) return path;
  std::replace(path.begin(), path.end(), u'+', u'&');
  return std::u16string(kPathPrefix) + path;
}

// A decimal number read the way a stream reads an unsigned 16-bit value: leading blanks skipped, digits up to
// the first other character; nothing readable or out of range leaves the port unchanged (and gives false).
bool ReadPort(const std::u16string& value_I, uint16_t& port_IO)
{
  size_t pos = 0;
  while (pos < value_I.size() && (value_I[pos] == u' ' || value_I[pos] == u'\t')) ++pos;
  uint32_t number = 0;
  size_t digits = 0;
  for (; pos < value_I.size() && value_I[pos] >= u'0' && value_I[pos] <= u'9'; ++pos, ++digits) {
    number = number * 10 + static_cast<uint32_t>(value_I[pos] - u'0');
    if (number > 65535) return false;
  }
  if (digits == 0) return false;
  port_IO = static_cast<uint16_t>(number);
  return true;
}

constexpr std::u16string_view kAcceptWarning = u"-y";
constexpr std::u16string_view kQuiet = u"-quiet";

bool IsFlag(const std::u16string& token_I) { return token_I == kAcceptWarning || token_I == kQuiet; }

// Whether the token is an option that takes a value.
bool IsOption(const std::u16string& token_I)
{
  for (const char16_t* option :
       {u"-auto", u"-path", u"-serial", u"-port", u"-testpid", u"-lang", u"-result", u"-record"}) {
    if (token_I == option) return true;
  }
  return false;
}

// A value is read as a token too, so an option may be the value of the option before it.
std::vector<bool> ValueTokens(const std::vector<std::u16string>& tokens_I)
{
  std::vector<bool> isValue(tokens_I.size() + 1, false);
  for (size_t i = 0; i < tokens_I.size(); ++i) {
    if (IsOption(tokens_I[i])) isValue[i + 1] = true;
  }
  return isValue;
}

// Every blank ends a token, so two blanks in a row make an empty one. Between double quotes a blank is part of
// the token and the quotes are not: how a deployment tool passes a file name.
std::vector<std::u16string> Tokens(const std::u16string& commandLine_I)
{
  std::u16string line = commandLine_I;
  Trim(line);
  std::vector<std::u16string> tokens;
  if (line.empty()) return tokens;
  std::u16string token;
  bool quoted = false;
  for (const char16_t c : line) {
    if (c == u'"') {
      quoted = !quoted;
    } else if (c == u' ' && !quoted) {
      tokens.push_back(std::exchange(token, {}));
    } else {
      token += c;
    }
  }
  tokens.push_back(token);
  return tokens;
}

std::string LanguageWarning(const std::string& language_I)
{
  std::string codes;
  for (const std::string& code : KnownLanguageCodes()) codes += ", " + code;
  return "-lang " + language_I + " is not one of userUI, user, neutral" + codes + "; English is used";
}

}  // namespace

StartupOptions ParseCommandLine(const std::u16string& commandLine_I) { return ParseArguments(Tokens(commandLine_I)); }

StartupOptions ParseArguments(const std::vector<std::u16string>& tokens_I)
{
  StartupOptions options;
  const std::vector<bool> isValue = ValueTokens(tokens_I);
  for (size_t i = 0; i < tokens_I.size(); ++i) {
    if (isValue[i] || !IsFlag(tokens_I[i])) continue;
    // Nobody is there to read the warning of a quiet run: starting one is accepting it.
    options.acceptWarning = true;
    if (tokens_I[i] == kQuiet) options.quiet = true;
  }
  for (size_t i = 0; i + 1 < tokens_I.size(); ++i) {
    const std::u16string& value = tokens_I[i + 1];
    if (tokens_I[i] == u"-auto") options.autoUpdate = value;
    else if (tokens_I[i] == u"-path") options.path = DevicePath(value);
    else if (tokens_I[i] == u"-serial") options.serial = value;
    else if (tokens_I[i] == u"-port") ReadPort(value, options.port);
    else if (tokens_I[i] == u"-testpid") options.testPids = value;
    else if (tokens_I[i] == u"-lang") options.lang = value;
    else if (tokens_I[i] == u"-result") options.resultFile = value;
    else if (tokens_I[i] == u"-record") options.recordFile = value;
  }
  return options;
}

std::vector<std::string> CommandLineWarnings(const std::u16string& commandLine_I)
{
  return ArgumentWarnings(Tokens(commandLine_I));
}

std::vector<std::string> ArgumentWarnings(const std::vector<std::u16string>& tokens_I)
{
  const std::vector<bool> isValue = ValueTokens(tokens_I);
  std::vector<std::string> warnings;
  for (size_t i = 0; i < tokens_I.size(); ++i) {
    const std::string token = WideToUtf8(tokens_I[i]);
    uint16_t port = 0;
    if (IsOption(tokens_I[i]) && i + 1 == tokens_I.size()) {
      warnings.push_back("option " + token + " needs a value; ignored");
    } else if (tokens_I[i] == u"-port" && !ReadPort(tokens_I[i + 1], port)) {
      warnings.push_back("-port " + WideToUtf8(tokens_I[i + 1]) + " is not a number from 0 to 65535; ignored");
    } else if (tokens_I[i] == u"-lang" && !tokens_I[i + 1].empty() && !IsKnownLanguage(WideToUtf8(tokens_I[i + 1]))) {
      warnings.push_back(LanguageWarning(WideToUtf8(tokens_I[i + 1])));
    } else if (!IsOption(tokens_I[i]) && !isValue[i] && !token.empty() && !IsFlag(tokens_I[i])) {
      warnings.push_back((token[0] == '-' ? "unknown option " : "unexpected argument ") + token + " ignored");
    }
  }
  return warnings;
}

std::string OptionsProblem(const StartupOptions& options_I)
{
  std::u16string autoUpdate = options_I.autoUpdate;
  Trim(autoUpdate);
  for (const std::u16string& wide : Split(autoUpdate, u",", false)) {
    const std::string entry = WideToUtf8(wide);
    if (std::find(std::begin(kBoardNames), std::end(kBoardNames), entry) != std::end(kBoardNames)) continue;
    return (entry.empty() ? std::string("an empty entry") : "\"" + entry + "\"") + " in the board list \"" +
           WideToUtf8(options_I.autoUpdate) + "\" is not one of pen, touch, bluetooth, scalar";
  }
  for (const std::u16string& wide : Split(options_I.testPids, u",", true)) {
    uint32_t productId = 0;
    const std::string entry = WideToUtf8(wide);
    if (!ParseHex32(entry, productId) || productId > 0xFFFF) {
      return "\"" + entry + "\" in the product ids \"" + WideToUtf8(options_I.testPids) +
             "\" is not a hexadecimal product id (0000 to FFFF)";
    }
  }
  return "";
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
