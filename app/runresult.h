// The result of one run of the updater, for whoever started it: an installer reads it as JSON ("-result FILE")
// instead of scraping the text a person reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The version of the result's format, "schemaVersion" in the document and "version" in
// docs/result.schema.json: raised whenever a field is added, removed or changes its meaning.
inline constexpr int kRunResultSchemaVersion = 1;

struct SBoardResult {
  std::string board;
  // "updated", "failed" or "not started".
  std::string outcome;
  std::string file;
  // What the board reported before and after its update, and the version its file names; empty when unknown.
  std::string versionBefore;
  std::string versionAfter;
  std::string fileVersion;
};

struct SRunResult {
  int exitCode = 1;
  std::string message;
  std::string device;
  std::vector<SBoardResult> boards;
  uint64_t durationMs = 0;
  std::string logPath;
};

// What an exit code means: "success", "error", "cancelled", "another copy is running".
const char* ExitCodeMeaning(int exitCode_I);
// One JSON object; absent values are null. Text is UTF-8 and escaped as JSON requires.
std::string RunResultJson(const SRunResult& result_I);
// Writes the JSON to the file (UTF-8 path) as a whole: a reader never sees half of it. False with the reason.
bool WriteRunResult(const std::string& path_I, const SRunResult& result_I, std::string& error_O);
// Removes an earlier run's result file from the path as a run starts: one that then ends without writing its own
// (killed, the power lost mid-update) must not leave that outcome to be read as its own. False with the reason.
bool DiscardRunResult(const std::string& path_I, std::string& error_O);

// A board's version number in binary-coded decimal, as USB devices report it: 0x0102 gives "1.02".
std::string BcdVersionText(uint32_t version_I);

}  // namespace orv
