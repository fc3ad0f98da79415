// Airoha bluetooth firmware image: the raw flash contents from address 0 on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class CBinaryAiroFlash {
 public:
  virtual ~CBinaryAiroFlash();

  // Every failure returns false and keeps the image of the previous successful load.
  bool Load(const std::string& path_I);

  // -1 until a load succeeds, then 0.
  int32_t GetStartAddress() const { return mStartAddress; }
  uint32_t GetSize() const { return static_cast<uint32_t>(mData.size()); }
  const std::vector<uint8_t>& GetData() const { return mData; }

 private:
  int32_t mStartAddress = -1;
  std::vector<uint8_t> mData;
};

}  // namespace orv
