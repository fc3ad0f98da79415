#include "common/fwupdater/flprotocol.h"

#include <atomic>

#include "common/assertion.h"

namespace orv {
namespace {

// Process-wide: every interface speaks the numbering the controller chose before programming.
std::atomic<int32_t> protocolType{0};

// Protocol 0 ids; protocol 1 adds 0xC1 to each, except where the table below says otherwise.
uint8_t Protocol0Id(eBL_HID_REP role_I)
{
  switch (role_I) {
    case eBL_HID_REP_READ_FLASH_ID: return 0x10;
    case eBL_HID_REP_WRITE_FLASH_BLOCK_ID: return 0x11;
    case eBL_HID_REP_ERASE_BLOCK_ID: return 0x12;
    case eBL_HID_REP_WRITE_VALUE_ID: return 0x13;
    case eBL_HID_REP_READ_VALUE_ID: return 0x14;
    case eBL_HID_REP_EXIT_LOADER_ID: return 0x15;
    case eBL_HID_REP_EXIT_LOADER_SHORT_ID: return 0x15;
    case eBL_HID_REP_WRITE_FLASH_WORD_ID: return 0x16;
    case eBL_HID_REP_LOADER_PARAMETERS_ID: return 0x17;
    case eBL_HID_REP_LOADER_DESCRIPTION_ID: return 0x18;
    case eBL_HID_REP_CHECKSUM_INFO_ID: return 0x19;
    case eBL_HID_REP_SET_BLOCK_CHECKSUM_ID: return 0x1A;
    case eBL_HID_REP_CALCULATE_BLOCK_CHECKSUM_ID: return 0x1B;
    case eBL_HID_REP_SET_MAGIC_WORD_ID: return 0x1C;
    case eBL_HID_REP_WRITE_CHECKSUMS_TO_ROM_ID: return 0x1D;
    case eBL_HID_REP_LOADER_INFO_ID: return 0x1E;
    case eBL_HID_REP_STATUS_ID: return 0x1F;
    case eBL_HID_REP_SET_CURRENT_CPU_ID: return 0x20;
    case eBL_HID_REP_GET_CURRENT_CPU_ID: return 0x21;
    case eBL_HID_REP_GET_CPU_COUNT_ID: return 0x22;
    default: return 0;
  }
}

}  // namespace

void CFLProtocol::SetProtocolType(int32_t type_I) { protocolType = type_I; }

int32_t CFLProtocol::GetProtocolType() { return protocolType; }

uint8_t CFLProtocol::GetReportId(eBL_HID_REP role_I)
{
  if (protocolType != 1) {
    if (role_I == eBL_HID_REP_PROGRAMMING_ID) {
      ORV_ASSERT_MESSAGE("eBL_HID_REP_PROGRAMMING_ID NOT SUPPORTED FOR CURRENT PROTOCOL");
    }
    return Protocol0Id(role_I);
  }
  switch (role_I) {
    case eBL_HID_REP_EXIT_LOADER_SHORT_ID: return 0xCD;
    case eBL_HID_REP_STATUS_ID: return 0x1F;
    case eBL_HID_REP_PROGRAMMING_ID: return 0xE4;
    default: return static_cast<uint8_t>(Protocol0Id(role_I) + 0xC1);
  }
}

}  // namespace orv
