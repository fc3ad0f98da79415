// What one 64 KiB scaler block costs on the simulated FTDI bridge: bridge round trips, virtual time and the I2C
// wire time of its bytes at 100 kHz, for the page data sent byte by byte (three round trips a byte) and queued
// into one bridge write a page, for the register polls the same two ways, and for the whole block through the
// ISP flow, step by step. Then whether the flow still waits out a slow flash (2 s erase) on every bridge speed.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "common/cclock.h"
#include "common/fwupdater/rtdisp.h"
#include "sim/csimftdibridge.h"
#include "sim/csimscalerisp.h"

namespace {

using namespace orv;

constexpr size_t kPageSize = 256;
// As many polls as one block's pages take at least (two each).
constexpr int kRegisterReads = 512;

class CSilentLog : public CInterfaceNotifier {
 public:
  void Info(const std::string&) override {}
  void Error(const std::string& message_I) override { mLastError = message_I; }
  void Progress(int32_t) override {}
  std::string mLastError;
};

// Splits the whole flow's bridge traffic into its steps, by the operation names the flow logs as it goes.
class CStepLog : public CInterfaceNotifier {
 public:
  explicit CStepLog(sim::CSimFtdiBridge& bridge_I) : mBridge(bridge_I) {}

  void Info(const std::string& message_I) override
  {
    if (message_I == "SerialFlashISPFlow()") Enter("ISP entry");
    if (message_I == "DisableHardwareFlashWriteProtect()") Enter("write-protect release");
    if (message_I == "BlockErase()") Enter("erase, its polls and erased check");
    if (message_I == "SerialFlashWriteCode()") Enter("pages (load, program, polls)");
    if (message_I == "ReadCRC()" && mCurrent == "pages (load, program, polls)") Enter("CRC");
    if (message_I == "EnableSoftwareFlashWriteProtect()" && mCurrent == "CRC") Enter("write protection back");
  }
  void Error(const std::string& message_I) override { mLastError = message_I; }
  void Progress(int32_t) override {}

  void Print()
  {
    Enter("");
    for (const auto& [name, stats] : mSteps) {
      std::printf("    %-32s %12llu %12.3f s %10.3f s\n", name.c_str(),
                  static_cast<unsigned long long>(stats.writes + stats.reads), stats.elapsedUs / 1e6,
                  stats.wireUs / 1e6);
    }
  }

  std::string mLastError;

 private:
  void Enter(const std::string& step_I)
  {
    const sim::SSimBridgeStats now = mBridge.Stats();
    if (!mCurrent.empty()) {
      sim::SSimBridgeStats& step = Step(mCurrent);
      step.writes += now.writes - mMark.writes;
      step.reads += now.reads - mMark.reads;
      step.elapsedUs += now.elapsedUs - mMark.elapsedUs;
      step.wireUs += now.wireUs - mMark.wireUs;
    }
    mMark = now;
    mCurrent = step_I;
  }

  sim::SSimBridgeStats& Step(const std::string& name_I)
  {
    for (auto& [name, stats] : mSteps) {
      if (name == name_I) return stats;
    }
    return mSteps.emplace_back(name_I, sim::SSimBridgeStats{}).second;
  }

  sim::CSimFtdiBridge& mBridge;
  std::string mCurrent;
  sim::SSimBridgeStats mMark;
  std::vector<std::pair<std::string, sim::SSimBridgeStats>> mSteps;
};

struct SBench {
  std::shared_ptr<sim::CSimFtdiBridge> bridge;
  std::shared_ptr<sim::CSimScalerIsp> isp;
  std::shared_ptr<CI2CConnectorFTDI> connector;
};

SBench MakeBench(const sim::SSimBridgeConfig& bridge_I, const sim::SSimScalerIspConfig& isp_I = {})
{
  SBench bench;
  std::string error;
  bench.bridge = std::make_shared<sim::CSimFtdiBridge>(bridge_I);
  bench.isp = sim::CSimScalerIsp::Create(isp_I, error);
  bench.bridge->Attach(bench.isp);
  bench.connector = std::make_shared<CI2CConnectorFTDI>(*bench.bridge);
  bench.connector->Open(0);
  return bench;
}

std::vector<uint8_t> Block()
{
  std::vector<uint8_t> block(FLASH_UINT_SIZE);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  return block;
}

void PagesByteByByte(CI2CConnectorFTDI& connector_I, const std::vector<uint8_t>& block_I)
{
  for (size_t offset = 0; offset < block_I.size(); offset += kPageSize) {
    connector_I.I2CStart();
    connector_I.I2CWriteByte(0x94, false);
    connector_I.I2CWriteByte(0x70, false);
    for (size_t i = offset; i < offset + kPageSize; ++i) connector_I.I2CWriteByte(block_I[i], false);
    connector_I.I2CStop();
  }
}

void PagesBatched(CI2CConnectorFTDI& connector_I, const std::vector<uint8_t>& block_I)
{
  std::vector<uint8_t> acknowledges;
  for (size_t offset = 0; offset < block_I.size(); offset += kPageSize) {
    CI2CBatch batch;
    batch.Start();
    batch.Write(0x94);
    batch.Write(0x70);
    for (size_t i = offset; i < offset + kPageSize; ++i) batch.Write(block_I[i]);
    batch.Stop();
    connector_I.RunBatch(batch, acknowledges);
  }
}

// Register 6F read as the single-step primitives do it: start, 94, 6F, start, 95, read, stop.
void RegisterReadsStepByStep(CI2CConnectorFTDI& connector_I)
{
  for (int i = 0; i < kRegisterReads; ++i) {
    uint8_t value = 0;
    connector_I.I2CStart();
    connector_I.I2CWriteByte(0x94, false);
    connector_I.I2CWriteByte(0x6F, false);
    connector_I.I2CStart();
    connector_I.I2CWriteByte(0x95, false);
    connector_I.I2CReadByte(false, value);
    connector_I.I2CStop();
  }
}

void RegisterReadsBatched(CI2CConnectorFTDI& connector_I)
{
  CSilentLog log;
  CScalarISP isp(std::shared_ptr<CI2CConnectorFTDI>(&connector_I, [](CI2CConnectorFTDI*) {}), &log, false);
  for (int i = 0; i < kRegisterReads; ++i) isp.ReadMCUReg(0x6F);
}

void Row(const char* label_I, const sim::SSimBridgeConfig& bridge_I,
         const std::function<void(SBench&)>& work_I)
{
  CVirtualClock clock;
  CScopedClock installed(clock);
  SBench bench = MakeBench(bridge_I);
  bench.bridge->ResetStats();
  work_I(bench);
  const sim::SSimBridgeStats stats = bench.bridge->Stats();
  std::printf("  %-34s %12llu %12.2f s %10.2f s %8.3f\n", label_I,
              static_cast<unsigned long long>(stats.writes + stats.reads), stats.elapsedUs / 1e6, stats.wireUs / 1e6,
              stats.wireUs == 0 ? 0.0 : static_cast<double>(stats.elapsedUs) / static_cast<double>(stats.wireUs));
}

void CostTable(const sim::SSimBridgeConfig& bridge_I)
{
  std::printf("\nOne 64 KiB block, bridge round trip %u us, latency timer %s:\n", bridge_I.roundTripUs,
              bridge_I.honourLatencyTimer ? "on" : "off");
  std::printf("  %-34s %12s %14s %12s %8s\n", "", "round trips", "virtual time", "wire time", "ratio");
  const std::vector<uint8_t> block = Block();
  Row("page data, byte by byte", bridge_I, [&](SBench& bench) { PagesByteByByte(*bench.connector, block); });
  Row("page data, one write a page", bridge_I, [&](SBench& bench) { PagesBatched(*bench.connector, block); });
  Row("512 register reads, step by step", bridge_I, [&](SBench& bench) { RegisterReadsStepByStep(*bench.connector); });
  Row("512 register reads, one write each", bridge_I, [&](SBench& bench) { RegisterReadsBatched(*bench.connector); });
  std::unique_ptr<CStepLog> steps;
  Row("whole flow (ISP, erase, write, CRC)", bridge_I, [&](SBench& bench) {
    steps = std::make_unique<CStepLog>(*bench.bridge);
    CScalarISP isp(bench.connector, steps.get(), false);
    isp.LoadData(block);
    if (!isp.SerialFlashISPFlow()) std::printf("  flow failed: %s\n", steps->mLastError.c_str());
  });
  std::printf("  its steps:\n");
  steps->Print();
}

void SlowFlash(const sim::SSimBridgeConfig& bridge_I)
{
  CVirtualClock clock;
  CScopedClock installed(clock);
  sim::SSimScalerIspConfig slow;
  slow.eraseMs = 2000;
  slow.pageProgramMs = 3;
  SBench bench = MakeBench(bridge_I, slow);
  CSilentLog log;
  CScalarISP isp(bench.connector, &log, false);
  isp.LoadData(Block());
  const bool ok = isp.SerialFlashISPFlow() && log.mLastError.empty();
  std::printf("  round trip %5u us, latency timer %-3s: %-6s %8.2f s\n", bridge_I.roundTripUs,
              bridge_I.honourLatencyTimer ? "on" : "off", ok ? "ok" : ("failed: " + log.mLastError).c_str(),
              clock.NowMs() / 1e3);
}

}  // namespace

int main()
{
  std::printf("Scaler ISP over the simulated FTDI bridge, I2C at 100 kHz (virtual time)\n");
  for (const uint32_t roundTripUs : {1000u, 125u, 0u}) CostTable({.roundTripUs = roundTripUs});
  std::printf("\nOne block on a flash with a 2 s block erase and 3 ms page programs, first try, no error:\n");
  for (const auto& [roundTripUs, latency] : std::vector<std::pair<uint32_t, bool>>{
           {1000, true}, {125, true}, {125, false}, {0, false}}) {
    SlowFlash({.roundTripUs = roundTripUs, .honourLatencyTimer = latency});
  }
  return 0;
}
