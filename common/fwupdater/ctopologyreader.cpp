#include "common/fwupdater/ctopologyreader.h"

#include <algorithm>
#include <cctype>

#include "common/settings/csettingsarray.h"
#include "common/settings/csettingsmap.h"
#include "common/stringutilities.h"

namespace orv {
namespace {

constexpr uint32_t kScalarVendorId = 0x5C23;

SettingsMapPtr Section(const CSettingsMap& entry_I, const std::string& key_I) { return ToMap(entry_I.Get(key_I)); }

bool IsHexDigit(char c_I) { return std::isxdigit(static_cast<unsigned char>(c_I)) != 0; }

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
  const SettingsArrayPtr entries = ToArray(CSettingsObject::ParseFile(file_I));
  if (!entries) {
    return false;
  }
  for (size_t i = 0; i < entries->Size(); ++i) {
    const SettingsMapPtr entry = ToMap(entries->Get(i));
    if (!entry) {
      mWarnings.push_back("entry " + std::to_string(i) + ": not a map, skipped");
      continue;
    }
    mModels.push_back(BuildPrototype(*entry));
    Register(mModels.back(), mPrototypes);
  }
  return !mPrototypes.empty();
}

CDevice CTopologyReader::BuildPrototype(const CSettingsMap& entry_I)
{
  CDevice device;
  device.mName = entry_I.GetString("name", "");
  const std::string where = "\"" + device.mName + "\" ";
  if (const SettingsMapPtr pen = Section(entry_I, "penBoard")) {
    ReadIdentity(*pen, EUPDATETYPE_PEN, DefaultVendorId, EINTERFACETYPE_HID, where + "penBoard", device);
    ReadParameters(*pen, EUPDATETYPE_PEN, where + "penBoard", device);
    ReadUpdate(*pen, EUPDATETYPE_PEN, device);
  }
  if (const SettingsMapPtr touch = Section(entry_I, "touchBoard")) {
    device.mHasTouch = true;
    ReadIdentity(*touch, EUPDATETYPE_TOUCH, DefaultVendorId, EINTERFACETYPE_HID, where + "touchBoard", device);
    ReadParameters(*touch, EUPDATETYPE_TOUCH, where + "touchBoard", device);
    ReadUpdate(*touch, EUPDATETYPE_TOUCH, device);
  }
  if (const SettingsMapPtr bluetooth = Section(entry_I, "bluetoothBoard")) {
    device.mHasBluetooth = true;
    ReadIdentity(*bluetooth, EUPDATETYPE_BLUETOOTH, DefaultVendorId, EINTERFACETYPE_HID, where + "bluetoothBoard",
                 device);
    ReadParameters(*bluetooth, EUPDATETYPE_BLUETOOTH, where + "bluetoothBoard", device);
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
    ReadParameters(*loader, EUPDATETYPE_PEN, where + "loaderBoard", device);
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

uint32_t CTopologyReader::ReadHex(const std::string& text_I, uint32_t default_I, const std::string& where_I)
{
  uint32_t value = default_I;
  if (!text_I.empty() && !ParseHex32(text_I, value)) {
    mWarnings.push_back(where_I + ": \"" + text_I + "\" is not a 32-bit hexadecimal number");
    return default_I;
  }
  return value;
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
  device_IO.mVendorId[index_I] = ReadHex(board_I.GetString("vid", ""), defaultVendor_I, where_I + " vid");
  device_IO.mProductId[index_I] = ReadHex(board_I.GetString("pid", ""), 0, where_I + " pid");
  device_IO.mInterfaceType[index_I] = ReadInterfaceType(board_I.GetString("interface", ""), defaultInterface_I);
  if (device_IO.mInterfaceType[index_I] == EINTERFACETYPE_INVALID) {
    mWarnings.push_back(where_I + " interface: \"" + board_I.GetString("interface", "") + "\" is not a transport");
  }
}

void CTopologyReader::ReadParameters(const CSettingsMap& board_I, int index_I, const std::string& where_I,
                                     CDevice& device_IO)
{
  device_IO.mSectors[index_I] = static_cast<uint32_t>(board_I.GetInteger("sectors", 0));
  device_IO.mInitEeprom[index_I] = board_I.GetBool("init", false);
  device_IO.mTopology[index_I] = static_cast<uint8_t>(board_I.GetInteger("topology", 1));
  device_IO.mUsageId[index_I] = ReadHex(board_I.GetString("usageId", ""), 0, where_I + " usageId");
  device_IO.mUsagePage[index_I] = ReadHex(board_I.GetString("usagePg", ""), 0, where_I + " usagePg");
}

void CTopologyReader::ReadUpdate(const CSettingsMap& board_I, int index_I, CDevice& device_IO)
{
  device_IO.mUpdateFile[index_I] = board_I.GetString("update", "");
  if (index_I < 3) {
    device_IO.mIntoBLMode[index_I] = board_I.GetBool("intoBLMode", true);
  }
}

}  // namespace orv
