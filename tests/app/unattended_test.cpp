// What a deployment tool relies on: "-quiet" asks nothing, and the result document follows
// docs/result.schema.json (and the checker the other tests rely on does reject what breaks it).
#include <gtest/gtest.h>

#include "app/runresult.h"
#include "app/startupoptions.h"
#include "tests/testsupport/resultschema.h"

using namespace orv;

// A quiet run cannot show the pre-update warning: starting one accepts it. As the value of another option
// the word is that option's value.
TEST(QuietOption, QuietAcceptsTheWarningAndIsAFlagOfItsOwn)
{
  const StartupOptions quiet = ParseCommandLine(u"-auto pen,scalar -quiet -testpid 0210");
  EXPECT_TRUE(quiet.quiet);
  EXPECT_TRUE(quiet.acceptWarning);
  EXPECT_EQ(quiet.testPids, u"0210");
  const StartupOptions value = ParseCommandLine(u"-serial -quiet -auto scalar");
  EXPECT_FALSE(value.quiet);
  EXPECT_FALSE(value.acceptWarning);
  EXPECT_EQ(value.serial, u"-quiet");
  EXPECT_FALSE(ParseCommandLine(u"-y -auto scalar").quiet);
  EXPECT_TRUE(CommandLineWarnings(u"-quiet -auto pen -quiet").empty());
}

TEST(RunResultSchema, EveryKindOfEndWritesADocumentTheSchemaAccepts)
{
  const SRunResult updated{.exitCode = 0,
                           .message = "Firmware was successfully updated.",
                           .device = "Orvel Display 16",
                           .boards = {{"pen", "updated", "display_pen.orv", "1.00", "1.01", "1.01"},
                                      {"scalar", "updated", "scaler.bin", "", "", ""}},
                           .durationMs = 61234,
                           .logPath = "C:\\Windows\\Temp\\OrvelFWUpdater_101010_12.7.2026.txt"};
  SRunResult failed = updated;
  failed.exitCode = 1;
  failed.boards[1].outcome = "failed";
  SRunResult refused;
  refused.exitCode = -1;
  refused.boards = {{"C:\\fw\\bogus", "not started", "", "", "", ""}};
  SRunResult anotherCopyOnLinux;
  anotherCopyOnLinux.exitCode = 255;
  for (const SRunResult& result : {updated, failed, refused, anotherCopyOnLinux}) {
    EXPECT_EQ(test::SchemaViolations(test::ResultSchema(), RunResultJson(result)), std::vector<std::string>{})
        << RunResultJson(result);
  }
}

TEST(RunResultSchema, TheCheckerRejectsWhatBreaksTheContract)
{
  SRunResult result;
  result.exitCode = 0;
  result.boards = {{"pen", "updated", "", "", "", ""}};
  const std::string valid = RunResultJson(result);
  const auto replaced = [&valid](const std::string& from_I, const std::string& to_I) {
    std::string document = valid;
    document.replace(document.find(from_I), from_I.size(), to_I);
    return document;
  };
  // A document that breaks the contract once, and the start of the one violation the checker reports.
  const std::pair<std::string, std::string> cases[] = {
      {replaced("\"outcome\": \"updated\"", "\"outcome\": \"done\""), "/boards/0/outcome: not one of"},
      {replaced("\"device\": null,", ""), "/: lacks \"device\""},
      {replaced("\"log\": null", "\"log\": null, \"extra\": 1"), "/: has a member extra"},
      {replaced("\"durationMs\": 0", "\"durationMs\": -5"), "/durationMs: below 0"},
      {replaced("\"device\": null", "\"device\": 5"), "/device: 5 is not of type"},
      {replaced("\"schemaVersion\": 1", "\"schemaVersion\": 2"), "/schemaVersion: not one of [1]"},
      {valid.substr(0, valid.size() / 2), "the document is not JSON"},
  };
  for (const auto& [document, violation] : cases) {
    const std::vector<std::string> violations = test::SchemaViolations(test::ResultSchema(), document);
    ASSERT_EQ(violations.size(), 1u) << document;
    EXPECT_EQ(violations[0].rfind(violation, 0), 0u) << violations[0];
  }
}
