#include "linux/common/clinuxd2xxlibrary.h"

#include <dlfcn.h>

#include <cstdlib>

#include "linux/common/clinuxftdid2xx.h"

namespace orv {

CLinuxImportLibrary::~CLinuxImportLibrary()
{
  if (mHandle != nullptr) dlclose(mHandle);
}

bool CLinuxImportLibrary::OpenModule()
{
  if (mHandle == nullptr) mHandle = dlopen(mName.c_str(), RTLD_NOW | RTLD_LOCAL);
  return mHandle != nullptr;
}

CImportLibrary::Proc CLinuxImportLibrary::FindSymbol(const char* name_I)
{
  return mHandle == nullptr ? nullptr : reinterpret_cast<Proc>(dlsym(mHandle, name_I));
}

std::unique_ptr<CD2XX> CreateLinuxD2XX(std::shared_ptr<CLinuxAccessLog> accessLog_I)
{
  const char* named = std::getenv(kD2XXLibraryVariable);
  const std::string name = named != nullptr && *named != '\0' ? named : kD2XXLibraryName;
  if (name != "none") {
    auto library = std::make_unique<CLinuxImportLibrary>(name, true);
    if (library->Load()) return std::make_unique<CFTDIExAPI32>(std::move(library));
  }
  return std::make_unique<CLinuxFtdiD2XX>(std::move(accessLog_I));
}

}  // namespace orv
