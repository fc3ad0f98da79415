#include "tools/orvel-fwtool/cpackagecheck.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "common/fwupdater/csrec.h"
#include "common/fwupdater/ctopologyreader.h"
#include "common/fwupdater/rtdisp.h"
#include "common/settings/csettingsarray.h"
#include "common/settings/csettingsmap.h"
#include "common/stringutilities.h"
#include "tools/orvel-fwtool/fwtooltext.h"
#include "tools/orvel-fwtool/sha256.h"

namespace orv {
namespace {

const char* const kTopologyFile = "fw_loader.ini";
const char* const kAutoConfigFile = "autoconfig.ini";
const char* const kBoardLabel[] = {"pen", "touch", "bluetooth", "scalar"};
const char* const kBoardSections[] = {"penBoard", "touchBoard", "bluetoothBoard"};

bool HasBoard(const CDevice& model_I, int board_I)
{
  switch (board_I) {
    case EUPDATETYPE_TOUCH: return model_I.mHasTouch;
    case EUPDATETYPE_BLUETOOTH: return model_I.mHasBluetooth;
    case EUPDATETYPE_SCALAR: return model_I.mHasScalar;
    default: return true;
  }
}

int UpdateTypeFromName(const std::string& name_I)
{
  for (int board = EUPDATETYPE_PEN; board <= EUPDATETYPE_SCALAR; ++board) {
    if (name_I == UpdateTypeName(board)) return board;
  }
  return -1;
}

std::string BoardLine(const CDevice& model_I, int board_I)
{
  std::string line = Format("  %-9s vid 0x%04X pid 0x%04X %s", kBoardLabel[board_I], model_I.mVendorId[board_I],
                            model_I.mProductId[board_I], InterfaceTypeName(model_I.mInterfaceType[board_I]));
  if (board_I < EUPDATETYPE_SCALAR) {
    line += Format(" sectors %u usage 0x%X/0x%X topology %u%s", model_I.mSectors[board_I], model_I.mUsageId[board_I],
                   model_I.mUsagePage[board_I], model_I.mTopology[board_I],
                   model_I.mIntoBLMode[board_I] ? "" : " switched in place");
  } else if (model_I.mQuantaScalarBoard) {
    line += " Quanta scalar board";
  }
  const std::string& update = model_I.mUpdateFile[board_I];
  return line + (update.empty() ? " (no update file)" : " update \"" + update + "\"");
}

// The path of a file of the package, UTF-8 like the folder's and the file's names.
std::string InPackage(const std::string& dir_I, const std::string& name_I)
{
  try {
    const std::u8string path = (std::filesystem::u8path(dir_I) / std::filesystem::u8path(name_I)).u8string();
    return std::string(path.begin(), path.end());
  } catch (const std::exception&) {
    return dir_I + "/" + name_I;  // not UTF-8: opening it fails and says so
  }
}

}  // namespace

CPackageCheck::CPackageCheck(std::string dir_I, std::ostream& out_O, std::ostream& err_O)
    : mDir(std::move(dir_I)), mOut(out_O), mErr(err_O)
{
}

int CPackageCheck::Run()
{
  if (!CheckTopology()) {
    return 1;
  }
  for (size_t i = 0; i < mModels.size(); ++i) {
    ListModel(mModels[i], i < mEntries.size() ? mEntries[i] : nullptr);
  }
  CheckRecognised();
  CheckAutoConfig();
  mOut << (mFailed ? "package has errors\n" : "package ok\n");
  return mFailed ? 1 : 0;
}

// Settings text that does not read as written: a syntax error empties the document; skipped text (a stray
// character, anything after the root's closing bracket) is read past by the updater without a word. After
// a syntax error nothing more is read, so only what came before it is told.
SettingsPtr CPackageCheck::ReadSettings(const std::string& path_I, SSettingsDiagnostics& diagnostics_O)
{
  const SettingsPtr root = CSettingsObject::ParseFile(path_I, &diagnostics_O);
  const auto before = [&diagnostics_O](const SSettingsIssue& warning_I) {
    const SSettingsIssue& error = diagnostics_O.error;
    return warning_I.line < error.line || (warning_I.line == error.line && warning_I.column < error.column);
  };
  for (const SSettingsIssue& warning : diagnostics_O.warnings) {
    if (root || before(warning)) Fail(path_I + ": " + warning.Text());
  }
  if (!root) Fail(path_I + ": " + diagnostics_O.error.Text());
  return root;
}

bool CPackageCheck::CheckTopology()
{
  const std::string path = InPackage(mDir, kTopologyFile);
  mTopologyPath = path;
  const SettingsPtr document = ReadSettings(path, mTopologyText);
  const SettingsArrayPtr entries = ToArray(document);
  if (entries) {
    for (size_t i = 0; i < entries->Size(); ++i) {
      if (const SettingsMapPtr entry = ToMap(entries->Get(i))) mEntries.push_back(entry);
    }
  }
  if (!document) return false;
  CTopologyReader reader;
  const bool loaded = reader.Load(path);
  for (const std::string& warning : reader.GetWarnings()) {
    Fail(path + ": " + warning);
  }
  if (!loaded) {
    Fail(path + ": no device model could be read (" + (entries ? "no entry is a device model)" : "not a list of device models)"));
    return false;
  }
  mModels = reader.GetModels();
  mPrototypes = reader.GetPrototypes();
  mOut << "topology " << path << ": " << mModels.size() << " device model(s)\n";
  return true;
}

void CPackageCheck::ListModel(const CDevice& model_I, const SettingsMapPtr& entry_I)
{
  mOut << "model \"" << model_I.mName << "\"" << (model_I.mIsLoader ? " (pen board entered as loader)" : "") << "\n";
  if (model_I.mName.empty()) {
    Fail("a device model has no name, so it is never recognised");
  }
  for (int board = EUPDATETYPE_PEN; board <= EUPDATETYPE_SCALAR; ++board) {
    if (!HasBoard(model_I, board)) continue;
    mOut << BoardLine(model_I, board) << "\n";
    CheckUpdateFile(model_I, board, entry_I);
  }
}

void CPackageCheck::CheckUpdateFile(const CDevice& model_I, int board_I, const SettingsMapPtr& entry_I)
{
  const std::string& name = model_I.mUpdateFile[board_I];
  if (name.empty()) {
    return;
  }
  const std::string path = InPackage(mDir, name);
  CSRec file;
  if (!file.Load(path)) {
    Fail(LoadFailure(file, path));
    return;
  }
  std::vector<uint8_t> bytes;
  ReadFirmwareFile(path, bytes);
  mOut << "    " << name << ": " << DataSourceName(file.GetFormat()) << ", " << SizeSummary(file) << "\n";
  mOut << "      sha256 " << Sha256Hex(bytes) << "\n";
  if (const std::string problem = BoardFormatProblem(board_I, file.GetFormat()); !problem.empty()) Fail(path + ": " + problem);
  if (board_I < EUPDATETYPE_SCALAR && !file.GetSegments().empty()) {
    // Before an S-record update the updater compares the count with the blocks the board's loader reports.
    if (!model_I.mIsLoader && model_I.mSectors[board_I] == 0) {
      Fail(path + ": \"" + model_I.mName + "\" " + kBoardSections[board_I] +
           " has no \"sectors\", which the updater compares with the loader's block count: it refuses the board");
    }
    CheckSectors(model_I, board_I, entry_I, file);
  }
  if (file.GetFormat() == EDATASOURCE_BIN) {
    const std::string problem = CScalarISP::ImageProblem(file.GetScaler()->GetData().size());
    if (!problem.empty()) Fail(path + ": " + problem);
  }
}

// The topology names a board's sector count only; with "sectorSize" (bytes) and "flashStart" (hexadecimal,
// default 0) beside it the check can tell whether the S-record data lies inside those sectors, where the
// loader will take it.
void CPackageCheck::CheckSectors(const CDevice& model_I, int board_I, const SettingsMapPtr& entry_I, const CSRec& file_I)
{
  const bool loader = board_I == EUPDATETYPE_PEN && entry_I && ToMap(entry_I->Get("loaderBoard"));
  const std::string sectionName = loader ? "loaderBoard" : kBoardSections[board_I];
  const SettingsMapPtr section = entry_I ? ToMap(entry_I->Get(sectionName)) : nullptr;
  if (!section) return;
  const auto failAt = [&](const char* key_I, const std::string& reason_I) {
    const std::string where = "\"" + model_I.mName + "\" " + sectionName + " " + key_I + ": ";
    Fail(mTopologyPath + ": " + mTopologyText.AtNode(section->Get(key_I), where + reason_I).Text());
  };
  const int64_t sectorSize = section->GetInteger("sectorSize", 0);
  if (section->HasKey("sectorSize") && sectorSize <= 0) {
    failAt("sectorSize", "not a whole number of bytes above 0");
    return;
  }
  uint32_t flashStart = 0;
  if (sectorSize <= 0 || model_I.mSectors[board_I] == 0) return;
  if (!ParseHex32(section->GetString("flashStart", "0"), flashStart)) {
    failAt("flashStart", "not a hexadecimal address");
    return;
  }
  const uint64_t end = flashStart + uint64_t{model_I.mSectors[board_I]} * static_cast<uint64_t>(sectorSize);
  for (const SRecSegment& segment : file_I.GetSegments()) {
    const uint64_t segmentEnd = uint64_t{segment.start} + segment.data.size();
    if (segment.start >= flashStart && segmentEnd <= end) continue;
    Fail(file_I.GetPath() + Format(": data at 0x%08X to 0x%08llX lies outside the %u sectors of %lld bytes from 0x%08X",
                                   segment.start, static_cast<unsigned long long>(segmentEnd - 1),
                                   model_I.mSectors[board_I], static_cast<long long>(sectorSize), flashStart) +
         " that \"" + model_I.mName + "\" " + sectionName + " declares");
  }
}

// The updater knows a device only by the ids of its boards, and where entries share ids the later one takes
// them: an entry left with none of its own is never matched to any device.
void CPackageCheck::CheckRecognised()
{
  std::vector<PrototypeMap> keys(mModels.size());
  std::map<uint32_t, size_t> owners;
  for (size_t i = 0; i < mModels.size(); ++i) {
    CTopologyReader::Register(mModels[i], keys[i]);
    for (const auto& key : keys[i]) owners[key.first] = i;
  }
  for (size_t i = 0; i < mModels.size(); ++i) {
    const auto owned = [&owners, i](const PrototypeMap::value_type& key_I) { return owners.at(key_I.first) == i; };
    if (std::none_of(keys[i].begin(), keys[i].end(), owned)) {
      Fail("model \"" + mModels[i].mName + "\" is never recognised: later entries take the ids of all its boards");
    }
  }
}

void CPackageCheck::CheckAutoConfig()
{
  const std::string path = InPackage(mDir, kAutoConfigFile);
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::u8path(path), error)) {
    mOut << "no " << kAutoConfigFile << "\n";
    return;
  }
  SSettingsDiagnostics diagnostics;
  const SettingsPtr document = ReadSettings(path, diagnostics);
  if (!document) return;
  const SettingsMapPtr root = ToMap(document);
  if (!root) {
    Fail(path + ": not a settings map");
    return;
  }
  if (!root->HasKey("auto") || !root->HasKey("product")) {
    Fail(path + ": needs both \"auto\" and \"product\", or the updater ignores it");
    return;
  }
  const std::string autoList = root->Get("auto")->GetValueString();
  const std::string products = root->Get("product")->GetValueString();
  mOut << "autoconfig: auto \"" << autoList << "\" product \"" << products << "\"\n";
  const auto failAt = [&](const char* key_I, const std::string& reason_I) {
    Fail(path + ": " + diagnostics.AtNode(root->Get(key_I), reason_I).Text());
  };
  for (const char* key : {"auto", "product"}) {
    if (!root->GetStringNode(key)) failAt(key, std::string("\"") + key + "\" is not text");
  }
  CheckAutoList(autoList, products, failAt);
}

void CPackageCheck::CheckAutoList(const std::string& auto_I, const std::string& products_I, const FailAt& failAt_I)
{
  // The updater takes whichever product of the list is attached first: the list must serve every model named.
  std::vector<const CDevice*> models;
  for (const std::string& product : Split(products_I, ",")) {
    uint32_t id = 0;
    if (!ParseHex32(product, id) || id > 0xFFFF) {
      failAt_I("product", "product \"" + product + "\" is not a hexadecimal product id");
      continue;
    }
    const CDevice* model = FindModelByProductId(id);
    const auto named = [model](const CDevice* other_I) { return other_I->mName == model->mName; };
    if (model != nullptr && std::none_of(models.begin(), models.end(), named)) models.push_back(model);
  }
  if (models.empty()) {
    failAt_I("product", "no device model has a board with the product ids \"" + products_I + "\"");
    return;
  }
  // The updater trims the list as a whole, but skips no empty entry: one ends the run with an error.
  std::u16string list(auto_I.begin(), auto_I.end());
  Trim(list);
  if (list.empty()) failAt_I("auto", "the board list is empty: the updater ends with an error, updating nothing");
  for (const std::u16string& wide : Split(list, u",", false)) {
    const std::string entry(wide.begin(), wide.end());
    const int board = UpdateTypeFromName(entry);
    if (board < 0) {
      failAt_I("auto", "\"" + entry + "\" is not one of pen, touch, bluetooth, scalar");
      continue;
    }
    for (const CDevice* model : models) {
      if (!HasBoard(*model, board) || model->mUpdateFile[board].empty()) {
        failAt_I("auto", "model \"" + model->mName + "\" has no " + entry + " update file");
      }
    }
  }
}

const CDevice* CPackageCheck::FindModelByProductId(uint32_t productId_I) const
{
  const auto found = mPrototypes.find(DefaultVendorId + productId_I);
  if (found == mPrototypes.end()) return nullptr;
  const CDevice& model = found->second;
  for (int board = EUPDATETYPE_PEN; board <= EUPDATETYPE_SCALAR; ++board) {
    if (model.mVendorId[board] == DefaultVendorId && model.mProductId[board] == productId_I) return &model;
  }
  return nullptr;
}

void CPackageCheck::Fail(const std::string& reason_I)
{
  mErr << "error: " << reason_I << "\n";
  mFailed = true;
}

}  // namespace orv
