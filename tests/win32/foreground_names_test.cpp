// The foreground rule with the system's comparison of program names: the
// letters of every script fold as lstrcmpiW folds them, accents included.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "app/win32/foreground_win32.h"
#include "settings/foreground_rule.h"
#include "settings/settings_model.h"

namespace torvo::testing {
namespace {

void SetAppPath(ProfileRecord& record, std::u16string_view path) {
  std::memset(record.appPath, 0, sizeof(record.appPath));
  std::memcpy(record.appPath, path.data(), path.size() * sizeof(char16_t));
}

TEST(ForegroundNamesTest, ProgramNamesCompareAsTheSystemComparesThem) {
  auto config = std::make_unique<ConfigBlock>();
  MakeDefaultBlock(*config);
  SetAppPath(config->slots[1], u"C:\\Apps\\\u038F\u03A1\u0391.EXE");  // accented Greek capitals
  SetAppPath(config->slots[2], u"D:\\\u0531\u0532\u0533.exe");        // Armenian capitals
  SetAppPath(config->slots[3], u"E:\\\u0464\u0460.exe");              // old Cyrillic capitals
  const win32::Win32CaseInsensitiveText names;
  const struct {
    std::u16string_view foreground;
    std::optional<int> slot;
  } cases[] = {
      {u"\u03CE\u03C1\u03B1.exe", 1},             // small letters with the same accents
      {u"\u03C9\u03C1\u03B1.exe", std::nullopt},  // an accent is not a case
      {u"\u0561\u0562\u0563.EXE", 2},
      {u"\u0465\u0461.EXE", 3},
      {u"\u0465\u0461.EX", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchForegroundSlot(*config, c.foreground, names), c.slot)
        << std::string(c.foreground.begin(), c.foreground.end());
  }
  EXPECT_FALSE(names.Equal(std::u16string_view(u"a\0b", 3), std::u16string_view(u"a\0c", 3)))
      << "a NUL inside never compares equal";
}

}  // namespace
}  // namespace torvo::testing
