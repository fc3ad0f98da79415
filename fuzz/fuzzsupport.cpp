#include "fuzz/fuzzsupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <unistd.h>

namespace orv::fuzz {

std::vector<uint8_t> CByteSource::Bytes(size_t count_I)
{
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < count_I && !Empty(); ++i) bytes.push_back(Byte());
  return bytes;
}

std::string CByteSource::Rest()
{
  std::string rest(reinterpret_cast<const char*>(mData) + mPos, mSize - mPos);
  mPos = mSize;
  return rest;
}

void CNullNotifier::Error(const std::string& message_I)
{
  static const bool verbose = std::getenv("ORVEL_FUZZ_VERBOSE") != nullptr;
  if (verbose) std::fprintf(stderr, "error: %s\n", message_I.c_str());
}

void MakeSeedsWhenAsked(void (*make_I)(const std::string& folder_I))
{
  if (const char* folder = std::getenv("ORVEL_FUZZ_SEEDS")) {
    make_I(folder);
    std::exit(0);
  }
}

std::string WriteScratchFile(const uint8_t* data_I, size_t size_I, const std::string& extension_I)
{
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string path = std::string(base) + "/orvel-fuzz-" + std::to_string(getpid()) + extension_I;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data_I), static_cast<std::streamsize>(size_I));
  return path;
}

namespace {

class CScriptedHidDevice : public CHidDevice {
 public:
  explicit CScriptedHidDevice(CScriptedHidSystem& system_I) : mSystem(system_I) {}
  bool GetAttributes(SHidAttributes& attributes_O) override
  {
    attributes_O = {0x4F52, 0x0210, 0x0100};
    return true;
  }
  bool GetCaps(SHidCaps& caps_O) override
  {
    caps_O = {1, mSystem.UsagePage()};
    return true;
  }
  bool SetFeature(const std::vector<uint8_t>& report_I) override
  {
    std::vector<uint8_t> report = report_I;
    return mSystem.Transfer(true, report);
  }
  bool GetFeature(std::vector<uint8_t>& report_IO) override { return mSystem.Transfer(false, report_IO); }

 private:
  CScriptedHidSystem& mSystem;
};

}  // namespace

bool CScriptedHidSystem::Gone() const
{
  if (mSource.Empty() && mEndWithInput) throw SInputUsedUp{};
  return mSource.Empty();
}

std::unique_ptr<CHidDevice> CScriptedHidSystem::Open(const std::string&)
{
  if (Gone()) return nullptr;
  return std::make_unique<CScriptedHidDevice>(*this);
}

bool CScriptedHidSystem::Transfer(bool set_I, std::vector<uint8_t>& report_IO)
{
  if (Gone()) return false;
  const uint8_t control = mSource.Byte();
  if ((control & 1) != 0) return false;
  if (set_I) return true;
  const size_t length = (control & 2) != 0 ? mSource.Byte() : report_IO.size();
  std::vector<uint8_t> answer = mSource.Bytes(length);
  answer.resize(length, 0);
  report_IO = std::move(answer);
  return true;
}

}  // namespace orv::fuzz

#include "sim/csimi2cbus.h"

namespace orv::fuzz {

class CRecordingHidSystem::CRecorder : public CHidSystem {
 public:
  CRecorder(std::shared_ptr<CHidSystem> inner_I, std::string path_I, std::shared_ptr<std::vector<uint8_t>> script_I)
      : mInner(std::move(inner_I)), mPath(std::move(path_I)), mScript(std::move(script_I))
  {
  }
  std::unique_ptr<CHidDevice> Open(const std::string&) override;
  std::string GetAncestorId(const std::string&, uint8_t) override { return {}; }

  std::shared_ptr<CHidSystem> mInner;
  std::string mPath;
  std::shared_ptr<std::vector<uint8_t>> mScript;
};

namespace {

class CRecordingDevice : public CHidDevice {
 public:
  CRecordingDevice(std::unique_ptr<CHidDevice> inner_I, std::shared_ptr<std::vector<uint8_t>> script_I)
      : mInner(std::move(inner_I)), mScript(std::move(script_I))
  {
  }
  bool GetAttributes(SHidAttributes& attributes_O) override { return mInner->GetAttributes(attributes_O); }
  bool GetCaps(SHidCaps& caps_O) override { return mInner->GetCaps(caps_O); }
  bool SetFeature(const std::vector<uint8_t>& report_I) override
  {
    const bool ok = mInner->SetFeature(report_I);
    mScript->push_back(ok ? 0 : 1);
    return ok;
  }
  bool GetFeature(std::vector<uint8_t>& report_IO) override
  {
    const size_t asked = report_IO.size();
    const bool ok = mInner->GetFeature(report_IO);
    if (!ok) {
      mScript->push_back(1);
      return false;
    }
    if (report_IO.size() == asked || report_IO.size() > 255) {
      mScript->push_back(0);
      report_IO.resize(asked, 0);
    } else {
      mScript->push_back(2);
      mScript->push_back(static_cast<uint8_t>(report_IO.size()));
    }
    mScript->insert(mScript->end(), report_IO.begin(), report_IO.end());
    return true;
  }

 private:
  std::unique_ptr<CHidDevice> mInner;
  std::shared_ptr<std::vector<uint8_t>> mScript;
};

}  // namespace

std::unique_ptr<CHidDevice> CRecordingHidSystem::CRecorder::Open(const std::string&)
{
  std::unique_ptr<CHidDevice> inner = mInner->Open(mPath);
  if (!inner) return nullptr;
  return std::make_unique<CRecordingDevice>(std::move(inner), mScript);
}

CRecordingHidSystem::CRecordingHidSystem(std::shared_ptr<CHidSystem> inner_I, const std::string& path_I)
    : mScript(std::make_shared<std::vector<uint8_t>>())
{
  mSystem = std::make_shared<CRecorder>(std::move(inner_I), path_I, mScript);
}

void CRecordingHidSystem::Save(const std::string& path_I, uint8_t setup_I) const
{
  std::ofstream out(path_I, std::ios::binary | std::ios::trunc);
  out.put(static_cast<char>(setup_I));
  out.write(reinterpret_cast<const char*>(mScript->data()), static_cast<std::streamsize>(mScript->size()));
}

}  // namespace orv::fuzz

namespace orv::fuzz {
namespace {

class CRecordingSlave : public sim::CSimI2CSlave {
 public:
  CRecordingSlave(std::shared_ptr<sim::CSimI2CSlave> inner_I, uint8_t address_I, std::shared_ptr<std::vector<uint8_t>> script_I)
      : mInner(std::move(inner_I)), mAddress(address_I), mScript(std::move(script_I))
  {
  }
  bool Address(uint8_t addressByte_I) override
  {
    const bool ack = mInner->Address(addressByte_I);
    if ((addressByte_I & 0xFE) == mAddress) mScript->push_back(ack ? 0x00 : 0x80);
    return ack;
  }
  bool WriteByte(uint8_t byte_I) override { return mInner->WriteByte(byte_I); }
  uint8_t ReadByte() override
  {
    const uint8_t byte = mInner->ReadByte();
    mScript->push_back(byte);
    return byte;
  }
  void Stop() override { mInner->Stop(); }

 private:
  std::shared_ptr<sim::CSimI2CSlave> mInner;
  uint8_t mAddress;
  std::shared_ptr<std::vector<uint8_t>> mScript;
};

}  // namespace

std::shared_ptr<sim::CSimI2CSlave> RecordingSlave(std::shared_ptr<sim::CSimI2CSlave> inner_I, uint8_t address_I,
                                                  std::shared_ptr<std::vector<uint8_t>> script_I)
{
  return std::make_shared<CRecordingSlave>(std::move(inner_I), address_I, std::move(script_I));
}

void SaveScript(const std::string& path_I, const std::vector<uint8_t>& prefix_I, const std::vector<uint8_t>& script_I)
{
  std::ofstream out(path_I, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(prefix_I.data()), static_cast<std::streamsize>(prefix_I.size()));
  out.write(reinterpret_cast<const char*>(script_I.data()), static_cast<std::streamsize>(script_I.size()));
}

}  // namespace orv::fuzz
