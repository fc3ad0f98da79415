// Intel HEX firmware image: one flat image that starts at address 0x8000.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class CIntelHex {
 public:
  CIntelHex();
  virtual ~CIntelHex();

  // Every failure returns false and keeps the image of the previous successful load.
  bool Load(const std::string& path_I);
  // Why the last load failed, one line without the file name: "line 3: CR LF line ends required".
  const std::string& GetError() const { return mError; }

  // -1 until a load succeeds, then 0x8000.
  int32_t GetStartAddress() const { return mStartAddress; }
  // A multiple of 512.
  uint32_t GetLength() const { return mLength; }
  // 16-bit sum of the image bytes, each taken as a signed 8-bit value.
  uint32_t GetChecksum() const { return mChecksum; }
  // GetLength() meaningful bytes; the buffer always holds the full work area, so a reader that rounds
  // up to its packet size stays inside it.
  const uint8_t* GetImage() const { return mImage.data(); }

 private:
  int32_t mStartAddress = -1;
  uint32_t mLength = 0;
  uint32_t mChecksum = 0;
  std::vector<uint8_t> mImage;
  std::string mError;
};

}  // namespace orv
