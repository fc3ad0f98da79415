#include "common/fwupdater/cbulkfldeviceinterface.h"

#include "common/assertion.h"
#include "common/fwupdater/cdevice.h"

namespace orv {
namespace {

constexpr size_t kDeviceDescriptorLength = 18;
constexpr size_t kScratchLength = 128;
constexpr SUsbSetupPacket kSwitchToLoader{0x41, 0xF0, 0xFFFF, 0, 0};
constexpr SUsbSetupPacket kPing{0xC1, 0x01, 0, 0, 2};
constexpr SUsbSetupPacket kVendorCommand{0x41, 0xF5, 0xFFFF, 0, 0};

uint16_t Le16(const std::vector<uint8_t>& bytes_I, size_t pos_I)
{
  return static_cast<uint16_t>(bytes_I[pos_I] | (bytes_I[pos_I + 1] << 8));
}

SUsbSetupPacket SetupOf(const Report& description_I)
{
  return SUsbSetupPacket{description_I[0], description_I[1], description_I[3], description_I[2], description_I[4]};
}

}  // namespace

CBulkFLDeviceInterface::CBulkFLDeviceInterface(std::string path_I, std::shared_ptr<CUsbSystem> system_I)
    : CFLDeviceInterface(std::move(path_I), EINTERFACETYPE_BULK), mSystem(std::move(system_I))
{
}

bool CBulkFLDeviceInterface::Open()
{
  if (Ping()) return true;
  Close();
  mDevice = mSystem->Open(mPath);
  mOpen = mDevice != nullptr;
  return mOpen;
}

void CBulkFLDeviceInterface::Close()
{
  mDevice.reset();
  mOpen = false;
}

bool CBulkFLDeviceInterface::QueryAttributes()
{
  if (!Open()) return false;
  std::vector<uint8_t> descriptor;
  const bool result = mDevice->GetDeviceDescriptor(descriptor) && descriptor.size() >= kDeviceDescriptorLength;
  if (result) {
    mVendorId = Le16(descriptor, 8);
    mProductId = Le16(descriptor, 10);
    mVersion = Le16(descriptor, 12);
  }
  Close();
  return result;
}

std::string CBulkFLDeviceInterface::GetParentDeviceId(uint8_t levels_I)
{
  return GetParentDeviceIdOfPath(*mSystem, mPath, levels_I);
}

bool CBulkFLDeviceInterface::SwitchToBLMode()
{
  const bool result = !IsLoader() && Open() && WriteRawReport(kSwitchToLoader);
  Close();
  return result;
}

bool CBulkFLDeviceInterface::SwitchFromBLMode(bool save_I)
{
  ORV_ASSERT(save_I);
  return false;
}

bool CBulkFLDeviceInterface::Ping() { return ReadRawReport(kPing); }

bool CBulkFLDeviceInterface::SendVendorCommand() { return WriteRawReport(kVendorCommand); }

bool CBulkFLDeviceInterface::WriteReport(Report& buffer_IO)
{
  return buffer_IO.size() == 5 && WriteRawReport(SetupOf(buffer_IO));
}

bool CBulkFLDeviceInterface::ReadReport(Report& buffer_IO)
{
  return buffer_IO.size() == 5 && ReadRawReport(SetupOf(buffer_IO));
}

bool CBulkFLDeviceInterface::WriteRawReport(const SUsbSetupPacket& setup_I) { return ControlTransfer(setup_I); }

bool CBulkFLDeviceInterface::ReadRawReport(const SUsbSetupPacket& setup_I) { return ControlTransfer(setup_I); }

// The data a read brings is not used: the board's answer is only whether the transfer went through.
bool CBulkFLDeviceInterface::ControlTransfer(const SUsbSetupPacket& setup_I)
{
  if (!IsOpen() || IsLoader() || !mDevice || setup_I.length > kScratchLength) return false;
  std::vector<uint8_t> scratch(kScratchLength, 0);
  return mDevice->ControlTransfer(setup_I, scratch);
}

}  // namespace orv
