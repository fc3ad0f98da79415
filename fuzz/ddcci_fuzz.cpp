// The display's DDC/CI replies (display information, EDID blocks and tables, capabilities, VCP values) come
// from the input, through the connector's queries. Fuzzing answers them through the fast bridge; the replay
// build runs every input through the simulated bridge as well and requires the same answers.
#include <cstdio>
#include <cstdlib>

#include "common/osd/i2cconnectorftdi.h"
#include "fuzz/fuzzbridge.h"
#include "fuzz/fuzzslave.h"
#include "sim/csimddcdisplay.h"
#include "sim/csimftdibridge.h"

namespace orv::fuzz {

// What the queries made of the replies.
struct SDisplayAnswers {
  std::string serial, model, capabilities;
  PackedVersion version{};
  std::vector<uint8_t> edid;
  bool operator==(const SDisplayAnswers&) const = default;
};

SDisplayAnswers RunDisplayConversation(CD2XX& bridge_I)
{
  SDisplayAnswers answers;
  CI2CConnectorFTDI connector(bridge_I);
  if (!connector.Open(0)) return answers;
  answers.serial = connector.GetSerialNumber(kAnyDisplay);
  answers.model = connector.GetModelName();
  answers.version = connector.ReadFWVersion();
  answers.edid = connector.ReadEDID(kAnyDisplay);
  answers.capabilities = connector.ReadCapabilitiesString();
  connector.Close();
  return answers;
}

SDisplayAnswers RunOnSimulatedBridge(const std::shared_ptr<sim::CSimI2CSlave>& display_I)
{
  sim::CSimFtdiBridge bridge(InstantBridge());
  bridge.Attach(display_I);
  return RunDisplayConversation(bridge);
}

void MakeSeeds(const std::string& folder_I)
{
  SVirtualTime time;
  std::string error;
  auto script = std::make_shared<std::vector<uint8_t>>();
  RunOnSimulatedBridge(RecordingSlave(sim::CSimDdcDisplay::Create({}, error), 0x6E, script));
  SaveScript(folder_I + "/healthy", {}, *script);
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
  SVirtualTime time;
  CByteSource source(data, size);
  CFuzzBridge bridge(std::make_shared<CFuzzSlave>(source, 0x6E));
  [[maybe_unused]] const SDisplayAnswers answers = RunDisplayConversation(bridge);
#ifdef ORVEL_FUZZ_REPLAY
  SVirtualTime simulatedTime;
  CByteSource simulatedSource(data, size);
  if (RunOnSimulatedBridge(std::make_shared<CFuzzSlave>(simulatedSource, 0x6E)) != answers ||
      simulatedSource.Used() != source.Used()) {
    std::fprintf(stderr, "the fast bridge answered otherwise than the simulated one\n");
    std::abort();
  }
#endif
  return 0;
}
