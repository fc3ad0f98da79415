// Reads the topology configuration ("./fw_loader.ini"): one prototype device per device entry, registered
// under vendor id + product id keys of its boards.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/fwupdater/cdevice.h"
#include "common/settings/csettingsobject.h"

namespace orv {

class CSettingsMap;

// Reads hexadecimal text with an optional "0x" prefix; false when it is not a 32-bit hexadecimal number.
bool ParseHex32(const std::string& text_I, uint32_t& value_O);

// Prototypes by key: a board's vendor id + product id, added as plain unsigned integers.
using PrototypeMap = std::map<uint32_t, CDevice>;

class CTopologyReader {
 public:
  // Empties the table and reads the file; true when at least one prototype was registered.
  bool Load(const std::string& file_I);

  const PrototypeMap& GetPrototypes() const { return mPrototypes; }
  // Every device entry's prototype in file order, including those a later entry displaced from the table.
  const std::vector<CDevice>& GetModels() const { return mModels; }
  // Configuration faults, each with its line and column when the file was read: a value of the wrong type
  // or out of range, a field that is not hexadecimal, an entry that is not a map. The update reads them as it
  // always has; the package author's tool reports them.
  const std::vector<std::string>& GetWarnings() const { return mWarnings; }

  CDevice BuildPrototype(const CSettingsMap& entry_I);
  static void Register(const CDevice& device_I, PrototypeMap& prototypes_IO);

  // Hexadecimal text (an optional "0x" prefix), or the default when the text is empty or not hexadecimal.
  static uint32_t ReadHex(const std::string& text_I, uint32_t default_I);
  // "HID" 1, "BULK" 2, "I2C" 3, "FTDI" 4, any other non-empty text 0; empty text gives the default.
  static int32_t ReadInterfaceType(const std::string& text_I, int32_t default_I);

 private:
  void ReadIdentity(const CSettingsMap& board_I, int index_I, uint32_t defaultVendor_I, int32_t defaultInterface_I,
                    const std::string& where_I, CDevice& device_IO);
  static void ReadParameters(const CSettingsMap& board_I, int index_I, CDevice& device_IO);
  static void ReadUpdate(const CSettingsMap& board_I, int index_I, CDevice& device_IO);
  void CheckEntry(const CSettingsMap& entry_I, const std::string& name_I);
  void CheckBoard(const CSettingsMap& board_I, const std::string& section_I, const std::string& where_I);
  void Warn(const SettingsPtr& node_I, const std::string& text_I);

  PrototypeMap mPrototypes;
  std::vector<CDevice> mModels;
  std::vector<std::string> mWarnings;
  // Where the values of the file being loaded stand; empty for entries built from elsewhere.
  SSettingsDiagnostics mLocations;
};

}  // namespace orv
