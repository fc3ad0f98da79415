// Report ids of the flash-loader protocol. Two generations number the same reports differently; the
// process-wide protocol type selects the numbering every interface uses.
#pragma once

#include <cstdint>

namespace orv {

enum eBL_HID_REP : int32_t {
  eBL_HID_REP_READ_FLASH_ID,
  eBL_HID_REP_WRITE_FLASH_BLOCK_ID,
  eBL_HID_REP_ERASE_BLOCK_ID,
  eBL_HID_REP_WRITE_VALUE_ID,
  eBL_HID_REP_READ_VALUE_ID,
  eBL_HID_REP_EXIT_LOADER_ID,
  eBL_HID_REP_EXIT_LOADER_SHORT_ID,
  eBL_HID_REP_WRITE_FLASH_WORD_ID,
  eBL_HID_REP_LOADER_PARAMETERS_ID,
  eBL_HID_REP_LOADER_DESCRIPTION_ID,
  eBL_HID_REP_CHECKSUM_INFO_ID,
  eBL_HID_REP_SET_BLOCK_CHECKSUM_ID,
  eBL_HID_REP_CALCULATE_BLOCK_CHECKSUM_ID,
  eBL_HID_REP_SET_MAGIC_WORD_ID,
  eBL_HID_REP_WRITE_CHECKSUMS_TO_ROM_ID,
  eBL_HID_REP_LOADER_INFO_ID,
  eBL_HID_REP_STATUS_ID,
  eBL_HID_REP_SET_CURRENT_CPU_ID,
  eBL_HID_REP_GET_CURRENT_CPU_ID,
  eBL_HID_REP_GET_CPU_COUNT_ID,
  eBL_HID_REP_PROGRAMMING_ID,
};

class CFLProtocol {
 public:
  // 0: the original numbering; 1: the numbering of loaders switched in place.
  static void SetProtocolType(int32_t type_I);
  static int32_t GetProtocolType();
  // The report id of a role under the current protocol type.
  static uint8_t GetReportId(eBL_HID_REP role_I);
};

}  // namespace orv
