#include "tools/orvel-fwtool/cfwtool.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/cautoupdaterun.h"
#include "common/fwupdater/csrec.h"
#include "common/textconversion.h"
#include "common/fwupdater/rtdisp.h"
#include "tools/orvel-fwtool/cpackagecheck.h"
#include "tools/orvel-fwtool/fwtooltext.h"

namespace orv {
namespace {

// A flat image larger than this is almost certainly a stray record far from the rest, not firmware.
constexpr uint64_t kMaxFlatImage = 64ull * 1024 * 1024;

const char* const kUsage =
    "usage: orvel-fwtool info FILE | image FILE OUT | check DIR | --version | --help\n"
    "  info FILE       the file's format and what it holds (segments, start address, size)\n"
    "  image FILE OUT  write what would be programmed as one flat image, gaps filled with 0xFF\n"
    "  check DIR       check the update package in DIR: topology, autoconfig.ini and every file they name\n"
    "Errors go to standard error, one line each; the exit code is 0 on success and 1 otherwise.\n";

struct SFlatImage {
  uint32_t start = 0;
  std::vector<uint8_t> bytes;
};

void PrintInfo(const CSRec& file_I, std::ostream& out_O, std::ostream& err_O)
{
  out_O << "format " << file_I.GetFormat() << " " << DataSourceName(file_I.GetFormat()) << "\n";
  switch (file_I.GetFormat()) {
    case EDATASOURCE_HEX: {
      const CIntelHex& hex = *file_I.GetIntelHex();
      out_O << Format("start 0x%08X length %u checksum 0x%04X\n", static_cast<uint32_t>(hex.GetStartAddress()),
                      hex.GetLength(), hex.GetChecksum());
      return;
    }
    case EDATASOURCE_AIROFLASH:
      out_O << "size " << file_I.GetAiroFlash()->GetSize() << "\n";
      return;
    case EDATASOURCE_BIN: {
      const size_t size = file_I.GetScaler()->GetData().size();
      // A partial last block still takes a whole block of the flash.
      out_O << "size " << size << " blocks " << (size + FLASH_UINT_SIZE - 1) / FLASH_UINT_SIZE << "\n";
      const std::string problem = CScalarISP::ImageProblem(size);
      if (!problem.empty()) err_O << "warning: " << problem << "\n";
      return;
    }
    default:
      for (const SRecSegment& segment : file_I.GetSegments()) {
        out_O << Format("segment 0x%08X length %zu\n", segment.start, segment.data.size());
      }
      return;
  }
}

bool BuildFlatImage(const CSRec& file_I, SFlatImage& image_O, std::string& error_O)
{
  switch (file_I.GetFormat()) {
    case EDATASOURCE_HEX: {
      const CIntelHex& hex = *file_I.GetIntelHex();
      image_O.start = static_cast<uint32_t>(hex.GetStartAddress());
      image_O.bytes.assign(hex.GetImage(), hex.GetImage() + hex.GetLength());
      return true;
    }
    case EDATASOURCE_AIROFLASH:
      image_O.bytes = file_I.GetAiroFlash()->GetData();
      return true;
    case EDATASOURCE_BIN:
      image_O.bytes = file_I.GetScaler()->GetData();
      return true;
    default:
      break;
  }
  const std::vector<SRecSegment> segments = file_I.GetSegments();
  image_O.start = segments.front().start;
  const SRecSegment& last = segments.back();
  const uint64_t length = uint64_t{last.start} + last.data.size() - image_O.start;
  if (length > kMaxFlatImage) {
    error_O = Format("the segments span %llu bytes, more than the %llu a flat image may take",
                     static_cast<unsigned long long>(length), static_cast<unsigned long long>(kMaxFlatImage));
    return false;
  }
  image_O.bytes.assign(length, 0xFF);
  for (const SRecSegment& segment : segments) {
    std::copy(segment.data.begin(), segment.data.end(), image_O.bytes.begin() + (segment.start - image_O.start));
  }
  return true;
}

std::string Joined(const std::vector<std::string>& args_I)
{
  std::string text;
  for (const std::string& arg : args_I) text += (text.empty() ? "" : " ") + arg;
  return text;
}

int Info(const std::string& path_I, std::ostream& out_O, std::ostream& err_O)
{
  CSRec file;
  if (!file.Load(path_I)) {
    err_O << "error: " << LoadFailure(file, path_I) << "\n";
    return 1;
  }
  PrintInfo(file, out_O, err_O);
  return 0;
}

int Image(const std::string& path_I, const std::string& outPath_I, std::ostream& out_O, std::ostream& err_O)
{
  CSRec file;
  if (!file.Load(path_I)) {
    err_O << "error: " << LoadFailure(file, path_I) << "\n";
    return 1;
  }
  SFlatImage image;
  std::string error;
  if (!BuildFlatImage(file, image, error)) {
    err_O << "error: " << path_I << ": " << error << "\n";
    return 1;
  }
  std::ofstream out(std::filesystem::u8path(outPath_I), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));
  out.close();
  if (!out) {
    err_O << "error: " << outPath_I << ": cannot write the image\n";
    return 1;
  }
  out_O << Format("start 0x%08X length %zu\n", image.start, image.bytes.size());
  return 0;
}

}  // namespace

int RunFwTool(const std::vector<std::string>& args_I, std::ostream& out_O, std::ostream& err_O)
{
  if (args_I.size() == 2 && args_I[0] == "info") {
    return Info(args_I[1], out_O, err_O);
  }
  if (args_I.size() == 3 && args_I[0] == "image") {
    return Image(args_I[1], args_I[2], out_O, err_O);
  }
  if (args_I.size() == 2 && args_I[0] == "check") {
    return CPackageCheck(args_I[1], out_O, err_O).Run();
  }
  if (args_I.size() == 1 && (args_I[0] == "--help" || args_I[0] == "-h" || args_I[0] == "help")) {
    out_O << kUsage;
    return 0;
  }
  if (args_I.size() == 1 && args_I[0] == "--version") {
    out_O << "orvel-fwtool " << WideToUtf8(CAutoUpdateRun::VersionText()) << "\n";
    return 0;
  }
  err_O << "error: " << (args_I.empty() ? std::string("no command given") : "unknown command or arguments: " + Joined(args_I))
        << "\n" << kUsage;
  return 1;
}

}  // namespace orv
