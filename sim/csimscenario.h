// Fields of a scenario file that several kinds of simulated device read alike.
#pragma once

#include <cstdint>
#include <string>

namespace orv {
class CSettingsMap;
}

namespace orv::sim {

// A hexadecimal text field (default_I when absent); false when it is not a 32-bit hexadecimal number.
bool ScenarioHex(const CSettingsMap& map_I, const std::string& key_I, uint32_t default_I, uint32_t& value_O);

}  // namespace orv::sim
