// The HID router's wrapper around answers: the wrapped answer comes from the input; unwrapped, it is never
// longer than what the board sent after the header.
#include <cstdlib>

#include "common/fwupdater/chidconnection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  std::vector<uint8_t> report(data, data + size);
  orv::CHidConnection::Unwrap(report);
  if (size >= 3 && report.size() > size - 3) std::abort();
  std::vector<uint8_t> wrapped = report;
  orv::CHidConnection::Wrap(wrapped);
  orv::CHidConnection::Unwrap(wrapped);
  if (wrapped != report) std::abort();
  return 0;
}
