// A touch controller on the I2C bus behind a tablet's USB controller, reached through three HID feature
// reports of the tablet that act as a tunnel: 0xB0 switches the loader mode and reports it, 0xB1 reads a
// report from the I2C board, 0xB2 writes one. The flash-loader protocol travels inside.
#pragma once

#include <optional>

#include "common/fwupdater/cbusypoll.h"
#include "common/fwupdater/chidcollectioninterface.h"

namespace orv {

// The longest report the tunnel carries.
constexpr size_t kI2CMaxInnerReport = 261;
// How long a tunnel exchange waits through busy answers before it gives up (250 polls 20 ms apart, as it was).
constexpr uint32_t kI2CBusyLimitMs = 5020;

class CI2CFLDeviceInterface : public CHidCollectionInterface {
 public:
  CI2CFLDeviceInterface(std::string path_I, std::shared_ptr<CHidSystem> system_I);

  bool SwitchToBLMode() override;
  bool SwitchFromBLMode(bool save_I) override;
  bool Ping() override;
  bool SendVendorCommand() override { return false; }
  // Asks the board; the answer is kept as the loader mode.
  bool IsLoader() override;
  // The board's answer: in its loader or not; empty when its status cannot be read.
  std::optional<bool> LoaderStatus();
  bool WriteReport(Report& buffer_IO) override;
  bool ReadReport(Report& buffer_IO) override;

  // One feature report of the tablet itself.
  bool WriteRawReport(Report& buffer_IO) { return SetFeature(buffer_IO); }
  bool ReadRawReport(Report& buffer_IO) { return GetFeature(buffer_IO); }

 private:
  // Polls a status report until the board is no longer busy; the last answer stays in the buffer. A board
  // that stays busy through every poll is taken for hung: the connection is closed, so that the retry
  // ladders above end at once instead of waiting out every poll again on every attempt (the last attempt of a
  // guarded transfer reopens it).
  bool PollStatus(uint8_t id_I, size_t length_I, Report& answer_O);

  // The controller's busy time of an exchange, and its time to enter the loader (up to 30 seconds), each
  // polled from what it took last time rather than after fixed sleeps longer than the board needs.
  CBusyPoll mExchangeBusy{kI2CBusyLimitMs, 20};
  CBusyPoll mSwitching{30000, 500};
};

}  // namespace orv
