// Texts orvel-fwtool prints about firmware files.
#pragma once

#include <string>

namespace orv {

class CSRec;

std::string Format(const char* format_I, ...) __attribute__((format(gnu_printf, 1, 2)));
// Why a file did not load: its path, then the line and the reason where the format has lines.
std::string LoadFailure(const CSRec& file_I, const std::string& path_I);
// One line on a loaded file's contents: its size, and its segments or start address.
std::string SizeSummary(const CSRec& file_I);

}  // namespace orv
