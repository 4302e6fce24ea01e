// Every window message, command id, thread message and timer id of the
// program, each defined once. A comment per number says who sends it, to
// whom, and what wParam and lParam carry. Windows' own messages (WM_*) are
// the platform's; WM_CLOSE is named here too because the core posts it.
#pragma once

#include <cstdint>

namespace torvo {

// ---------------------------------------------------------------------------
// Messages the main window ("Zenqo_K27_Vistrane_Torv") receives.

// The tray icon's callback: from the shell to the main window; wParam the
// icon id (kTrayIconId), lParam the mouse message over the icon.
inline constexpr unsigned MSG_TRAY_NOTIFY = 1036;
// From the configurator: show a hidden dial, hide a shown one. wParam and
// lParam not read.
inline constexpr unsigned MSG_TOGGLE_DIAL = 1040;
// From a region button of the dial to its parent when the pointer comes
// (wParam 1) or goes (wParam 0); lParam the button's notification code.
inline constexpr unsigned MSG_BUTTON_HOVER = 1124;
// From the configurator: adopt the shared block and upload it. wParam 3 =
// the active slot only, any other value = everything; lParam not read.
inline constexpr unsigned MSG_APPLY_ALL_SETTINGS = 1224;
// From the configurator: the shared block changed; adopt it. wParam and
// lParam not read.
inline constexpr unsigned MSG_SETTINGS_CHANGED_A = 1226;
inline constexpr unsigned MSG_SETTINGS_CHANGED_B = 1227;
// From the device library's monitor: a device event. wParam's low 16 bits
// the event class, lParam's low 16 bits its value.
inline constexpr unsigned MSG_DEVICE_EVENT = 1325;
// From the device library's monitor: wParam 1 the device arrived, 0 it was
// removed; lParam not read.
inline constexpr unsigned MSG_DEVICE_CONNECTION = 1326;

// WM_COMMAND ids the main window receives (in wParam's low word).
// The dial menu's item and the other ways to hide the dial: 2001..2010. The
// owner-drawn menu numbers its plain items from ID_HIDE_DIAL_FIRST on.
inline constexpr unsigned ID_HIDE_DIAL_FIRST = 2001;
inline constexpr unsigned ID_HIDE_DIAL_LAST = 2010;
// The tray menu's "open the configurator"; also posted (lParam 0) by a
// second start of this program asked for the configurator.
inline constexpr unsigned ID_OPEN_CONFIGURATOR = 6001;
// The tray menu's "exit".
inline constexpr unsigned ID_EXIT = 6002;

// ---------------------------------------------------------------------------
// Messages the main window posts to the configurator ("Vistrane"); wParam
// and lParam 0.

// Right before WM_CLOSE, at device removal and at shutdown.
inline constexpr unsigned MSG_CFG_CLOSE_NOTICE = 1042;
// The active slot's dial function was changed and saved.
inline constexpr unsigned MSG_CFG_SETTINGS_SAVED = 1254;
// The active slot was switched.
inline constexpr unsigned MSG_CFG_PROFILE_CHANGED = 1255;
// An apply (MSG_APPLY_ALL_SETTINGS) is finished: from the worker after the
// upload, or from the main window when no upload could be requested.
inline constexpr unsigned MSG_CFG_APPLY_DONE = 1256;
// The device reported a value of class 0x2000, 0x3000 or 0x9000.
inline constexpr unsigned MSG_CFG_VALUE_CHANGED = 1257;

// ---------------------------------------------------------------------------
// Messages the main window posts to the on-screen display
// ("Zenqo_K27_Vistrane_OSD").

// wParam kOsdShowSlot: the active slot changed, lParam its index in the high
// 16 bits; wParam kOsdShowText: a key text waits in the hand-off file,
// lParam 0.
inline constexpr unsigned MSG_OSD_SHOW = 1324;
inline constexpr std::uintptr_t kOsdShowSlot = 40;
inline constexpr std::uintptr_t kOsdShowText = 50;
// The configurator's apply was received; wParam 0, lParam 0.
inline constexpr unsigned MSG_OSD_SETTINGS_APPLIED = 1327;

// The platform's WM_CLOSE: posted to the configurator (after
// MSG_CFG_CLOSE_NOTICE) and to the on-screen display; wParam, lParam 0.
inline constexpr unsigned MSG_CLOSE = 0x0010;

// ---------------------------------------------------------------------------
// The upload worker's thread message, from the main window to the worker
// thread: wParam the request, lParam what the sender was asked (not read).

inline constexpr unsigned MSG_WORKER_REQUEST = 1649;
enum WorkerRequest : unsigned {
  REQ_APPLY = 1,        // the configurator's apply; answered with MSG_CFG_APPLY_DONE
  REQ_FULL_UPLOAD = 2,  // after start-up (TIMER_INITIAL_UPLOAD) and after an arrival
  REQ_SWITCH_SLOT = 3,  // the active slot only
};

// ---------------------------------------------------------------------------
// Timers of the main window: id and period.

// Follows the foreground application while the device is present.
inline constexpr unsigned TIMER_FOLLOW_FOREGROUND = 500;
inline constexpr std::uint32_t kFollowForegroundPeriodMs = 2000;
// One-shot after start-up when the device opened: the first full upload.
inline constexpr unsigned TIMER_INITIAL_UPLOAD = 502;
inline constexpr std::uint32_t kInitialUploadDelayMs = 200;
// One-shot: the pause between a device arrival and opening the device, run
// as a timer so that the window keeps answering during it.
inline constexpr unsigned TIMER_ARRIVAL_PAUSE = 503;
inline constexpr std::uint32_t kArrivalPauseMs = 8000;
// Runs while a copy to or from the shared block waits for the share mutex:
// each tick tries it again.
inline constexpr unsigned TIMER_SHARE_RETRY = 504;
inline constexpr std::uint32_t kShareRetryPeriodMs = 100;
// Runs while a save of a settings file waits because another program has
// the file open: each tick tries it again. A waiting save lands within one
// period of the file being let go.
inline constexpr unsigned TIMER_SAVE_RETRY = 505;
inline constexpr std::uint32_t kSaveRetryPeriodMs = 250;

// ---------------------------------------------------------------------------
// The tray icon's id (with MSG_TRAY_NOTIFY as its callback).
inline constexpr unsigned kTrayIconId = 102;

}  // namespace torvo
