// A HID board on the simulated bus with a host-side loader interface opened on it, on the virtual clock. Its
// transfers cost nothing unless asked, so that the clock's pauses are the host's own.
#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "common/fwupdater/chidfldeviceinterface.h"
#include "sim/csimhidsystem.h"
#include "tests/testsupport/crecordingnotifier.h"
#include "tests/testsupport/testfiles.h"

namespace orv::test {

struct SHidLoaderBench {
  explicit SHidLoaderBench(const sim::SSimLoaderConfig& loader_I, uint16_t usagePage_I = 0xFF0D, uint32_t transferMs_I = 0)
      : system(std::make_shared<sim::CSimHidSystem>())
  {
    const sim::SSimHidIdentity identity{0x4F52, 0x0210, 0x0100, usagePage_I == 0xFF00 ? uint16_t{10} : uint16_t{1},
                                        usagePage_I, sim::MakeSimHidPath(0x4F52, 0x0210, 0, 0x51),
                                        "USB\\VID_4F52&PID_0210\\1"};
    board = MustCreate(sim::CSimHidBoard::Create,
                       sim::SSimHidBoardConfig{.normal = identity, .loader = identity, .reenumerate = false,
                                               .startInLoader = true, .flashLoader = loader_I,
                                               .transferMs = transferMs_I});
    system->AddBoard(board);
    CFLDeviceInterface::SetProtocolType(loader_I.protocol);
    loader = std::make_shared<CHIDFLDeviceInterface>(board->Path(), system);
    loader->QueryAttributes();
    loader->SetLoaderMode(true);
    loader->SetNotifier(&notifier);
    loader->Open();
  }
  ~SHidLoaderBench() { CFLDeviceInterface::SetProtocolType(0); }

  // The bytes of the last set report the board received.
  std::vector<uint8_t> LastSet()
  {
    const std::vector<sim::SSimTransfer> trace = board->Trace();
    const auto last =
        std::find_if(trace.rbegin(), trace.rend(), [](const sim::SSimTransfer& transfer_I) { return transfer_I.set; });
    return last != trace.rend() ? last->bytes : std::vector<uint8_t>{};
  }
  // How many set reports the board received that begin with the bytes.
  size_t CountSets(const std::vector<uint8_t>& start_I)
  {
    const std::vector<sim::SSimTransfer> trace = board->Trace();
    return std::count_if(trace.begin(), trace.end(), [&start_I](const sim::SSimTransfer& transfer_I) {
      return transfer_I.set && transfer_I.bytes.size() >= start_I.size() &&
             std::equal(start_I.begin(), start_I.end(), transfer_I.bytes.begin());
    });
  }

  CInstalledVirtualClock clock;
  std::shared_ptr<sim::CSimHidSystem> system;
  std::shared_ptr<sim::CSimHidBoard> board;
  CRecordingNotifier notifier;
  std::shared_ptr<CHIDFLDeviceInterface> loader;
};

}  // namespace orv::test
