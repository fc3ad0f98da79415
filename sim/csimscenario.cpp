#include "sim/csimscenario.h"

#include <stdexcept>

#include "common/settings/csettingsmap.h"

namespace orv::sim {

bool ScenarioHex(const CSettingsMap& map_I, const std::string& key_I, uint32_t default_I, uint32_t& value_O)
{
  const std::string text = map_I.GetString(key_I, "");
  value_O = default_I;
  if (text.empty()) return true;
  try {
    size_t used = 0;
    const unsigned long long value = std::stoull(text, &used, 16);
    value_O = static_cast<uint32_t>(value);
    return used == text.size() && value <= 0xFFFFFFFFull;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace orv::sim
