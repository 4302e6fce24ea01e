/* The yardstick of bench_lean_win32: a plain C program that starts the way
 * Torvo.exe starts and shows the default skin's dial the way Torvo.exe draws
 * it, and nothing more. It exists to be measured beside Torvo.exe in the
 * same minute, on the same machine, with the same skin and the same virtual
 * keyboard; it is no product code and keeps no settings.
 *
 * What it does, in order:
 * - its main window (hidden, a tool window titled like Torvo's main window,
 *   so that the benchmark finds and ends both the same way); in the creation
 *   handler: the program folder, the skin's eight region buttons (state
 *   pictures decoded with OleLoadPicture, shapes scanned from the masks),
 *   hiddriver.dll bound at run time, one second's pause, Open_DevMonitor,
 *   Open_FeatureDevice, timer 502 (200 ms) and the tray icon;
 * - GDI+ started, the dial's images decoded (GdipLoadImageFromFileICM), the
 *   window placed topmost at the lower right, hidden, and the dial composed
 *   once into a 32-bit section handed to UpdateLayeredWindow (again at each
 *   WM_PAINT);
 * - at the timer's first tick: the upload-start report and the host-state
 *   report, each followed by the readiness poll; then it idles.
 * WM_COMMAND 6002 closes it, as it closes Torvo.exe.
 *
 * With the argument "steps" it also takes, at the same points of its start,
 * the steps that Torvo.exe takes beyond showing the dial and reaching the
 * device, so that the benchmark can measure what they cost: a thread-wide
 * WH_CALLWNDPROC hook and InitCommonControlsEx (before the window), the
 * per-user application-data folder (SHGetFolderPathW) and a second thread
 * waiting for thread messages (before the pause), the tray icon taken from
 * the program file's small shell icon (SHGetFileInfoW) and OSD.exe started
 * from the program folder with ShellExecuteW (after it). */
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string.h>

/* The GDI+ flat API, declared here: its headers are C++ only. */
typedef struct {
  UINT32 version;
  void* debugCallback;
  BOOL suppressBackgroundThread;
  BOOL suppressExternalCodecs;
} GdiplusStartupInputC;
int WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInputC* input, void* output);
void WINAPI GdiplusShutdown(ULONG_PTR token);
int WINAPI GdipLoadImageFromFileICM(const WCHAR* path, void** image);
int WINAPI GdipDisposeImage(void* image);
int WINAPI GdipCreateFromHDC(HDC dc, void** graphics);
int WINAPI GdipDeleteGraphics(void* graphics);
int WINAPI GdipDrawImagePointsI(void* graphics, void* image, const POINT* points, INT count);

typedef int(__cdecl* OpenMonitorFn)(HWND, UINT, UINT);
typedef int(__cdecl* VoidFn)(void);
typedef int(__cdecl* ReportFn)(unsigned char*, int);

enum {
  kDialSize = 185,
  kCentreLeft = 47,
  kCentreSize = 91,
  kButtons = 8,
  kMsgDeviceEvent = 1325,
  kMsgDeviceConnection = 1326,
  kMsgTray = 1036,
  kTrayId = 102,
  kTimerUpload = 502,
  kCommandExit = 6002
};

static const wchar_t kTitle[] = L"Zenqo_K27_Vistrane_Torv";
static const wchar_t kButtonClass[] = L"Rgn Button";

static wchar_t programFolder[MAX_PATH];
static wchar_t skinFolder[MAX_PATH];
static ULONG_PTR gdiplusToken;

static HMODULE deviceLibrary;
static OpenMonitorFn openDevMonitor;
static VoidFn closeDevMonitor;
static VoidFn openFeatureDevice;
static VoidFn closeFeatureDevice;
static ReportFn setFeature;
static ReportFn getFeature;

static void* dialImage;
static void* centreImages[9];
static void* segmentImages[9];
static int currentFunction;

typedef struct {
  HWND window;
  HBITMAP states[4]; /* normal, over, down, disabled, cut to the button */
} RegionButton;
static RegionButton buttons[kButtons];
static NOTIFYICONDATAW trayIcon;
static BOOL withSteps;
static HANDLE partsThread;
static DWORD partsThreadId;

/* ------------------------------------------------------------------------ */
/* The skin */

static void SkinPath(const wchar_t* key, wchar_t* path) {
  wchar_t ini[MAX_PATH];
  wchar_t name[MAX_PATH];
  lstrcpyW(ini, skinFolder);
  lstrcatW(ini, L"skin_scroll.ini");
  GetPrivateProfileStringW(L"SCREEN", key, L"", name, MAX_PATH, ini);
  lstrcpyW(path, skinFolder);
  lstrcatW(path, name);
}

/* A state picture decoded by OleLoadPicture into a bitmap of our own. */
static HBITMAP LoadPicture(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  DWORD size;
  DWORD read = 0;
  HGLOBAL memory;
  IStream* stream = NULL;
  IPicture* picture = NULL;
  OLE_HANDLE handle = 0;
  HBITMAP copy = NULL;
  if (file == INVALID_HANDLE_VALUE) return NULL;
  size = GetFileSize(file, NULL);
  memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (memory != NULL) {
    ReadFile(file, GlobalLock(memory), size, &read, NULL);
    GlobalUnlock(memory);
  }
  CloseHandle(file);
  if (memory == NULL) return NULL;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    GlobalFree(memory);
    return NULL;
  }
  if (SUCCEEDED(OleLoadPicture(stream, (LONG)size, FALSE, &IID_IPicture, (void**)&picture))) {
    if (SUCCEEDED(picture->lpVtbl->get_Handle(picture, &handle)) && handle != 0) {
      copy = (HBITMAP)CopyImage((HBITMAP)(UINT_PTR)handle, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    }
    picture->lpVtbl->Release(picture);
  }
  stream->lpVtbl->Release(stream);
  return copy;
}

/* The rectangle (x, y, w, h) of `source` as a bitmap of its own. */
static HBITMAP CutRect(HBITMAP source, int x, int y, int w, int h) {
  HDC screen = GetDC(NULL);
  HBITMAP cut = CreateCompatibleBitmap(screen, w, h);
  HDC to = CreateCompatibleDC(screen);
  HDC from = CreateCompatibleDC(screen);
  HGDIOBJ oldTo = SelectObject(to, cut);
  HGDIOBJ oldFrom = SelectObject(from, source);
  BitBlt(to, 0, 0, w, h, from, x, y, SRCCOPY);
  SelectObject(from, oldFrom);
  SelectObject(to, oldTo);
  DeleteDC(from);
  DeleteDC(to);
  ReleaseDC(NULL, screen);
  return cut;
}

/* The mask's non-white pixels as a region: one rectangle per run of a row. */
static HRGN MaskRegion(const wchar_t* path) {
  HBITMAP mask =
      (HBITMAP)LoadImageW(NULL, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
  BITMAP info;
  BITMAPINFOHEADER header;
  HDC dc;
  HBITMAP section;
  void* bits = NULL;
  HRGN region = NULL;
  RGNDATA* data;
  int w, h, x, y, count = 0, capacity;
  if (mask == NULL || !GetObjectW(mask, sizeof(info), &info)) return NULL;
  w = info.bmWidth;
  h = info.bmHeight;
  memset(&header, 0, sizeof(header));
  header.biSize = sizeof(header);
  header.biWidth = w;
  header.biHeight = -h;
  header.biPlanes = 1;
  header.biBitCount = 32;
  dc = CreateCompatibleDC(NULL);
  section = CreateDIBSection(dc, (BITMAPINFO*)&header, DIB_RGB_COLORS, &bits, NULL, 0);
  if (section != NULL) {
    HDC maskDc = CreateCompatibleDC(dc);
    HGDIOBJ oldSection = SelectObject(dc, section);
    HGDIOBJ oldMask = SelectObject(maskDc, mask);
    BitBlt(dc, 0, 0, w, h, maskDc, 0, 0, SRCCOPY);
    GdiFlush();
    SelectObject(maskDc, oldMask);
    SelectObject(dc, oldSection);
    DeleteDC(maskDc);
    capacity = w * h / 2 + 1;
    data =
        (RGNDATA*)HeapAlloc(GetProcessHeap(), 0, sizeof(RGNDATAHEADER) + capacity * sizeof(RECT));
    if (data != NULL) {
      RECT* rects = (RECT*)data->Buffer;
      for (y = 0; y < h; ++y) {
        const DWORD* row = (const DWORD*)bits + (size_t)y * w;
        for (x = 0; x < w;) {
          int start = x;
          while (x < w && (row[x] & 0xFFFFFF) != 0xFFFFFF) ++x;
          if (x > start) SetRect(&rects[count++], start, y, x, y + 1);
          ++x;
        }
      }
      data->rdh.dwSize = sizeof(RGNDATAHEADER);
      data->rdh.iType = RDH_RECTANGLES;
      data->rdh.nCount = (DWORD)count;
      data->rdh.nRgnSize = 0;
      SetRect(&data->rdh.rcBound, 0, 0, w, h);
      region = ExtCreateRegion(NULL, sizeof(RGNDATAHEADER) + count * sizeof(RECT), data);
      HeapFree(GetProcessHeap(), 0, data);
    }
    DeleteObject(section);
  }
  DeleteDC(dc);
  DeleteObject(mask);
  return region;
}

static LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    RegionButton* button = (RegionButton*)GetWindowLongPtrW(window, GWLP_USERDATA);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (button != NULL && button->states[0] != NULL) {
      HDC memory = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(memory, button->states[0]);
      RECT client;
      GetClientRect(window, &client);
      BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

static void LoadSkin(HWND window, HINSTANCE instance) {
  static const wchar_t* const kStates[4] = {L"Normal", L"Over", L"Down", L"Disable"};
  static const wchar_t* const kMasks[kButtons] = {
      L"yinliang_mask.bmp", L"intensity_mask.bmp",    L"updown_mask.bmp", L"leftright_mask.bmp",
      L"kuohao_mask.bmp",   L"scrollupdown_mask.bmp", L"fangda_mask.bmp", L"page_mask.bmp"};
  HBITMAP pictures[4];
  wchar_t ini[MAX_PATH];
  wchar_t path[MAX_PATH];
  WNDCLASSW wc;
  int i, s;
  for (s = 0; s < 4; ++s) {
    SkinPath(kStates[s], path);
    pictures[s] = LoadPicture(path);
  }
  memset(&wc, 0, sizeof(wc));
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = ButtonProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  wc.lpszClassName = kButtonClass;
  RegisterClassW(&wc);
  lstrcpyW(ini, skinFolder);
  lstrcatW(ini, L"skin_scroll.ini");
  for (i = 0; i < kButtons; ++i) {
    /* "<name>,x,y,w,h" */
    wchar_t key[4] = {(wchar_t)(L'1' + i), 0};
    wchar_t line[128];
    int v[4] = {0, 0, 0, 0};
    int field = -1;
    const wchar_t* c;
    HRGN shape;
    GetPrivateProfileStringW(L"BUTTONPOS", key, L"", line, 128, ini);
    for (c = line; *c != 0; ++c) {
      if (*c == L',') {
        if (++field > 3) break;
      } else if (field >= 0 && *c >= L'0' && *c <= L'9') {
        v[field] = v[field] * 10 + (*c - L'0');
      }
    }
    buttons[i].window = CreateWindowExW(0, kButtonClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                        v[0], v[1], v[2], v[3], window, NULL, instance, NULL);
    if (buttons[i].window == NULL) continue;
    SetWindowLongPtrW(buttons[i].window, GWLP_USERDATA, (LONG_PTR)&buttons[i]);
    for (s = 0; s < 4; ++s) {
      if (pictures[s] != NULL) buttons[i].states[s] = CutRect(pictures[s], v[0], v[1], v[2], v[3]);
    }
    lstrcpyW(path, skinFolder);
    lstrcatW(path, kMasks[i]);
    shape = MaskRegion(path);
    /* The masks have the button's size: the region is in its own pixels. */
    if (shape != NULL && !SetWindowRgn(buttons[i].window, shape, TRUE)) DeleteObject(shape);
  }
  for (s = 0; s < 4; ++s) {
    if (pictures[s] != NULL) DeleteObject(pictures[s]);
  }
}

/* ------------------------------------------------------------------------ */
/* The dial */

static void* LoadDialImage(const wchar_t* key) {
  wchar_t path[MAX_PATH];
  void* image = NULL;
  SkinPath(key, path);
  if (GdipLoadImageFromFileICM(path, &image) != 0) image = NULL;
  return image;
}

static void LoadDialImages(void) {
  wchar_t key[8];
  int n;
  dialImage = LoadDialImage(L"Mask");
  for (n = 0; n <= 8; ++n) {
    wsprintfW(key, L"Torv%d", n);
    centreImages[n] = LoadDialImage(key);
    if (n == 0) continue;
    wsprintfW(key, L"Button%d", n);
    segmentImages[n] = LoadDialImage(key);
  }
}

static void DrawOnto(void* graphics, void* image, int left, int size) {
  POINT corners[3];
  if (image == NULL) return;
  corners[0].x = left;
  corners[0].y = left;
  corners[1].x = left + size;
  corners[1].y = left;
  corners[2].x = left;
  corners[2].y = left + size;
  GdipDrawImagePointsI(graphics, image, corners, 3);
}

/* The dial, the centre picture and the sector drawn by GDI+ into a 32-bit
 * section, handed to the window with UpdateLayeredWindow. */
static void ComposeDial(HWND window) {
  BITMAPINFO info;
  void* bits = NULL;
  HDC memory;
  HBITMAP section;
  HGDIOBJ old;
  void* graphics = NULL;
  RECT place;
  POINT origin = {0, 0};
  POINT at;
  SIZE size = {kDialSize, kDialSize};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  if (dialImage == NULL) return;
  memset(&info, 0, sizeof(info));
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kDialSize;
  info.bmiHeader.biHeight = -kDialSize;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  memory = CreateCompatibleDC(NULL);
  section = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  if (section == NULL) {
    DeleteDC(memory);
    return;
  }
  old = SelectObject(memory, section);
  if (GdipCreateFromHDC(memory, &graphics) == 0) {
    DrawOnto(graphics, dialImage, 0, kDialSize);
    DrawOnto(graphics, centreImages[currentFunction], kCentreLeft, kCentreSize);
    if (currentFunction > 0) DrawOnto(graphics, segmentImages[currentFunction], 0, kDialSize);
    GdipDeleteGraphics(graphics);
  }
  GetWindowRect(window, &place);
  at.x = place.left;
  at.y = place.top;
  if ((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) == 0) {
    SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
  }
  UpdateLayeredWindow(window, memory, &at, &size, memory, &origin, 0, &blend, ULW_ALPHA);
  SelectObject(memory, old);
  DeleteObject(section);
  DeleteDC(memory);
}

/* ------------------------------------------------------------------------ */
/* The device */

static void BindDeviceLibrary(void) {
  wchar_t path[MAX_PATH];
  lstrcpyW(path, programFolder);
  lstrcatW(path, L"hiddriver.dll");
  deviceLibrary = LoadLibraryW(path);
  if (deviceLibrary == NULL) return;
  openDevMonitor = (OpenMonitorFn)(void*)GetProcAddress(deviceLibrary, "Open_DevMonitor");
  closeDevMonitor = (VoidFn)(void*)GetProcAddress(deviceLibrary, "Close_DevMonitor");
  openFeatureDevice = (VoidFn)(void*)GetProcAddress(deviceLibrary, "Open_FeatureDevice");
  closeFeatureDevice = (VoidFn)(void*)GetProcAddress(deviceLibrary, "Close_FeatureDevice");
  setFeature = (ReportFn)(void*)GetProcAddress(deviceLibrary, "SetFeature");
  getFeature = (ReportFn)(void*)GetProcAddress(deviceLibrary, "GetFeature");
}

/* One report, then the readiness poll: 100 ms, then the status until the
 * device is no longer busy (at most ten times). */
static void SendReport(unsigned char* report, int length) {
  int attempt;
  if (setFeature == NULL || getFeature == NULL || !setFeature(report, length)) return;
  for (attempt = 0; attempt < 10; ++attempt) {
    unsigned char status[3] = {0x04, 0, 0};
    Sleep(attempt == 0 ? 100 : 200);
    if (!getFeature(status, 3) || status[1] != 3) return;
  }
}

static void StartupUpload(void) {
  unsigned char uploadStart[8] = {0x04, 0x00, 0xFF, 0, 0, 0, 0, 0};
  unsigned char hostState[8] = {0x10, 0x08, 0x01, 0x00, 0, 0, 0, 0};
  SendReport(uploadStart, sizeof(uploadStart));
  SendReport(hostState, sizeof(hostState));
}

/* ------------------------------------------------------------------------ */
/* Torvo.exe's further steps, taken with the argument "steps" */

static LRESULT CALLBACK PassOn(int code, WPARAM wParam, LPARAM lParam) {
  return CallNextHookEx(NULL, code, wParam, lParam);
}

static DWORD WINAPI WaitForThreadMessages(LPVOID parameter) {
  MSG msg;
  (void)parameter;
  while (GetMessageW(&msg, NULL, 0, 0) > 0) {
  }
  return 0;
}

/* The hook and the common controls; comctl32.dll is bound here, not
 * imported, so that the plain mode never loads it. */
static void PartsBeforeWindow(HINSTANCE instance) {
  typedef BOOL(WINAPI * InitControlsFn)(const INITCOMMONCONTROLSEX*);
  INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), 0xFF};
  HMODULE comctl;
  InitControlsFn initControls;
  SetWindowsHookExW(WH_CALLWNDPROC, PassOn, instance, GetCurrentThreadId());
  comctl = LoadLibraryW(L"comctl32.dll");
  initControls =
      comctl != NULL ? (InitControlsFn)(void*)GetProcAddress(comctl, "InitCommonControlsEx") : NULL;
  if (initControls != NULL) initControls(&controls);
}

static void PartsBeforePause(void) {
  wchar_t folder[MAX_PATH];
  SHGetFolderPathW(NULL, CSIDL_APPDATA | CSIDL_FLAG_CREATE, NULL, 0, folder);
  partsThread = CreateThread(NULL, 4096, WaitForThreadMessages, NULL, 0, &partsThreadId);
}

static HICON ProgramFileIcon(void) {
  wchar_t path[MAX_PATH];
  SHFILEINFOW info;
  memset(&info, 0, sizeof(info));
  GetModuleFileNameW(NULL, path, MAX_PATH);
  SHGetFileInfoW(path, FILE_ATTRIBUTE_NORMAL, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON);
  return info.hIcon;
}

static void StartOsd(void) {
  wchar_t path[MAX_PATH];
  lstrcpyW(path, programFolder);
  lstrcatW(path, L"\\OSD.exe");
  ShellExecuteW(NULL, L"open", path, NULL, NULL, SW_SHOW);
}

static void PartsAtEnd(void) {
  if (partsThread == NULL) return;
  PostThreadMessageW(partsThreadId, WM_QUIT, 0, 0);
  WaitForSingleObject(partsThread, 1000);
  CloseHandle(partsThread);
}

/* ------------------------------------------------------------------------ */
/* The main window */

static int OnCreate(HWND window, HINSTANCE instance) {
  wchar_t* slash;
  SetWindowTextW(window, kTitle);
  GetModuleFileNameW(NULL, programFolder, MAX_PATH);
  slash = wcsrchr(programFolder, L'\\');
  if (slash != NULL) slash[1] = 0;
  lstrcpyW(skinFolder, programFolder);
  lstrcatW(skinFolder, L"skins\\");
  LoadSkin(window, instance);
  BindDeviceLibrary();
  if (withSteps) PartsBeforePause();
  Sleep(1000);
  if (openDevMonitor != NULL) openDevMonitor(window, kMsgDeviceEvent, kMsgDeviceConnection);
  if (openFeatureDevice != NULL && openFeatureDevice()) {
    SetTimer(window, kTimerUpload, 200, NULL);
    memset(&trayIcon, 0, sizeof(trayIcon));
    trayIcon.cbSize = sizeof(trayIcon);
    trayIcon.hWnd = window;
    trayIcon.uID = kTrayId;
    trayIcon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    trayIcon.uCallbackMessage = kMsgTray;
    trayIcon.hIcon = withSteps ? ProgramFileIcon() : LoadIconW(NULL, (LPCWSTR)IDI_APPLICATION);
    lstrcpyW(trayIcon.szTip, L"Torvo reference");
    Shell_NotifyIconW(NIM_ADD, &trayIcon);
  }
  if (withSteps) StartOsd();
  return 0;
}

static void OnDestroy(void) {
  int i, s;
  if (trayIcon.hWnd != NULL) Shell_NotifyIconW(NIM_DELETE, &trayIcon);
  if (closeDevMonitor != NULL) closeDevMonitor();
  if (closeFeatureDevice != NULL) closeFeatureDevice();
  if (deviceLibrary != NULL) FreeLibrary(deviceLibrary);
  PartsAtEnd();
  if (dialImage != NULL) GdipDisposeImage(dialImage);
  for (i = 0; i <= 8; ++i) {
    if (centreImages[i] != NULL) GdipDisposeImage(centreImages[i]);
    if (segmentImages[i] != NULL) GdipDisposeImage(segmentImages[i]);
  }
  for (i = 0; i < kButtons; ++i) {
    for (s = 0; s < 4; ++s) {
      if (buttons[i].states[s] != NULL) DeleteObject(buttons[i].states[s]);
    }
  }
  PostQuitMessage(0);
}

static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window, ((CREATESTRUCTW*)lParam)->hInstance);
    case WM_TIMER:
      if (wParam == kTimerUpload) {
        KillTimer(window, kTimerUpload);
        StartupUpload();
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      ComposeDial(window);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kCommandExit) PostMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR arguments, int show) {
  GdiplusStartupInputC input = {1, NULL, FALSE, FALSE};
  WNDCLASSW wc;
  HWND window;
  MSG msg;
  (void)previous;
  (void)show;
  withSteps = arguments != NULL && wcsstr(arguments, L"steps") != NULL;
  if (withSteps) PartsBeforeWindow(instance);
  CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
  if (GdiplusStartup(&gdiplusToken, &input, NULL) != 0) gdiplusToken = 0;
  memset(&wc, 0, sizeof(wc));
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance;
  wc.lpszClassName = L"TorvoLeanReference";
  RegisterClassW(&wc);
  window = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, kDialSize,
                           kDialSize, NULL, NULL, instance, NULL);
  if (window == NULL) return 1;
  SetWindowPos(window, HWND_TOPMOST, GetSystemMetrics(SM_CXFULLSCREEN) - kDialSize,
               GetSystemMetrics(SM_CYFULLSCREEN) - kDialSize, kDialSize, kDialSize,
               SWP_NOSIZE | SWP_HIDEWINDOW);
  if (gdiplusToken != 0) LoadDialImages();
  ComposeDial(window);
  while (GetMessageW(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (gdiplusToken != 0) GdiplusShutdown(gdiplusToken);
  CoUninitialize();
  return (int)msg.wParam;
}
