#include "tests/testsupport/testfiles.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace orv::test {

CScratchDir::CScratchDir()
{
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const std::string name = "orvel-test-" + std::to_string(random()) + "-" + std::to_string(counter++);
  mPath = std::filesystem::temp_directory_path() / name;
  std::filesystem::create_directories(mPath);
}

CScratchDir::~CScratchDir()
{
  std::error_code ignored;
  std::filesystem::remove_all(mPath, ignored);
}

std::string CScratchDir::Write(const std::string& name_I, const std::string& contents_I) const
{
  const std::filesystem::path path = mPath / name_I;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents_I.data(), static_cast<std::streamsize>(contents_I.size()));
  return path.string();
}

std::string CScratchDir::Write(const std::string& name_I, const std::vector<uint8_t>& contents_I) const
{
  return Write(name_I, std::string(contents_I.begin(), contents_I.end()));
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path_I)
{
  std::ifstream in(path_I, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::filesystem::path& path_I)
{
  std::ifstream in(path_I);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CDebugCapture::CDebugCapture()
    : mPrevious(SetDebugOutput([this](const std::string& text_I) { mLines.push_back(text_I); }))
{
}

CDebugCapture::~CDebugCapture() { SetDebugOutput(mPrevious); }

size_t CDebugCapture::CountAsserts(const std::string& expression_I) const
{
  const std::string prefix = "Assert:(" + expression_I + ") in ";
  return std::count_if(mLines.begin(), mLines.end(),
                       [&prefix](const std::string& line_I) { return line_I.rfind(prefix, 0) == 0; });
}

std::filesystem::path SourceDir()
{
  const char* dir = std::getenv("ORVEL_SOURCE_DIR");
  return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::current_path();
}

}  // namespace orv::test
