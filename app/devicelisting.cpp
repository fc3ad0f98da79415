#include "app/devicelisting.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/runresult.h"
#include "common/fwupdater/cfldeviceinterface.h"
#include "common/osd/i2cconnectorftdi.h"

namespace orv {
namespace {

// Only the port's low byte counts, as in an update; 0xFF is no port.
constexpr uint8_t kPortNotGiven = 0xFF;

struct SScalerReach {
  std::string version;
  std::string path;
};

// The scaler's version over the bridge an update would use: without a port, the only FTDI bridge attached,
// and none when there are several, since any of them could be another device's.
SScalerReach ReachScaler(uint16_t port_I)
{
  CI2CConnectorFTDI connector;
  const uint32_t count = connector.DeviceCount();
  const uint8_t given = static_cast<uint8_t>(port_I);
  if (given == kPortNotGiven && count > 1) return {"", std::to_string(count) + " FTDI bridges (name one with -port)"};
  const uint32_t port = given == kPortNotGiven ? 0 : given;
  SScalerReach reach{"", "FTDI port " + std::to_string(port)};
  if (port >= count || !connector.Open(port)) return reach;
  reach.version = PackedVersionText(connector.ReadFWVersion());
  connector.Close();
  return reach;
}

void DescribeFile(const std::string& file_I, SListedBoard& board_IO)
{
  board_IO.file = file_I;
  if (file_I.empty()) return;
  CSRec file;
  if (!file.Load(file_I)) {
    board_IO.fileProblem = file.GetError();
    return;
  }
  board_IO.fileVersion = file.GetHeaderVersion();
}

SListedBoard InterfaceBoard(const CDevice& device_I, int32_t board_I,
                            const std::shared_ptr<CFLDeviceInterface>& interface_I)
{
  SListedBoard board;
  board.board = UpdateTypeName(board_I);
  board.vendorId = device_I.mVendorId[board_I];
  board.productId = device_I.mProductId[board_I];
  board.interfaceKind = InterfaceTypeName(device_I.mInterfaceType[board_I]);
  board.mode = "not found";
  if (interface_I) {
    board.vendorId = interface_I->GetVendorId();
    board.productId = interface_I->GetProductId();
    board.interfaceKind = InterfaceTypeName(interface_I->GetInterfaceType());
    board.mode = interface_I->IsLoader() ? "loader" : "normal";
    board.path = interface_I->GetPath();
    board.version = BcdVersionText(interface_I->GetVersion());
  }
  DescribeFile(device_I.mUpdateFile[board_I], board);
  return board;
}

std::string Padded(const std::string& text_I, size_t width_I)
{
  return text_I.size() >= width_I ? text_I : text_I + std::string(width_I - text_I.size(), ' ');
}

}  // namespace

std::vector<SListedDevice> ListDevices(const CDiscovery& discovery_I, uint16_t scalerPort_I)
{
  std::vector<SListedDevice> devices;
  for (const std::shared_ptr<CDevice>& device : discovery_I.GetDevices()) {
    if (!device) continue;
    SListedDevice listed;
    listed.name = device->mName;
    listed.loader = device->mIsLoader;
    listed.boards.push_back(InterfaceBoard(*device, EUPDATETYPE_PEN, device->mPenInterface));
    if (device->mHasTouch) listed.boards.push_back(InterfaceBoard(*device, EUPDATETYPE_TOUCH, device->mTouchInterface));
    if (device->mHasBluetooth) {
      listed.boards.push_back(InterfaceBoard(*device, EUPDATETYPE_BLUETOOTH, device->mBluetoothInterface));
    }
    if (device->mHasScalar) {
      SListedBoard scaler;
      scaler.board = UpdateTypeName(EUPDATETYPE_SCALAR);
      scaler.vendorId = device->mVendorId[EUPDATETYPE_SCALAR];
      scaler.productId = device->mProductId[EUPDATETYPE_SCALAR];
      scaler.interfaceKind = InterfaceTypeName(EINTERFACETYPE_FTDI);
      const SScalerReach reach = ReachScaler(scalerPort_I);
      scaler.version = reach.version;
      scaler.mode = scaler.version.empty() ? "not found" : "normal";
      scaler.path = reach.path;
      DescribeFile(device->mUpdateFile[EUPDATETYPE_SCALAR], scaler);
      listed.boards.push_back(scaler);
    }
    devices.push_back(std::move(listed));
  }
  return devices;
}

namespace {

// One board's line, cell by cell.
struct SListingRow {
  std::string board, kind, ids, mode, firmware, file, path;
};

SListingRow ListingRow(const SListedBoard& board_I)
{
  char ids[16];
  std::snprintf(ids, sizeof(ids), "%04X:%04X", board_I.vendorId & 0xFFFF, board_I.productId & 0xFFFF);
  const std::string file = board_I.file.empty() ? "no update file"
                           : "file " + board_I.file + " " +
                                 (!board_I.fileProblem.empty() ? "(does not load: " + board_I.fileProblem + ")"
                                  : board_I.fileVersion.empty() ? "(no version)"
                                                                : board_I.fileVersion);
  return {board_I.board, board_I.interfaceKind, ids, board_I.mode,
          "firmware " + (board_I.version.empty() ? "?" : board_I.version), file, board_I.path};
}

// A column as wide as its longest cell and one space, or its usual width when that is more.
size_t ColumnWidth(const std::vector<SListingRow>& rows_I, std::string SListingRow::*cell_I, size_t usual_I)
{
  size_t width = usual_I;
  for (const SListingRow& row : rows_I) width = std::max(width, (row.*cell_I).size() + 1);
  return width;
}

}  // namespace

std::vector<std::string> DeviceListingLines(const std::vector<SListedDevice>& devices_I)
{
  // The columns line up across every device's boards.
  std::vector<SListingRow> rows;
  for (const SListedDevice& device : devices_I) {
    for (const SListedBoard& board : device.boards) rows.push_back(ListingRow(board));
  }
  const size_t board = ColumnWidth(rows, &SListingRow::board, 10);
  const size_t kind = ColumnWidth(rows, &SListingRow::kind, 5);
  const size_t mode = ColumnWidth(rows, &SListingRow::mode, 10);
  const size_t firmware = ColumnWidth(rows, &SListingRow::firmware, 15);
  const size_t file = ColumnWidth(rows, &SListingRow::file, 37);
  std::vector<std::string> lines;
  size_t next = 0;
  for (const SListedDevice& device : devices_I) {
    lines.push_back(device.name + (device.loader ? " (loader mode)" : " (normal mode)"));
    for (size_t i = 0; i < device.boards.size(); ++i) {
      const SListingRow& row = rows[next++];
      lines.push_back("  " + Padded(row.board, board) + Padded(row.kind, kind) + row.ids + "  " + Padded(row.mode, mode) +
                      Padded(row.firmware, firmware) + Padded(row.file, file) + row.path);
    }
  }
  return lines;
}

}  // namespace orv
