// The scaler's ISP flow against the simulated bridge, ISP slave and serial flash.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "common/cclock.h"
#include "common/fwupdater/rtdisp.h"
#include "sim/csimftdibridge.h"
#include "sim/csimscalerisp.h"
#include "tests/testsupport/crecordingnotifier.h"
#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

std::vector<uint8_t> Image(size_t blocks_I) { return test::PatternBytes(0x1234567, blocks_I * FLASH_UINT_SIZE); }

class CIspRun {
 public:
  explicit CIspRun(const sim::SSimScalerIspConfig& isp_I = {}, const sim::SSimBridgeConfig& bridge_I = {},
                   bool quanta_I = false)
      : mBridge(std::make_shared<sim::CSimFtdiBridge>(bridge_I))
  {
    mIsp = test::MustCreate(sim::CSimScalerIsp::Create, isp_I);
    mBridge->Attach(mIsp);
    mConnector = std::make_shared<CI2CConnectorFTDI>(*mBridge);
    EXPECT_TRUE(mConnector->Open(0));
    mContext = std::make_unique<CScalarISP>(mConnector, &mLog, quanta_I);
  }

  bool Program(const std::vector<uint8_t>& image_I)
  {
    mContext->LoadData(image_I);
    return mContext->IsReady() && mContext->SerialFlashISPFlow();
  }

  size_t Errors(const std::string& message_I) const
  {
    return static_cast<size_t>(std::count(mLog.mErrors.begin(), mLog.mErrors.end(), message_I));
  }

  std::shared_ptr<sim::CSimFtdiBridge> mBridge;
  std::shared_ptr<sim::CSimScalerIsp> mIsp;
  std::shared_ptr<CI2CConnectorFTDI> mConnector;
  test::CRecordingNotifier mLog;
  std::unique_ptr<CScalarISP> mContext;
};

class ScalarISP : public ::testing::Test {
 protected:
  test::CInstalledVirtualClock mClock;
};

}  // namespace

TEST(ScalarCrc, IsCrc8WithPolynomial07)
{
  const char* text = "123456789";
  EXPECT_EQ(CScalarISP::CalcByteCRC(reinterpret_cast<const uint8_t*>(text), std::strlen(text)), 0xF4);
  const std::vector<uint8_t> erased(FLASH_UINT_SIZE, 0xFF);
  EXPECT_EQ(CScalarISP::CalcByteCRC(erased.data(), erased.size()), 0xDE);
}

TEST_F(ScalarISP, SeveralBlocksAreProgrammedByteForByteLastBlockFirst)
{
  for (const bool quanta : {false, true}) {
    SCOPED_TRACE(quanta ? "Quanta board" : "plain board");
    const sim::SSimScalerIspConfig quantaBoard{
        .panelId1 = 0xCF, .panelId2 = 0x21, .wpPinRegister = 0x36, .wpOutputRegister = 0x26};
    CIspRun run(quanta ? quantaBoard : sim::SSimScalerIspConfig{}, {}, quanta);
    const std::vector<uint8_t> image = Image(3);
    ASSERT_TRUE(run.Program(image)) << ::testing::PrintToString(run.mLog.mErrors);
    EXPECT_EQ(run.mIsp->FlashBytes(0, static_cast<uint32_t>(image.size())), image);
    EXPECT_EQ(run.mIsp->FlashBytes(3 * FLASH_UINT_SIZE, 16), std::vector<uint8_t>(16, 0xFF));
    EXPECT_EQ(run.mLog.mProgress, (std::vector<int32_t>{0, 50, 100}));
    const auto first = std::find(run.mLog.mInfo.begin(), run.mLog.mInfo.end(), "Block 2 upgrade success");
    EXPECT_LT(first, std::find(run.mLog.mInfo.begin(), run.mLog.mInfo.end(), "Block 0 upgrade success"));
    EXPECT_TRUE(run.mLog.mErrors.empty());
    EXPECT_EQ(run.mIsp->StatusRegisters()[0], 0xFF) << "write protection is back on";
    EXPECT_TRUE(run.mIsp->Restarted());
    EXPECT_EQ(run.mLog.CountInfo("Halvern 1.5 16\"\n"), quanta ? 1u : 0u);
    EXPECT_EQ(run.mLog.CountInfo("QuantaCheckFlash()"), quanta ? 1u : 0u);
  }
}

TEST_F(ScalarISP, FaultsEndTheFlowWithTheirMessages)
{
  using Fault = void (*)(sim::CSimScalerIsp&);
  // The fault, the image's blocks, the last error, how often lines were told, whether any page was programmed.
  const std::vector<std::tuple<Fault, size_t, std::string, std::vector<std::pair<std::string, size_t>>, bool>> cases{
      {[](sim::CSimScalerIsp& isp_I) { isp_I.RefuseIspEntry(true); }, 1, "Fail to Enter ISP mode",
       {{"SerialFlashIntoISP()", 10}}, false},
      // A silent slave reads as 0, never as FF.
      {[](sim::CSimScalerIsp& isp_I) { isp_I.SetNoAcknowledge(true); }, 1, "Fail to Enter ISP mode", {}, false},
      {[](sim::CSimScalerIsp& isp_I) { isp_I.FailErases(sim::kSimAlways); }, 2, "Exausted retries attempting to write block1",
       {{"Block erase check failed", 10}, {"Block Erase Fail", 10}}, false},
      {[](sim::CSimScalerIsp& isp_I) { isp_I.CorruptPrograms(sim::kSimAlways); }, 1,
       "Exausted retries attempting to write block0", {{"Crc Check Fail", 10}}, true}};
  for (const auto& [fault, blocks, lastError, counts, programs] : cases) {
    CIspRun run;
    fault(*run.mIsp);
    EXPECT_FALSE(run.Program(Image(blocks)));
    ASSERT_FALSE(run.mLog.mErrors.empty());
    EXPECT_EQ(run.mLog.mErrors.back(), lastError);
    for (const auto& [line, count] : counts) EXPECT_EQ(run.Errors(line) + run.mLog.CountInfo(line), count) << line;
    EXPECT_EQ(run.mIsp->PagePrograms() > 0, programs) << lastError;
  }
  // A failed erase and a failed CRC each cost one of the ten attempts.
  CIspRun run;
  run.mIsp->CorruptPrograms(1);
  run.mIsp->FailErases(1);
  const std::vector<uint8_t> image = Image(1);
  EXPECT_TRUE(run.Program(image));
  EXPECT_EQ(run.Errors("Crc Check Fail") + run.Errors("Block Erase Fail"), 2u);
  EXPECT_EQ(run.mIsp->FlashBytes(0, FLASH_UINT_SIZE), image);
}

// Goes silent once programming starts, as a scaler that lost power would.
class CSilencingLog : public test::CRecordingNotifier {
 public:
  void Info(const std::string& message_I) override
  {
    if (message_I == "SerialFlashWriteCode()" && mIsp) mIsp->SetNoAcknowledge(true);
    CRecordingNotifier::Info(message_I);
  }
  std::shared_ptr<sim::CSimScalerIsp> mIsp;
};

TEST_F(ScalarISP, AScalerThatFallsSilentIsNeverReportedProgrammed)
{
  // A block whose CRC is 0, the value a dead bus reads.
  std::vector<uint8_t> image = Image(1);
  image.back() = CScalarISP::CalcByteCRC(image.data(), image.size() - 1);
  ASSERT_EQ(CScalarISP::CalcByteCRC(image.data(), image.size()), 0);
  CIspRun run;
  CSilencingLog log;
  log.mIsp = run.mIsp;
  CScalarISP context(run.mConnector, &log, false);
  context.LoadData(image);
  EXPECT_FALSE(context.SerialFlashISPFlow());
  ASSERT_FALSE(log.mErrors.empty());
  EXPECT_EQ(log.mErrors.back(), "Exausted retries attempting to write block0");
}

// Hands every line told to a hook before recording it: a fault can start at a given step of the flow.
class CHookedLog : public test::CRecordingNotifier {
 public:
  void Info(const std::string& message_I) override
  {
    mHook(message_I);
    CRecordingNotifier::Info(message_I);
  }
  std::function<void(const std::string&)> mHook;
};

// One block whose CRC is that of an erased block, which the erase check leaves in the CRC register, with its
// first page programmed wrong: a check that reads the register before the scaler wrote the result passes it.
TEST_F(ScalarISP, ABlockIsCheckedByTheCrcOfWhatItsFlashHolds)
{
  std::vector<uint8_t> image = Image(1);
  while (CScalarISP::CalcByteCRC(image.data(), image.size()) != 0xDE) ++image.back();
  using Hook = std::function<void(sim::CSimScalerIsp&, const std::string&)>;
  const std::vector<std::pair<const char*, Hook>> cases{
      // One read missed while the scaler computes the CRC after programming (the run's second CRC).
      {"a read missed while the CRC runs",
       [crcs = 0](sim::CSimScalerIsp& isp_I, const std::string& line_I) mutable {
         if (line_I == "ReadCRC()" && ++crcs == 2) isp_I.MissReadsWhileBusy(1);
       }},
      // The scaler silent for the read of its control register that starts that CRC.
      {"the control register not read",
       [crcs = 0](sim::CSimScalerIsp& isp_I, const std::string& line_I) mutable {
         if (line_I == "WriteMCURegBit()" && ++crcs == 2) isp_I.SetNoAcknowledge(true);
         if (line_I == "WaitBitChange()") isp_I.SetNoAcknowledge(false);
       }}};
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.first);
    CIspRun run;
    run.mIsp->CorruptPrograms(1);
    CHookedLog log;
    log.mHook = [&run, hook = testCase.second](const std::string& line_I) { hook(*run.mIsp, line_I); };
    CScalarISP context(run.mConnector, &log, false);
    context.LoadData(image);
    EXPECT_TRUE(context.SerialFlashISPFlow());
    EXPECT_EQ(log.mErrors, std::vector<std::string>{"Crc Check Fail"});
    EXPECT_EQ(run.mIsp->FlashBytes(0, FLASH_UINT_SIZE), image);
  }
}

// The bridge hands over the answers of one poll only after the read timed out: that poll failed, and no later
// read may take them for its own.
TEST_F(ScalarISP, AnswersThatComeLateDoNotPutLaterReadsOutOfStep)
{
  const std::vector<uint8_t> image = Image(1);
  CIspRun run;
  CHookedLog log;
  log.mHook = [&run, pages = 0](const std::string& line_I) mutable {
    if (line_I == "WriteFlashData()" && ++pages == 2) run.mBridge->StallReads(1);
  };
  CScalarISP context(run.mConnector, &log, false);
  context.LoadData(image);
  EXPECT_TRUE(context.SerialFlashISPFlow()) << ::testing::PrintToString(log.mErrors);
  EXPECT_EQ(run.mIsp->FlashBytes(0, FLASH_UINT_SIZE), image);
}

// The pin's register holds other pins' settings, and the panel id picks which register that is: a read of either
// that failed must not turn into a write.
TEST_F(ScalarISP, AWriteProtectPinThatCouldNotBeReadIsLeftAlone)
{
  for (const bool quanta : {false, true}) {
    SCOPED_TRACE(quanta ? "Quanta board, panel id not read" : "plain board, pin register not read");
    const sim::SSimScalerIspConfig panel13{
        .panelId1 = 0xCE, .panelId2 = 0x23, .wpPinRegister = 0x29, .wpOutputRegister = 0x19};
    CIspRun run(quanta ? panel13 : sim::SSimScalerIspConfig{}, {}, quanta);
    CHookedLog log;
    log.mHook = [&run](const std::string& line_I) {
      if (line_I == "DisableHardwareFlashWriteProtect()") run.mBridge->StallReads(1);
    };
    CScalarISP context(run.mConnector, &log, quanta);
    context.LoadData(Image(1));
    EXPECT_FALSE(context.SerialFlashISPFlow());
    // No pin or output register of any panel is selected and then written.
    const std::vector<uint8_t> pinRegisters{0x38, 0x28, 0x36, 0x26, 0x29, 0x19};
    const std::vector<std::pair<uint8_t, uint8_t>> writes = run.mIsp->RegisterWrites();
    for (size_t i = 1; i < writes.size(); ++i) {
      const bool selected = writes[i - 1].first == 0xF4 &&
                            std::count(pinRegisters.begin(), pinRegisters.end(), writes[i - 1].second) > 0;
      EXPECT_FALSE(selected && writes[i].first == 0xF5)
          << "register " << int{writes[i - 1].second} << " := " << int{writes[i].second};
    }
  }
}

TEST_F(ScalarISP, ImagesTheFlowCannotWriteWholeAreRefused)
{
  test::CDebugCapture capture;
  for (const size_t size : std::vector<size_t>{0, FLASH_UINT_SIZE + 1, FLASH_UINT_SIZE - 1, 129 * FLASH_UINT_SIZE}) {
    CScalarISP context(nullptr, nullptr, false);
    context.LoadData(std::vector<uint8_t>(size, 0x5A));
    EXPECT_FALSE(context.IsReady()) << size;
  }
  EXPECT_EQ(capture.CountAsserts("data_I.size() % FLASH_UINT_SIZE == 0"), 2u);

  CIspRun run;
  ASSERT_TRUE(run.Program(Image(1)));
  EXPECT_EQ(run.mLog.mProgress, std::vector<int32_t>{0}) << "one block: nothing done when it starts";
}

TEST_F(ScalarISP, WaitsOutASlowFlashOnEveryBridgeSpeed)
{
  sim::SSimScalerIspConfig slowFlash{.eraseMs = 2000, .pageProgramMs = 3};
  for (const auto& [roundTripUs, latencyTimer] :
       std::vector<std::pair<uint32_t, bool>>{{1000, true}, {125, true}, {125, false}, {0, false}}) {
    SCOPED_TRACE(std::to_string(roundTripUs) + " us round trip, latency timer " + (latencyTimer ? "on" : "off"));
    CIspRun run(slowFlash, {.roundTripUs = roundTripUs, .honourLatencyTimer = latencyTimer});
    const std::vector<uint8_t> image = Image(1);
    const uint64_t start = mClock.NowMs();
    ASSERT_TRUE(run.Program(image)) << ::testing::PrintToString(run.mLog.mErrors);
    EXPECT_EQ(run.mIsp->FlashBytes(0, FLASH_UINT_SIZE), image);
    EXPECT_GE(mClock.NowMs() - start, 2000u);
    EXPECT_TRUE(run.mLog.mErrors.empty()) << "no wait may end before the flash finished";
  }
  // A page that programs for longer than the next one takes to send: every page waits for its own checks.
  slowFlash.eraseMs = 400;
  slowFlash.pageProgramMs = 40;
  CIspRun slowPages(slowFlash);
  const std::vector<uint8_t> image = Image(1);
  ASSERT_TRUE(slowPages.Program(image)) << ::testing::PrintToString(slowPages.mLog.mErrors);
  EXPECT_EQ(slowPages.mIsp->FlashBytes(0, FLASH_UINT_SIZE), image);
  // A flash that never finishes still ends the wait: 600 polls, and no less than 3 s.
  CIspRun stuck;
  EXPECT_FALSE(stuck.mContext->WaitBitChange(0x6F, 0x80, 0x80, 600));
  ASSERT_FALSE(stuck.mLog.mErrors.empty());
  EXPECT_EQ(stuck.mLog.mErrors.back(), "Timed out waiting for bit change");
}

TEST_F(ScalarISP, ABlockCostsAFewRoundTripsAPageWithTheSameRegisterTraffic)
{
  CIspRun run;
  run.mBridge->ResetStats();
  const std::vector<uint8_t> image = Image(1);
  ASSERT_TRUE(run.Program(image));
  EXPECT_EQ(run.mIsp->FlashBytes(0, FLASH_UINT_SIZE), image);
  // Per page: its data with the program command, the reads that see it programmed and the buffer ready, their
  // answers; then the polls of the erase, the CRCs and the protection changes.
  const sim::SSimBridgeStats stats = run.mBridge->Stats();
  EXPECT_LE(stats.writes + stats.reads, 1000u);
  // Each page is loaded once and programmed once, in order, and nothing is written between the two.
  std::vector<std::pair<uint8_t, uint8_t>> pages;
  for (const auto& write : run.mIsp->RegisterWrites()) {
    if (write.first == 0x70 || write == std::pair<uint8_t, uint8_t>{0x6F, 0xA0}) pages.push_back(write);
  }
  ASSERT_EQ(pages.size(), 2u * FLASH_UINT_SIZE / 256);
  for (size_t page = 0; page < pages.size() / 2; ++page) {
    EXPECT_EQ(pages[2 * page], (std::pair<uint8_t, uint8_t>{0x70, image[page * 256]}));
    EXPECT_EQ(pages[2 * page + 1], (std::pair<uint8_t, uint8_t>{0x6F, 0xA0}));
  }
  EXPECT_EQ(run.mIsp->PagePrograms(), FLASH_UINT_SIZE / 256);
}
