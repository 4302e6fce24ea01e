// Reading the skin description file: one ini file, values read whole into a
// buffer of 4096 characters, never written.
#pragma once

#include <string>
#include <string_view>

#include "dial/skin_description.h"

namespace torvo::win32 {

class CIniFile final : public SkinIni {
 public:
  static constexpr unsigned kValueBufferLength = 4096;

  explicit CIniFile(std::u16string path) : path_(std::move(path)) {}
  const std::u16string& Path() const { return path_; }

  // The value of `key` in `section`, or `defaultValue` when the file, the
  // section or the key is missing.
  std::u16string GetString(std::u16string_view section, std::u16string_view key,
                           std::u16string_view defaultValue) const;
  std::u16string GetString(std::u16string_view section, std::u16string_view key) override {
    return GetString(section, key, u"");
  }

 private:
  std::u16string path_;
};

}  // namespace torvo::win32
