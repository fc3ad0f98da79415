// The resources of the built program, read from OrvelFWUpdater.exe itself: the string tables through the
// fallback chain in every language, the stored form of the strings, both dialog templates, the icons, the
// version and the manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "app/uistrings.h"
#include "common/textconversion.h"
#include "win/common/resourceutils.h"

using namespace orv;

namespace {

std::filesystem::path ProgramPath()
{
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(self).parent_path() / L"OrvelFWUpdater.exe";
}

class CProgramResources : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(sModule, nullptr) << ProgramPath().string(); }

  // The raw bytes of a resource; empty when it is missing.
  static std::vector<uint8_t> Raw(LPCWSTR type_I, LPCWSTR name_I)
  {
    const HRSRC resource = FindResourceW(sModule, name_I, type_I);
    if (resource == nullptr) return {};
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(sModule, resource)));
    return std::vector<uint8_t>(data, data + SizeofResource(sModule, resource));
  }

  // Loaded as data for the whole test program.
  static inline const HMODULE sModule =
      LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
};

// A reader that never reads past its bytes: a short template reads as zeros and marks itself failed.
class CReader {
 public:
  explicit CReader(const std::vector<uint8_t>& bytes_I) : mBytes(bytes_I) {}

  uint32_t Read(size_t size_I)
  {
    uint32_t value = 0;
    for (size_t i = 0; i < size_I; ++i, ++mPos) {
      if (mPos >= mBytes.size()) {
        mFailed = true;
        return 0;
      }
      value |= uint32_t{mBytes[mPos]} << (8 * i);
    }
    return value;
  }
  void Skip(size_t size_I) { while (size_I-- > 0) Read(1); }
  int16_t Short() { return static_cast<int16_t>(Read(2)); }
  std::u16string Text()
  {
    std::u16string text;
    for (char16_t c = static_cast<char16_t>(Read(2)); c != 0 && !mFailed; c = static_cast<char16_t>(Read(2))) text += c;
    return text;
  }
  // A string, or 0xFFFF and an ordinal (given back as "#ordinal").
  std::u16string TextOrOrdinal()
  {
    const size_t start = mPos;
    const uint16_t first = static_cast<uint16_t>(Read(2));
    if (first == 0xFFFF) return u"#" + Utf8ToWide(std::to_string(Read(2)));
    mPos = start;
    return Text();
  }
  void AlignToDword() { mPos = (mPos + 3) & ~size_t{3}; }
  bool Failed() const { return mFailed; }

 private:
  const std::vector<uint8_t>& mBytes;
  size_t mPos = 0;
  bool mFailed = false;
};

struct SControl {
  uint32_t style;
  int16_t x, y, cx, cy;
  int32_t id;
  std::u16string windowClass;
  std::u16string title;
};

struct STemplate {
  uint32_t style;
  int16_t cx, cy;
  uint16_t pointSize;
  std::u16string font;
  std::vector<SControl> controls;
};

std::optional<STemplate> ParseDialog(const std::vector<uint8_t>& bytes_I)
{
  CReader in(bytes_I);
  STemplate dialog{};
  if (in.Read(2) != 1 || in.Read(2) != 0xFFFF) return std::nullopt;
  in.Skip(8);  // help id, extended style
  dialog.style = in.Read(4);
  const uint16_t count = static_cast<uint16_t>(in.Read(2));
  in.Skip(4);  // x, y
  dialog.cx = in.Short();
  dialog.cy = in.Short();
  in.TextOrOrdinal();  // menu
  in.TextOrOrdinal();  // class
  in.Text();           // title
  if ((dialog.style & DS_SETFONT) != 0) {
    dialog.pointSize = static_cast<uint16_t>(in.Read(2));
    in.Skip(4);  // weight, italic, character set
    dialog.font = in.Text();
  }
  for (uint16_t i = 0; i < count && !in.Failed(); ++i) {
    in.AlignToDword();
    SControl control{};
    in.Skip(8);  // help id, extended style
    control.style = in.Read(4);
    control.x = in.Short();
    control.y = in.Short();
    control.cx = in.Short();
    control.cy = in.Short();
    control.id = static_cast<int32_t>(in.Read(4));
    control.windowClass = in.TextOrOrdinal();
    control.title = in.TextOrOrdinal();
    in.Skip(in.Read(2));  // creation data
    dialog.controls.push_back(control);
  }
  if (in.Failed()) return std::nullopt;
  return dialog;
}

const SControl* Find(const STemplate& dialog_I, int32_t id_I)
{
  for (const SControl& control : dialog_I.controls) {
    if (control.id == id_I) return &control;
  }
  return nullptr;
}

// Both dialogs show the three warnings' icons by the same ids.
void ExpectWarningIcons(const STemplate& dialog_I)
{
  for (const auto& [id, icon] : {std::pair{1039, u"#112"}, std::pair{1042, u"#111"}, std::pair{1041, u"#110"}}) {
    ASSERT_NE(Find(dialog_I, id), nullptr) << id;
    EXPECT_EQ(Find(dialog_I, id)->title, icon) << id;
  }
}

// Windows language ids the system may report, with the table each must end up in.
const std::map<uint16_t, uint16_t> kUserLanguages = {
    {1033, 9},    {2057, 9},    {1031, 7},   {3079, 7},   {2055, 7},   {1034, 10},  {3082, 10},
    {1036, 12},   {3084, 12},   {1040, 16},  {1041, 17},  {1042, 18},  {1043, 19},  {2067, 19},
    {1045, 21},   {1046, 22},   {2070, 22},  {1049, 25},  {1028, 1028}, {3076, 1028}, {5124, 1028},
    {2052, 2052}, {4100, 2052}, {1053, 9},   {29, 9},     {1035, 9},   {1032, 9},   {0, 0},
};

}  // namespace

// Every language reads the engine's texts through the fallback chain; each block stores its strings encoded
// (U+0298, the Base64 text of the UTF-8 bytes) with the terminating zero the entry's length counts.
TEST_F(CProgramResources, EveryLanguageReadsTheEnginesTextsThroughTheFallbackChain)
{
  for (const CStringTable& table : BuiltInStringTables()) {
    const HRSRC block = FindResourceExA(sModule, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(2000 / 16 + 1), table.mLangId);
    ASSERT_NE(block, nullptr) << "a string table for language " << table.mLangId;
    for (const EUiString id : kUiStringIds) {
      const std::u16string text = LoadWinResString(id, table.mLangId, sModule);
      EXPECT_FALSE(text.empty()) << id << " in " << table.mLangId;
      EXPECT_EQ(text, LoadResString(id, table.mLangId)) << id << " in " << table.mLangId;
    }
    const auto* units = static_cast<const char16_t*>(LockResource(LoadResource(sModule, block)));
    const uint16_t length = units[0];
    ASSERT_GT(length, 2);
    ASSERT_LE(length + 1u, SizeofResource(sModule, block) / 2);
    EXPECT_EQ(units[1], u'\u0298');
    EXPECT_EQ(units[length], u'\0');
    EXPECT_EQ(std::u16string(units + 1, length - 1u), table.mTexts[0]);
  }
  EXPECT_GE(BuiltInStringTables().size(), 13u);
  for (const auto& [user, table] : kUserLanguages) {
    for (const EUiString id : kUiStringIds) {
      EXPECT_EQ(LoadWinResString(id, user, sModule), LoadResString(id, table)) << id << " for " << user;
    }
  }
  EXPECT_EQ(LoadWinResString(2000, 3079, sModule), u"Orvel Firmware-Aktualisierungsprogramm");
  EXPECT_EQ(LoadWinResString(2000, 1041, sModule), u"Orvel ファームウェア アップデート ユーティリティ") << "decoded as UTF-8";
  EXPECT_EQ(LoadWinResString(2204, 1053, sModule), u"Cancel");
  EXPECT_NE(LoadWinResString(2000, 3076, sModule), LoadWinResString(2000, 4100, sModule));
  // An id no table has: every language along the chain is asked, then nothing.
  EXPECT_EQ(LoadWinResString(2107, 1031, sModule), u"");
  EXPECT_EQ(LoadWinResString(1999, 9, sModule), u"");
}

TEST_F(CProgramResources, ThePreUpdateDialogHasItsExactDialogUnits)
{
  const std::optional<STemplate> dialog = ParseDialog(Raw(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(102)));
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->cx, 265);
  EXPECT_EQ(dialog->cy, 144);
  EXPECT_EQ(dialog->font, u"Microsoft Sans Serif");
  EXPECT_EQ(dialog->pointSize, 8);
  const struct {
    int32_t id;
    int16_t x, y, cx, cy;
  } expected[] = {{1030, 202, 123, 56, 14}, {1031, 7, 123, 56, 14}, {-1, 7, 7, 249, 30},  {1032, 70, 41, 188, 21},
                  {1033, 70, 67, 188, 21},  {1034, 70, 93, 188, 21}, {1039, 39, 31, 29, 27}, {1042, 39, 58, 29, 27},
                  {1041, 39, 85, 29, 27}};
  ASSERT_EQ(dialog->controls.size(), std::size(expected));
  for (const auto& control : expected) {
    const SControl* found = Find(*dialog, control.id);
    ASSERT_NE(found, nullptr) << control.id;
    EXPECT_EQ((std::array{found->x, found->y, found->cx, found->cy}),
              (std::array{control.x, control.y, control.cx, control.cy})) << control.id;
  }
  EXPECT_EQ(Find(*dialog, 1031)->style & 0xF, static_cast<uint32_t>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(Find(*dialog, 1030)->style & 0xF, static_cast<uint32_t>(BS_PUSHBUTTON));
  ExpectWarningIcons(*dialog);
}

// Every control the main dialog names, with no gap from 1001 to 1039 (the automatic layout hides controls
// upward from 1001 until an id is missing), and the third warning as its one unnamed control.
TEST_F(CProgramResources, TheMainDialogHasEveryNamedControl)
{
  const std::optional<STemplate> dialog = ParseDialog(Raw(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(101)));
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->font, u"Microsoft Sans Serif");
  for (int32_t id = 1001; id <= 1039; ++id) EXPECT_NE(Find(*dialog, id), nullptr) << id;
  EXPECT_EQ(Find(*dialog, 1040), nullptr);
  EXPECT_EQ(std::count_if(dialog->controls.begin(), dialog->controls.end(), [](const SControl& c) { return c.id == -1; }), 1);
  EXPECT_TRUE(CompareStringOrdinal(reinterpret_cast<LPCWCH>(Find(*dialog, 1025)->windowClass.c_str()), -1, L"msctls_progress32", -1, TRUE) == CSTR_EQUAL);
  ExpectWarningIcons(*dialog);
  // The status line and the progress bar keep their template size: it must fit the 413-pixel window.
  for (const int32_t id : {1023, 1025}) EXPECT_LE(7 + Find(*dialog, id)->cx * 6 / 4, 400) << id;
}

TEST_F(CProgramResources, IconsVersionAndManifest)
{
  for (const int id : {110, 111, 112}) {
    const HANDLE icon = LoadImageW(sModule, MAKEINTRESOURCEW(id), IMAGE_ICON, 32, 32, 0);
    EXPECT_NE(icon, nullptr) << id;
    if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
  }

  const std::wstring path = ProgramPath().wstring();
  DWORD ignored = 0;
  std::vector<uint8_t> version(GetFileVersionInfoSizeW(path.c_str(), &ignored));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00030009u);
  wchar_t* text = nullptr;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904b0\\FileVersion", reinterpret_cast<void**>(&text), &size));
  EXPECT_EQ(std::wstring(text), L"3.09");

  const std::vector<uint8_t> manifest = Raw(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  const std::string xml(manifest.begin(), manifest.end());
  for (const char* part : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "asInvoker", "<dpiAware",
                           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part;
  }
}
