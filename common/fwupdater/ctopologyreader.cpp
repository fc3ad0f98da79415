#include "common/fwupdater/ctopologyreader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>

#include "common/settings/csettingsarray.h"
#include "common/settings/csettingsmap.h"
#include "common/stringutilities.h"

namespace orv {
namespace {

constexpr uint32_t kScalarVendorId = 0x5C23;

SettingsMapPtr Section(const CSettingsMap& entry_I, const std::string& key_I) { return ToMap(entry_I.Get(key_I)); }

bool IsHexDigit(char c_I) { return std::isxdigit(static_cast<unsigned char>(c_I)) != 0; }

enum EKeyKind { EKEYKIND_HEX, EKEYKIND_TEXT, EKEYKIND_INTEGER, EKEYKIND_BOOL };

// What a board section's key holds and the largest value that means something to the board (USB ids, HID
// usages and "topology" are 16- and 8-bit quantities).
struct SKeyRule {
  const char* key;
  EKeyKind kind;
  uint64_t max;
  // The sections the key is read from, by their first letter: pen, touch, bluetooth, scalar, loader.
  const char* sections;
};

constexpr SKeyRule kBoardKeys[] = {
    {"vid", EKEYKIND_HEX, 0xFFFF, "ptbsl"},      {"pid", EKEYKIND_HEX, 0xFFFF, "ptbsl"},
    {"interface", EKEYKIND_TEXT, 0, "ptbsl"},    {"sectors", EKEYKIND_INTEGER, 0xFFFFFFFF, "ptbl"},
    {"init", EKEYKIND_BOOL, 0, "ptbl"},          {"topology", EKEYKIND_INTEGER, 0xFF, "ptbl"},
    {"usageId", EKEYKIND_HEX, 0xFFFF, "ptbl"},   {"usagePg", EKEYKIND_HEX, 0xFFFF, "ptbl"},
    {"update", EKEYKIND_TEXT, 0, "ptbs"},        {"intoBLMode", EKEYKIND_BOOL, 0, "ptb"},
    {"quantaScalarBoard", EKEYKIND_BOOL, 0, "s"}};

const char* const kSections[] = {"penBoard", "touchBoard", "bluetoothBoard", "scalarBoard", "loaderBoard"};

std::string HexDigits(uint64_t value_I)
{
  char text[24];
  const auto end = std::to_chars(std::begin(text), std::end(text), value_I, 16).ptr;
  std::string digits(std::begin(text), end);
  std::transform(digits.begin(), digits.end(), digits.begin(), [](char c_I) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c_I)));
  });
  return digits;
}

// Why the value does not fit the rule; empty when it does.
std::string RuleProblem(const SKeyRule& rule_I, const SettingsPtr& value_I)
{
  const bool container = ToMap(value_I) || ToArray(value_I);
  const std::string shown = container ? std::string(ToMap(value_I) ? "a map" : "a list") : value_I->ToJson(-1);
  switch (rule_I.kind) {
    case EKEYKIND_BOOL:
      return dynamic_cast<const CSettingsBool*>(value_I.get()) ? "" : shown + " is not true or false";
    case EKEYKIND_TEXT: return dynamic_cast<const CSettingsString*>(value_I.get()) ? "" : shown + " is not text";
    case EKEYKIND_HEX: {
      const auto* text = dynamic_cast<const CSettingsString*>(value_I.get());
      if (!text) return shown + " is not text: write the hexadecimal number in quotes";
      uint32_t number = 0;
      if (text->Value().empty()) return "";
      if (!ParseHex32(text->Value(), number)) return shown + " is not a 32-bit hexadecimal number";
      return number <= rule_I.max ? "" : shown + " is above 0x" + HexDigits(rule_I.max);
    }
    case EKEYKIND_INTEGER: {
      const auto* integer = dynamic_cast<const CSettingsInteger*>(value_I.get());
      if (!integer) return shown + " is not a whole number";
      if (integer->Value() >= 0 && static_cast<uint64_t>(integer->Value()) <= rule_I.max) return "";
      return shown + " is out of range (0 to " + std::to_string(rule_I.max) + ")";
    }
  }
  return "";
}

}  // namespace

bool ParseHex32(const std::string& text_I, uint32_t& value_O)
{
  std::string digits = Trimmed(text_I);
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.erase(0, 2);
  }
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsHexDigit)) {
    return false;
  }
  const size_t firstSignificant = digits.find_first_not_of('0');
  if (firstSignificant != std::string::npos && digits.size() - firstSignificant > 8) {
    return false;
  }
  value_O = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
  return true;
}

bool CTopologyReader::Load(const std::string& file_I)
{
  mPrototypes.clear();
  mModels.clear();
  mWarnings.clear();
  mLocations = SSettingsDiagnostics();
  const SettingsArrayPtr entries = ToArray(CSettingsObject::ParseFile(file_I, &mLocations));
  if (!entries) {
    mLocations = SSettingsDiagnostics();
    return false;
  }
  for (size_t i = 0; i < entries->Size(); ++i) {
    const SettingsMapPtr entry = ToMap(entries->Get(i));
    if (!entry) {
      Warn(entries->Get(i), "entry " + std::to_string(i) + ": not a map, skipped");
      continue;
    }
    mModels.push_back(BuildPrototype(*entry));
    Register(mModels.back(), mPrototypes);
  }
  mLocations = SSettingsDiagnostics();
  return !mPrototypes.empty();
}

CDevice CTopologyReader::BuildPrototype(const CSettingsMap& entry_I)
{
  CDevice device;
  device.mName = entry_I.GetString("name", "");
  const std::string where = "\"" + device.mName + "\" ";
  CheckEntry(entry_I, where);
  if (const SettingsMapPtr pen = Section(entry_I, "penBoard")) {
    ReadIdentity(*pen, EUPDATETYPE_PEN, DefaultVendorId, EINTERFACETYPE_HID, where + "penBoard", device);
    ReadParameters(*pen, EUPDATETYPE_PEN, device);
    ReadUpdate(*pen, EUPDATETYPE_PEN, device);
  }
  if (const SettingsMapPtr touch = Section(entry_I, "touchBoard")) {
    device.mHasTouch = true;
    ReadIdentity(*touch, EUPDATETYPE_TOUCH, DefaultVendorId, EINTERFACETYPE_HID, where + "touchBoard", device);
    ReadParameters(*touch, EUPDATETYPE_TOUCH, device);
    ReadUpdate(*touch, EUPDATETYPE_TOUCH, device);
  }
  if (const SettingsMapPtr bluetooth = Section(entry_I, "bluetoothBoard")) {
    device.mHasBluetooth = true;
    ReadIdentity(*bluetooth, EUPDATETYPE_BLUETOOTH, DefaultVendorId, EINTERFACETYPE_HID, where + "bluetoothBoard",
                 device);
    ReadParameters(*bluetooth, EUPDATETYPE_BLUETOOTH, device);
    ReadUpdate(*bluetooth, EUPDATETYPE_BLUETOOTH, device);
  }
  if (const SettingsMapPtr scalar = Section(entry_I, "scalarBoard")) {
    device.mHasScalar = true;
    ReadIdentity(*scalar, EUPDATETYPE_SCALAR, kScalarVendorId, EINTERFACETYPE_FTDI, where + "scalarBoard", device);
    device.mQuantaScalarBoard = scalar->GetBool("quantaScalarBoard", false);
    ReadUpdate(*scalar, EUPDATETYPE_SCALAR, device);
  }
  // While the pen board runs its boot loader the device shows the loader's identity; the pen update file and
  // the pen's loader-command flag stay those of the pen board.
  if (const SettingsMapPtr loader = Section(entry_I, "loaderBoard")) {
    device.mIsLoader = true;
    if (Section(entry_I, "penBoard")) device.mNormalProductId = device.mProductId[EUPDATETYPE_PEN];
    ReadIdentity(*loader, EUPDATETYPE_PEN, DefaultVendorId, EINTERFACETYPE_HID, where + "loaderBoard", device);
    ReadParameters(*loader, EUPDATETYPE_PEN, device);
  }
  return device;
}

void CTopologyReader::Register(const CDevice& device_I, PrototypeMap& prototypes_IO)
{
  const auto key = [&device_I](int index) { return device_I.mVendorId[index] + device_I.mProductId[index]; };
  const uint32_t penKey = key(EUPDATETYPE_PEN);
  prototypes_IO[penKey] = device_I;
  if (device_I.mHasTouch && key(EUPDATETYPE_TOUCH) != penKey) {
    prototypes_IO[key(EUPDATETYPE_TOUCH)] = device_I;
  }
  if (device_I.mHasBluetooth && key(EUPDATETYPE_BLUETOOTH) != penKey) {
    prototypes_IO[key(EUPDATETYPE_BLUETOOTH)] = device_I;
  }
  if (device_I.mHasScalar) {
    prototypes_IO[key(EUPDATETYPE_SCALAR)] = device_I;
  }
}

uint32_t CTopologyReader::ReadHex(const std::string& text_I, uint32_t default_I)
{
  uint32_t value = default_I;
  return !text_I.empty() && ParseHex32(text_I, value) ? value : default_I;
}

void CTopologyReader::CheckEntry(const CSettingsMap& entry_I, const std::string& name_I)
{
  if (const SettingsPtr name = entry_I.Get("name"); name && !entry_I.GetStringNode("name")) {
    Warn(name, name_I + "name: " + name->ToJson(-1) + " is not text");
  }
  for (const char* section : kSections) {
    const SettingsPtr board = entry_I.Get(section);
    if (!board) continue;
    if (const SettingsMapPtr map = ToMap(board)) {
      CheckBoard(*map, section, name_I + section);
    } else {
      Warn(board, name_I + section + ": not a map, ignored");
    }
  }
}

// Every key the section's board takes, in the type and range the board can use. The values are read as
// before whatever this finds.
void CTopologyReader::CheckBoard(const CSettingsMap& board_I, const std::string& section_I, const std::string& where_I)
{
  for (const SKeyRule& rule : kBoardKeys) {
    const SettingsPtr value = board_I.Get(rule.key);
    if (!value || std::string(rule.sections).find(section_I[0]) == std::string::npos) continue;
    const std::string problem = RuleProblem(rule, value);
    if (!problem.empty()) Warn(value, where_I + " " + rule.key + ": " + problem);
  }
}

void CTopologyReader::Warn(const SettingsPtr& node_I, const std::string& text_I)
{
  mWarnings.push_back(mLocations.AtNode(node_I, text_I).Text());
}

int32_t CTopologyReader::ReadInterfaceType(const std::string& text_I, int32_t default_I)
{
  if (text_I.empty()) return default_I;
  if (text_I == "HID") return EINTERFACETYPE_HID;
  if (text_I == "BULK") return EINTERFACETYPE_BULK;
  if (text_I == "I2C") return EINTERFACETYPE_I2C;
  if (text_I == "FTDI") return EINTERFACETYPE_FTDI;
  return EINTERFACETYPE_INVALID;
}

void CTopologyReader::ReadIdentity(const CSettingsMap& board_I, int index_I, uint32_t defaultVendor_I,
                                   int32_t defaultInterface_I, const std::string& where_I, CDevice& device_IO)
{
  device_IO.mVendorId[index_I] = ReadHex(board_I.GetString("vid", ""), defaultVendor_I);
  device_IO.mProductId[index_I] = ReadHex(board_I.GetString("pid", ""), 0);
  device_IO.mInterfaceType[index_I] = ReadInterfaceType(board_I.GetString("interface", ""), defaultInterface_I);
  if (device_IO.mInterfaceType[index_I] == EINTERFACETYPE_INVALID) {
    Warn(board_I.Get("interface"),
         where_I + " interface: \"" + board_I.GetString("interface", "") + "\" is not a transport");
  }
}

void CTopologyReader::ReadParameters(const CSettingsMap& board_I, int index_I, CDevice& device_IO)
{
  device_IO.mSectors[index_I] = static_cast<uint32_t>(board_I.GetInteger("sectors", 0));
  device_IO.mInitEeprom[index_I] = board_I.GetBool("init", false);
  device_IO.mTopology[index_I] = static_cast<uint8_t>(board_I.GetInteger("topology", 1));
  device_IO.mUsageId[index_I] = ReadHex(board_I.GetString("usageId", ""), 0);
  device_IO.mUsagePage[index_I] = ReadHex(board_I.GetString("usagePg", ""), 0);
}

void CTopologyReader::ReadUpdate(const CSettingsMap& board_I, int index_I, CDevice& device_IO)
{
  device_IO.mUpdateFile[index_I] = board_I.GetString("update", "");
  if (index_I < 3) {
    device_IO.mIntoBLMode[index_I] = board_I.GetBool("intoBLMode", true);
  }
}

}  // namespace orv
