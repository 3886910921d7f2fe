// Push buttons and picture panels (Win32 side); their geometry comes from control_rows.
#include "launcher/controls_win32.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "launcher/app_state.h"
#include "launcher/button_action_win32.h"
#include "launcher/control_rows.h"
#include "launcher/cp932.h"
#include "launcher/dpi_scale.h"
#include "launcher/error_box.h"
#include "launcher/picture.h"
#include "launcher/wide_win32.h"

using namespace limg;

ButtonControl buttonTable[kButtonSlots];
ImagePanel panelTable[kPanelSlots];
boost::unordered_map<uintptr_t, ButtonControl*> buttonByHandle;

namespace {
SlotCounter buttonSlots(kButtonSlots, kTooManyButtonsMessage);
SlotCounter panelSlots(kPanelSlots, kTooManyPanelsMessage);
}  // namespace

void computeDpiScale() {
  if (dpiScaleX != 0.0 && dpiScaleY != 0.0) return;
  HDC screen = GetDC(nullptr);
  setDpiScaleOnce(GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
}

void takeMonitorDpi(HMONITOR monitor) {
  // GetDpiForMonitor is looked up at run time, so the program still starts where shcore
  // doesn't exist (Windows XP to 8); loaded by full path from the system directory.
  using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const GetDpiForMonitorFunction getDpiForMonitor = []() -> GetDpiForMonitorFunction {
    wchar_t path[MAX_PATH + 16];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    lstrcpyW(path + length, L"\\shcore.dll");
    const HMODULE shcore = LoadLibraryW(path);
    if (!shcore) return nullptr;
    return reinterpret_cast<GetDpiForMonitorFunction>(reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
  }();
  const int effectiveDpi = 0;  // MDT_EFFECTIVE_DPI
  UINT x = 0, y = 0;
  if (getDpiForMonitor && monitor && SUCCEEDED(getDpiForMonitor(monitor, effectiveDpi, &x, &y)))
    setDpiScale(int(x), int(y));
}

ButtonControl::ButtonControl() { computeDpiScale(); }
ButtonControl::~ButtonControl() {
  if (window) DestroyWindow(window);
}

ImagePanel::ImagePanel() { computeDpiScale(); }
ImagePanel::~ImagePanel() {
  if (memoryDC) DeleteDC(memoryDC);
  if (bitmap) DeleteObject(bitmap);
  if (window) DestroyWindow(window);
  ImageDestroy(&original);
}

void createButton(ButtonControl& slot, HWND parent, const char* caption, int x, int y, int width, int height) {
  slot.x = x, slot.y = y, slot.width = width, slot.height = height;
  const DeviceRect r = scaledRect(x, y, width, height);
  const std::u16string text = cp932ToUtf16(caption);  // bad bytes show as U+30FB
  slot.window = CreateWindowExW(0, L"Button", wide(text), WS_CHILD | WS_VISIBLE, r.x, r.y, r.width, r.height, parent,
                                nullptr, appInstance, nullptr);
  if (!slot.window) {
    ShowErrorBox("WC_BUTTON");
    return;
  }
  SendMessageW(slot.window, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont), FALSE);
  buttonByHandle[reinterpret_cast<uintptr_t>(slot.window)] = &slot;
}

void setClickHandler(ButtonControl& slot, ClickHandler callback, uintptr_t data) {
  slot.onClick = callback;
  slot.userData = data;
}

void click(ButtonControl& slot) {
  if (slot.onClick) slot.onClick(slot.userData);
}

void addButtonFromRow(const LayoutRow& row) {
  const int slot = buttonSlots.take();
  if (slot < 0) return;  // reported once; the row is skipped
  const ButtonGeometry g = buttonGeometryFromRow(row);
  createButton(buttonTable[slot], mainWindow, row[1].c_str(), g.x, g.y, g.width, g.height);
  setClickHandler(buttonTable[slot], runButtonAction, reinterpret_cast<uintptr_t>(&row));
}

namespace {

void fillPanelWhite(uint8_t* bits, int width, int height) {
  if (bits && width > 0 && height > 0) std::memset(bits, 0xFF, std::size_t(height) * std::size_t(width) * 4);
}

// A DIB section of the panel's size at the current scale, selected into memoryDC in place
// of the one before, which is deleted. Filled white when asked (at creation; a DPI change
// fills it only where the picture doesn't cover it).
void makePanelBitmap(ImagePanel& slot, HDC windowDC, bool fillWhite) {
  const int deviceWidth = scaleX(slot.logicalWidth), deviceHeight = scaleY(slot.logicalHeight);
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = deviceWidth;
  info.bmiHeader.biHeight = -deviceHeight;  // rows top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  slot.bits = nullptr;  // nothing is drawn into a bitmap of another size
  if (!bitmap) return;  // a bitmap from before stays shown as it is
  if (fillWhite) fillPanelWhite(static_cast<uint8_t*>(bits), deviceWidth, deviceHeight);
  if (slot.memoryDC) SelectObject(slot.memoryDC, bitmap);
  if (slot.bitmap) DeleteObject(slot.bitmap);  // the new one has taken its place in memoryDC
  slot.bitmap = bitmap;
  slot.bits = static_cast<uint8_t*>(bits);
}

bool drawPanelPicture(ImagePanel& slot) {
  return drawPictureAtScale(slot.original, dpiScaleX, dpiScaleY, slot.bits, scaleX(slot.logicalWidth),
                            scaleY(slot.logicalHeight));
}

}  // namespace

void createPanel(ImagePanel& slot, HWND parent, int x, int y, int width, int height) {
  const DeviceRect r = scaledRect(x, y, width, height);
  slot.window = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE, r.x, r.y, r.width, r.height, parent, nullptr,
                                appInstance, nullptr);
  if (!slot.window) {
    ShowErrorBox("WC_STATIC");
    return;
  }
  SendMessageW(slot.window, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont), FALSE);
  SetWindowLongPtrW(slot.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&slot));
  slot.previousProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(slot.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PanelProc)));
  HDC windowDC = GetDC(slot.window);
  slot.memoryDC = CreateCompatibleDC(windowDC);
  slot.logicalX = x, slot.logicalY = y;
  slot.logicalWidth = width;
  slot.logicalHeight = height;
  makePanelBitmap(slot, windowDC, true);
  ReleaseDC(slot.window, windowDC);
}

void paintPanel(ImagePanel& slot) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(slot.window, &paint);
  BitBlt(dc, 0, 0, scaleX(slot.logicalWidth), scaleY(slot.logicalHeight), slot.memoryDC, 0, 0, SRCCOPY);
  EndPaint(slot.window, &paint);
}

namespace {

// The panels made so far: the table fills from its start.
int panelCount() {
  int count = 0;
  while (count < kPanelSlots && panelTable[count].window) ++count;
  return count;
}

// The panel's update region in screen coordinates; null when it has none (or no region
// could be had).
HRGN updateRegionOnScreen(const ImagePanel& slot) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  if (!region) return nullptr;
  POINT origin = {0, 0};
  if (GetUpdateRgn(slot.window, region, FALSE) <= NULLREGION || !ClientToScreen(slot.window, &origin)) {
    DeleteObject(region);
    return nullptr;
  }
  OffsetRgn(region, origin.x, origin.y);
  return region;
}

}  // namespace

void paintAllPanels() {
  const int count = panelCount();
  // Panels are painted in table order, each over the ones before: a panel whose whole update
  // region later panels paint over (with bitmaps of their windows' size) would leave no pixel
  // of its own on the screen, so it is only validated. Eight full-window pictures cost one
  // copy to the screen instead of eight.
  bool hidden[kPanelSlots] = {};
  HRGN later = CreateRectRgn(0, 0, 0, 0);
  for (int i = count - 1; i >= 0 && later; --i) {
    const HRGN own = updateRegionOnScreen(panelTable[i]);
    if (!own) continue;
    const HRGN uncovered = CreateRectRgn(0, 0, 0, 0);
    hidden[i] = uncovered && CombineRgn(uncovered, own, later, RGN_DIFF) == NULLREGION;
    if (uncovered) DeleteObject(uncovered);
    if (panelTable[i].bits) CombineRgn(later, later, own, RGN_OR);
    DeleteObject(own);
  }
  if (later) DeleteObject(later);
  for (int i = 0; i < count; ++i) {
    if (hidden[i])
      ValidateRect(panelTable[i].window, nullptr);
    else
      paintPanel(panelTable[i]);
  }
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND parent = reinterpret_cast<HWND>(GetWindowLongPtrW(window, GWLP_HWNDPARENT));
  const WNDPROC parentProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(parent, GWLP_WNDPROC));
  const ImagePanel* slot = reinterpret_cast<const ImagePanel*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!slot || !slot->previousProc || !parentProc) return DefWindowProcW(window, message, wParam, lParam);
  CallWindowProcW(slot->previousProc, window, message, wParam, lParam);
  return CallWindowProcW(parentProc, window, message, wParam, lParam);
}

bool addPanelFromRow(const LayoutRow& row) {
  const int slot = panelSlots.take();
  if (slot < 0) return true;  // reported once; the row is skipped and start-up goes on
  Image* picture = loadPicture(row[1].c_str());
  if (!picture) return false;
  ImagePanel& panel = panelTable[slot];
  const PanelOrigin at = panelOriginFromRow(row);
  createPanel(panel, mainWindow, at.x, at.y, picture->width, picture->height);
  panel.original = picture;  // kept: a DPI change resizes from it again
  drawPanelPicture(panel);
  return true;
}

namespace {

// A panel's picture drawn again into its new bitmap; white below where it leaves a part.
void redrawPanelPicture(ImagePanel& slot) {
  try {
    if (drawPanelPicture(slot)) return;
    fillPanelWhite(slot.bits, scaleX(slot.logicalWidth), scaleY(slot.logicalHeight));
    drawPanelPicture(slot);
  } catch (const std::bad_alloc&) {  // what is drawn stays; nothing may leave a worker thread
  }
}

// The panels to draw again, shared among the processors: each thread takes the next panel
// until none is left. This thread queues them while it makes their bitmaps, so the others
// start on the first while the rest are made. A job touches its own panel's bits alone.
constexpr DWORD kMostDrawThreads = kPanelSlots;  // one per panel at most

struct PanelJobs {
  ImagePanel* panels[kPanelSlots];
  volatile LONG count = 0;     // queued so far
  volatile LONG complete = 0;  // 1 once every panel is queued
  volatile LONG next = 0;
};

void queueJob(PanelJobs& jobs, ImagePanel& slot) {
  jobs.panels[jobs.count] = &slot;
  InterlockedIncrement(&jobs.count);  // publishes the entry
}

// The next queued panel, waiting while more may come; null once none is left.
ImagePanel* takeJob(PanelJobs& jobs) {
  const LONG i = InterlockedIncrement(&jobs.next) - 1;
  for (;;) {
    const bool complete = InterlockedCompareExchange(&jobs.complete, 0, 0) != 0;  // before count
    if (i < InterlockedCompareExchange(&jobs.count, 0, 0)) return jobs.panels[i];
    if (complete) return nullptr;
    SwitchToThread();
  }
}

DWORD WINAPI runPanelJobs(void* argument) {
  PanelJobs& jobs = *static_cast<PanelJobs*>(argument);
  while (ImagePanel* slot = takeJob(jobs)) redrawPanelPicture(*slot);
  return 0;
}

// Helper threads for `panels` jobs, one per further processor; a thread that can't be had
// leaves its share to the others. They are waited for at the end, the queue then marked
// complete in case this thread left it early.
struct JobThreads {
  PanelJobs& jobs;
  HANDLE threads[kMostDrawThreads];
  int started = 0;
  JobThreads(PanelJobs& queue, int panels) : jobs(queue) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const int helpers = std::min(int(std::min(system.dwNumberOfProcessors, kMostDrawThreads)), panels) - 1;
    for (; started < helpers; ++started) {
      threads[started] = CreateThread(nullptr, 0, runPanelJobs, &jobs, 0, nullptr);
      if (!threads[started]) break;
    }
  }
  ~JobThreads() {
    InterlockedExchange(&jobs.complete, 1);
    if (started > 0) WaitForMultipleObjects(DWORD(started), threads, TRUE, INFINITE);
    for (int i = 0; i < started; ++i) CloseHandle(threads[i]);
  }
  JobThreads(const JobThreads&) = delete;
  JobThreads& operator=(const JobThreads&) = delete;
};

}  // namespace

void relayoutControls(const std::function<void()>& alongside) {
  const int panels = panelCount();
  // Resizing the pictures (and the first writes into the new bitmaps' memory) is most of a
  // DPI change's time; the panels are independent, so the processors share them.
  PanelJobs jobs;
  {
    JobThreads helpers(jobs, panels);
    // The caller repaints the whole window afterwards: no copying or painting per move.
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS | SWP_NOREDRAW;
    for (ButtonControl& slot : buttonTable) {
      if (!slot.window) continue;
      const DeviceRect r = scaledRect(slot.x, slot.y, slot.width, slot.height);
      SetWindowPos(slot.window, nullptr, r.x, r.y, r.width, r.height, flags);
      SendMessageW(slot.window, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont), FALSE);
    }
    for (int i = 0; i < panels; ++i) {
      ImagePanel& slot = panelTable[i];
      const DeviceRect r = scaledRect(slot.logicalX, slot.logicalY, slot.logicalWidth, slot.logicalHeight);
      SetWindowPos(slot.window, nullptr, r.x, r.y, r.width, r.height, flags);
      SendMessageW(slot.window, WM_SETFONT, reinterpret_cast<WPARAM>(uiFont), FALSE);
      HDC windowDC = GetDC(slot.window);
      makePanelBitmap(slot, windowDC, false);
      ReleaseDC(slot.window, windowDC);
      if (slot.bits) queueJob(jobs, slot);
    }
    InterlockedExchange(&jobs.complete, 1);
    alongside();
    runPanelJobs(&jobs);
  }  // the helpers are waited for
}
