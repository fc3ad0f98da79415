#include "common/fwupdater/ci2cfldeviceinterface.h"

#include <algorithm>

#include "common/cclock.h"
#include "common/fwupdater/cdevice.h"

namespace orv {
namespace {

constexpr uint8_t kLoaderModeId = 0xB0;
constexpr uint8_t kReadId = 0xB1;
constexpr uint8_t kWriteId = 0xB2;
constexpr size_t kWriteRequestLength = 265;
constexpr size_t kWriteStatusLength = 6;
constexpr size_t kReadAnswerLength = 266;

constexpr uint8_t kStatusDone = 0xF0;
constexpr uint8_t kStatusBusy = 0xF1;
constexpr uint8_t kStatusData = 0xF2;

constexpr int kSwitchAttempts = 60;
// The enter-loader request is repeated this often until the board has switched.
constexpr uint64_t kSwitchRepeatMs = 500;

}  // namespace

CI2CFLDeviceInterface::CI2CFLDeviceInterface(std::string path_I, std::shared_ptr<CHidSystem> system_I)
    : CHidCollectionInterface(std::move(path_I), EINTERFACETYPE_I2C, std::move(system_I))
{
}

bool CI2CFLDeviceInterface::IsLoader() { return LoaderStatus().value_or(false); }

std::optional<bool> CI2CFLDeviceInterface::LoaderStatus()
{
  Report status{kLoaderModeId, 0xFF, 0xFF};
  if (!ReadRawReport(status) || status.size() < 3) {
    SetLoaderMode(false);
    return std::nullopt;
  }
  const bool loader = status[1] == 0 && status[2] == 0;
  SetLoaderMode(loader);
  return loader;
}

bool CI2CFLDeviceInterface::SwitchToBLMode()
{
  if (!Open()) {
    Close();
    return false;
  }
  if (IsLoader()) {
    Close();
    return true;
  }
  // The board takes up to 30 seconds to switch; only the final status query decides.
  Report enter{kLoaderModeId, 0x00, 0x00};
  WriteRawReport(enter);
  uint64_t askedAtMs = Clock().NowMs();
  mSwitching.Start();
  while (mSwitching.Next()) {
    if (IsLoader()) {
      mSwitching.Ready();
      break;
    }
    if (Clock().NowMs() - askedAtMs < kSwitchRepeatMs) continue;
    enter = {kLoaderModeId, 0x00, 0x00};
    WriteRawReport(enter);
    askedAtMs = Clock().NowMs();
  }
  const bool result = IsLoader();
  Close();
  return result;
}

// Left only when the board says so: a status that cannot be read is no answer.
bool CI2CFLDeviceInterface::SwitchFromBLMode(bool /*save_I*/)
{
  if (!IsOpen()) return false;
  for (int attempt = 0; attempt < kSwitchAttempts && LoaderStatus() != false; ++attempt) {
    Report leave{kLoaderModeId, 0x01, 0x01};
    WriteRawReport(leave);
  }
  return LoaderStatus() == false;
}

bool CI2CFLDeviceInterface::Ping()
{
  if (!IsOpen()) return false;
  if (IsLoader()) {
    uint32_t value = 0;
    return ReadValue(value);
  }
  Report ping{0x02, 0x00};
  return WriteRawReport(ping);
}

bool CI2CFLDeviceInterface::PollStatus(uint8_t id_I, size_t length_I, Report& answer_O)
{
  mExchangeBusy.Start();
  while (mExchangeBusy.Next()) {
    answer_O.assign(length_I, 0);
    answer_O[0] = id_I;
    if (!ReadRawReport(answer_O) || answer_O.size() < length_I || answer_O[0] != id_I) return false;
    if (answer_O[1] == kStatusBusy) continue;
    mExchangeBusy.Ready();
    return true;
  }
  Info("The I2C board stayed busy; closing the connection.");
  Close();
  return false;
}

bool CI2CFLDeviceInterface::WriteReport(Report& buffer_IO)
{
  const size_t length = buffer_IO.size();
  if (length == 0 || length > kI2CMaxInnerReport) return false;
  Report request(kWriteRequestLength, 0);
  request[0] = kWriteId;
  request[1] = 0x01;
  request[2] = static_cast<uint8_t>(length);
  request[3] = static_cast<uint8_t>(length >> 8);
  std::copy(buffer_IO.begin(), buffer_IO.end(), request.begin() + 4);
  const bool sent = WriteRawReport(request);
  Report status;
  if (!sent || !PollStatus(kWriteId, kWriteStatusLength, status)) return false;
  return status[1] == kStatusDone || (status[1] == kStatusData && status[5] == buffer_IO[0]);
}

bool CI2CFLDeviceInterface::ReadReport(Report& buffer_IO)
{
  if (buffer_IO.empty()) return false;
  const size_t length = std::min(buffer_IO.size(), kI2CMaxInnerReport);
  Report request{kReadId, 0x01, buffer_IO[0], static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
  const bool sent = WriteRawReport(request);
  Report answer;
  if (!sent || !PollStatus(kReadId, kReadAnswerLength, answer)) return false;
  if (answer[1] == kStatusDone) return true;
  const size_t answered = static_cast<size_t>(answer[3] | (answer[4] << 8));
  if (answer[1] != kStatusData || answered != length || answer[5] != buffer_IO[0]) return false;
  std::copy_n(answer.begin() + 5, length, buffer_IO.begin());
  return true;
}

}  // namespace orv
