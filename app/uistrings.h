// The UI strings: one table per language, looked up by id and language, stored encoded.
//
// A stored string is U+0298 followed by the Base64 text of the string's UTF-8 bytes; a string without
// the marker is shown as stored.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace orv {

enum EUiString : uint16_t {
  EUISTRING_TITLE = 2000,
  EUISTRING_WAITING_FOR_LOADER = 2100,
  EUISTRING_WAITING_FOR_DEVICE = 2101,
  EUISTRING_UPDATING = 2102,
  EUISTRING_PROGRAMMING_SUCCEEDED = 2103,
  EUISTRING_PROGRAMMING_FAILED = 2104,
  EUISTRING_UPDATE_SUCCEEDED = 2105,
  EUISTRING_UPDATE_FAILED = 2106,
  EUISTRING_ERROR_NO_TABLET = 2200,
  EUISTRING_ERROR_TARGET_NOT_FOUND = 2201,
  EUISTRING_ERROR_INVALID_STATE = 2202,
  EUISTRING_ERROR_INVALID_FILE = 2203,
  EUISTRING_CANCEL = 2204,
  EUISTRING_UPDATE = 2205,
  EUISTRING_WARNING_INTRO = 2206,
  EUISTRING_WARNING_POWER_STATE = 2207,
  EUISTRING_WARNING_CABLES = 2208,
  EUISTRING_WARNING_BUTTONS = 2209,
  // The texts of the terminal view and of the run's end; "%1", "%2", "%3" stand for the values FormatUiString
  // puts in.
  EUISTRING_BOARD_OF = 2210,
  EUISTRING_BYTES_OF = 2211,
  EUISTRING_ELAPSED = 2212,
  EUISTRING_TIME_LEFT = 2213,
  EUISTRING_STATUS = 2214,
  EUISTRING_CANCEL_REFUSED = 2215,
  EUISTRING_CANCELLED_AT_WARNING = 2216,
  EUISTRING_CANCELLED_BY_USER = 2217,
  // Refusals before anything is touched; the technical detail follows on a line of its own.
  EUISTRING_ERROR_INVALID_OPTIONS = 2218,
  EUISTRING_ERROR_MISSING_FILE = 2219,
};

// Every id, in the order of the texts in a CStringTable.
inline constexpr std::array<EUiString, 28> kUiStringIds = {
    EUISTRING_TITLE,
    EUISTRING_WAITING_FOR_LOADER,
    EUISTRING_WAITING_FOR_DEVICE,
    EUISTRING_UPDATING,
    EUISTRING_PROGRAMMING_SUCCEEDED,
    EUISTRING_PROGRAMMING_FAILED,
    EUISTRING_UPDATE_SUCCEEDED,
    EUISTRING_UPDATE_FAILED,
    EUISTRING_ERROR_NO_TABLET,
    EUISTRING_ERROR_TARGET_NOT_FOUND,
    EUISTRING_ERROR_INVALID_STATE,
    EUISTRING_ERROR_INVALID_FILE,
    EUISTRING_CANCEL,
    EUISTRING_UPDATE,
    EUISTRING_WARNING_INTRO,
    EUISTRING_WARNING_POWER_STATE,
    EUISTRING_WARNING_CABLES,
    EUISTRING_WARNING_BUTTONS,
    EUISTRING_BOARD_OF,
    EUISTRING_BYTES_OF,
    EUISTRING_ELAPSED,
    EUISTRING_TIME_LEFT,
    EUISTRING_STATUS,
    EUISTRING_CANCEL_REFUSED,
    EUISTRING_CANCELLED_AT_WARNING,
    EUISTRING_CANCELLED_BY_USER,
    EUISTRING_ERROR_INVALID_OPTIONS,
    EUISTRING_ERROR_MISSING_FILE,
};

// The stored texts of one language in the order of kUiStringIds; a null text is a string the language lacks.
using CUiTexts = std::array<const char16_t*, kUiStringIds.size()>;

struct CStringTable {
  uint16_t mLangId;
  CUiTexts mTexts;
};

// The program's tables: the 13 languages and the neutral language (0), which shows the English texts.
std::span<const CStringTable> BuiltInStringTables();

// The string in the language or, where that language lacks it, in the nearest more general one
// (FallbackLangId); empty when no language along the way has it.
std::u16string LoadResString(uint16_t id_I, uint16_t langId_I);
std::u16string LoadResString(uint16_t id_I, uint16_t langId_I, std::span<const CStringTable> tables_I);

// The string with "%1" replaced by the first value, "%2" by the second and so on (up to "%9"); a marker
// without a value stays as it is, and a value is never read for markers.
std::u16string FormatUiString(const std::u16string& text_I, std::initializer_list<std::u16string> values_I);

// Decodes a stored string; a string without the leading U+0298 is returned unchanged.
std::u16string DecodeResString(const std::u16string& codedString_I);

// The tolerant decoder of stored strings (unlike the strict text decoder of stringutilities, it never
// throws): the input should be whole groups of four, a shorter last group counts as padded with "=".
// "=" or a character outside the alphabet (which is reported) in the third or fourth place drops the
// byte that place completes; elsewhere it is reported and counts as zero.
std::vector<uint8_t> Base64Decode(const std::vector<uint8_t>& codedbuffer_I);

}  // namespace orv
