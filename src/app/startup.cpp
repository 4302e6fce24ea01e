#include "app/startup.h"

namespace torvo {

bool IsConfiguratorRequested(std::u16string_view argumentText) {
  std::u16string_view held = argumentText.substr(0, kArgumentCapacity - 1);
  return !held.empty() && held.front() == u'1';
}

std::u16string_view ArgumentText(std::u16string_view commandLine) {
  std::size_t i = 0;
  const std::size_t n = commandLine.size();
  while (i < n && (commandLine[i] == u' ' || commandLine[i] == u'\t')) ++i;
  if (i < n && commandLine[i] == u'"') {
    ++i;
    while (i < n && commandLine[i] != u'"') ++i;
    if (i < n) ++i;  // closing quote
  } else {
    while (i < n && commandLine[i] != u' ' && commandLine[i] != u'\t') ++i;
  }
  while (i < n && (commandLine[i] == u' ' || commandLine[i] == u'\t')) ++i;
  return commandLine.substr(i);
}

std::u16string FolderOfPath(std::u16string_view fullPath) {
  const std::size_t slash = fullPath.find_last_of(u"\\/");
  if (slash != std::u16string_view::npos) return std::u16string(fullPath.substr(0, slash + 1));
  // "C:Torvo.exe": the drive alone.
  if (fullPath.size() >= 2 && fullPath[1] == u':') return std::u16string(fullPath.substr(0, 2));
  return {};
}

std::u16string OsdProgramPath(std::u16string_view programFolder) {
  std::u16string path(programFolder);
  path += u"\\OSD.exe";
  return path;
}

}  // namespace torvo
