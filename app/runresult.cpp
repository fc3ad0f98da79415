#include "app/runresult.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace orv {
namespace {

// The length of the well-formed UTF-8 sequence at pos_I, or 0 when the bytes there are not one.
size_t Utf8SequenceLength(const std::string& text_I, size_t pos_I)
{
  const auto lead = static_cast<unsigned char>(text_I[pos_I]);
  const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                        : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
  if (length == 0 || pos_I + length > text_I.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text_I[pos_I + i]) & 0xC0) != 0x80) return 0;
  }
  const auto second = static_cast<unsigned char>(text_I[pos_I + 1 < text_I.size() ? pos_I + 1 : pos_I]);
  const bool overlong = (lead == 0xE0 && second < 0xA0) || (lead == 0xF0 && second < 0x90);
  const bool surrogateOrTooHigh = (lead == 0xED && second >= 0xA0) || (lead == 0xF4 && second >= 0x90);
  return overlong || surrogateOrTooHigh ? 0 : length;
}

// A file name need not be UTF-8; bytes that are not become U+FFFD, so the document stays valid JSON.
std::string JsonString(const std::string& text_I)
{
  std::string json = "\"";
  for (size_t pos = 0; pos < text_I.size();) {
    const char c = text_I[pos];
    const size_t length = Utf8SequenceLength(text_I, pos);
    if (length == 0) {
      json += "\\ufffd";
      ++pos;
    } else if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
      ++pos;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(c));
      json += escape;
      ++pos;
    } else {
      json.append(text_I, pos, length);
      pos += length;
    }
  }
  return json + "\"";
}

std::string JsonOptional(const std::string& text_I) { return text_I.empty() ? "null" : JsonString(text_I); }

std::filesystem::path Utf8Path(const std::string& path_I)
{
  return std::filesystem::path(std::u8string(path_I.begin(), path_I.end()));
}

}  // namespace

const char* ExitCodeMeaning(int exitCode_I)
{
  switch (exitCode_I) {
    case 0: return "success";
    case 2: return "cancelled";
    case -1:
    case 255: return "another copy is running";
    default: return "error";
  }
}

std::string RunResultJson(const SRunResult& result_I)
{
  std::string json = "{\n";
  json += "  \"schemaVersion\": " + std::to_string(kRunResultSchemaVersion) + ",\n";
  json += "  \"exitCode\": " + std::to_string(result_I.exitCode) + ",\n";
  json += "  \"meaning\": " + JsonString(ExitCodeMeaning(result_I.exitCode)) + ",\n";
  json += "  \"message\": " + JsonString(result_I.message) + ",\n";
  json += "  \"device\": " + JsonOptional(result_I.device) + ",\n";
  json += "  \"boards\": [";
  for (size_t i = 0; i < result_I.boards.size(); ++i) {
    const SBoardResult& board = result_I.boards[i];
    json += std::string(i == 0 ? "\n" : ",\n") + "    {\"board\": " + JsonString(board.board) +
            ", \"outcome\": " + JsonString(board.outcome) + ", \"file\": " + JsonOptional(board.file) +
            ", \"versionBefore\": " + JsonOptional(board.versionBefore) +
            ", \"versionAfter\": " + JsonOptional(board.versionAfter) +
            ", \"fileVersion\": " + JsonOptional(board.fileVersion) + "}";
  }
  json += result_I.boards.empty() ? "],\n" : "\n  ],\n";
  json += "  \"durationMs\": " + std::to_string(result_I.durationMs) + ",\n";
  json += "  \"log\": " + JsonOptional(result_I.logPath) + "\n}\n";
  return json;
}

bool WriteRunResult(const std::string& path_I, const SRunResult& result_I, std::string& error_O)
{
  try {
    const std::filesystem::path path = Utf8Path(path_I);
    std::filesystem::path partial = path;
    partial += ".partial";
    std::error_code ignored;
    {
      std::ofstream out(partial, std::ios::binary | std::ios::trunc);
      out << RunResultJson(result_I);
      out.close();
      if (!out) {
        error_O = "cannot write " + path_I;
        std::filesystem::remove(partial, ignored);
        return false;
      }
    }
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    if (!error) return true;
    std::filesystem::remove(partial, ignored);
    error_O = "cannot write " + path_I + ": " + error.message();
    return false;
  } catch (const std::exception& exception) {
    error_O = "cannot write " + path_I + ": " + exception.what();
    return false;
  }
}

bool DiscardRunResult(const std::string& path_I, std::string& error_O)
{
  std::error_code error;
  const std::filesystem::path path = Utf8Path(path_I);
  // Only a file: whatever else stands there is not a result, and the run's own write will say so.
  if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error))) return true;
  std::filesystem::remove(path, error);
  if (!error) return true;
  error_O = "the result " + path_I + " of an earlier run cannot be removed: " + error.message();
  return false;
}

std::string BcdVersionText(uint32_t version_I)
{
  char text[16];
  std::snprintf(text, sizeof(text), "%X.%02X", (version_I >> 8) & 0xFF, version_I & 0xFF);
  return text;
}

}  // namespace orv
