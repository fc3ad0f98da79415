#include "common/fwupdater/chidconnection.h"

#include <algorithm>

namespace orv {
namespace {

constexpr uint8_t kWrapperId = 0xDC;
constexpr size_t kWrapperLength = 1024;
constexpr size_t kWrapperHeader = 3;

}  // namespace

bool CHidConnection::Open(const std::string& path_I)
{
  mDevice = mSystem->Open(path_I);
  return mDevice != nullptr;
}

bool CHidConnection::GetAttributes(SHidAttributes& attributes_O) { return mDevice && mDevice->GetAttributes(attributes_O); }

bool CHidConnection::GetCaps(SHidCaps& caps_O) { return mDevice && mDevice->GetCaps(caps_O); }

bool CHidConnection::SetFeature(std::vector<uint8_t>& report_IO, uint16_t usagePage_I)
{
  const bool wrapped = usagePage_I == kHidRouterUsagePage;
  if (wrapped) Wrap(report_IO);
  const bool result = mDevice && mDevice->SetFeature(report_IO);
  if (wrapped) Unwrap(report_IO);
  return result;
}

bool CHidConnection::GetFeature(std::vector<uint8_t>& report_IO, uint16_t usagePage_I)
{
  const bool wrapped = usagePage_I == kHidRouterUsagePage;
  const size_t asked = report_IO.size();
  if (wrapped) Wrap(report_IO);
  const bool result = mDevice && mDevice->GetFeature(report_IO);
  if (!wrapped) return result;
  Unwrap(report_IO);
  // An inner answer cut short is a failed read, as a short report from a collection of its own is: taken for
  // an answer, one cut short would read as a loader lacking what it asked about.
  return result && report_IO.size() >= asked;
}

void CHidConnection::Wrap(std::vector<uint8_t>& report_IO)
{
  const size_t length = report_IO.size();
  std::vector<uint8_t> outer(std::max(kWrapperLength, length + kWrapperHeader), 0);
  outer[0] = kWrapperId;
  outer[1] = static_cast<uint8_t>(length >> 8);
  outer[2] = static_cast<uint8_t>(length);
  std::copy(report_IO.begin(), report_IO.end(), outer.begin() + kWrapperHeader);
  report_IO.swap(outer);
}

void CHidConnection::Unwrap(std::vector<uint8_t>& report_IO)
{
  if (report_IO.size() < kWrapperHeader) {
    report_IO.clear();
    return;
  }
  // A length past what came back is not made up with zeros: the answer is as long as the board sent.
  const size_t length = static_cast<size_t>(report_IO[1] << 8 | report_IO[2]);
  report_IO.erase(report_IO.begin(), report_IO.begin() + kWrapperHeader);
  report_IO.resize(std::min(length, report_IO.size()));
}

std::string CHidConnection::GetParentDeviceId(const std::string& path_I, uint8_t levels_I)
{
  return GetParentDeviceIdOfPath(*mSystem, path_I, levels_I);
}

}  // namespace orv
