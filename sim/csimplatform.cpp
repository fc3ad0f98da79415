#include "sim/csimplatform.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "common/settings/csettingsarray.h"
#include "common/settings/csettingsmap.h"
#include "common/stringutilities.h"
#include "sim/csimbulkboard.h"
#include "sim/csimi2cboard.h"
#include "sim/csimscenario.h"

namespace orv::sim {
namespace {

// The pen display "Orvel Display 16" of the demo package: one composite USB device with the pen and the touch
// collections (both switched into their loaders in place), one level further down the bluetooth module, and
// the scaler behind its FTDI bridge.
const char* const kDefaultScenario = R"({
  "nodes": [["USB\\VID_4F52&PID_0210\\ORV16", "USB\\ROOT_HUB30\\4&1A2B3C4D&0&0"],
            ["USB\\VID_4F52&PID_0211\\ORV16BT", "USB\\VID_4F52&PID_0210\\ORV16"]],
  "devices": [
    {"kind": "hid", "name": "pen", "pid": "0210", "usageId": "1", "interface": 0, "instance": 1,
     "parent": "USB\\VID_4F52&PID_0210\\ORV16", "inPlace": true, "versionAt": "4010",
     "protocol": 1, "blockStart": "0", "blockSize": 4096, "blocks": 64, "writeSize": 256},
    {"kind": "hid", "name": "touch", "pid": "0210", "usageId": "2", "interface": 1, "instance": 2,
     "parent": "USB\\VID_4F52&PID_0210\\ORV16", "inPlace": true, "versionAt": "8010",
     "protocol": 1, "blockStart": "8000", "blockSize": 4096, "blocks": 22},
    {"kind": "hid", "name": "bluetooth", "pid": "0211", "usageId": "3", "interface": 0, "instance": 3,
     "parent": "USB\\VID_4F52&PID_0211\\ORV16BT", "inPlace": true, "versionAt": "10",
     "protocol": 1, "blockStart": "0", "blockSize": 4096, "blocks": 16},
    {"kind": "scaler", "name": "scalar", "model": "Orvel PD16", "serial": "ORV16A0012345", "blocks": 16,
     "firmwareAt": "10"}
  ]
})";

uint32_t Int(const CSettingsMap& map_I, const std::string& key_I, int64_t default_I)
{
  return static_cast<uint32_t>(map_I.GetInteger(key_I, default_I));
}

// The whole numbers a board's entry may give, with the largest the setting it makes can hold: a negative or larger
// one would wrap round into another value.
const std::pair<const char*, int64_t> kNumberLimits[] = {
    {"interface", 0xFF},     {"instance", 0xFFFFFF},    {"protocol", 0xFF},        {"readSize", 0xFFFF},
    {"wordSize", 0xFFFF},    {"writeSize", 0xFFFF},     {"cpus", 0xFFFF},          {"busyMs", 0xFFFFFFFF},
    {"reenumerateMs", 0xFFFFFFFF}, {"openRefusedMs", 0xFFFFFFFF}, {"transferMs", 0xFFFFFFFF},
    {"enterMs", 0xFFFFFFFF}, {"exchangeBusyMs", 0xFFFFFFFF}, {"arrivalLagMs", 0xFFFFFFFF}};

bool CheckNumbers(const CSettingsMap& device_I, size_t index_I, std::string& error_O)
{
  for (const auto& [key, most] : kNumberLimits) {
    const int64_t value = device_I.GetInteger(key, 0);
    if (value >= 0 && value <= most) continue;
    error_O = "device " + std::to_string(index_I) + ": \"" + key + "\" must be 0 to " + std::to_string(most);
    return false;
  }
  return true;
}

bool IsUsbDeviceId(const std::string& id_I) { return ToLower(id_I).rfind("usb\\vid_", 0) == 0; }

// The node of one interface of a composite USB device, as the system names it: the interface's ids and number,
// and an instance part derived from the device's own id.
std::string InterfaceNodeId(uint16_t vendorId_I, uint16_t productId_I, uint8_t interface_I, const std::string& deviceId_I)
{
  uint32_t hash = 2166136261u;
  for (const char c : ToLower(deviceId_I)) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  char id[96];
  std::snprintf(id, sizeof(id), "USB\\VID_%04X&PID_%04X&MI_%02X\\6&%08x&0&%04X", vendorId_I, productId_I, interface_I,
                static_cast<unsigned>(hash), interface_I);
  return id;
}

std::string HexBytes(const std::vector<uint8_t>& bytes_I)
{
  std::string text;
  char pair[4];
  for (uint8_t byte : bytes_I) {
    std::snprintf(pair, sizeof(pair), "%02X", byte);
    text += pair;
  }
  return text;
}

}  // namespace

struct CSimPlatform::SBoard {
  std::string name;
  // What the bus holds, and the USB device (the scenario's "parent", lower case) whose collection it is.
  std::shared_ptr<CSimBusDevice> attached;
  std::string usbDevice;
  std::shared_ptr<CSimHidBoard> hid;
  std::shared_ptr<CSimI2CTunnelBoard> i2c;
  std::shared_ptr<CSimBulkBoard> bulk;
  uint32_t memoryStart = 0;
  uint32_t memorySize = 0;
  std::shared_ptr<SSimScalerBoard> scaler;
  std::string flashOut;
  std::string traceOut;
};

namespace {

struct SParsed {
  SSimHidIdentity identity;
  SSimLoaderConfig loader;
  uint32_t loaderPid = 0;
  // The scenario's parent: the USB device the collection belongs to, when it is one.
  std::string usbDevice;
};

// The interface numbers of the collections under each USB device (lower-case id): a device with more than
// one is composite, and the system puts a node for each interface between the device and its collections.
using InterfacesOfDevices = std::map<std::string, std::set<uint32_t>>;

InterfacesOfDevices CollectInterfaces(const CSettingsArray& devices_I)
{
  InterfacesOfDevices interfaces;
  for (size_t i = 0; i < devices_I.Size(); ++i) {
    const SettingsMapPtr device = ToMap(devices_I.Get(i));
    if (!device) continue;
    const std::string kind = device->GetString("kind", "hid");
    const std::string parent = device->GetString("parent", "");
    if (kind == "bulk" || kind == "scaler" || !IsUsbDeviceId(parent)) continue;
    interfaces[ToLower(parent)].insert(static_cast<uint8_t>(Int(*device, "interface", 0)));
  }
  return interfaces;
}

bool ParseIdentity(const CSettingsMap& device_I, size_t index_I, SParsed& parsed_O, std::string& error_O)
{
  uint32_t vid = 0, pid = 0, version = 0, usage = 0, page = 0;
  if (!ScenarioHex(device_I, "vid", 0x4F52, vid) || !ScenarioHex(device_I, "pid", 0, pid) ||
      !ScenarioHex(device_I, "version", 0x100, version) || !ScenarioHex(device_I, "usageId", 1, usage) ||
      !ScenarioHex(device_I, "usagePg", 0xFF0D, page) || !ScenarioHex(device_I, "loaderPid", pid, parsed_O.loaderPid)) {
    error_O = "device " + std::to_string(index_I) + ": an id is not hexadecimal";
    return false;
  }
  const uint32_t instance = Int(device_I, "instance", static_cast<int64_t>(index_I) + 1);
  const uint8_t mi = static_cast<uint8_t>(Int(device_I, "interface", 0));
  parsed_O.identity = SSimHidIdentity{static_cast<uint16_t>(vid), static_cast<uint16_t>(pid), static_cast<uint16_t>(version),
                                      static_cast<uint16_t>(usage), static_cast<uint16_t>(page),
                                      MakeSimHidPath(static_cast<uint16_t>(vid), static_cast<uint16_t>(pid), mi, instance),
                                      device_I.GetString("parent", "")};
  if (IsUsbDeviceId(parsed_O.identity.parentId)) parsed_O.usbDevice = parsed_O.identity.parentId;
  return true;
}

bool ParseLoader(const CSettingsMap& device_I, size_t index_I, SParsed& parsed_IO, std::string& error_O)
{
  SSimLoaderConfig& loader = parsed_IO.loader;
  uint32_t blockStart = 0, memoryStart = 0, memorySize = 0;
  if (!ScenarioHex(device_I, "blockStart", 0, blockStart) || !ScenarioHex(device_I, "memoryStart", 0, memoryStart) ||
      !ScenarioHex(device_I, "memorySize", 0, memorySize)) {
    error_O = "device " + std::to_string(index_I) + ": an address is not hexadecimal";
    return false;
  }
  loader.protocol = static_cast<uint8_t>(Int(device_I, "protocol", 0));
  loader.readSize = static_cast<uint16_t>(Int(device_I, "readSize", 64));
  loader.wordSize = static_cast<uint16_t>(Int(device_I, "wordSize", 4));
  loader.blockSize = static_cast<uint16_t>(Int(device_I, "writeSize", 64));
  // The table is checked before it is built: a negative or huge count must not make billions of entries.
  const int64_t blocks = device_I.GetInteger("blocks", 16);
  const int64_t blockSize = device_I.GetInteger("blockSize", 4096);
  if (blocks < 0 || blocks > static_cast<int64_t>(kSimMaxBlocks) || blockSize < 0 || blockSize > 0xFFFFFFFF ||
      blockStart + static_cast<uint64_t>(blocks) * static_cast<uint64_t>(blockSize) > 0x100000000ull) {
    error_O = "device " + std::to_string(index_I) + ": \"blocks\" must be 0 to " + std::to_string(kSimMaxBlocks) +
              " blocks of \"blockSize\" bytes that end within the 32-bit address space";
    return false;
  }
  loader.blocks = MakeSimBlocks(blockStart, static_cast<uint32_t>(blockSize), static_cast<uint32_t>(blocks),
                                static_cast<uint16_t>(loader.wordSize));
  if (const SettingsArrayPtr protectedBlocks = ToArray(device_I.Get("protected"))) {
    for (size_t i = 0; i < protectedBlocks->Size(); ++i) {
      const std::string text = protectedBlocks->Get(i) ? protectedBlocks->Get(i)->GetValueString() : "";
      const size_t block = static_cast<size_t>(std::atoi(text.c_str()));
      if (block < loader.blocks.size()) loader.blocks[block].attributes |= kSimProtectedBlock;
    }
  }
  loader.checksumSupported = device_I.GetBool("checksums", true);
  loader.cpuCount = static_cast<uint16_t>(Int(device_I, "cpus", 1));
  loader.busyMs = Int(device_I, "busyMs", 20);
  // Streaming loaders reach further than their blocks: by default the memory spans everything up to 0x40000.
  loader.memoryBase = memorySize == 0 && loader.protocol == 1 ? 0 : memoryStart;
  loader.memorySize = memorySize == 0 && loader.protocol == 1 ? 0x40000 : memorySize;
  return true;
}

// A loader with a product id of its own is another USB device to the system, with the one collection, in the
// same place on the hub as the device it replaces.
std::string LoaderDeviceNode(CSimBus& bus_I, const SParsed& parsed_I)
{
  if (parsed_I.usbDevice.empty() || parsed_I.loaderPid == parsed_I.identity.productId) return parsed_I.identity.parentId;
  char prefix[40];
  std::snprintf(prefix, sizeof(prefix), "USB\\VID_%04X&PID_%04X\\", parsed_I.identity.vendorId,
                static_cast<unsigned>(parsed_I.loaderPid));
  const std::string device = prefix + parsed_I.usbDevice.substr(parsed_I.usbDevice.rfind('\\') + 1);
  const std::string hub = bus_I.GetAncestorId(parsed_I.usbDevice, 1);
  bus_I.AddNode(device, EqualsIgnoreCase(hub, parsed_I.usbDevice) ? std::string() : hub);
  return device;
}

}  // namespace

CSimPlatform::CSimPlatform() : mBus(std::make_shared<CSimBus>()), mBridge(std::make_shared<CSimFtdiBridge>())
{
  mBridge->SetPresent(false);
}

const char* CSimPlatform::DefaultScenario() { return kDefaultScenario; }

std::unique_ptr<CSimPlatform> CSimPlatform::Create(const std::string& scenario_I, std::string& error_O)
{
  if (scenario_I == "default") return CreateFromText(kDefaultScenario, error_O);
  // A directory opens as a stream and then fails in the middle of the read.
  std::error_code status;
  std::ifstream file;
  if (std::filesystem::is_regular_file(scenario_I, status)) file.open(scenario_I, std::ios::binary);
  std::string text;
  try {
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    file.setstate(std::ios::failbit);
  }
  if (!file.is_open() || file.bad()) {
    error_O = "cannot read the scenario " + scenario_I;
    return nullptr;
  }
  return CreateFromText(text, error_O);
}

std::unique_ptr<CSimPlatform> CSimPlatform::CreateFromText(const std::string& text_I, std::string& error_O)
{
  if (CSimReplay::IsRecording(text_I)) {
    std::shared_ptr<CSimReplay> replay = CSimReplay::Parse(text_I, error_O);
    if (!replay) return nullptr;
    std::unique_ptr<CSimPlatform> platform(new CSimPlatform());
    platform->mReplay = std::move(replay);
    return platform;
  }
  SSettingsDiagnostics diagnostics;
  const SettingsPtr document = CSettingsObject::Parse(text_I, &diagnostics);
  if (!document) {
    error_O = "the scenario cannot be read: " + diagnostics.error.Text();
    return nullptr;
  }
  const SettingsMapPtr root = ToMap(document);
  const SettingsArrayPtr devices = root ? ToArray(root->Get("devices")) : nullptr;
  if (!devices) {
    error_O = "a scenario is a settings map with a \"devices\" array";
    return nullptr;
  }
  const int64_t eventDelayMs = root->GetInteger("eventDelayMs", CSimBus::kDefaultEventDelayMs);
  if (eventDelayMs < 0 || eventDelayMs > 0xFFFFFFFF) {
    error_O = "\"eventDelayMs\" must be 0 to 4294967295";
    return nullptr;
  }
  std::unique_ptr<CSimPlatform> platform(new CSimPlatform());
  platform->mBus->SetEventDelayMs(static_cast<uint32_t>(eventDelayMs));
  if (const SettingsArrayPtr nodes = ToArray(root->Get("nodes"))) {
    for (size_t i = 0; i < nodes->Size(); ++i) {
      const SettingsArrayPtr pair = ToArray(nodes->Get(i));
      if (!pair || pair->Size() != 2 || !pair->GetStringNode(0) || !pair->GetStringNode(1)) {
        error_O = "node " + std::to_string(i) + " is not a pair of instance ids";
        return nullptr;
      }
      platform->mBus->AddNode(pair->Get(0)->GetValueString(), pair->Get(1)->GetValueString());
    }
  }
  const InterfacesOfDevices interfaces = CollectInterfaces(*devices);
  for (size_t i = 0; i < devices->Size(); ++i) {
    const SettingsMapPtr device = ToMap(devices->Get(i));
    const auto found = device ? interfaces.find(ToLower(device->GetString("parent", ""))) : interfaces.end();
    const bool composite = found != interfaces.end() && found->second.size() > 1;
    if (!device || !platform->AddDevice(*device, i, composite, error_O)) {
      if (!device) error_O = "device " + std::to_string(i) + " is not a map";
      return nullptr;
    }
  }
  platform->ShareUsbDevices();
  for (const std::shared_ptr<SBoard>& board : platform->mBoards) {
    if (board->attached) platform->mBus->Attach(board->attached);
  }
  return platform;
}

// A board that re-enumerates takes the whole USB device with it: the other collections of that device leave
// and come back with it. They are linked before anything is on the bus, so a board that starts in its loader
// starts without them.
void CSimPlatform::ShareUsbDevices()
{
  for (const std::shared_ptr<SBoard>& board : mBoards) {
    if (!board->hid || !board->hid->Config().reenumerate || board->usbDevice.empty()) continue;
    for (const std::shared_ptr<SBoard>& other : mBoards) {
      const bool reenumerates = other->bulk || (other->hid && other->hid->Config().reenumerate);
      if (other != board && other->attached && !reenumerates && other->usbDevice == board->usbDevice) {
        board->hid->ShareUsbDevice(other->attached);
      }
    }
  }
}

bool CSimPlatform::AddDevice(const CSettingsMap& device_I, size_t index_I, bool composite_I, std::string& error_O)
{
  SParsed parsed;
  const std::string kind = device_I.GetString("kind", "hid");
  if (kind == "scaler") return AddScaler(device_I, index_I, error_O);
  if (!CheckNumbers(device_I, index_I, error_O) || !ParseIdentity(device_I, index_I, parsed, error_O) ||
      !ParseLoader(device_I, index_I, parsed, error_O)) {
    return false;
  }
  if (composite_I && kind != "bulk") {
    const uint8_t mi = static_cast<uint8_t>(Int(device_I, "interface", 0));
    parsed.identity.parentId = InterfaceNodeId(parsed.identity.vendorId, parsed.identity.productId, mi, parsed.usbDevice);
    mBus->AddNode(parsed.identity.parentId, parsed.usbDevice);
  }
  auto board = std::make_shared<SBoard>();
  board->usbDevice = ToLower(parsed.usbDevice);
  board->name = device_I.GetString("name", kind + std::to_string(index_I));
  board->flashOut = device_I.GetString("flashOut", "");
  board->traceOut = device_I.GetString("traceOut", "");
  const SSimLoaderBlock& last = parsed.loader.blocks.empty() ? SSimLoaderBlock{} : parsed.loader.blocks.back();
  board->memoryStart = parsed.loader.memorySize != 0 ? parsed.loader.memoryBase
                                                     : (parsed.loader.blocks.empty() ? 0 : parsed.loader.blocks[0].start);
  board->memorySize = parsed.loader.memorySize != 0 ? static_cast<uint32_t>(parsed.loader.memorySize)
                                                    : last.start + last.size - board->memoryStart;
  const bool startInLoader = device_I.GetBool("startInLoader", false);
  std::shared_ptr<CSimBusDevice> attached;
  if (kind == "hid") {
    SSimHidBoardConfig config;
    config.normal = parsed.identity;
    config.loader = parsed.identity;
    config.loader.productId = static_cast<uint16_t>(parsed.loaderPid);
    config.loader.path = MakeSimHidPath(parsed.identity.vendorId, config.loader.productId, 0,
                                        Int(device_I, "instance", static_cast<int64_t>(index_I) + 1) + 0x100);
    config.loader.parentId = LoaderDeviceNode(*mBus, parsed);
    config.reenumerate = !device_I.GetBool("inPlace", false);
    config.reenumerateMs = Int(device_I, "reenumerateMs", 2000);
    config.openRefusedMs = Int(device_I, "openRefusedMs", 0);
    config.startInLoader = startInLoader;
    config.transferMs = Int(device_I, "transferMs", kSimTransferMs);
    config.flashLoader = parsed.loader;
    if (device_I.HasKey("versionAt")) {
      uint32_t address = 0;
      if (!ScenarioHex(device_I, "versionAt", 0, address)) {
        error_O = "device " + std::to_string(index_I) + ": versionAt is not hexadecimal";
        return false;
      }
      config.versionAddress = address;
    }
    board->hid = CSimHidBoard::Create(config, error_O);
    attached = board->hid;
  } else if (kind == "i2c") {
    SSimI2CBoardConfig config;
    config.identity = parsed.identity;
    config.startInLoader = startInLoader;
    config.enterMs = Int(device_I, "enterMs", 200);
    config.busyMs = Int(device_I, "exchangeBusyMs", 10);
    config.arrivalLagMs = Int(device_I, "arrivalLagMs", 0);
    config.transferMs = Int(device_I, "transferMs", kSimTransferMs);
    config.flashLoader = parsed.loader;
    board->i2c = CSimI2CTunnelBoard::Create(config, error_O);
    attached = board->i2c;
  } else if (kind == "bulk") {
    SSimBulkBoardConfig config;
    config.vendorId = parsed.identity.vendorId;
    config.productId = parsed.identity.productId;
    config.version = parsed.identity.version;
    config.path = MakeSimBulkPath(config.vendorId, config.productId, "5&" + std::to_string(index_I + 1) + "&0&2");
    config.parentId = parsed.identity.parentId;
    config.loader = parsed.identity;
    config.loader.productId = static_cast<uint16_t>(parsed.loaderPid);
    config.loader.path = MakeSimHidPath(config.vendorId, config.loader.productId, 0, static_cast<uint32_t>(index_I) + 0x200);
    config.reenumerateMs = Int(device_I, "reenumerateMs", 2000);
    config.startInLoader = startInLoader;
    config.transferMs = Int(device_I, "transferMs", kSimTransferMs);
    config.flashLoader = parsed.loader;
    board->bulk = CSimBulkBoard::Create(config, error_O);
    attached = board->bulk;
  } else if (kind == "collection") {
    attached = std::make_shared<CSimHidCollection>(parsed.identity);
  } else {
    error_O = "device " + std::to_string(index_I) + ": unknown kind \"" + kind + "\"";
    return false;
  }
  if (!attached) {
    error_O = "device " + std::to_string(index_I) + ": " + error_O;
    return false;
  }
  const SettingsArrayPtr fail = ToArray(device_I.Get("failTransfers"));
  const auto failField = [&fail](size_t index_I) -> uint64_t {
    const auto number = fail && fail->Size() == 2 ? std::dynamic_pointer_cast<CSettingsInteger>(fail->Get(index_I)) : nullptr;
    return number && number->Value() > 0 ? static_cast<uint64_t>(number->Value()) : 0;
  };
  const uint64_t failFirst = failField(0);
  const uint64_t failCount = failField(1);
  const bool stuck = device_I.GetBool("stuckBusy", false);
  const int64_t dropAfter = device_I.GetInteger("dropAfter", -1);
  // A bulk board's transfers, as its trace shows them, are those of the loader it becomes.
  if (const std::shared_ptr<CSimHidBoard> hid = board->bulk ? board->bulk->Loader() : board->hid) {
    if (failCount > 0) hid->FailTransfers(failFirst, failCount);
    hid->SetStuckBusy(stuck);
    if (dropAfter >= 0) hid->DropOffBusAfter(static_cast<uint64_t>(dropAfter));
  }
  if (board->i2c) {
    if (failCount > 0) board->i2c->FailTransfers(failFirst, failCount);
    board->i2c->SetStuckBusy(stuck);
    if (dropAfter >= 0) board->i2c->DropOffBusAfter(static_cast<uint64_t>(dropAfter));
  }
  board->attached = attached;
  mBoards.push_back(board);
  return true;
}


bool CSimPlatform::AddScaler(const CSettingsMap& device_I, size_t index_I, std::string& error_O)
{
  if (mScaler) {
    error_O = "device " + std::to_string(index_I) + ": one scaler at most";
    return false;
  }
  mScaler = SSimScalerBoard::Create(device_I, error_O);
  if (!mScaler) {
    error_O = "device " + std::to_string(index_I) + ": " + error_O;
    return false;
  }
  mBridge = mScaler->bridge;
  auto board = std::make_shared<SBoard>();
  board->name = device_I.GetString("name", "scaler" + std::to_string(index_I));
  board->scaler = mScaler;
  board->memorySize = mScaler->isp->Config().blocks * 0x10000;
  board->flashOut = device_I.GetString("flashOut", "");
  mBoards.push_back(board);
  return true;
}

std::unique_ptr<CDiscovery> CSimPlatform::CreateDiscovery(const std::string& configFile_I) const
{
  if (mReplay) return std::make_unique<CDiscovery>(mReplay->Hid(), mReplay->Usb(), mReplay->Enumerator(), configFile_I);
  return std::make_unique<CSimDiscovery>(mBus, configFile_I);
}

std::shared_ptr<CDeviceEventSource> CSimPlatform::Events() const
{
  return mReplay ? mReplay->Events() : std::make_shared<CSimEventSource>(mBus);
}

std::vector<std::string> CSimPlatform::BoardNames() const
{
  std::vector<std::string> names;
  for (const std::shared_ptr<SBoard>& board : mBoards) names.push_back(board->name);
  return names;
}

std::shared_ptr<CSimHidBoard> CSimPlatform::HidBoard(const std::string& name_I) const
{
  for (const std::shared_ptr<SBoard>& board : mBoards) {
    if (board->name == name_I) return board->bulk ? board->bulk->Loader() : board->hid;
  }
  return nullptr;
}

std::shared_ptr<CSimBulkBoard> CSimPlatform::BulkBoard(const std::string& name_I) const
{
  for (const std::shared_ptr<SBoard>& board : mBoards) {
    if (board->name == name_I) return board->bulk;
  }
  return nullptr;
}

std::shared_ptr<CSimI2CTunnelBoard> CSimPlatform::I2CBoard(const std::string& name_I) const
{
  for (const std::shared_ptr<SBoard>& board : mBoards) {
    if (board->name == name_I) return board->i2c;
  }
  return nullptr;
}

bool CSimPlatform::WriteResults(std::string& error_O) const
{
  const std::vector<std::string> divergences = mReplay ? mReplay->Divergences() : std::vector<std::string>{};
  if (!divergences.empty()) {
    error_O = "the run left the recording: " + divergences.front() +
              (divergences.size() > 1 ? " (and " + std::to_string(divergences.size() - 1) + " more)" : "");
    return false;
  }
  for (const std::shared_ptr<SBoard>& board : mBoards) {
    const std::shared_ptr<CSimHidBoard> loader = board->bulk ? board->bulk->Loader() : board->hid;
    if (!board->flashOut.empty()) {
      const std::vector<uint8_t> flash = board->scaler ? board->scaler->isp->FlashBytes(0, board->memorySize)
                                         : board->i2c  ? board->i2c->FlashBytes(board->memoryStart, board->memorySize)
                                                       : loader->FlashBytes(board->memoryStart, board->memorySize);
      std::ofstream out(board->flashOut, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
      if (!out) {
        error_O = "cannot write " + board->flashOut;
        return false;
      }
    }
    if (board->traceOut.empty()) continue;
    std::ofstream out(board->traceOut, std::ios::trunc);
    const std::vector<SSimTransfer> trace = board->i2c ? board->i2c->Trace() : loader->Trace();
    for (const SSimTransfer& transfer : trace) {
      out << transfer.timeMs << (transfer.set ? " set " : " get ") << (transfer.ok ? "ok " : "failed ")
          << HexBytes(transfer.bytes) << "\n";
    }
    if (!out) {
      error_O = "cannot write " + board->traceOut;
      return false;
    }
  }
  return true;
}

}  // namespace orv::sim
