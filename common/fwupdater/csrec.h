// The firmware file object: classifies an update file by its extension, loads Motorola S-record files
// into address segments and hands the other formats to their image classes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/fwupdater/cbinaryairoflash.h"
#include "common/fwupdater/cintelhex.h"
#include "common/fwupdater/cscalarrtdisp.h"

namespace orv {

// Data source format codes, from the file-name extension; also the key that selects how a board is programmed.
enum EDataSource : int32_t {
  EDATASOURCE_PEN = 0,
  EDATASOURCE_TOUCH = 1,
  EDATASOURCE_ORV = 2,
  EDATASOURCE_HEX = 3,
  EDATASOURCE_AIROFLASH = 4,
  EDATASOURCE_BIN = 5,
  EDATASOURCE_NONE = 99
};

// A readable name for a format code; "none" for codes outside the table.
const char* DataSourceName(int32_t format_I);

// Why a board cannot be programmed from a file of the format: the scaler takes its binary image only, and no
// other board takes one. Empty when it can.
std::string BoardFormatProblem(int32_t board_I, int32_t format_I);

struct SRecSegment {
  uint32_t start = 0;
  std::vector<uint8_t> data;
};

// Far above any board's flash, yet small enough to hold in memory: larger files fail to load.
constexpr uint64_t kMaxFirmwareFileSize = 64ull * 1024 * 1024;

// Reads a whole file in binary mode; the path is UTF-8. False when the file cannot be opened or read
// completely, is empty, or is larger than kMaxFirmwareFileSize.
bool ReadFirmwareFile(const std::string& path_I, std::vector<uint8_t>& bytes_O);
// The same, with the reason of a failure ("no such file", "the file is empty", ...).
bool ReadFirmwareFile(const std::string& path_I, std::vector<uint8_t>& bytes_O, std::string& error_O);

// Reads exactly digits_I hexadecimal digits at pos_I. False when the text ends first or one of the
// characters is not a hexadecimal digit (no sign, blank or "0x" is taken).
bool ReadHexDigits(std::string_view text_I, size_t pos_I, size_t digits_I, uint32_t& value_O);

class CSRec {
 public:
  CSRec();

  // Classifies the path by its extension and loads the matching image.
  bool Load(const std::string& path_I);

  int32_t GetFormat() const { return mFormat; }
  // Why the last load failed, one line without the file name: "line 12: checksum 0x3C, expected 0x3D".
  const std::string& GetError() const { return mError; }
  // The printable text of the last S-record file's header record (S0); empty without one.
  const std::string& GetHeader() const { return mHeader; }
  // The version the header names as its last word ("1.02", "v1.02"); empty when it names none.
  std::string GetHeaderVersion() const;
  // The bytes the loaded image puts on a board: the S-record data, the Intel HEX image, the binary's size.
  uint64_t GetImageSize() const;
  const std::string& GetPath() const { return mPath; }
  // Sorted by start, free of overlaps; empty unless the last S-record load succeeded.
  std::vector<SRecSegment> GetSegments() const { return mSegments; }
  std::shared_ptr<CIntelHex> GetIntelHex() const { return mIntelHex; }
  std::shared_ptr<CBinaryAiroFlash> GetAiroFlash() const { return mAiroFlash; }
  std::shared_ptr<CScalarRTDISP> GetScaler() const { return mScaler; }

  // Forgets the loaded file. The images are replaced by new empty ones, never by empty pointers, so
  // holders of the old images keep them and the next load has somewhere to go.
  void Reset();

 private:
  bool LoadSRec();
  template <typename Image>
  bool LoadBinary(Image& image_IO);
  // False, with the error, for an Airoha image larger than its frames' 24-bit addresses reach; the image is dropped.
  bool CheckAirohaReach();

  std::vector<SRecSegment> mSegments;
  std::string mPath;
  int32_t mFormat = EDATASOURCE_NONE;
  std::string mError;
  std::string mHeader;
  std::shared_ptr<CIntelHex> mIntelHex;
  std::shared_ptr<CBinaryAiroFlash> mAiroFlash;
  std::shared_ptr<CScalarRTDISP> mScaler;
};

}  // namespace orv
