// The command line and autoconfig.ini: the first byte splits the input between the two.
#include "app/startupoptions.h"
#include "common/textconversion.h"
#include "fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size == 0) return 0;
  const size_t split = std::min<size_t>(data[0], size - 1);
  const std::string line(reinterpret_cast<const char*>(data) + 1, split);
  orv::StartupOptions options = orv::ParseCommandLine(orv::Utf8ToWide(line));
  options.path.clear();
  options.testPids.clear();
  const std::string path = orv::fuzz::WriteScratchFile(data + 1 + split, size - 1 - split, ".autoconfig");
  orv::ReadAutoConfig(options, path);
  return 0;
}
