// Helpers shared by the tests: scratch files, captured debugger output, the project's example files, virtual time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/assertion.h"
#include "common/cclock.h"

namespace orv::test {

// A fresh directory under the system's temporary directory, removed with its contents afterwards.
class CScratchDir {
 public:
  CScratchDir();
  ~CScratchDir();
  CScratchDir(const CScratchDir&) = delete;
  CScratchDir& operator=(const CScratchDir&) = delete;

  const std::filesystem::path& Path() const { return mPath; }
  // Writes the bytes exactly as given (binary) and returns the file's path as a string.
  std::string Write(const std::string& name_I, const std::string& contents_I) const;
  std::string Write(const std::string& name_I, const std::vector<uint8_t>& contents_I) const;

 private:
  std::filesystem::path mPath;
};

// A file's bytes as they are, or its text with the system's line ends read as '\n' (empty when it cannot be
// read).
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path_I);
std::string ReadText(const std::filesystem::path& path_I);

// Collects every debugger line while it lives.
class CDebugCapture {
 public:
  CDebugCapture();
  ~CDebugCapture();
  CDebugCapture(const CDebugCapture&) = delete;
  CDebugCapture& operator=(const CDebugCapture&) = delete;

  const std::vector<std::string>& Lines() const { return mLines; }
  // How many captured lines report the given assertion expression.
  size_t CountAsserts(const std::string& expression_I) const;

 private:
  std::vector<std::string> mLines;
  DebugOutputSink mPrevious;
};

// A virtual clock that is the process's clock while it lives.
class CInstalledVirtualClock : public CVirtualClock {
  CScopedClock mInstalled{*this};
};

// The project's source tree (for the example package), from ORVEL_SOURCE_DIR.
std::filesystem::path SourceDir();

// What a factory that names its refusal in its last argument made; a refusal ends the test with the reason.
template <typename Factory, typename... Arguments>
auto MustCreate(Factory factory_I, const Arguments&... arguments_I)
{
  std::string error;
  auto made = factory_I(arguments_I..., error);
  if (!made) throw std::runtime_error(error);
  return made;
}

}  // namespace orv::test
