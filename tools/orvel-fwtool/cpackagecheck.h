// orvel-fwtool check: reads an update package's topology and automatic-update file and loads every
// firmware file they name, so that a package is known good before it ships.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "common/fwupdater/cdevice.h"

namespace orv {

class CSettingsMap;

class CPackageCheck {
 public:
  CPackageCheck(std::string dir_I, std::ostream& out_O, std::ostream& err_O);
  // 0 when the topology parses and everything it names loads; 1 otherwise.
  int Run();

 private:
  bool CheckTopology();
  void ListModel(const CDevice& model_I);
  void CheckUpdateFile(const CDevice& model_I, int board_I);
  void CheckAutoConfig();
  void CheckAutoList(const std::string& auto_I, const std::string& products_I);
  const CDevice* FindModelByProductId(uint32_t productId_I) const;
  void Fail(const std::string& reason_I);

  std::string mDir;
  std::ostream& mOut;
  std::ostream& mErr;
  std::vector<CDevice> mModels;
  bool mFailed = false;
};

}  // namespace orv
