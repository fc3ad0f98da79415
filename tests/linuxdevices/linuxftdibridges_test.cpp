// The display's FTDI bridge among other FTDI devices: a user's serial cable is never opened, asked or
// detached from its driver, and FTDI's own library gives way to libftdi1 where it cannot open the bridge.
#include <dlfcn.h>

#include "common/osd/i2cconnectorftdi.h"
#include "linux/common/clinuxd2xxlibrary.h"
#include "linux/common/clinuxftdid2xx.h"
#include "sim/csimftdibridge.h"
#include "tests/linuxdevices/emulatedserialcable.h"
#include "tests/linuxdevices/linuxprogramtest.h"

using namespace orv;
using namespace orv::test;

namespace {

// A pen tablet behind a hub of its own (at 1-1, the tablet at 1-1.1).
const char* const kTabletBehindAHub = R"({
  "nodes": [["USB\\VID_05E3&PID_0610\\HUB1", "USB\\ROOT_HUB30\\1"],
            ["USB\\VID_4F52&PID_0101\\TAB1", "USB\\VID_05E3&PID_0610\\HUB1"]],
  "devices": [{"kind": "hid", "name": "pen", "pid": "0101", "usageId": "1", "instance": 1,
               "parent": "USB\\VID_4F52&PID_0101\\TAB1"}]
})";

const char* const kScalerListed = "FTDI 5C23:1063  normal    firmware 1.2.3";
const char* const kScalerNotFound = "FTDI 5C23:1063  not found";

// FTDI's library on a machine where ftdi_sio still holds the bridge: it lists the bridge, and a serial cable
// besides when asked to, and opens none.
class CUnopenableD2XX : public sim::CSimFtdiBridge {
 public:
  explicit CUnopenableD2XX(bool listsCable_I) : CSimFtdiBridge({.openFails = true}), mListsCable(listsCable_I) {}
  FT_STATUS ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I) override
  {
    const FT_STATUS status = CSimFtdiBridge::ListDevices(arg1_IO, arg2_IO, flags_I);
    if (status == FT_OK && flags_I == FT_LIST_NUMBER_ONLY) *static_cast<uint32_t*>(arg1_IO) += mListsCable ? 1 : 0;
    return status;
  }

 private:
  bool mListsCable;
};

// The stand-in for FTDI's library, loaded for a while, passing its calls to the D2XX device installed.
class CStandInLibrary {
 public:
  CStandInLibrary() : mHandle(dlopen(ORVEL_FTD2XX_SIM, RTLD_NOW)) {}
  ~CStandInLibrary()
  {
    if (mHandle == nullptr) return;
    Install(nullptr);
    dlclose(mHandle);
  }
  CStandInLibrary(const CStandInLibrary&) = delete;
  CStandInLibrary& operator=(const CStandInLibrary&) = delete;

  bool Loaded() const { return mHandle != nullptr; }
  void Install(CD2XX* device_I) const
  {
    reinterpret_cast<void (*)(CD2XX*)>(dlsym(mHandle, "OrvelInstallD2XX"))(device_I);
  }

 private:
  void* mHandle;
};

class LinuxFtdiBridges : public CLinuxProgramTest {
 protected:
  std::shared_ptr<CEmulatedSerialCable> PlugCable(const std::string& ports_I, unsigned address_I,
                                                  uint16_t productId_I = 0x6001, const std::string& hub_I = "")
  {
    return CEmulatedSerialCable::Plug(mBed, hub_I.empty() ? mBus->RootHub() : hub_I, ports_I, address_I, productId_I);
  }

  static std::vector<uint32_t> Locations(CD2XX& d2xx_I)
  {
    uint32_t count = 0;
    std::vector<uint32_t> locations;
    if (d2xx_I.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) return locations;
    for (uintptr_t i = 0; i < count; ++i) {
      uint32_t location = 0;
      d2xx_I.ListDevices(reinterpret_cast<void*>(i), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION);
      locations.push_back(location);
    }
    return locations;
  }
};

}  // namespace

TEST_F(LinuxFtdiBridges, ASerialCableBesideTheDisplaysBridgeIsNeverTouched)
{
  Emulate("default");
  // A serial cable, and an FT2232H serial adapter behind a hub of its own.
  const std::vector<std::shared_ptr<CEmulatedSerialCable>> cables{
      PlugCable("9", 99), PlugCable("8.1", 98, 0x6010, mBus->PlugHub("1-8"))};
  ASSERT_EQ(Run({"--list"}), 0) << Err();
  EXPECT_NE(Out().find(kScalerListed), std::string::npos) << Out();
  for (const auto& cable : cables) EXPECT_EQ(cable->Ioctls(), 0u) << "--list";

  ASSERT_EQ(Run({"-testpid", "0210", "-auto", "scalar"}, "Update\n"), 0) << Err() << Log();
  ExpectFlashed("scalar", "display_scaler.bin");
  for (const auto& cable : cables) {
    EXPECT_EQ(cable->Ioctls(), 0u) << "the update";
    EXPECT_TRUE(cable->DriverBound());
  }
}

TEST_F(LinuxFtdiBridges, BridgesAreListedByBusPathAndOnlyThoseBesideOurBoardsWhereThereAreSuch)
{
  Emulate(kTabletBehindAHub);
  // Plugged out of order: an FT2232H behind a hub, a serial cable, an FT2232H and an FT4232H on the root hub,
  // and another cable.
  std::vector<std::shared_ptr<CEmulatedSerialCable>> devices{
      PlugCable("8.1", 98, 0x6010, mBus->PlugHub("1-8")), PlugCable("2", 20), PlugCable("5", 21, 0x6010),
      PlugCable("4", 22, 0x6011), PlugCable("3", 24)};
  CLinuxFtdiD2XX d2xx(std::make_shared<CLinuxAccessLog>());
  EXPECT_EQ(Locations(d2xx), (std::vector<uint32_t>{0x116, 0x115, 0x162}));
  // A bridge on the tablet's hub, as a pen display carries its own: the others are no longer candidates.
  devices.push_back(PlugCable("1.7", 23, 0x6014, mBus->RootHub() + "/1-1"));
  EXPECT_EQ(Locations(d2xx), (std::vector<uint32_t>{0x117}));
  for (const auto& device : devices) EXPECT_EQ(device->Ioctls(), 0u);
}

TEST_F(LinuxFtdiBridges, SeveralBridgesAndNoPortListTheScalerAsNotFound)
{
  Emulate("default");
  const std::shared_ptr<CEmulatedSerialCable> adapter = PlugCable("9", 99, 0x6010);
  ASSERT_EQ(Run({"--list"}), 0) << Err();
  EXPECT_NE(Out().find("2 FTDI bridges (name one with -port)"), std::string::npos) << Out();
  EXPECT_NE(Out().find(kScalerNotFound), std::string::npos) << Out();
  EXPECT_EQ(adapter->Ioctls(), 0u);
  ASSERT_EQ(Run({"--list", "-port", "0"}), 0) << Err();
  EXPECT_NE(Out().find(kScalerListed), std::string::npos) << "the display's bridge comes first\n" << Out();
  EXPECT_EQ(adapter->Ioctls(), 0u);
}

namespace {

// The display's serial number read through a fresh binding of the D2XX calls; the lines it left in the log.
std::vector<std::string> SerialThroughFreshBinding(std::string& serial_O)
{
  const CDebugCapture debug;
  const std::unique_ptr<CD2XX> binding = CreateLinuxD2XX(std::make_shared<CLinuxAccessLog>());
  CI2CConnectorFTDI connector(*binding);
  if (connector.Open(0)) serial_O = connector.GetSerialNumber(0);
  connector.Close();
  return debug.Lines();
}

}  // namespace

TEST_F(LinuxFtdiBridges, FtdisLibraryThatCannotOpenTheBridgeGivesWayToLibftdi)
{
  Emulate("default");
  {
    // Without FTDI's library the calls go over libftdi1, and a missing library is no fault.
    const CScopedEnvironment missing(kD2XXLibraryVariable, std::string("/nonexistent/libftd2xx.so"));
    std::string serial;
    EXPECT_EQ(SerialThroughFreshBinding(serial), std::vector<std::string>{});
    EXPECT_EQ(serial, "ORV16A0012345");
  }
  const CStandInLibrary library;
  ASSERT_TRUE(library.Loaded()) << dlerror();
  const CScopedEnvironment named(kD2XXLibraryVariable, std::string(ORVEL_FTD2XX_SIM));
  CUnopenableD2XX unopenable(false);
  // FTDI's library also lists a serial cable: libftdi1, which lists only the bridge, takes over before
  // anything is opened, so no index of FTDI's can name the cable.
  CUnopenableD2XX listingMore(true);
  // Where it can open the bridge, FTDI's library serves alone.
  const std::vector<std::pair<CD2XX*, std::string>> cases{
      {&mPlatform->D2XX(), ""},
      {&unopenable, "libftd2xx cannot open the FTDI bridge"},
      {&listingMore, "libftd2xx lists 2 FTDI devices where 1 are bridges for a display; using libftdi1"}};
  for (const auto& [vendor, line] : cases) {
    library.Install(vendor);
    std::string serial;
    const std::vector<std::string> lines = SerialThroughFreshBinding(serial);
    EXPECT_EQ(serial, "ORV16A0012345") << line;
    ASSERT_EQ(lines.size(), line.empty() ? 0u : 1u) << line;
    if (!line.empty()) {
      EXPECT_NE(lines[0].find(line), std::string::npos) << lines[0];
    }
  }
  // The whole update, which says so in its log.
  library.Install(&unopenable);
  ASSERT_EQ(Run({"-testpid", "0210", "-auto", "scalar"}, "Update\n"), 0) << Err() << Log();
  ExpectFlashed("scalar", "display_scaler.bin");
  EXPECT_NE(Log().find("(FT_DEVICE_NOT_OPENED: ftdi_sio still bound, or no permission); using libftdi1"),
            std::string::npos) << Log();
}
