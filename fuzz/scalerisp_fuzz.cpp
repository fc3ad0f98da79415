// The scaler's register reads (ISP status, CRC, flash ids, panel ids) come from the input, through the ISP flow
// programming one 64 KiB block. The first byte picks the Quanta board variant. Fuzzing answers through the
// fast bridge; the replay build runs every input through the simulated bridge as well and requires the same
// outcome.
#include <cstdio>
#include <cstdlib>

#include "common/fwupdater/rtdisp.h"
#include "common/osd/i2cconnectorftdi.h"
#include "fuzz/fuzzbridge.h"
#include "fuzz/fuzzslave.h"
#include "fuzz/fuzzunplugbridge.h"
#include "sim/csimftdibridge.h"
#include "sim/csimscalerisp.h"

namespace orv::fuzz {

// 0: the bridge did not open; 1: the flow failed; 2: it succeeded.
int RunScalerConversation(CD2XX& bridge_I, bool quanta_I)
{
  auto connector = std::make_shared<CI2CConnectorFTDI>(bridge_I);
  if (!connector->Open(0)) return 0;
  CNullNotifier notifier;
  CScalarISP isp(connector, &notifier, quanta_I);
  isp.LoadData(std::vector<uint8_t>(0x10000, 0xA5));
  return isp.IsReady() && isp.SerialFlashISPFlow() ? 2 : 1;
}

// With the input's source, the bridge is unplugged once the input is used up.
int RunOnSimulatedBridge(const std::shared_ptr<sim::CSimI2CSlave>& isp_I, bool quanta_I, const CByteSource* source_I)
{
  sim::CSimFtdiBridge bridge(InstantBridge());
  bridge.Attach(isp_I);
  if (source_I == nullptr) return RunScalerConversation(bridge, quanta_I);
  CUnplugBridge unplugging(bridge, *source_I);
  return RunScalerConversation(unplugging, quanta_I);
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
    RunOnSimulatedBridge(RecordingSlave(sim::CSimScalerIsp::Create(config, error), 0x94, script), quanta, nullptr);
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
  using namespace orv::fuzz;
  if (size == 0) return 0;
  const bool quanta = (data[0] & 1) != 0;
  SVirtualTime time;
  CByteSource source(data + 1, size - 1);
  CFuzzBridge bridge(std::make_shared<CFuzzSlave>(source, 0x94));
  CUnplugBridge unplugging(bridge, source);
  [[maybe_unused]] const int outcome = RunScalerConversation(unplugging, quanta);
#ifdef ORVEL_FUZZ_REPLAY
  SVirtualTime simulatedTime;
  CByteSource simulatedSource(data + 1, size - 1);
  if (RunOnSimulatedBridge(std::make_shared<CFuzzSlave>(simulatedSource, 0x94), quanta, &simulatedSource) != outcome ||
      simulatedSource.Used() != source.Used()) {
    std::fprintf(stderr, "the fast bridge answered otherwise than the simulated one\n");
    std::abort();
  }
#endif
  return 0;
}
