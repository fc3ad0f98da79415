// orvel-fwtool check: reads an update package's topology and automatic-update file and loads every
// firmware file they name, so that a package is known good before it ships.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "common/fwupdater/cdevice.h"
#include "common/fwupdater/csrec.h"
#include "common/fwupdater/ctopologyreader.h"
#include "common/settings/csettingsmap.h"

namespace orv {

class CPackageCheck {
 public:
  CPackageCheck(std::string dir_I, std::ostream& out_O, std::ostream& err_O);
  // 0 when the topology parses and everything it names loads; 1 otherwise.
  int Run();

 private:
  // Reports the faults of the file's text with their line and column to the file's path.
  using FailAt = std::function<void(const char* key_I, const std::string& reason_I)>;

  SettingsPtr ReadSettings(const std::string& path_I, SSettingsDiagnostics& diagnostics_O);
  bool CheckTopology();
  void ListModel(const CDevice& model_I, const SettingsMapPtr& entry_I);
  void CheckUpdateFile(const CDevice& model_I, int board_I, const SettingsMapPtr& entry_I);
  void CheckSectors(const CDevice& model_I, int board_I, const SettingsMapPtr& entry_I, const CSRec& file_I);
  // Fails each model whose every board id a later entry has taken.
  void CheckRecognised();
  void CheckAutoConfig();
  void CheckAutoList(const std::string& auto_I, const std::string& products_I, const FailAt& failAt_I);
  const CDevice* FindModelByProductId(uint32_t productId_I) const;
  void Fail(const std::string& reason_I);

  std::string mDir;
  std::ostream& mOut;
  std::ostream& mErr;
  std::vector<CDevice> mModels;
  // The models as the updater recognises them: where boards share ids, the later entry's.
  PrototypeMap mPrototypes;
  // The topology's device entries that are maps, in file order: the models' own text.
  std::vector<SettingsMapPtr> mEntries;
  // The topology file and where its values stand in its text.
  std::string mTopologyPath;
  SSettingsDiagnostics mTopologyText;
  bool mFailed = false;
};

}  // namespace orv
