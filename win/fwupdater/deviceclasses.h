// The device interface classes the updater listens for.
#pragma once

#include <windows.h>

namespace orv {

// HID collections: the pen, touch and bluetooth boards and the I2C tunnels.
inline constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
// {103B887C-F5B0-46A6-856A-10CBA7460490}: boards reached by USB control requests.
inline constexpr GUID kBulkInterfaceClass = {0x103B887C, 0xF5B0, 0x46A6, {0x85, 0x6A, 0x10, 0xCB, 0xA7, 0x46, 0x04, 0x90}};

}  // namespace orv
