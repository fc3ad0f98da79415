#include "bench/benchpackage.h"

#include <fstream>
#include <iterator>
#include <unistd.h>

namespace orv::bench {
namespace {

// A pen board behind a HID router, and one of the bulk class, beside the demo package's models.
const char* const kExtraModels = R"(,
	{"name": "Orvel Router Tablet",
	 "penBoard": {"pid": "0301", "interface": "HID", "sectors": 64, "usageId": "0001", "usagePg": "FF00",
	              "intoBLMode": false, "update": "display_pen.orv"}},
	{"name": "Orvel Bulk Tablet",
	 "penBoard": {"pid": "0401", "interface": "BULK", "sectors": 32, "usageId": "0", "usagePg": "0",
	              "update": "tablet_s.pen"}},
	{"name": "Orvel Bulk Tablet",
	 "penBoard": {"pid": "0401", "update": "tablet_s.pen"},
	 "loaderBoard": {"pid": "0400", "interface": "HID", "sectors": 32, "usageId": "0001", "usagePg": "FF0D"}}
])";

}  // namespace

std::filesystem::path PrepareDemoCopy(const std::filesystem::path& demo_I, const std::string& stem_I)
{
  const std::filesystem::path work = std::filesystem::temp_directory_path() / (stem_I + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(work);
  std::filesystem::copy(demo_I, work);
  std::ifstream in(work / "fw_loader.ini");
  std::string topology((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t end = topology.rfind(']');
  if (end == std::string::npos) return {};
  topology = topology.substr(0, topology.rfind('}', end) + 1) + kExtraModels;
  std::ofstream(work / "fw_loader.ini") << topology;
  std::filesystem::current_path(work);
  return work;
}

}  // namespace orv::bench
