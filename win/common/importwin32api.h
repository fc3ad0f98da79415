// A DLL bound by name at run time, such as the FTDI bridge's "FTD2XX.dll".
#pragma once

#include <windows.h>

#include <string>

#include "common/osd/cftdiexapi32.h"

namespace orv {

class CWinImportLibrary : public CImportLibrary {
 public:
  // The DLL is loaded from the program's own folder, else from the system folder, and released at the end;
  // never from the current directory or the PATH, where anybody may have put a DLL of that name.
  explicit CWinImportLibrary(std::wstring fileName_I, bool quiet_I = true);
  ~CWinImportLibrary() override;
  CWinImportLibrary(const CWinImportLibrary&) = delete;
  CWinImportLibrary& operator=(const CWinImportLibrary&) = delete;

  // Where the DLL was loaded from; empty while it is not.
  std::wstring LoadedFrom() const;

 protected:
  bool OpenModule() override;
  Proc FindSymbol(const char* name_I) override;

 private:
  HMODULE mModule = nullptr;
  std::wstring mFileName;
};

}  // namespace orv
