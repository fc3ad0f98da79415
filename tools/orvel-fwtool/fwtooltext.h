// Texts orvel-fwtool prints about firmware files.
#pragma once

#include <string>

namespace orv {

class CSRec;

// printf-style; MinGW checks the formats as GNU printf's, clang knows only the plain name.
#if defined(__clang__)
std::string Format(const char* format_I, ...) __attribute__((format(printf, 1, 2)));
#else
std::string Format(const char* format_I, ...) __attribute__((format(gnu_printf, 1, 2)));
#endif
// Why a file did not load: its path, then the line and the reason where the format has lines.
std::string LoadFailure(const CSRec& file_I, const std::string& path_I);
// One line on a loaded file's contents: its size, and its segments or start address.
std::string SizeSummary(const CSRec& file_I);

}  // namespace orv
