// What every harness shares: the input as a stream of bytes, a scratch file for loaders that read files, a
// virtual clock so that retries and waits cost no time, and a HID device whose answers come from the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/cclock.h"
#include "common/fwupdater/chidsystem.h"
#include "common/fwupdater/cinterfacenotifier.h"

namespace orv::fuzz {

// Hands out the input byte by byte; past its end it answers zeros and says so.
class CByteSource {
 public:
  CByteSource(const uint8_t* data_I, size_t size_I) : mData(data_I), mSize(size_I) {}
  bool Empty() const { return mPos >= mSize; }
  // Bytes handed out so far.
  size_t Used() const { return mPos; }
  uint8_t Byte() { return Empty() ? 0 : mData[mPos++]; }
  std::vector<uint8_t> Bytes(size_t count_I);
  std::string Rest();

 private:
  const uint8_t* mData;
  size_t mSize;
  size_t mPos = 0;
};

// With ORVEL_FUZZ_SEEDS set to a folder, makes a harness's seeds there and ends the process; else nothing.
void MakeSeedsWhenAsked(void (*make_I)(const std::string& folder_I));

// The input written to a file of the process's own, named with the given extension.
std::string WriteScratchFile(const uint8_t* data_I, size_t size_I, const std::string& extension_I);

// A virtual clock for the duration of one input.
struct SVirtualTime {
  SVirtualTime() : installed(clock) {}
  CVirtualClock clock;
  CScopedClock installed;
};

// Silent, unless ORVEL_FUZZ_VERBOSE is set: then the errors go to standard error, for triaging a finding.
class CNullNotifier : public CInterfaceNotifier {
 public:
  void Info(const std::string&) override {}
  void Error(const std::string& message_I) override;
  void Progress(int32_t) override {}
};

// What a scripted device made to end the conversation with its input throws once the input is used up.
struct SInputUsedUp {};

// One HID collection whose every answer comes from the input: each transfer takes a control byte (bit 0:
// the transfer fails; bit 1: a get's answer is cut to the length in the next byte), and a get then takes
// its answer bytes. Once the input is used up the device is gone: every transfer and open fails, or, with
// endWithInput_I, throws SInputUsedUp: past its input nothing can vary, and a harness need not wait for every
// retry ladder of the updater to run out against a board that is gone.
class CScriptedHidSystem : public CHidSystem {
 public:
  CScriptedHidSystem(CByteSource& source_I, uint16_t usagePage_I, bool endWithInput_I = false)
      : mSource(source_I), mUsagePage(usagePage_I), mEndWithInput(endWithInput_I)
  {
  }
  std::unique_ptr<CHidDevice> Open(const std::string& path_I) override;
  std::string GetAncestorId(const std::string&, uint8_t) override { return {}; }
  bool Transfer(bool set_I, std::vector<uint8_t>& report_IO);
  uint16_t UsagePage() const { return mUsagePage; }

 private:
  bool Gone() const;

  CByteSource& mSource;
  uint16_t mUsagePage;
  bool mEndWithInput;
};

}  // namespace orv::fuzz

namespace orv::fuzz {

// A healthy simulated board's HID system, with every transfer recorded in the scripted system's input format:
// seeds that walk a whole conversation. Every open opens the given path.
class CRecordingHidSystem {
 public:
  CRecordingHidSystem(std::shared_ptr<CHidSystem> inner_I, const std::string& path_I);
  std::shared_ptr<CHidSystem> System() const { return mSystem; }
  // The setup byte followed by the recorded transfers.
  void Save(const std::string& path_I, uint8_t setup_I) const;

 private:
  class CRecorder;
  std::shared_ptr<CHidSystem> mSystem;
  std::shared_ptr<std::vector<uint8_t>> mScript;
};

}  // namespace orv::fuzz

namespace orv::sim {
class CSimI2CSlave;
}

namespace orv::fuzz {

// Records what a healthy simulated slave answers in the fuzz slave's input format.
std::shared_ptr<sim::CSimI2CSlave> RecordingSlave(std::shared_ptr<sim::CSimI2CSlave> inner_I, uint8_t address_I,
                                                  std::shared_ptr<std::vector<uint8_t>> script_I);
void SaveScript(const std::string& path_I, const std::vector<uint8_t>& prefix_I, const std::vector<uint8_t>& script_I);

}  // namespace orv::fuzz
