// The loader's side of the conversation: parameters, block description, checksum information and status
// answers come from the input, through the checks before programming and the programming of the board. The
// first byte picks the report numbering, the image format and the HID router; the rest is the board.
#include <cstdlib>

#include "common/fwupdater/cbinaryairoflash.h"
#include "common/fwupdater/chidfldeviceinterface.h"
#include "common/fwupdater/cintelhex.h"
#include "fuzz/fuzzsupport.h"
#include "sim/csimhidsystem.h"

namespace {

using namespace orv;

std::shared_ptr<CIntelHex> gIntelHex;
std::shared_ptr<CBinaryAiroFlash> gAiroha;

// One 512-byte page at 0x8000, as a touch controller's image starts.
std::string IntelHexText()
{
  std::string text = ":020000040000FA\r\n";
  for (uint32_t offset = 0x8000; offset < 0x8200; offset += 16) {
    uint32_t sum = 16 + (offset >> 8) + (offset & 0xFF);
    std::string line = ":10";
    char field[8];
    std::snprintf(field, sizeof(field), "%04X00", offset);
    line += field;
    for (uint32_t i = 0; i < 16; ++i) {
      const uint32_t value = (offset + i) * 7 & 0xFF;
      std::snprintf(field, sizeof(field), "%02X", value);
      line += field;
      sum += value;
    }
    std::snprintf(field, sizeof(field), "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += line + field;
  }
  return text + ":00000001FF\r\n";
}

}  // namespace

namespace orv::fuzz {

namespace {

void Converse(CHIDFLDeviceInterface& loader_IO, int32_t format_I)
{
  loader_IO.QueryAttributes();
  loader_IO.SetLoaderMode(true);
  loader_IO.Open();
  loader_IO.SetDataSourceFormat(format_I);
  bool ready = true;
  if (format_I == EDATASOURCE_HEX) {
    loader_IO.SetIntelHexData(gIntelHex);
  } else if (format_I == EDATASOURCE_AIROFLASH) {
    loader_IO.SetAiroFlashData(gAiroha);
  } else {
    std::vector<uint8_t> image(3000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 5 + 1);
    ready = loader_IO.InitializeDataForProgramming({{0x8000, image}, {0x20000, {1, 2, 3, 4, 5}}});
  }
  if (ready) loader_IO.ProgramBoard();
}

}  // namespace

// The conversation itself, on any HID system (the seed generator records it against a simulated board).
void RunLoaderConversation(const std::shared_ptr<CHidSystem>& system_I, uint8_t setup_I)
{
  const int32_t formats[] = {EDATASOURCE_PEN, EDATASOURCE_ORV, EDATASOURCE_HEX, EDATASOURCE_AIROFLASH};
  const int32_t format = formats[(setup_I >> 1) & 3];
  CNullNotifier notifier;
  CHIDFLDeviceInterface loader("loader", system_I);
  CFLDeviceInterface::SetProtocolType(setup_I & 1);
  loader.SetNotifier(&notifier);
  try {
    Converse(loader, format);
  } catch (const SInputUsedUp&) {
    // The board said all the input had for it; the rest would be the same failures to the end of every ladder.
  }
  // Whatever a board describes, the flash vector stays within what a tablet's flash can be.
  uint64_t described = 0;
  for (const FlashBlock& block : loader.GetFlashVector().flash) {
    described += block.size;
    if (!block.data.empty() && block.data.size() != block.size) std::abort();
  }
  if (described > kMaxDescribedFlash) std::abort();
  CFLDeviceInterface::SetProtocolType(0);
}

// Seeds: the conversations of healthy simulated loaders, recorded in the input's own format.
void MakeSeeds(const std::string& folder_I)
{
  for (const uint8_t setup : {0x00, 0x03, 0x05, 0x07, 0x08, 0x0D}) {
    sim::SSimLoaderConfig config;
    config.protocol = setup & 1;
    config.blocks = sim::MakeSimBlocks(0x8000, 4096, 26, 4);
    config.blockSize = 256;
    if (config.protocol == 1) {
      config.memoryBase = 0;
      config.memorySize = 0x40000;
    }
    SVirtualTime time;
    sim::SSimHidBoardConfig board;
    const uint16_t page = (setup & 8) != 0 ? 0xFF00 : 0xFF0D;
    board.normal = {0x4F52, 0x0210, 0x0100, 1, page, sim::MakeSimHidPath(0x4F52, 0x0210, 0, 1), ""};
    board.loader = board.normal;
    board.reenumerate = false;
    board.startInLoader = true;
    board.flashLoader = config;
    std::string error;
    auto system = std::make_shared<sim::CSimHidSystem>();
    system->AddBoard(sim::CSimHidBoard::Create(board, error));
    CRecordingHidSystem recorder(system, board.normal.path);
    RunLoaderConversation(recorder.System(), setup);
    recorder.Save(folder_I + "/healthy-" + std::to_string(setup), setup);
  }
}

}  // namespace orv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  const std::string hex = IntelHexText();
  gIntelHex = std::make_shared<CIntelHex>();
  gIntelHex->Load(fuzz::WriteScratchFile(reinterpret_cast<const uint8_t*>(hex.data()), hex.size(), ".hex"));
  std::vector<uint8_t> airoha(600);
  for (size_t i = 0; i < airoha.size(); ++i) airoha[i] = static_cast<uint8_t>(i * 13);
  gAiroha = std::make_shared<CBinaryAiroFlash>();
  gAiroha->Load(fuzz::WriteScratchFile(airoha.data(), airoha.size(), ".airoflash"));
  fuzz::MakeSeedsWhenAsked(&fuzz::MakeSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size == 0) return 0;
  orv::fuzz::SVirtualTime time;
  orv::fuzz::CByteSource source(data + 1, size - 1);
  orv::fuzz::RunLoaderConversation(
      std::make_shared<orv::fuzz::CScriptedHidSystem>(source, (data[0] & 8) != 0 ? 0xFF00 : 0xFF0D, true), data[0]);
  return 0;
}
