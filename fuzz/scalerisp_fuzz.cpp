// The scaler's register reads (ISP status, CRC, flash ids, panel ids) come from the input, through the ISP flow
// programming one 64 KiB block over the simulated bridge. The first byte picks the Quanta board variant.
#include <cstdlib>

#include "common/fwupdater/rtdisp.h"
#include "common/osd/i2cconnectorftdi.h"
#include "fuzz/fuzzslave.h"
#include "sim/csimftdibridge.h"
#include "sim/csimscalerisp.h"

namespace orv::fuzz {

void RunScalerConversation(const std::shared_ptr<sim::CSimI2CSlave>& isp_I, bool quanta_I)
{
  sim::CSimFtdiBridge bridge(InstantBridge());
  bridge.Attach(isp_I);
  auto connector = std::make_shared<CI2CConnectorFTDI>(bridge);
  if (!connector->Open(0)) return;
  CNullNotifier notifier;
  CScalarISP isp(connector, &notifier, quanta_I);
  isp.LoadData(std::vector<uint8_t>(0x10000, 0xA5));
  if (isp.IsReady()) isp.SerialFlashISPFlow();
}

void MakeSeeds(const std::string& folder_I)
{
  for (const bool quanta : {false, true}) {
    SVirtualTime time;
    sim::SSimScalerIspConfig config;
    config.blocks = 1;
    if (quanta) {
      config.panelId1 = 0xCF;
      config.panelId2 = 0x21;
      config.wpPinRegister = 0x36;
      config.wpOutputRegister = 0x26;
    }
    std::string error;
    auto script = std::make_shared<std::vector<uint8_t>>();
    RunScalerConversation(RecordingSlave(sim::CSimScalerIsp::Create(config, error), 0x94, script), quanta);
    SaveScript(folder_I + (quanta ? "/quanta" : "/plain"), {static_cast<uint8_t>(quanta)}, *script);
  }
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
  orv::fuzz::CByteSource source(data + 1, size - 1);
  orv::fuzz::RunScalerConversation(std::make_shared<orv::fuzz::CFuzzSlave>(source, 0x94), (data[0] & 1) != 0);
  return 0;
}
