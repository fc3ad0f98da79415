// String utilities: case folding, trimming, splitting, base64 and packed version numbers.
//
// Byte strings hold UTF-8; wide strings are UTF-16 code units on every platform.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

std::string ToLower(const std::string& text_I);
std::string ToUpper(const std::string& text_I);
void Trim(std::string& text_IO);
std::string Trimmed(const std::string& text_I);
bool EqualsIgnoreCase(const std::string& a_I, const std::string& b_I);
// The maximal runs of characters that are not delimiters; never an empty piece.
std::vector<std::string> Split(const std::string& text_I, const std::string& delimiters_I);

std::u16string ToLower(const std::u16string& text_I);
void Trim(std::u16string& text_IO);
// Position of the first exact occurrence, else of the first case-insensitive one, else npos.
size_t FindIgnoreCase(const std::u16string& haystack_I, const std::u16string& needle_I);
// Pieces between delimiter units; a delimiter at the very end adds no empty piece.
std::vector<std::u16string> Split(const std::u16string& text_I, const std::u16string& delimiters_I,
                                  bool dropEmpty_I);

// Standard alphabet, no "=" padding written or accepted.
std::string Base64Encode(const std::vector<uint8_t>& bytes_I);
// Throws COrvException ("bad char", status 0xFFFF) on a character outside the alphabet.
std::vector<uint8_t> Base64Decode(const std::string& text_I);

using PackedVersion = std::array<uint8_t, 5>;
// Unpacks a version number stored in one 32-bit value; styles 2 to 5.
PackedVersion VersionFromNumber(uint32_t value_I, int style_I);
// The first three numbers as "1.2.3"; empty for all zeros, which is how a version that could not be read comes.
std::string PackedVersionText(const PackedVersion& version_I);

}  // namespace orv
