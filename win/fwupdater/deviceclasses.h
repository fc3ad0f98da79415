// The device interface classes the updater listens for.
#pragma once

#include <windows.h>

#include "win/fwupdater/cwindeviceenumerator.h"

namespace orv {

// HID collections (the pen, touch and bluetooth boards and the I2C tunnels): the class HidD_GetHidGuid names.
inline constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
// Boards reached by USB control requests.
inline constexpr GUID kBulkInterfaceClass = kWinBulkInterfaceClass;

}  // namespace orv
