// What a board's flash must hold once a package's update file is programmed, checked against a simulated
// board or a flash file a scenario wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sim/csimplatform.h"

namespace orv::test {

// The flash of one board: count_I bytes from address_I (fewer where the flash ends).
using FlashReader = std::function<std::vector<uint8_t>(uint32_t address_I, uint32_t count_I)>;

// Every byte of the update file stands in the flash: S-records at their addresses, an Intel HEX image from
// 0x8000 (where the demo's loaders stream it), Airoha and scaler images from 0.
void ExpectFlashed(const std::filesystem::path& file_I, const FlashReader& flash_I);

// A board of the platform by name ("scalar" is the display's scaler).
FlashReader SimFlash(sim::CSimPlatform& platform_I, const std::string& board_I);
// A whole flash as a scenario's "flashOut" wrote it.
FlashReader FileFlash(const std::filesystem::path& file_I);

// All four boards of the demo display hold the files of the package in dir_I.
void ExpectDemoDisplayFlashed(const std::filesystem::path& dir_I,
                              const std::function<FlashReader(const std::string& board_I)>& flash_I);

}  // namespace orv::test
