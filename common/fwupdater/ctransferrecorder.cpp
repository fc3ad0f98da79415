#include "common/fwupdater/ctransferrecorder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "common/cclock.h"

namespace orv {
namespace {

using RecorderPtr = std::shared_ptr<CTransferRecorder>;

// The path is UTF-8, as every path the programs take; Windows opens it only through its wide form.
std::FILE* OpenForWriting(const std::string& path_I)
{
#ifdef _WIN32
  try {
    return _wfopen(std::filesystem::u8path(path_I).c_str(), L"w");
  } catch (const std::exception&) {
    return nullptr;  // not UTF-8
  }
#else
  return std::fopen(path_I.c_str(), "w");
#endif
}

const char* Outcome(bool ok_I) { return ok_I ? "ok" : "failed"; }

std::string ClassName(EDeviceClass class_I) { return class_I == EDEVICECLASS_BULK ? "bulk" : "hid"; }

class CRecordingHidDevice : public CHidDevice {
 public:
  CRecordingHidDevice(std::unique_ptr<CHidDevice> inner_I, std::string path_I, RecorderPtr recorder_I)
      : mInner(std::move(inner_I)), mPath(CTransferRecorder::Escape(path_I)), mRecorder(std::move(recorder_I))
  {
  }

  bool GetAttributes(SHidAttributes& attributes_O) override
  {
    const bool ok = mInner->GetAttributes(attributes_O);
    std::vector<std::string> fields{mPath, "attributes", Outcome(ok)};
    if (ok) {
      for (uint16_t value : {attributes_O.vendorId, attributes_O.productId, attributes_O.version}) {
        fields.push_back(CTransferRecorder::Number(value));
      }
    }
    mRecorder->Write("hid", fields);
    return ok;
  }

  bool GetCaps(SHidCaps& caps_O) override
  {
    const bool ok = mInner->GetCaps(caps_O);
    std::vector<std::string> fields{mPath, "caps", Outcome(ok)};
    if (ok) {
      fields.push_back(CTransferRecorder::Number(caps_O.usage));
      fields.push_back(CTransferRecorder::Number(caps_O.usagePage));
    }
    mRecorder->Write("hid", fields);
    return ok;
  }

  bool SetFeature(const std::vector<uint8_t>& report_I) override
  {
    const bool ok = mInner->SetFeature(report_I);
    mRecorder->Write("hid", {mPath, "set", Outcome(ok), CTransferRecorder::Hex(report_I)});
    return ok;
  }

  bool GetFeature(std::vector<uint8_t>& report_IO) override
  {
    const std::vector<uint8_t> request = report_IO;
    const bool ok = mInner->GetFeature(report_IO);
    mRecorder->Write("hid", {mPath, "get", Outcome(ok), CTransferRecorder::Hex(ok ? report_IO : request)});
    return ok;
  }

 private:
  std::unique_ptr<CHidDevice> mInner;
  std::string mPath;
  RecorderPtr mRecorder;
};

// The device tree answers of either system, recorded alike.
template <typename System>
class CRecordingTree : public System {
 public:
  CRecordingTree(std::shared_ptr<System> inner_I, RecorderPtr recorder_I)
      : mInner(std::move(inner_I)), mRecorder(std::move(recorder_I))
  {
  }

  std::string GetAncestorId(const std::string& instanceId_I, uint8_t levels_I) override
  {
    const std::string answer = mInner->GetAncestorId(instanceId_I, levels_I);
    mRecorder->Write("tree", {CTransferRecorder::Escape(instanceId_I), std::to_string(levels_I), CTransferRecorder::Escape(answer)});
    return answer;
  }

  std::string InstanceIdOfPath(const std::string& path_I) override
  {
    const std::string id = mInner->InstanceIdOfPath(path_I);
    mRecorder->Write("node", {CTransferRecorder::Escape(path_I), CTransferRecorder::Escape(id)});
    return id;
  }

 protected:
  std::shared_ptr<System> mInner;
  RecorderPtr mRecorder;
};

class CRecordingHidSystem : public CRecordingTree<CHidSystem> {
 public:
  using CRecordingTree::CRecordingTree;

  std::unique_ptr<CHidDevice> Open(const std::string& path_I) override
  {
    std::unique_ptr<CHidDevice> device = mInner->Open(path_I);
    mRecorder->Write("hid", {CTransferRecorder::Escape(path_I), "open", Outcome(device != nullptr)});
    if (!device) return nullptr;
    return std::make_unique<CRecordingHidDevice>(std::move(device), path_I, mRecorder);
  }
};

class CRecordingUsbDevice : public CUsbDevice {
 public:
  CRecordingUsbDevice(std::unique_ptr<CUsbDevice> inner_I, std::string path_I, RecorderPtr recorder_I)
      : mInner(std::move(inner_I)), mPath(CTransferRecorder::Escape(path_I)), mRecorder(std::move(recorder_I))
  {
  }

  bool GetDeviceDescriptor(std::vector<uint8_t>& descriptor_O) override
  {
    const bool ok = mInner->GetDeviceDescriptor(descriptor_O);
    std::vector<std::string> fields{mPath, "descriptor", Outcome(ok)};
    if (ok) fields.push_back(CTransferRecorder::Hex(descriptor_O));
    mRecorder->Write("usb", fields);
    return ok;
  }

  bool ControlTransfer(const SUsbSetupPacket& setup_I, std::vector<uint8_t>& data_IO) override
  {
    const bool ok = mInner->ControlTransfer(setup_I, data_IO);
    const std::string setup = CTransferRecorder::Number(setup_I.requestType, 2) + CTransferRecorder::Number(setup_I.request, 2) +
                              CTransferRecorder::Number(setup_I.value) + CTransferRecorder::Number(setup_I.index) +
                              CTransferRecorder::Number(setup_I.length);
    // What went to the device, or what came back from it: nothing when a read failed.
    const bool read = (setup_I.requestType & 0x80) != 0;
    const size_t length = ok || !read ? std::min<size_t>(setup_I.length, data_IO.size()) : 0;
    mRecorder->Write("usb", {mPath, "control", Outcome(ok), setup, CTransferRecorder::Hex(data_IO.data(), length)});
    return ok;
  }

 private:
  std::unique_ptr<CUsbDevice> mInner;
  std::string mPath;
  RecorderPtr mRecorder;
};

class CRecordingUsbSystem : public CRecordingTree<CUsbSystem> {
 public:
  using CRecordingTree::CRecordingTree;

  std::unique_ptr<CUsbDevice> Open(const std::string& path_I) override
  {
    std::unique_ptr<CUsbDevice> device = mInner->Open(path_I);
    mRecorder->Write("usb", {CTransferRecorder::Escape(path_I), "open", Outcome(device != nullptr)});
    if (!device) return nullptr;
    return std::make_unique<CRecordingUsbDevice>(std::move(device), path_I, mRecorder);
  }
};

class CRecordingEnumerator : public CDeviceEnumerator {
 public:
  CRecordingEnumerator(std::shared_ptr<CDeviceEnumerator> inner_I, RecorderPtr recorder_I)
      : mInner(std::move(inner_I)), mRecorder(std::move(recorder_I))
  {
  }

  std::vector<std::string> EnumerateInterfacePaths(EDeviceClass class_I) override
  {
    const std::vector<std::string> paths = mInner->EnumerateInterfacePaths(class_I);
    std::vector<std::string> fields{ClassName(class_I)};
    for (const std::string& path : paths) fields.push_back(CTransferRecorder::Escape(path));
    mRecorder->Write("enumerate", fields);
    return paths;
  }

 private:
  std::shared_ptr<CDeviceEnumerator> mInner;
  RecorderPtr mRecorder;
};

// Stands between the platform's events and the application: records each event, then passes it on.
class CRecordingEvents : public CDeviceEventSource, public CDeviceEventSink {
 public:
  CRecordingEvents(std::shared_ptr<CDeviceEventSource> inner_I, RecorderPtr recorder_I)
      : mInner(std::move(inner_I)), mRecorder(std::move(recorder_I))
  {
  }
  ~CRecordingEvents() override { mInner->Unsubscribe(this); }

  void Subscribe(CDeviceEventSink* sink_I) override
  {
    if (std::find(mSinks.begin(), mSinks.end(), sink_I) == mSinks.end()) mSinks.push_back(sink_I);
    mInner->Subscribe(this);
  }
  void Unsubscribe(CDeviceEventSink* sink_I) override
  {
    mSinks.erase(std::remove(mSinks.begin(), mSinks.end(), sink_I), mSinks.end());
    if (mSinks.empty()) mInner->Unsubscribe(this);
  }
  void DeliverDueEvents() override { mInner->DeliverDueEvents(); }

  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override
  {
    mRecorder->WriteEvent(true, class_I, path_I);
    for (CDeviceEventSink* sink : std::vector<CDeviceEventSink*>(mSinks)) sink->OnInterfaceArrival(path_I, class_I);
  }
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override
  {
    mRecorder->WriteEvent(false, class_I, path_I);
    for (CDeviceEventSink* sink : std::vector<CDeviceEventSink*>(mSinks)) sink->OnInterfaceRemoval(path_I, class_I);
  }

 private:
  std::shared_ptr<CDeviceEventSource> mInner;
  RecorderPtr mRecorder;
  std::vector<CDeviceEventSink*> mSinks;
};

class CRecordingD2XX : public CD2XX {
 public:
  CRecordingD2XX(CD2XX& inner_I, RecorderPtr recorder_I) : mInner(inner_I), mRecorder(std::move(recorder_I)) {}

  FT_STATUS OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O) override
  {
    const FT_STATUS status = mInner.OpenEx(arg1_I, flags_I, handle_O);
    Record("open", status, {Value(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg1_I)))});
    return status;
  }
  FT_STATUS ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I) override
  {
    const FT_STATUS status = mInner.ListDevices(arg1_IO, arg2_IO, flags_I);
    const bool ok = status == FT_OK;
    if (flags_I == FT_LIST_NUMBER_ONLY) {
      Record("list-count", status, {Value(ok && arg1_IO ? *static_cast<uint32_t*>(arg1_IO) : 0)});
    } else {
      Record("list-location", status, {Value(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg1_IO))),
                                       Value(ok && arg2_IO ? *static_cast<uint32_t*>(arg2_IO) : 0)});
    }
    return status;
  }
  FT_STATUS Close(FT_HANDLE handle_I) override { return Recorded("close", mInner.Close(handle_I), {}); }
  FT_STATUS Read(FT_HANDLE handle_I, void* buffer_O, uint32_t toRead_I, uint32_t* read_O) override
  {
    const FT_STATUS status = mInner.Read(handle_I, buffer_O, toRead_I, read_O);
    const uint32_t read = read_O != nullptr && status == FT_OK ? std::min(*read_O, toRead_I) : 0;
    Record("read", status, {Value(toRead_I), CTransferRecorder::Hex(static_cast<const uint8_t*>(buffer_O), read)});
    return status;
  }
  FT_STATUS Write(FT_HANDLE handle_I, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O) override
  {
    const FT_STATUS status = mInner.Write(handle_I, buffer_I, toWrite_I, written_O);
    const uint32_t written = written_O != nullptr && status == FT_OK ? *written_O : 0;
    Record("write", status, {Value(written), CTransferRecorder::Hex(static_cast<const uint8_t*>(buffer_I), toWrite_I)});
    return status;
  }
  FT_STATUS ResetDevice(FT_HANDLE handle_I) override { return Recorded("reset", mInner.ResetDevice(handle_I), {}); }
  FT_STATUS SetChars(FT_HANDLE handle_I, uint8_t eventChar_I, uint8_t eventCharEnabled_I, uint8_t errorChar_I,
                     uint8_t errorCharEnabled_I) override
  {
    return Recorded("chars", mInner.SetChars(handle_I, eventChar_I, eventCharEnabled_I, errorChar_I, errorCharEnabled_I),
                    {Value(eventChar_I), Value(eventCharEnabled_I), Value(errorChar_I), Value(errorCharEnabled_I)});
  }
  FT_STATUS SetTimeouts(FT_HANDLE handle_I, uint32_t readMs_I, uint32_t writeMs_I) override
  {
    return Recorded("timeouts", mInner.SetTimeouts(handle_I, readMs_I, writeMs_I), {Value(readMs_I), Value(writeMs_I)});
  }
  FT_STATUS GetQueueStatus(FT_HANDLE handle_I, uint32_t* bytes_O) override
  {
    const FT_STATUS status = mInner.GetQueueStatus(handle_I, bytes_O);
    Record("queue", status, {Value(status == FT_OK && bytes_O != nullptr ? *bytes_O : 0)});
    return status;
  }
  FT_STATUS SetLatencyTimer(FT_HANDLE handle_I, uint8_t milliseconds_I) override
  {
    return Recorded("latency", mInner.SetLatencyTimer(handle_I, milliseconds_I), {Value(milliseconds_I)});
  }
  FT_STATUS SetBitMode(FT_HANDLE handle_I, uint8_t mask_I, uint8_t mode_I) override
  {
    return Recorded("bitmode", mInner.SetBitMode(handle_I, mask_I, mode_I), {Value(mask_I), Value(mode_I)});
  }
  FT_STATUS SetUSBParameters(FT_HANDLE handle_I, uint32_t inSize_I, uint32_t outSize_I) override
  {
    return Recorded("usbparameters", mInner.SetUSBParameters(handle_I, inSize_I, outSize_I), {Value(inSize_I), Value(outSize_I)});
  }

 private:
  static std::string Value(uint32_t value_I) { return std::to_string(value_I); }

  void Record(const char* call_I, FT_STATUS status_I, std::vector<std::string> values_I)
  {
    values_I.insert(values_I.begin(), {call_I, std::to_string(status_I)});
    mRecorder->Write("ftdi", values_I);
  }
  FT_STATUS Recorded(const char* call_I, FT_STATUS status_I, std::vector<std::string> values_I)
  {
    Record(call_I, status_I, std::move(values_I));
    return status_I;
  }

  CD2XX& mInner;
  RecorderPtr mRecorder;
};

}  // namespace

CTransferRecorder::~CTransferRecorder()
{
  if (mFile != nullptr) std::fclose(mFile);
}

bool CTransferRecorder::Open(const std::string& file_I)
{
  std::lock_guard<std::mutex> lock(mLock);
  if (mFile != nullptr) std::fclose(mFile);
  mFile = OpenForWriting(file_I);
  mStartMs = Clock().NowMs();
  mGood = mFile != nullptr && std::fprintf(mFile, "%s\n", kRecordingHeader) > 0 && std::fflush(mFile) == 0;
  return mGood;
}

std::shared_ptr<CTransferRecorder> OpenRecording(const std::string& file_I, std::string& error_O)
{
  auto recorder = std::make_shared<CTransferRecorder>();
  if (recorder->Open(file_I)) return recorder;
  error_O = "cannot write the recording " + file_I;
  return nullptr;
}

void CTransferRecorder::Write(const std::string& kind_I, const std::vector<std::string>& fields_I)
{
  const uint64_t now = Clock().NowMs();
  std::string line = std::to_string(now - mStartMs) + " " + kind_I;
  for (const std::string& field : fields_I) line += " " + field;
  std::lock_guard<std::mutex> lock(mLock);
  if (mFile == nullptr) return;
  mGood = mGood && std::fprintf(mFile, "%s\n", line.c_str()) > 0 && std::fflush(mFile) == 0;
}

void CTransferRecorder::WriteEvent(bool arrival_I, EDeviceClass class_I, const std::string& path_I)
{
  Write(arrival_I ? "arrival" : "removal", {ClassName(class_I), Escape(path_I)});
}

bool CTransferRecorder::Good()
{
  std::lock_guard<std::mutex> lock(mLock);
  return mFile != nullptr && mGood;
}

std::string CTransferRecorder::Hex(const uint8_t* bytes_I, size_t count_I)
{
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count_I * 2);
  for (size_t i = 0; i < count_I; ++i) {
    text += kDigits[bytes_I[i] >> 4];
    text += kDigits[bytes_I[i] & 0x0F];
  }
  return text.empty() ? "-" : text;
}

std::string CTransferRecorder::Number(uint32_t value_I, int digits_I)
{
  char text[16];
  std::snprintf(text, sizeof(text), "%0*X", digits_I, value_I);
  return text;
}

std::string CTransferRecorder::Escape(const std::string& text_I)
{
  // The empty text and a lone dash would read back as each other: the dash is the empty marker.
  if (text_I.empty()) return "-";
  if (text_I == "-") return "%2D";
  static const char kDigits[] = "0123456789ABCDEF";
  std::string escaped;
  for (const char c : text_I) {
    // Whatever splits a line into fields or ends it: every white space byte, NUL and the escape itself.
    const bool special = c == '%' || c == '\0' || std::isspace(static_cast<unsigned char>(c));
    if (!special) {
      escaped += c;
      continue;
    }
    const auto byte = static_cast<uint8_t>(c);
    escaped += '%';
    escaped += kDigits[byte >> 4];
    escaped += kDigits[byte & 0x0F];
  }
  return escaped;
}

std::string CTransferRecorder::Unescape(const std::string& text_I)
{
  if (text_I == "-") return {};
  std::string text;
  for (size_t i = 0; i < text_I.size(); ++i) {
    const std::string code = text_I.substr(i + 1, 2);
    if (text_I[i] != '%' || code.size() != 2 || !std::isxdigit(static_cast<unsigned char>(code[0])) ||
        !std::isxdigit(static_cast<unsigned char>(code[1]))) {
      text += text_I[i];
      continue;
    }
    text += static_cast<char>(std::stoul(code, nullptr, 16));
    i += 2;
  }
  return text;
}

std::shared_ptr<CHidSystem> RecordingHidSystem(std::shared_ptr<CHidSystem> inner_I, RecorderPtr recorder_I)
{
  return std::make_shared<CRecordingHidSystem>(std::move(inner_I), std::move(recorder_I));
}

std::shared_ptr<CUsbSystem> RecordingUsbSystem(std::shared_ptr<CUsbSystem> inner_I, RecorderPtr recorder_I)
{
  return std::make_shared<CRecordingUsbSystem>(std::move(inner_I), std::move(recorder_I));
}

std::shared_ptr<CDeviceEnumerator> RecordingEnumerator(std::shared_ptr<CDeviceEnumerator> inner_I, RecorderPtr recorder_I)
{
  return std::make_shared<CRecordingEnumerator>(std::move(inner_I), std::move(recorder_I));
}

std::shared_ptr<CDeviceEventSource> RecordingEvents(std::shared_ptr<CDeviceEventSource> inner_I, RecorderPtr recorder_I)
{
  return std::make_shared<CRecordingEvents>(std::move(inner_I), std::move(recorder_I));
}

std::unique_ptr<CD2XX> RecordingD2XX(CD2XX& inner_I, RecorderPtr recorder_I)
{
  return std::make_unique<CRecordingD2XX>(inner_I, std::move(recorder_I));
}

}  // namespace orv
