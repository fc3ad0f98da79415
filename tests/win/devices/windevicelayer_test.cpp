// The Windows device layer over system calls that behave as Windows does, in front of the simulated bus:
// SetupAPI enumeration, the configuration manager's ancestor walk, HID feature reports with their padding and
// the HID-router wrapper, and WinUSB.
#include <gtest/gtest.h>

#include "common/cclock.h"
#include "common/fwupdater/cbulkfldeviceinterface.h"
#include "common/fwupdater/chidfldeviceinterface.h"
#include "sim/csimbulkboard.h"
#include "sim/csimplatform.h"
#include "tests/win/devices/csimwincalls.h"
#include "win/fwupdater/cwinhidsystem.h"
#include "win/fwupdater/cwinusbsystem.h"

using namespace orv;

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kTablet = R"({
  "nodes": [["USB\\VID_4F52&PID_0101\\TAB1", "USB\\ROOT_HUB30\\1"]],
  "devices": [
    {"kind": "hid", "name": "pen", "pid": "0101", "instance": 1, "parent": "USB\\VID_4F52&PID_0101\\TAB1"},
    {"kind": "collection", "vid": "046D", "pid": "C077", "usageId": "2", "usagePg": "1", "instance": 7},
    {"kind": "i2c", "name": "touch", "pid": "0101", "usageId": "2", "interface": 1, "instance": 2,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1"},
    {"kind": "bulk", "name": "hub", "pid": "0300", "loaderPid": "0301"}
  ]
})";

// A HID-router collection whose loader runs from the start.
const char* const kRouterLoader = R"({"devices": [
  {"kind": "hid", "name": "pen", "pid": "0100", "usageId": "A", "usagePg": "FF00", "startInLoader": true,
   "blockStart": "0", "blockSize": 4096, "blocks": 8}]})";

// Records every feature report the HID class driver is handed; without forwarding it answers each read with
// a pattern after the report id, as a collection whose reports are all FeatureReportByteLength long.
class CRecordingCalls : public test::CSimWinCalls {
 public:
  using CSimWinCalls::CSimWinCalls;

  BOOL DeviceIoControl(HANDLE device_I, DWORD code_I, LPVOID in_I, DWORD inSize_I, LPVOID out_IO, DWORD outSize_I,
                       LPDWORD returned_O, LPOVERLAPPED overlapped_IO) override
  {
    auto* bytes = static_cast<uint8_t*>(out_IO);
    const bool get = code_I == IOCTL_HID_GET_FEATURE;
    (get ? mGets : mSets).emplace_back(bytes, bytes + outSize_I);
    if (mForward) {
      return CSimWinCalls::DeviceIoControl(device_I, code_I, in_I, inSize_I, out_IO, outSize_I, returned_O,
                                           overlapped_IO);
    }
    for (DWORD i = 1; get && i < outSize_I; ++i) bytes[i] = static_cast<uint8_t>(0xA0 + i);
    if (get && mAnswerId != 0) bytes[0] = mAnswerId;
    return TRUE;
  }

  bool mForward = true;
  // The report id the pattern answers with, when not the one asked for (0: the one asked for).
  uint8_t mAnswerId = 0;
  std::vector<Bytes> mSets;
  std::vector<Bytes> mGets;
};

// System calls that fail where a test asks them to.
class CFaultyCalls : public test::CSimWinCalls {
 public:
  using CSimWinCalls::CSimWinCalls;

  HDEVINFO SetupDiGetClassDevsW(const GUID* class_I, PCWSTR enumerator_I, HWND parent_I, DWORD flags_I) override
  {
    return mRefuseSets ? INVALID_HANDLE_VALUE : CSimWinCalls::SetupDiGetClassDevsW(class_I, enumerator_I, parent_I, flags_I);
  }
  BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set_I, PSP_DEVINFO_DATA device_I, const GUID* class_I, DWORD index_I,
                                   PSP_DEVICE_INTERFACE_DATA interface_O) override
  {
    if (index_I == mFailMember) {
      SetLastError(ERROR_GEN_FAILURE);
      return FALSE;
    }
    return CSimWinCalls::SetupDiEnumDeviceInterfaces(set_I, device_I, class_I, index_I, interface_O);
  }
  BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set_I, PSP_DEVICE_INTERFACE_DATA interface_I,
                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail_O, DWORD detailSize_I,
                                        PDWORD requiredSize_O, PSP_DEVINFO_DATA device_O) override
  {
    if (interface_I->Reserved - 1 == mNoSizeMember && detail_O == nullptr) {
      *requiredSize_O = mNoSize;
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    return CSimWinCalls::SetupDiGetDeviceInterfaceDetailA(set_I, interface_I, detail_O, detailSize_I, requiredSize_O,
                                                          device_O);
  }
  CONFIGRET CM_Get_Device_IDA(DEVINST node_I, PCHAR buffer_O, ULONG length_I, ULONG flags_I) override
  {
    if (mIdTooLong) {
      std::fill_n(buffer_O, length_I, 'X');
      return CR_BUFFER_SMALL;
    }
    return CSimWinCalls::CM_Get_Device_IDA(node_I, buffer_O, length_I, flags_I);
  }

  bool mRefuseSets = false;
  DWORD mFailMember = MAXDWORD;
  ULONG_PTR mNoSizeMember = MAXDWORD;
  DWORD mNoSize = 0;
  bool mIdTooLong = false;
};

}  // namespace

// SetupAPI lists the present interfaces of each class in their order, and every list is destroyed again. A
// failing member ends the list, in the middle as much as last; one without a usable size is skipped.
TEST(WinDeviceLayer, SetupApiListsThePresentInterfacesUpToAFailingMember)
{
  test::CSimWinLayer<CFaultyCalls> layer(kTablet);
  const std::vector<std::string> present = layer.Present(EDEVICECLASS_HID);
  ASSERT_EQ(present.size(), 3u);
  EXPECT_EQ(layer.Enumerate(EDEVICECLASS_HID), present);
  ASSERT_EQ(layer.Present(EDEVICECLASS_BULK).size(), 1u);
  EXPECT_EQ(layer.Enumerate(EDEVICECLASS_BULK), layer.Present(EDEVICECLASS_BULK));
  EXPECT_EQ(layer.mCalls->ClassDevsFlags(), (std::vector<DWORD>{0x12, 0x12})) << "present device interfaces only";
  layer.mCalls->mFailMember = 2;
  EXPECT_EQ(layer.Enumerate(EDEVICECLASS_HID), (std::vector<std::string>{present[0], present[1]}));
  layer.mCalls->mFailMember = 1;
  EXPECT_EQ(layer.Enumerate(EDEVICECLASS_HID), (std::vector<std::string>{present[0]}));
  layer.mCalls->mFailMember = MAXDWORD;
  layer.mCalls->mNoSizeMember = 1;
  for (const DWORD size : {DWORD{0}, DWORD{4}, DWORD{0x7FFFFFFF}}) {
    layer.mCalls->mNoSize = size;
    EXPECT_EQ(layer.Enumerate(EDEVICECLASS_HID), (std::vector<std::string>{present[0], present[2]})) << size;
  }
  layer.mCalls->mRefuseSets = true;
  EXPECT_TRUE(layer.Enumerate(EDEVICECLASS_HID).empty());
  EXPECT_EQ(layer.mCalls->Leftovers(), "");
}

TEST(WinDeviceLayer, TheAncestorWalkFollowsTheDeviceTree)
{
  test::CSimWinLayer<CFaultyCalls> layer(kTablet);
  const std::string pen = layer.mPlatform->HidBoard("pen")->Path();
  const std::shared_ptr<CWinHidSystem> system = layer.Hid();
  CWinHidSystem& hid = *system;
  EXPECT_EQ(GetParentDeviceIdOfPath(hid, pen, 0), "HID\\VID_4F52&PID_0101&MI_00\\7&00000001&0&0000");
  // The tablet is composite: its pen collection hangs below the node of its interface.
  EXPECT_EQ(GetParentDeviceIdOfPath(hid, pen, 1).rfind("USB\\VID_4F52&PID_0101&MI_00\\6&", 0), 0u);
  EXPECT_EQ(GetParentDeviceIdOfPath(hid, pen, 2), "USB\\VID_4F52&PID_0101\\TAB1");
  EXPECT_EQ(GetParentDeviceIdOfPath(hid, pen, 3), "USB\\ROOT_HUB30\\1");
  EXPECT_EQ(GetParentDeviceIdOfPath(hid, pen, 9), "USB\\ROOT_HUB30\\1") << "above the root stays at the root";
  // A path without '#' names its node whole, after the four-character prefix.
  EXPECT_EQ(GetParentDeviceIdOfPath(hid, "\\\\?\\usb\\vid_4f52&pid_0101\\tab1", 1), "USB\\ROOT_HUB30\\1");
  EXPECT_EQ(GetParentDeviceIdOfPath(hid, "\\\\?\\HID#VID_4F52&PID_9999#1#{x}", 0), "");
  CHIDFLDeviceInterface absent("\\\\?\\HID#VID_4F52&PID_9999#1#{x}", system);
  EXPECT_FALSE(absent.QueryAttributes());
  EXPECT_FALSE(absent.IsOpen());
  layer.mCalls->mIdTooLong = true;
  EXPECT_EQ(GetParentDeviceIdOfPath(hid, pen, 1), "") << "an id that did not fit names no node";
  EXPECT_EQ(layer.mCalls->Leftovers(), "");
}

TEST(WinDeviceLayer, ShortFeatureReportsArePaddedToTheCollectionsLengthAndComeBackAtTheCallersLength)
{
  test::CSimWinLayer<CRecordingCalls> layer(kTablet);
  const std::string pen = layer.mPlatform->HidBoard("pen")->Path();
  layer.mCalls->SetFeatureLength(pen, 64);
  layer.mCalls->mForward = false;
  std::unique_ptr<CHidDevice> device = layer.Hid()->Open(pen);
  ASSERT_TRUE(device);

  ASSERT_TRUE(device->SetFeature({0x02, 0x00}));
  Bytes padded(64, 0);
  padded[0] = 0x02;
  EXPECT_EQ(layer.mCalls->mSets.back(), padded);
  Bytes report{0x14, 0, 0, 0, 0};
  ASSERT_TRUE(device->GetFeature(report));
  padded[0] = 0x14;
  EXPECT_EQ(layer.mCalls->mGets.back(), padded);
  EXPECT_EQ(report, (Bytes{0x14, 0xA1, 0xA2, 0xA3, 0xA4}));
  // A report as long as the collection's, or longer, goes as it is.
  Bytes longer(100, 0x5A);
  ASSERT_TRUE(device->GetFeature(longer));
  EXPECT_EQ(layer.mCalls->mGets.back(), Bytes(100, 0x5A));
  EXPECT_EQ(longer.size(), 100u);
  EXPECT_FALSE(device->SetFeature({})) << "an empty report is no report";
  // The class driver hands back whatever report the device answered with: another report's bytes are no answer.
  layer.mCalls->mAnswerId = 0x15;
  report = Bytes{0x14, 0, 0, 0, 0};
  EXPECT_FALSE(device->GetFeature(report));
}

// A board that stops answering holds a feature request for good: the request is called off after five
// seconds and fails, so the run's retries and messages follow instead of a hang.
TEST(WinDeviceLayer, AFeatureRequestTheBoardNeverAnswersFailsAfterFiveSeconds)
{
  test::CSimWinLayer layer(kTablet);
  const std::string pen = layer.mPlatform->HidBoard("pen")->Path();
  std::unique_ptr<CHidDevice> device = layer.Hid()->Open(pen);
  ASSERT_TRUE(device);
  layer.mCalls->StallFeatureReports(pen);
  const uint64_t start = Clock().NowMs();
  Bytes report{0x14, 0, 0, 0, 0};
  EXPECT_FALSE(device->GetFeature(report));
  EXPECT_FALSE(device->SetFeature({0x02, 0x00}));
  EXPECT_EQ(Clock().NowMs() - start, 10000u);
  device.reset();
  EXPECT_EQ(layer.mCalls->Leftovers(), "");
}

TEST(WinDeviceLayer, ARouterCollectionCarriesEveryReportInA1024ByteWrapper)
{
  CFLDeviceInterface::SetProtocolType(0);
  test::CSimWinLayer<CRecordingCalls> layer(kRouterLoader);
  CHIDFLDeviceInterface board(layer.mPlatform->HidBoard("pen")->Path(), layer.Hid());
  ASSERT_TRUE(board.QueryAttributes());
  EXPECT_EQ(board.GetUsagePage(), 0xFF00);
  board.SetLoaderMode(true);
  ASSERT_TRUE(board.Open());
  ASSERT_TRUE(board.EraseBlock(3));
  ASSERT_EQ(layer.mCalls->mSets.back().size(), 1024u);
  EXPECT_EQ(Bytes(layer.mCalls->mSets.back().begin(), layer.mCalls->mSets.back().begin() + 8),
            (Bytes{0xDC, 0x00, 0x05, 0x12, 0x03, 0x00, 0x00, 0x00}));
  uint32_t value = 0;
  ASSERT_TRUE(board.ReadValue(value));
  ASSERT_EQ(layer.mCalls->mGets.back().size(), 1024u);
  EXPECT_EQ(Bytes(layer.mCalls->mGets.back().begin(), layer.mCalls->mGets.back().begin() + 4),
            (Bytes{0xDC, 0x00, 0x05, 0x14}));
  board.Close();
  EXPECT_EQ(layer.mCalls->Leftovers(), "");
}

TEST(WinDeviceLayer, ABulkBoardIsIdentifiedAndSwitchedThroughWinUsb)
{
  test::CSimWinLayer layer(kTablet);
  const std::string path = layer.Present(EDEVICECLASS_BULK).front();
  auto usb = std::make_shared<CWinUsbSystem>(layer.mCalls, layer.mCalls);
  CBulkFLDeviceInterface board(path, usb);
  ASSERT_TRUE(board.QueryAttributes());
  EXPECT_EQ(board.GetVendorId(), 0x4F52);
  EXPECT_EQ(board.GetProductId(), 0x0300);
  EXPECT_EQ(board.GetVersion(), 0x0100u);
  EXPECT_EQ(GetParentDeviceIdOfPath(*usb, path, 0), "USB\\VID_4F52&PID_0300\\5&4&0&2");
  {
    // A ping asking for more than its two bytes comes back with those two alone.
    Bytes data(8, 0xEE);
    const std::unique_ptr<CUsbDevice> device = usb->Open(path);
    ASSERT_TRUE(device && device->ControlTransfer({0xC1, 0x01, 0, 0, 8}, data));
    EXPECT_EQ(data, (Bytes{0x00, 0x01}));
  }
  ASSERT_TRUE(board.SwitchToBLMode());
  EXPECT_TRUE(layer.Present(EDEVICECLASS_BULK).empty()) << "the board left for its loader";
  EXPECT_EQ(layer.mCalls->Leftovers(), "");
}
