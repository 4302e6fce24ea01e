// Start-up decisions that do not need Windows: the command line and the
// program's paths.
#pragma once

#include <string>
#include <string_view>

namespace torvo {

// Capacity of the buffer the command line's argument text is examined in.
inline constexpr std::size_t kArgumentCapacity = 100;

// Only the first character of the argument text counts: "1" asks for the
// configurator to be brought forward ("123" does, "21" and "" do not).
// Longer texts are examined through their first 99 characters, as the
// 100-character buffer holds them.
bool IsConfiguratorRequested(std::u16string_view argumentText);

// The text after the program name in a full command line (quoted or not),
// with the blanks that separate it from the name removed.
std::u16string_view ArgumentText(std::u16string_view commandLine);

// Drive and folder of a program file's full path, ending with a backslash
// ("C:\Apps\Torvo\Torvo.exe" -> "C:\Apps\Torvo\"). A path without a folder
// gives an empty text.
std::u16string FolderOfPath(std::u16string_view fullPath);

// "%s\OSD.exe" with the program folder (which ends with a backslash, so the
// result has two; the platform accepts that).
std::u16string OsdProgramPath(std::u16string_view programFolder);

}  // namespace torvo
