#include "sim/csimreplay.h"

#include <algorithm>
#include <functional>
#include <sstream>

#include "common/cclock.h"
#include "common/fwupdater/ctransferrecorder.h"

namespace orv::sim {
namespace {

struct STransfer {
  std::string operation;
  bool ok = false;
  std::string setup;
  std::vector<uint8_t> bytes;
  size_t line = 0;
};

// The answers to a question asked more than once (an identity, a descriptor, a device tree answer), each
// kept with the number of transfers the run had made when it was given: a path can name another device
// later in the run. The answers given at one point come in their recorded order; the last one stands until
// the run reaches the point of the next.
template <typename Answer>
class CRecordedAnswers {
 public:
  void Add(uint64_t transfers_I, Answer answer_I) { mAnswers.push_back({transfers_I, std::move(answer_I)}); }
  // The answer after the given number of transfers; the default answer when none was recorded.
  Answer Take(uint64_t transfers_I)
  {
    while (mAnswers.size() > 1 && mAnswers[1].first <= transfers_I && mAnswers[0].first < transfers_I) mAnswers.pop_front();
    if (mAnswers.empty()) return Answer();
    const Answer answer = mAnswers.front().second;
    if (mAnswers.size() > 1 && mAnswers[1].first <= transfers_I) mAnswers.pop_front();
    return answer;
  }

 private:
  std::deque<std::pair<uint64_t, Answer>> mAnswers;
};

struct SHidRecord {
  std::deque<bool> opens;
  CRecordedAnswers<std::optional<SHidAttributes>> attributes;
  CRecordedAnswers<std::optional<SHidCaps>> caps;
  std::deque<STransfer> transfers;
};

struct SUsbRecord {
  std::deque<bool> opens;
  CRecordedAnswers<std::optional<std::vector<uint8_t>>> descriptor;
  std::deque<STransfer> transfers;
};

struct SFtdiCall {
  std::string call;
  FT_STATUS status = FT_OK;
  std::vector<std::string> values;
  size_t line = 0;
};

struct SRecordedEvent {
  // The number of transfers the run had made when the event came, and how long after the last of them.
  uint64_t anchor = 0;
  uint64_t delayMs = 0;
  bool arrival = false;
  EDeviceClass deviceClass = EDEVICECLASS_HID;
  std::string path;
};

bool ParseHex(const std::string& text_I, std::vector<uint8_t>& bytes_O)
{
  bytes_O.clear();
  if (text_I == "-") return true;
  if (text_I.size() % 2 != 0) return false;
  for (size_t i = 0; i < text_I.size(); i += 2) {
    const std::string pair = text_I.substr(i, 2);
    if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    bytes_O.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  }
  return true;
}

bool ParseNumber(const std::string& text_I, int base_I, uint32_t& value_O)
{
  const char* digits = base_I == 16 ? "0123456789abcdefABCDEF" : "0123456789";
  if (text_I.empty() || text_I.size() > 10 || text_I.find_first_not_of(digits) != std::string::npos) return false;
  const unsigned long long value = std::stoull(text_I, nullptr, base_I);
  if (value > UINT32_MAX) return false;
  value_O = static_cast<uint32_t>(value);
  return true;
}

// A control transfer's setup packet, eight bytes in hexadecimal, in the case the recorder writes.
bool ParseSetup(const std::string& text_I, std::string& setup_O)
{
  std::vector<uint8_t> bytes;
  if (text_I.size() != 16 || !ParseHex(text_I, bytes)) return false;
  setup_O = CTransferRecorder::Hex(bytes);
  return true;
}

std::string Text(const std::string& field_I) { return CTransferRecorder::Unescape(field_I); }

EDeviceClass ClassOf(const std::string& name_I) { return name_I == "bulk" ? EDEVICECLASS_BULK : EDEVICECLASS_HID; }

}  // namespace

struct CSimReplay::SState {
  std::mutex lock;
  std::map<std::string, SHidRecord> hid;
  std::map<std::string, SUsbRecord> usb;
  std::map<std::pair<std::string, uint8_t>, CRecordedAnswers<std::string>> tree;
  std::map<std::string, CRecordedAnswers<std::string>> nodes;
  std::deque<std::vector<std::string>> enumerations[2];
  std::vector<std::string> lastEnumeration[2];
  std::deque<SFtdiCall> ftdi;
  std::vector<SRecordedEvent> events;
  size_t nextEvent = 0;
  uint64_t transfers = 0;
  uint64_t startMs = 0;
  // Events scheduled on the clock: due time and event, in due order.
  std::multimap<uint64_t, SRecordedEvent> due;
  std::vector<std::string> divergences;

  // One more transfer made: the events that came after it in the recording are scheduled.
  void Transferred()
  {
    ++transfers;
    Schedule();
  }
  void Schedule()
  {
    const uint64_t now = Clock().NowMs();
    while (nextEvent < events.size() && events[nextEvent].anchor <= transfers) {
      const SRecordedEvent& event = events[nextEvent++];
      due.emplace((event.anchor == 0 ? startMs : now) + event.delayMs, event);
    }
  }
  void Diverge(const std::string& what_I) { divergences.push_back(what_I); }
  // The next recorded open of a path; one the recording does not hold fails.
  bool TakeOpen(std::deque<bool>& opens_IO, const std::string& path_I)
  {
    if (opens_IO.empty()) {
      Diverge(path_I + ": an open the recording does not hold");
      return false;
    }
    const bool opened = opens_IO.front();
    opens_IO.pop_front();
    return opened;
  }
};

namespace {

using StatePtr = std::shared_ptr<CSimReplay::SState>;

class CReplayHidDevice : public CHidDevice {
 public:
  CReplayHidDevice(StatePtr state_I, std::string path_I) : mState(std::move(state_I)), mPath(std::move(path_I)) {}

  bool GetAttributes(SHidAttributes& attributes_O) override
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    const std::optional<SHidAttributes> attributes = mState->hid[mPath].attributes.Take(mState->transfers);
    if (attributes) attributes_O = *attributes;
    return attributes.has_value();
  }
  bool GetCaps(SHidCaps& caps_O) override
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    const std::optional<SHidCaps> caps = mState->hid[mPath].caps.Take(mState->transfers);
    if (caps) caps_O = *caps;
    return caps.has_value();
  }
  bool SetFeature(const std::vector<uint8_t>& report_I) override
  {
    std::vector<uint8_t> report = report_I;
    return Replay("set", report);
  }
  bool GetFeature(std::vector<uint8_t>& report_IO) override { return Replay("get", report_IO); }

 private:
  bool Replay(const std::string& operation_I, std::vector<uint8_t>& report_IO)
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    std::deque<STransfer>& transfers = mState->hid[mPath].transfers;
    const bool set = operation_I == "set";
    const bool matches = !transfers.empty() && transfers.front().operation == operation_I &&
                         (set ? transfers.front().bytes == report_IO
                              : transfers.front().bytes.size() == report_IO.size() && !report_IO.empty() &&
                                    transfers.front().bytes[0] == report_IO[0]);
    if (!matches) {
      mState->Diverge(mPath + ": " + operation_I + " " + CTransferRecorder::Hex(report_IO) +
                      (transfers.empty() ? " after the recording's last transfer"
                                         : " where line " + std::to_string(transfers.front().line) + " has another"));
      return false;
    }
    const STransfer transfer = transfers.front();
    transfers.pop_front();
    if (transfer.ok && !set) report_IO = transfer.bytes;
    mState->Transferred();
    return transfer.ok;
  }

  StatePtr mState;
  std::string mPath;
};

class CReplayHidSystem : public CHidSystem {
 public:
  explicit CReplayHidSystem(StatePtr state_I) : mState(std::move(state_I)) {}

  std::unique_ptr<CHidDevice> Open(const std::string& path_I) override
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    return mState->TakeOpen(mState->hid[path_I].opens, path_I) ? std::make_unique<CReplayHidDevice>(mState, path_I) : nullptr;
  }
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    const auto found = mState->tree.find({instanceId_I, levels_I});
    return found == mState->tree.end() ? std::string() : found->second.Take(mState->transfers);
  }
  std::string InstanceIdOfPath(const std::string& path_I) override
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    const auto found = mState->nodes.find(path_I);
    return found == mState->nodes.end() ? std::string() : found->second.Take(mState->transfers);
  }

 private:
  StatePtr mState;
};

// A transfer to the device must send the recorded bytes, as a set must.
bool SentAsRecorded(const SUsbSetupPacket& setup_I, const std::vector<uint8_t>& data_I, const STransfer& recorded_I)
{
  if (setup_I.requestType & 0x80) return true;
  return std::equal(recorded_I.bytes.begin(), recorded_I.bytes.end(), data_I.begin(), data_I.begin() + setup_I.length);
}

class CReplayUsbDevice : public CUsbDevice {
 public:
  CReplayUsbDevice(StatePtr state_I, std::string path_I) : mState(std::move(state_I)), mPath(std::move(path_I)) {}

  bool GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O) override
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    const std::optional<std::vector<uint8_t>> descriptor = mState->usb[mPath].descriptor.Take(mState->transfers);
    if (descriptor) descriptor_O = *descriptor;
    return descriptor.has_value();
  }
  bool ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) override
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    std::deque<STransfer>& transfers = mState->usb[mPath].transfers;
    const std::string setup =
        CTransferRecorder::Number(setup_I.requestType, 2) + CTransferRecorder::Number(setup_I.request, 2) +
        CTransferRecorder::Number(setup_I.value) + CTransferRecorder::Number(setup_I.index) +
        CTransferRecorder::Number(setup_I.length);
    if (transfers.empty() || transfers.front().setup != setup || data_IO.size() < setup_I.length ||
        !SentAsRecorded(setup_I, data_IO, transfers.front())) {
      mState->Diverge(mPath + ": control " + setup + (transfers.empty() ? " after the recording's last transfer"
                                                                         : " where line " + std::to_string(transfers.front().line) + " has another"));
      return false;
    }
    const STransfer transfer = transfers.front();
    transfers.pop_front();
    if (transfer.ok && (setup_I.requestType & 0x80)) {
      data_IO.assign(transfer.bytes.begin(), transfer.bytes.begin() + std::min<size_t>(transfer.bytes.size(), setup_I.length));
    }
    mState->Transferred();
    return transfer.ok;
  }

 private:
  StatePtr mState;
  std::string mPath;
};

class CReplayUsbSystem : public CUsbSystem {
 public:
  explicit CReplayUsbSystem(StatePtr state_I, std::shared_ptr<CHidSystem> tree_I)
      : mState(std::move(state_I)), mTree(std::move(tree_I))
  {
  }

  std::unique_ptr<CUsbDevice> Open(const std::string& path_I) override
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    return mState->TakeOpen(mState->usb[path_I].opens, path_I) ? std::make_unique<CReplayUsbDevice>(mState, path_I) : nullptr;
  }
  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override
  {
    return mTree->GetAncestorId(instanceId_I, levels_I);
  }
  std::string InstanceIdOfPath(const std::string& path_I) override { return mTree->InstanceIdOfPath(path_I); }

 private:
  StatePtr mState;
  std::shared_ptr<CHidSystem> mTree;
};

class CReplayEnumerator : public CDeviceEnumerator {
 public:
  explicit CReplayEnumerator(StatePtr state_I) : mState(std::move(state_I)) {}

  // The recorded enumerations in order; past the last one the last one again.
  std::vector<std::string> EnumerateInterfacePaths(EDeviceClass class_I) override
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    std::deque<std::vector<std::string>>& recorded = mState->enumerations[class_I];
    if (!recorded.empty()) {
      mState->lastEnumeration[class_I] = recorded.front();
      recorded.pop_front();
    }
    return mState->lastEnumeration[class_I];
  }

 private:
  StatePtr mState;
};

class CReplayEvents : public CDeviceEventSource {
 public:
  explicit CReplayEvents(StatePtr state_I) : mState(std::move(state_I)) {}

  void Subscribe(CDeviceEventSink* sink_I) override
  {
    if (std::find(mSinks.begin(), mSinks.end(), sink_I) == mSinks.end()) mSinks.push_back(sink_I);
  }
  void Unsubscribe(CDeviceEventSink* sink_I) override
  {
    mSinks.erase(std::remove(mSinks.begin(), mSinks.end(), sink_I), mSinks.end());
  }
  void DeliverDueEvents() override
  {
    for (;;) {
      SRecordedEvent event;
      {
        std::lock_guard<std::mutex> lock(mState->lock);
        mState->Schedule();
        if (mState->due.empty() || mState->due.begin()->first > Clock().NowMs()) return;
        event = mState->due.begin()->second;
        mState->due.erase(mState->due.begin());
      }
      for (CDeviceEventSink* sink : std::vector<CDeviceEventSink*>(mSinks)) {
        if (std::find(mSinks.begin(), mSinks.end(), sink) == mSinks.end()) continue;
        event.arrival ? sink->OnInterfaceArrival(event.path, event.deviceClass)
                      : sink->OnInterfaceRemoval(event.path, event.deviceClass);
      }
    }
  }

 private:
  StatePtr mState;
  std::vector<CDeviceEventSink*> mSinks;
};

// Answers each D2XX call as the recorded call answered; handles are tokens with no meaning of their own.
class CReplayD2XX : public CD2XX {
 public:
  explicit CReplayD2XX(StatePtr state_I) : mState(std::move(state_I)) {}

  FT_STATUS OpenEx(void*, uint32_t, FT_HANDLE* handle_O) override
  {
    return Replay("open", [&](const SFtdiCall& call_I) {
      if (handle_O != nullptr) *handle_O = call_I.status == FT_OK ? &mToken : nullptr;
    });
  }
  FT_STATUS ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I) override
  {
    if (flags_I == FT_LIST_NUMBER_ONLY) {
      return Replay("list-count", [&](const SFtdiCall& call_I) { Put(arg1_IO, call_I, 0); });
    }
    return Replay("list-location", [&](const SFtdiCall& call_I) { Put(arg2_IO, call_I, 1); });
  }
  FT_STATUS Close(FT_HANDLE) override { return Replay("close", nullptr); }
  FT_STATUS Read(FT_HANDLE, void* buffer_O, uint32_t toRead_I, uint32_t* read_O) override
  {
    return Replay("read", [&](const SFtdiCall& call_I) {
      std::vector<uint8_t> bytes;
      if (call_I.values.size() > 1) ParseHex(call_I.values[1], bytes);
      const size_t count = std::min<size_t>(bytes.size(), toRead_I);
      if (buffer_O != nullptr) std::copy_n(bytes.begin(), count, static_cast<uint8_t*>(buffer_O));
      if (read_O != nullptr) *read_O = static_cast<uint32_t>(count);
    });
  }
  FT_STATUS Write(FT_HANDLE, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O) override
  {
    const auto* first = static_cast<const uint8_t*>(buffer_I);
    const std::vector<uint8_t> bytes(first, first == nullptr ? first : first + toWrite_I);
    return Replay("write", [&](const SFtdiCall& call_I) { Put(written_O, call_I, 0); },
                  [&](const SFtdiCall& call_I) {
                    std::vector<uint8_t> recorded;
                    return call_I.values.size() > 1 && ParseHex(call_I.values[1], recorded) && recorded == bytes;
                  });
  }
  FT_STATUS ResetDevice(FT_HANDLE) override { return Replay("reset", nullptr); }
  FT_STATUS SetChars(FT_HANDLE, uint8_t, uint8_t, uint8_t, uint8_t) override { return Replay("chars", nullptr); }
  FT_STATUS SetTimeouts(FT_HANDLE, uint32_t, uint32_t) override { return Replay("timeouts", nullptr); }
  FT_STATUS GetQueueStatus(FT_HANDLE, uint32_t* bytes_O) override
  {
    return Replay("queue", [&](const SFtdiCall& call_I) { Put(bytes_O, call_I, 0); });
  }
  FT_STATUS SetLatencyTimer(FT_HANDLE, uint8_t) override { return Replay("latency", nullptr); }
  FT_STATUS SetBitMode(FT_HANDLE, uint8_t, uint8_t) override { return Replay("bitmode", nullptr); }
  FT_STATUS SetUSBParameters(FT_HANDLE, uint32_t, uint32_t) override { return Replay("usbparameters", nullptr); }

 private:
  using Answer = std::function<void(const SFtdiCall&)>;
  using Check = std::function<bool(const SFtdiCall&)>;

  static void Put(void* target_O, const SFtdiCall& call_I, size_t index_I)
  {
    uint32_t value = 0;
    if (target_O != nullptr && index_I < call_I.values.size() && ParseNumber(call_I.values[index_I], 10, value)) {
      *static_cast<uint32_t*>(target_O) = value;
    }
  }

  FT_STATUS Replay(const char* call_I, const Answer& answer_I, const Check& check_I = nullptr)
  {
    std::lock_guard<std::mutex> lock(mState->lock);
    std::deque<SFtdiCall>& calls = mState->ftdi;
    if (calls.empty() || calls.front().call != call_I || (check_I && !check_I(calls.front()))) {
      mState->Diverge(std::string("ftdi ") + call_I + (calls.empty() ? " after the recording's last call"
                                                                        : " where line " + std::to_string(calls.front().line) + " has another"));
      return FT_IO_ERROR;
    }
    const SFtdiCall call = calls.front();
    calls.pop_front();
    if (answer_I) answer_I(call);
    mState->Transferred();
    return call.status;
  }

  StatePtr mState;
  int mToken = 0;
};

}  // namespace

CSimReplay::CSimReplay() : mState(std::make_shared<SState>()) {}

bool CSimReplay::IsRecording(const std::string& text_I) { return text_I.rfind(kRecordingHeader, 0) == 0; }

std::shared_ptr<CSimReplay> CSimReplay::Parse(const std::string& text_I, std::string& error_O)
{
  if (!IsRecording(text_I)) {
    error_O = "not a recording";
    return nullptr;
  }
  std::shared_ptr<CSimReplay> replay(new CSimReplay());
  SState& state = *replay->mState;
  std::istringstream lines(text_I);
  std::string line;
  uint64_t transfers = 0;
  uint64_t lastTransferMs = 0;
  for (size_t number = 1; std::getline(lines, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::istringstream words(line);
    for (std::string word; words >> word;) f.push_back(word);
    uint32_t timeMs = 0;
    const auto fail = [&]() {
      error_O = "line " + std::to_string(number) + " of the recording is not understood";
      return nullptr;
    };
    if (f.size() < 3 || !ParseNumber(f[0], 10, timeMs)) return fail();
    const std::string& kind = f[1];
    const bool transfer = (kind == "hid" || kind == "usb") && f.size() > 4 &&
                          (f[3] == "set" || f[3] == "get" || f[3] == "control");
    if (kind == "hid" || kind == "usb") {
      if (f.size() < 5 || (f[4] != "ok" && f[4] != "failed")) return fail();
      const std::string path = Text(f[2]);
      const bool ok = f[4] == "ok";
      const std::string& operation = f[3];
      std::deque<bool>& opens = kind == "hid" ? state.hid[path].opens : state.usb[path].opens;
      if (operation == "open") {
        opens.push_back(ok);
      } else if (kind == "hid" && operation == "attributes") {
        std::optional<SHidAttributes> attributes;
        if (ok) {
          uint32_t vendor = 0, product = 0, version = 0;
          if (f.size() != 8 || !ParseNumber(f[5], 16, vendor) || !ParseNumber(f[6], 16, product) || !ParseNumber(f[7], 16, version)) return fail();
          attributes = SHidAttributes{static_cast<uint16_t>(vendor), static_cast<uint16_t>(product), static_cast<uint16_t>(version)};
        }
        state.hid[path].attributes.Add(transfers, attributes);
      } else if (kind == "hid" && operation == "caps") {
        std::optional<SHidCaps> caps;
        if (ok) {
          uint32_t usage = 0, page = 0;
          if (f.size() != 7 || !ParseNumber(f[5], 16, usage) || !ParseNumber(f[6], 16, page)) return fail();
          caps = SHidCaps{static_cast<uint16_t>(usage), static_cast<uint16_t>(page)};
        }
        state.hid[path].caps.Add(transfers, caps);
      } else if (kind == "usb" && operation == "descriptor") {
        std::optional<std::vector<uint8_t>> descriptor;
        if (ok && (f.size() != 6 || !ParseHex(f[5], descriptor.emplace()))) return fail();
        state.usb[path].descriptor.Add(transfers, descriptor);
      } else if (transfer) {
        STransfer recorded{operation, ok, "", {}, number};
        const size_t bytesField = operation == "control" ? 6 : 5;
        if (f.size() != bytesField + 1 || !ParseHex(f[bytesField], recorded.bytes)) return fail();
        if (operation == "control" && !ParseSetup(f[5], recorded.setup)) return fail();
        (kind == "hid" ? state.hid[path].transfers : state.usb[path].transfers).push_back(recorded);
      } else {
        return fail();
      }
    } else if (kind == "ftdi") {
      uint32_t status = 0;
      if (f.size() < 4 || !ParseNumber(f[3], 10, status)) return fail();
      state.ftdi.push_back({f[2], status, std::vector<std::string>(f.begin() + 4, f.end()), number});
    } else if (kind == "tree") {
      uint32_t levels = 0;
      if (f.size() != 5 || !ParseNumber(f[3], 10, levels) || levels > 255) return fail();
      state.tree[{Text(f[2]), static_cast<uint8_t>(levels)}].Add(transfers, Text(f[4]));
    } else if (kind == "node") {
      if (f.size() != 4) return fail();
      state.nodes[Text(f[2])].Add(transfers, Text(f[3]));
    } else if (kind == "enumerate") {
      std::vector<std::string> paths;
      for (size_t i = 3; i < f.size(); ++i) paths.push_back(Text(f[i]));
      state.enumerations[ClassOf(f[2])].push_back(paths);
    } else if (kind == "arrival" || kind == "removal") {
      if (f.size() != 4) return fail();
      state.events.push_back({transfers, timeMs - std::min<uint64_t>(timeMs, lastTransferMs), kind == "arrival",
                              ClassOf(f[2]), Text(f[3])});
    } else {
      return fail();
    }
    if (transfer || kind == "ftdi") {
      ++transfers;
      lastTransferMs = timeMs;
    }
  }
  state.startMs = Clock().NowMs();
  state.Schedule();
  replay->mHid = std::make_shared<CReplayHidSystem>(replay->mState);
  replay->mUsb = std::make_shared<CReplayUsbSystem>(replay->mState, replay->mHid);
  replay->mEnumerator = std::make_shared<CReplayEnumerator>(replay->mState);
  replay->mEvents = std::make_shared<CReplayEvents>(replay->mState);
  replay->mD2XX = std::make_shared<CReplayD2XX>(replay->mState);
  return replay;
}

std::vector<std::string> CSimReplay::Divergences()
{
  std::lock_guard<std::mutex> lock(mState->lock);
  return mState->divergences;
}

}  // namespace orv::sim
