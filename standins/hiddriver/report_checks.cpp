#include "hiddriver/report_checks.h"

#include <cstdio>
#include <cstring>

namespace torvo::vkb {
namespace {

bool ValidSlot(std::uint8_t slot) {
  return slot < kSlots;
}

bool AllZero(const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

void SetDetail(std::string* detail, const char* format, auto... args) {
  if (detail == nullptr) return;
  char text[kErrorTextBytes];
  std::snprintf(text, sizeof(text), format, args...);
  *detail = text;
}

Verdict CheckUploadStart(const std::uint8_t* r, int length) {
  if (length != kUploadStartLength) return Verdict::kBadLength;
  if (r[2] != 0xFF) return Verdict::kBadHeader;
  if (!ValidSlot(r[1])) return Verdict::kBadSlot;
  if (!AllZero(r + 3, kUploadStartLength - 3)) return Verdict::kNonZeroPadding;
  return Verdict::kAccepted;
}

Verdict CheckActiveSlot(const std::uint8_t* r, int length) {
  if (length != kActiveSlotLength) return Verdict::kBadLength;
  if (r[1] != 0x04 || r[3] != 0x04) return Verdict::kBadHeader;
  if (!ValidSlot(r[2])) return Verdict::kBadSlot;
  return Verdict::kAccepted;
}

Verdict CheckKeyTable(const std::uint8_t* r, int length, std::string* detail) {
  if (length != kKeyTableLength) return Verdict::kBadLength;
  if (r[1] != kKeyTableLength || r[3] != 0) return Verdict::kBadHeader;
  if (!ValidSlot(r[2])) return Verdict::kBadSlot;
  for (int k = 0; k < kKeysPerSlot; ++k) {
    std::uint8_t entry[kKeyEntryBytes];
    std::memcpy(entry, r + 4 + kKeyEntryBytes * k, kKeyEntryBytes);
    if (!KeyEntryValid(entry, r[2], k)) {
      SetDetail(detail, "key %d: %02X %02X %02X %02X %02X", k, entry[0], entry[1], entry[2],
                entry[3], entry[4]);
      return Verdict::kBadKeyEntry;
    }
  }
  return Verdict::kAccepted;
}

Verdict CheckMacro(const std::uint8_t* r, int length, std::string* detail) {
  if (length != kMacroLength) return Verdict::kBadLength;
  if (r[1] != kMacroLength) return Verdict::kBadHeader;
  if (!ValidSlot(r[2])) return Verdict::kBadSlot;
  // The number is slot * 20 + key + 1, so it names its slot.
  const int number = r[3];
  if (number < 1 || number > kMacroCount || (number - 1) / kKeysPerSlot != r[2]) {
    SetDetail(detail, "macro %d in slot %d", number, r[2]);
    return Verdict::kBadMacroNumber;
  }
  const int pairCount = r[kMacroPairCountOffset];
  if (pairCount > kMaxMacroPairs) {
    SetDetail(detail, "macro %d: %d pairs", number, pairCount);
    return Verdict::kTooManyPairs;
  }
  const auto* nul =
      static_cast<const std::uint8_t*>(std::memchr(r + kMacroNameOffset, 0, kMacroNameBytes));
  if (nul == nullptr) return Verdict::kNameNotTerminated;
  const int pairsEnd = kMacroPairsOffset + 2 * pairCount;
  if (!AllZero(nul, static_cast<int>(r + kMacroPairCountOffset - nul)) ||
      !AllZero(r + pairsEnd, kMacroLength - pairsEnd)) {
    SetDetail(detail, "macro %d with %d pairs", number, pairCount);
    return Verdict::kNonZeroPadding;
  }
  int longPairs = 0;
  for (int i = 0; i < pairCount; ++i) {
    if (r[kMacroPairsOffset + 2 * i + 1] == kLongDelayKey) ++longPairs;
  }
  if (longPairs > kMaxLongDelayPairs) {
    SetDetail(detail, "macro %d: %d long-delay pairs", number, longPairs);
    return Verdict::kTooManyLongDelays;
  }
  if (pairCount > 0 && r[kMacroPairsOffset + 2 * pairCount - 1] == kLongDelayKey) {
    SetDetail(detail, "macro %d: pair %d of %d", number, pairCount, pairCount);
    return Verdict::kDanglingLongDelay;
  }
  // A macro report stands on its own bytes: the keyboard stores it whatever
  // the key table holds for its key (a key that is not a macro key keeps its
  // entry and does not play it).
  return Verdict::kAccepted;
}

Verdict CheckShortReport(const std::uint8_t* r, int length, bool slotInByte2) {
  if (length != kShortReportLength) return Verdict::kBadLength;
  if (r[1] != kShortReportLength) return Verdict::kBadHeader;
  if (slotInByte2 && !ValidSlot(r[2])) return Verdict::kBadSlot;
  if (!AllZero(r + 4, kShortReportLength - 4)) return Verdict::kNonZeroPadding;
  return Verdict::kAccepted;
}

}  // namespace

const char* VerdictPhrase(Verdict verdict) {
  switch (verdict) {
    case Verdict::kAccepted:
      return "accepted";
    case Verdict::kNullBuffer:
      return "no buffer";
    case Verdict::kUnplugged:
      return "keyboard unplugged";
    case Verdict::kSetFailing:
      return "SetFeature failing as asked by the controller";
    case Verdict::kGetFailing:
      return "GetFeature failing as asked by the controller";
    case Verdict::kBadLength:
      return "length does not match its id";
    case Verdict::kUnknownReport:
      return "unknown report id";
    case Verdict::kBadHeader:
      return "wrong constant bytes";
    case Verdict::kBadSlot:
      return "slot outside 0..3";
    case Verdict::kBadMacroNumber:
      return "macro number outside its slot";
    case Verdict::kTooManyPairs:
      return "more than 50 macro pairs";
    case Verdict::kNameNotTerminated:
      return "macro name not terminated";
    case Verdict::kNotOpen:
      return "feature device not open";
    case Verdict::kNonZeroPadding:
      return "bytes after the content are not zero";
    case Verdict::kTooManyLongDelays:
      return "more than ten long-delay pairs";
    case Verdict::kDanglingLongDelay:
      return "macro ends with a long-delay pair";
    case Verdict::kBadKeyEntry:
      return "key entry stands for no action";
  }
  return "unknown verdict";
}

const char* VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kAccepted:
      return "hiddriver: report accepted\n";
    case Verdict::kNullBuffer:
      return "hiddriver: report rejected: no buffer\n";
    case Verdict::kUnplugged:
      return "hiddriver: report rejected: keyboard unplugged\n";
    case Verdict::kSetFailing:
      return "hiddriver: SetFeature failing as asked by the controller\n";
    case Verdict::kGetFailing:
      return "hiddriver: GetFeature failing as asked by the controller\n";
    case Verdict::kBadLength:
      return "hiddriver: report rejected: length does not match its id\n";
    case Verdict::kUnknownReport:
      return "hiddriver: report rejected: unknown report id\n";
    case Verdict::kBadHeader:
      return "hiddriver: report rejected: wrong constant bytes\n";
    case Verdict::kBadSlot:
      return "hiddriver: report rejected: slot outside 0..3\n";
    case Verdict::kBadMacroNumber:
      return "hiddriver: report rejected: macro number outside its slot\n";
    case Verdict::kTooManyPairs:
      return "hiddriver: report rejected: more than 50 macro pairs\n";
    case Verdict::kNameNotTerminated:
      return "hiddriver: report rejected: macro name not terminated\n";
    case Verdict::kNotOpen:
      return "hiddriver: report rejected: feature device not open\n";
    case Verdict::kNonZeroPadding:
      return "hiddriver: report rejected: bytes after the content are not zero\n";
    case Verdict::kTooManyLongDelays:
      return "hiddriver: report rejected: more than ten long-delay pairs\n";
    case Verdict::kDanglingLongDelay:
      return "hiddriver: report rejected: macro ends with a long-delay pair\n";
    case Verdict::kBadKeyEntry:
      return "hiddriver: report rejected: key entry stands for no action\n";
  }
  return "hiddriver: report rejected\n";
}

bool IsProtocolError(Verdict verdict) {
  switch (verdict) {
    case Verdict::kAccepted:
    case Verdict::kUnplugged:
    case Verdict::kSetFailing:
    case Verdict::kGetFailing:
      return false;
    default:
      return true;
  }
}

bool KeyEntryValid(const std::uint8_t (&entry)[kKeyEntryBytes], int slot, int key) {
  const bool tailZero = AllZero(entry + 2, kKeyEntryBytes - 2);
  switch (entry[0]) {
    case 0x02:  // key combination: any usage codes
      return true;
    case 0x03:  // macro: the number of the key's own macro
      return entry[2] == slot * kKeysPerSlot + key + 1 && entry[3] == 0 && entry[4] == 0;
    case 0x04:  // function 0..3
      return entry[1] <= 3 && tailZero;
    case 0x06:  // single key
    case 0x0B:  // parameter
      return tailZero;
    default:  // plain key: the code alone
      return entry[1] == 0 && tailZero;
  }
}

Verdict CheckReport(const std::uint8_t* r, int length, std::string* detail) {
  if (r == nullptr) return Verdict::kNullBuffer;
  if (length < 1) return Verdict::kBadLength;
  switch (r[0]) {
    case kReportStatus:
      return CheckUploadStart(r, length);
    case kReportActiveSlot:
      return CheckActiveSlot(r, length);
    case kReportKeyTable:
      return CheckKeyTable(r, length, detail);
    case kReportMacro:
      return CheckMacro(r, length, detail);
    case kReportDialFunction:
      return CheckShortReport(r, length, true);
    case kReportHostState:
      return CheckShortReport(r, length, false);
    default:
      return Verdict::kUnknownReport;
  }
}

}  // namespace torvo::vkb
