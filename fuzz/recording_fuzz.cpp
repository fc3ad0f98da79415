// A recording and its replay: calls through the recorder to devices whose every answer comes from the input,
// then the same calls against the replay of what was written. The replay must answer each call as the devices
// did, whatever the paths, ids and answers were.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/fwupdater/ctransferrecorder.h"
#include "fuzz/fuzzsupport.h"
#include "sim/csimreplay.h"

namespace orv::fuzz {
namespace {

// Texts from the input: a length, then as many bytes of any value.
std::string Text(CByteSource& source_I)
{
  const size_t length = source_I.Byte() % 6;
  const std::vector<uint8_t> bytes = source_I.Bytes(length);
  return std::string(bytes.begin(), bytes.end());
}

// A little-endian number of the given bytes.
uint32_t Number(CByteSource& source_I, int bytes_I)
{
  uint32_t value = 0;
  for (int i = 0; i < bytes_I; ++i) value |= uint32_t{source_I.Byte()} << (8 * i);
  return value;
}

uint16_t Word(CByteSource& source_I) { return static_cast<uint16_t>(Number(source_I, 2)); }

// Devices whose answers are read from the input; a call with its arguments is the replay's business.
class CScriptedDevices : public CHidSystem, public CDeviceEnumerator, public CDeviceEventSource, public CD2XX {
 public:
  explicit CScriptedDevices(CByteSource& source_I) : mSource(source_I) {}

  std::unique_ptr<orv::CHidDevice> Open(const std::string&) override;
  std::unique_ptr<CUsbDevice> OpenUsb() { return Ok() ? std::make_unique<CUsb>(*this) : nullptr; }
  std::string GetAncestorId(const std::string&, uint8_t) override { return Text(mSource); }
  std::string InstanceIdOfPath(const std::string&) override { return Text(mSource); }
  std::vector<std::string> EnumerateInterfacePaths(EDeviceClass) override
  {
    std::vector<std::string> paths(mSource.Byte() % 4);
    for (std::string& path : paths) path = Text(mSource);
    return paths;
  }
  void Subscribe(CDeviceEventSink* sink_I) override { mSink = sink_I; }
  void Unsubscribe(CDeviceEventSink*) override { mSink = nullptr; }
  void DeliverDueEvents() override
  {
    for (size_t count = mSource.Byte() % 3; count > 0 && mSink != nullptr; --count) {
      const uint8_t kind = mSource.Byte();
      const EDeviceClass deviceClass = kind & 2 ? EDEVICECLASS_BULK : EDEVICECLASS_HID;
      const std::string path = Text(mSource);
      kind & 1 ? mSink->OnInterfaceArrival(path, deviceClass) : mSink->OnInterfaceRemoval(path, deviceClass);
    }
  }

  FT_STATUS OpenEx(void*, uint32_t, FT_HANDLE* handle_O) override
  {
    const FT_STATUS status = Status();
    *handle_O = status == FT_OK ? this : nullptr;
    return status;
  }
  FT_STATUS ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I) override
  {
    return Answer(static_cast<uint32_t*>(flags_I == FT_LIST_NUMBER_ONLY ? arg1_IO : arg2_IO));
  }
  FT_STATUS Close(FT_HANDLE) override { return Status(); }
  FT_STATUS Read(FT_HANDLE, void* buffer_O, uint32_t toRead_I, uint32_t* read_O) override
  {
    const FT_STATUS status = Status();
    if (status != FT_OK) return status;
    *read_O = mSource.Byte() % (toRead_I + 1);
    const std::vector<uint8_t> bytes = mSource.Bytes(*read_O);
    std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(buffer_O));
    return status;
  }
  FT_STATUS Write(FT_HANDLE, const void*, uint32_t, uint32_t* written_O) override { return Answer(written_O); }
  FT_STATUS ResetDevice(FT_HANDLE) override { return Status(); }
  FT_STATUS SetChars(FT_HANDLE, uint8_t, uint8_t, uint8_t, uint8_t) override { return Status(); }
  FT_STATUS SetTimeouts(FT_HANDLE, uint32_t, uint32_t) override { return Status(); }
  FT_STATUS GetQueueStatus(FT_HANDLE, uint32_t* bytes_O) override { return Answer(bytes_O); }
  FT_STATUS SetLatencyTimer(FT_HANDLE, uint8_t) override { return Status(); }
  FT_STATUS SetBitMode(FT_HANDLE, uint8_t, uint8_t) override { return Status(); }
  FT_STATUS SetUSBParameters(FT_HANDLE, uint32_t, uint32_t) override { return Status(); }

 private:
  class CHid : public orv::CHidDevice {
   public:
    explicit CHid(CScriptedDevices& devices_I) : mDevices(devices_I) {}
    bool GetAttributes(SHidAttributes& attributes_O) override
    {
      if (!mDevices.Ok()) return false;
      attributes_O = {Word(mDevices.mSource), Word(mDevices.mSource), Word(mDevices.mSource)};
      return true;
    }
    bool GetCaps(SHidCaps& caps_O) override
    {
      if (!mDevices.Ok()) return false;
      caps_O = {Word(mDevices.mSource), Word(mDevices.mSource)};
      return true;
    }
    bool SetFeature(const std::vector<uint8_t>&) override { return mDevices.Ok(); }
    // A device answers the report asked for, at its length.
    bool GetFeature(std::vector<uint8_t>& report_IO) override
    {
      if (!mDevices.Ok()) return false;
      const std::vector<uint8_t> answer = mDevices.mSource.Bytes(report_IO.size() - 1);
      std::copy(answer.begin(), answer.end(), report_IO.begin() + 1);
      return true;
    }

   private:
    CScriptedDevices& mDevices;
  };

  class CUsb : public CUsbDevice {
   public:
    explicit CUsb(CScriptedDevices& devices_I) : mDevices(devices_I) {}
    bool GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O) override
    {
      if (!mDevices.Ok()) return false;
      descriptor_O = mDevices.mSource.Bytes(mDevices.mSource.Byte() % 20);
      return true;
    }
    bool ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) override
    {
      if (!mDevices.Ok()) return false;
      if (!(setup_I.requestType & 0x80)) return true;
      // A device may end its answer before the length asked for; the buffer then holds what it sent.
      data_IO = mDevices.mSource.Bytes(mDevices.mSource.Byte() % (size_t{setup_I.length} + 1));
      return true;
    }

   private:
    CScriptedDevices& mDevices;
  };

  bool Ok() { return (mSource.Byte() & 7) != 0; }
  FT_STATUS Status() { return Ok() ? FT_STATUS{FT_OK} : FT_STATUS{1u + mSource.Byte() % 19u}; }
  FT_STATUS Answer(uint32_t* value_O)
  {
    const FT_STATUS status = Status();
    if (status == FT_OK) *value_O = Number(mSource, 4);
    return status;
  }

  CByteSource& mSource;
  CDeviceEventSink* mSink = nullptr;
};

std::unique_ptr<orv::CHidDevice> CScriptedDevices::Open(const std::string&)
{
  return Ok() ? std::make_unique<CHid>(*this) : nullptr;
}

// The USB side of the scripted devices as a system of its own, sharing the device tree.
class CScriptedUsb : public CUsbSystem {
 public:
  explicit CScriptedUsb(CScriptedDevices& devices_I) : mDevices(devices_I) {}
  std::unique_ptr<CUsbDevice> Open(const std::string&) override { return mDevices.OpenUsb(); }
  std::string GetAncestorId(const std::string& id_I, uint8_t levels_I) override { return mDevices.GetAncestorId(id_I, levels_I); }
  std::string InstanceIdOfPath(const std::string& path_I) override { return mDevices.InstanceIdOfPath(path_I); }

 private:
  CScriptedDevices& mDevices;
};

// What the calls saw: each call's answer, and the events in the order they came.
struct SLog : public CDeviceEventSink {
  std::vector<std::string> answers;
  std::vector<std::string> events;
  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override { events.push_back("+" + std::to_string(class_I) + path_I); }
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override { events.push_back("-" + std::to_string(class_I) + path_I); }
};

struct SSeams {
  std::shared_ptr<CHidSystem> hid;
  std::shared_ptr<CUsbSystem> usb;
  std::shared_ptr<CDeviceEnumerator> enumerator;
  std::shared_ptr<CDeviceEventSource> events;
  CD2XX* d2xx = nullptr;
};

std::string Hex(const std::vector<uint8_t>& bytes_I) { return CTransferRecorder::Hex(bytes_I); }

// The calls the input asks for, made through the seams; each answer goes to the log.
class CCaller {
 public:
  CCaller(CByteSource& calls_I, const SSeams& seams_I, CVirtualClock& clock_I, SLog& log_I)
      : mCalls(calls_I), mSeams(seams_I), mClock(clock_I), mLog(log_I)
  {
  }

  void Run()
  {
    mSeams.events->Subscribe(&mLog);
    while (!mCalls.Empty()) Call(mCalls.Byte() % 16);
    mSeams.events->Unsubscribe(&mLog);
  }

 private:
  void Call(uint8_t call_I)
  {
    std::string& answer = mLog.answers.emplace_back(std::to_string(call_I) + ":");
    switch (call_I) {
      case 0: {
        const std::vector<std::string> paths = mSeams.enumerator->EnumerateInterfacePaths(mCalls.Byte() & 1 ? EDEVICECLASS_BULK : EDEVICECLASS_HID);
        for (const std::string& path : paths) answer += "[" + path + "]";
        return;
      }
      case 1: mHid = mSeams.hid->Open(Text(mCalls)); answer += mHid ? "open" : "none"; return;
      case 2: {
        SHidAttributes attributes;
        if (mHid && mHid->GetAttributes(attributes)) answer += std::to_string(attributes.vendorId) + "/" + std::to_string(attributes.productId) + "/" + std::to_string(attributes.version);
        return;
      }
      case 3: {
        SHidCaps caps;
        if (mHid && mHid->GetCaps(caps)) answer += std::to_string(caps.usage) + "/" + std::to_string(caps.usagePage);
        return;
      }
      case 4: {
        const std::vector<uint8_t> report = mCalls.Bytes(1 + mCalls.Byte() % 8);
        if (mHid) answer += std::to_string(mHid->SetFeature(report));
        return;
      }
      case 5: {
        std::vector<uint8_t> report(1 + mCalls.Byte() % 8, 0);
        report[0] = mCalls.Byte();
        if (mHid) answer += std::to_string(mHid->GetFeature(report)) + Hex(report);
        return;
      }
      case 6: mUsb = mSeams.usb->Open(Text(mCalls)); answer += mUsb ? "open" : "none"; return;
      case 7: {
        std::vector<uint8_t> descriptor;
        if (mUsb) answer += std::to_string(mUsb->GetDeviceDescriptor(descriptor)) + Hex(descriptor);
        return;
      }
      case 8: {
        const SUsbSetupPacket setup{mCalls.Byte(), mCalls.Byte(), Word(mCalls), Word(mCalls), static_cast<uint16_t>(mCalls.Byte() % 16)};
        std::vector<uint8_t> data = mCalls.Bytes(setup.length);
        data.resize(setup.length);
        if (mUsb) answer += std::to_string(mUsb->ControlTransfer(setup, data)) + Hex(data);
        return;
      }
      case 9: {
        const std::string id = Text(mCalls);
        answer += "[" + (mCalls.Byte() & 1 ? std::static_pointer_cast<CDeviceTree>(mSeams.usb) : std::static_pointer_cast<CDeviceTree>(mSeams.hid))->GetAncestorId(id, mCalls.Byte()) + "]";
        return;
      }
      case 10: answer += "[" + mSeams.hid->InstanceIdOfPath(Text(mCalls)) + "]"; return;
      case 11: mSeams.events->DeliverDueEvents(); return;
      case 12: mClock.Advance(mCalls.Byte()); return;
      default: answer += Ftdi(mCalls.Byte() % 8); return;
    }
  }

  std::string Ftdi(uint8_t call_I)
  {
    CD2XX& d2xx = *mSeams.d2xx;
    uint32_t value = 0;
    FT_HANDLE handle = nullptr;
    switch (call_I) {
      case 0: return std::to_string(d2xx.OpenEx(reinterpret_cast<void*>(uintptr_t{mCalls.Byte()}), FT_OPEN_BY_LOCATION, &handle)) + (handle ? "h" : "");
      case 1: return std::to_string(d2xx.ListDevices(&value, nullptr, FT_LIST_NUMBER_ONLY)) + "/" + std::to_string(value);
      case 2: return std::to_string(d2xx.ListDevices(reinterpret_cast<void*>(uintptr_t{mCalls.Byte()}), &value, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION)) + "/" + std::to_string(value);
      case 3: {
        std::vector<uint8_t> buffer(mCalls.Byte() % 16, 0);
        const FT_STATUS status = d2xx.Read(&mToken, buffer.data(), static_cast<uint32_t>(buffer.size()), &value);
        buffer.resize(status == FT_OK ? value : 0);
        return std::to_string(status) + "/" + std::to_string(value) + Hex(buffer);
      }
      case 4: {
        const std::vector<uint8_t> bytes = mCalls.Bytes(mCalls.Byte() % 16);
        return std::to_string(d2xx.Write(&mToken, bytes.data(), static_cast<uint32_t>(bytes.size()), &value)) + "/" + std::to_string(value);
      }
      case 5: return std::to_string(d2xx.GetQueueStatus(&mToken, &value)) + "/" + std::to_string(value);
      case 6: return std::to_string(d2xx.SetBitMode(&mToken, mCalls.Byte(), mCalls.Byte()));
      default: return std::to_string(d2xx.Close(&mToken));
    }
  }

  CByteSource& mCalls;
  const SSeams& mSeams;
  CVirtualClock& mClock;
  SLog& mLog;
  std::unique_ptr<orv::CHidDevice> mHid;
  std::unique_ptr<CUsbDevice> mUsb;
  int mToken = 0;
};

std::string ReadFile(const std::string& path_I)
{
  std::ifstream in(path_I, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace
}  // namespace orv::fuzz

// The input is two halves: the calls, and the devices' answers.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  using namespace orv;
  using namespace orv::fuzz;
  const size_t callBytes = size == 0 ? 0 : data[0] % (size);
  const std::string file = WriteScratchFile(nullptr, 0, ".rec");
  SLog recorded;
  {
    SVirtualTime time;
    CByteSource calls(data + 1, callBytes > 0 ? callBytes - 1 : 0);
    CByteSource answers(data + callBytes, size - callBytes);
    auto devices = std::make_shared<CScriptedDevices>(answers);
    auto recorder = std::make_shared<CTransferRecorder>();
    if (!recorder->Open(file)) std::abort();
    const std::unique_ptr<CD2XX> d2xx = RecordingD2XX(*devices, recorder);
    const SSeams seams{RecordingHidSystem(devices, recorder), RecordingUsbSystem(std::make_shared<CScriptedUsb>(*devices), recorder),
                       RecordingEnumerator(devices, recorder), RecordingEvents(devices, recorder), d2xx.get()};
    CCaller(calls, seams, time.clock, recorded).Run();
    if (!recorder->Good()) std::abort();
  }
  SLog replayed;
  {
    SVirtualTime time;
    CByteSource calls(data + 1, callBytes > 0 ? callBytes - 1 : 0);
    std::string error;
    const std::shared_ptr<sim::CSimReplay> replay = sim::CSimReplay::Parse(ReadFile(file), error);
    if (!replay) std::abort();
    const SSeams seams{replay->Hid(), replay->Usb(), replay->Enumerator(), replay->Events(), &replay->D2XX()};
    CCaller(calls, seams, time.clock, replayed).Run();
    if (!replay->Divergences().empty()) std::abort();
  }
  if (recorded.answers != replayed.answers || recorded.events != replayed.events) std::abort();
  return 0;
}
