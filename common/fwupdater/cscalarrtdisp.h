// Display scaler firmware image: a raw copy of the scaler's serial flash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class CScalarRTDISP {
 public:
  virtual ~CScalarRTDISP();

  // Every failure returns false and keeps the image of the previous successful load.
  bool Load(const std::string& path_I);

  uint32_t GetSize() const { return static_cast<uint32_t>(mData.size()); }
  // Empty until a load succeeds.
  const std::vector<uint8_t>& GetData() const { return mData; }

 private:
  std::vector<uint8_t> mData;
};

}  // namespace orv
