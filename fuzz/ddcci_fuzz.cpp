// The display's DDC/CI replies (display information, EDID blocks and tables, capabilities, VCP values) come
// from the input, through the connector's queries over the simulated bridge.
#include <cstdlib>

#include "common/osd/i2cconnectorftdi.h"
#include "fuzz/fuzzslave.h"
#include "sim/csimddcdisplay.h"
#include "sim/csimftdibridge.h"

namespace orv::fuzz {

void RunDisplayConversation(const std::shared_ptr<sim::CSimI2CSlave>& display_I)
{
  sim::CSimFtdiBridge bridge(InstantBridge());
  bridge.Attach(display_I);
  CI2CConnectorFTDI connector(bridge);
  if (!connector.Open(0)) return;
  connector.GetSerialNumber(kAnyDisplay);
  connector.GetModelName();
  connector.ReadFWVersion();
  connector.ReadEDID(kAnyDisplay);
  connector.ReadCapabilitiesString();
  connector.Close();
}

void MakeSeeds(const std::string& folder_I)
{
  SVirtualTime time;
  std::string error;
  auto script = std::make_shared<std::vector<uint8_t>>();
  RunDisplayConversation(RecordingSlave(sim::CSimDdcDisplay::Create({}, error), 0x6E, script));
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
  orv::fuzz::SVirtualTime time;
  orv::fuzz::CByteSource source(data, size);
  orv::fuzz::RunDisplayConversation(std::make_shared<orv::fuzz::CFuzzSlave>(source, 0x6E));
  return 0;
}
