// The I2C tunnel's answers (loader-mode status, write status, read answers) come from the input, through the
// loader commands a touch controller behind the tunnel is asked.
#include <cstdlib>

#include "common/fwupdater/ci2cfldeviceinterface.h"
#include "fuzz/fuzzsupport.h"
#include "sim/csimbus.h"
#include "sim/csimi2cboard.h"

namespace orv::fuzz {

void RunTunnelConversation(const std::shared_ptr<CHidSystem>& system_I, const std::string& path_I)
{
  CNullNotifier notifier;
  CI2CFLDeviceInterface touch(path_I, system_I);
  touch.SetNotifier(&notifier);
  if (!touch.Open()) return;
  touch.IsLoader();
  touch.SetLoaderMode(true);
  uint32_t value = 0;
  touch.ReadValue(value);
  touch.ReadLoaderParameters();
  touch.ReadLoaderDescription();
  std::vector<uint32_t> words;
  touch.QueryChecksumInfo(words);
  std::array<uint8_t, 34> info{};
  touch.QueryLoaderInfo(info);
  touch.WriteFlashBlock(std::vector<uint8_t>(64, 0x5A), 0x2000);
  std::vector<uint8_t> read;
  touch.ReadFlash(read, 2);
  touch.SwitchFromBLMode(false);
}

void MakeSeeds(const std::string& folder_I)
{
  SVirtualTime time;
  sim::SSimI2CBoardConfig config;
  config.identity = {0x4F52, 0x0101, 0x0100, 2, 0xFF0D, sim::MakeSimHidPath(0x4F52, 0x0101, 1, 2), ""};
  config.startInLoader = true;
  config.flashLoader.blocks = sim::MakeSimBlocks(0x2000, 1024, 8, 4);
  std::string error;
  auto bus = std::make_shared<sim::CSimBus>();
  bus->Attach(sim::CSimI2CTunnelBoard::Create(config, error));
  CRecordingHidSystem recorder(bus, config.identity.path);
  RunTunnelConversation(recorder.System(), config.identity.path);
  recorder.Save(folder_I + "/healthy", 0);
}

}  // namespace orv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  orv::fuzz::MakeSeedsWhenAsked(&orv::fuzz::MakeSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size == 0) return 0;
  orv::fuzz::SVirtualTime time;
  // The first byte only keeps the format of the loader harness's recordings.
  orv::fuzz::CByteSource source(data + 1, size - 1);
  orv::fuzz::RunTunnelConversation(std::make_shared<orv::fuzz::CScriptedHidSystem>(source, 0xFF0D), "touch");
  return 0;
}
