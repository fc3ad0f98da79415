#include "win/common/importwin32api.h"

#include <vector>

namespace orv {
namespace {

// Long enough for any Windows path.
constexpr DWORD kMaxPath = 32768;

// The name of a module or folder as Windows reports it into a buffer; empty when it does not fit.
template <typename F>
std::wstring ReadPath(F read_I)
{
  for (DWORD size = MAX_PATH; size <= kMaxPath; size *= 2) {
    std::vector<wchar_t> buffer(size, L'\0');
    const DWORD length = read_I(buffer.data(), size);
    if (length == 0) return L"";
    if (length < size) return std::wstring(buffer.data(), length);
  }
  return L"";
}

std::wstring ProgramFolder()
{
  const std::wstring program =
      ReadPath([](wchar_t* buffer_O, DWORD size_I) { return GetModuleFileNameW(nullptr, buffer_O, size_I); });
  const size_t separator = program.find_last_of(L"\\/");
  return separator == std::wstring::npos ? L"" : program.substr(0, separator);
}

std::wstring SystemFolder()
{
  return ReadPath([](wchar_t* buffer_O, DWORD size_I) { return GetSystemDirectoryW(buffer_O, size_I); });
}

}  // namespace

CWinImportLibrary::CWinImportLibrary(std::wstring fileName_I, bool quiet_I)
    : CImportLibrary(quiet_I), mFileName(std::move(fileName_I))
{
}

CWinImportLibrary::~CWinImportLibrary()
{
  if (mModule != nullptr) FreeLibrary(mModule);
}

std::wstring CWinImportLibrary::LoadedFrom() const
{
  if (mModule == nullptr) return L"";
  const HMODULE module = mModule;
  return ReadPath([module](wchar_t* buffer_O, DWORD size_I) { return GetModuleFileNameW(module, buffer_O, size_I); });
}

bool CWinImportLibrary::OpenModule()
{
  // Full paths only: a bare name would let the loader search the current directory too.
  for (const std::wstring& folder : {ProgramFolder(), SystemFolder()}) {
    if (folder.empty()) continue;
    mModule = LoadLibraryW((folder + L"\\" + mFileName).c_str());
    if (mModule != nullptr) return true;
  }
  return false;
}

CImportLibrary::Proc CWinImportLibrary::FindSymbol(const char* name_I)
{
  // Every function pointer converts to the generic one and back without loss.
  return reinterpret_cast<Proc>(GetProcAddress(mModule, name_I));
}

}  // namespace orv
