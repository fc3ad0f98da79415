#include "sim/csimscalerboard.h"

#include "common/settings/csettingsmap.h"
#include "sim/csimscenario.h"

namespace orv::sim {
namespace {

uint32_t Int(const CSettingsMap& map_I, const std::string& key_I, uint32_t default_I)
{
  const int64_t value = map_I.GetInteger(key_I, default_I);
  return value < 0 ? default_I : static_cast<uint32_t>(value);
}

bool HexByte(const CSettingsMap& map_I, const std::string& key_I, uint8_t default_I, uint8_t& value_O)
{
  uint32_t value = 0;
  if (!ScenarioHex(map_I, key_I, default_I, value) || value > 0xFF) return false;
  value_O = static_cast<uint8_t>(value);
  return true;
}

uint64_t FaultCount(const CSettingsMap& map_I, const std::string& key_I)
{
  const int64_t count = map_I.GetInteger(key_I, 0);
  return count < 0 ? kSimAlways : static_cast<uint64_t>(count);
}

// The scaler's firmware keeps its version as three bytes (major, minor, patch) at a fixed flash address; all
// FF is erased flash, which names none.
std::function<std::optional<uint32_t>()> FlashedVersion(const std::shared_ptr<CSimScalerIsp>& isp_I, uint32_t address_I)
{
  const std::weak_ptr<CSimScalerIsp> weak = isp_I;
  return [weak, address_I]() -> std::optional<uint32_t> {
    const std::shared_ptr<CSimScalerIsp> isp = weak.lock();
    const std::vector<uint8_t> bytes = isp ? isp->FlashBytes(address_I, 3) : std::vector<uint8_t>{};
    if (bytes.size() != 3 || (bytes[0] == 0xFF && bytes[1] == 0xFF && bytes[2] == 0xFF)) return std::nullopt;
    return static_cast<uint32_t>(bytes[0] << 16 | bytes[1] << 8 | bytes[2]);
  };
}

}  // namespace

std::shared_ptr<SSimScalerBoard> SSimScalerBoard::Create(const CSettingsMap& device_I, std::string& error_O)
{
  SSimDdcDisplayConfig display;
  display.model = device_I.GetString("model", display.model);
  display.serial = device_I.GetString("serial", display.serial);
  display.capabilities = device_I.GetString("capabilities", display.capabilities);
  display.firmwareVersion = Int(device_I, "firmware", display.firmwareVersion);

  SSimScalerIspConfig isp;
  isp.blocks = Int(device_I, "blocks", isp.blocks);
  isp.ispEntryMs = Int(device_I, "ispEntryMs", isp.ispEntryMs);
  isp.eraseMs = Int(device_I, "eraseMs", isp.eraseMs);
  isp.pageProgramMs = Int(device_I, "pageProgramMs", isp.pageProgramMs);
  isp.crcMsPer64K = Int(device_I, "crcMs", isp.crcMsPer64K);
  if (!HexByte(device_I, "panelId1", isp.panelId1, isp.panelId1) ||
      !HexByte(device_I, "panelId2", isp.panelId2, isp.panelId2) ||
      !HexByte(device_I, "wpPin", isp.wpPinRegister, isp.wpPinRegister) ||
      !HexByte(device_I, "wpOutput", isp.wpOutputRegister, isp.wpOutputRegister)) {
    error_O = "a panel id or register is not one hexadecimal byte";
    return nullptr;
  }

  SSimBridgeConfig bridge;
  bridge.roundTripUs = Int(device_I, "roundTripUs", bridge.roundTripUs);
  bridge.honourLatencyTimer = device_I.GetBool("latencyTimer", bridge.honourLatencyTimer);

  auto board = std::make_shared<SSimScalerBoard>();
  board->isp = CSimScalerIsp::Create(isp, error_O);
  if (!board->isp) return nullptr;
  if (device_I.HasKey("firmwareAt")) {
    uint32_t address = 0;
    if (!ScenarioHex(device_I, "firmwareAt", 0, address)) {
      error_O = "firmwareAt is not a hexadecimal address";
      return nullptr;
    }
    display.flashedVersion = FlashedVersion(board->isp, address);
  }
  board->display = CSimDdcDisplay::Create(display, error_O);
  if (!board->display) return nullptr;
  board->isp->SetNoAcknowledge(device_I.GetBool("ispNoAcknowledge", false));
  board->isp->RefuseIspEntry(device_I.GetBool("refuseIsp", false));
  board->isp->FailErases(FaultCount(device_I, "failErases"));
  board->isp->CorruptPrograms(FaultCount(device_I, "corruptPrograms"));
  board->display->SetNoAcknowledge(FaultCount(device_I, "displayNoAcknowledge"));
  board->bridge = std::make_shared<CSimFtdiBridge>(bridge);
  board->bridge->Attach(board->display);
  board->bridge->Attach(board->isp);
  return board;
}

}  // namespace orv::sim
