// Push buttons and picture panels (Win32 side); their geometry comes from control_rows.
#include "launcher/controls_win32.h"

#include <cstring>

#include "image/resize.h"
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

ButtonControl::ButtonControl() { computeDpiScale(); }
ButtonControl::~ButtonControl() {
  if (window) DestroyWindow(window);
}

ImagePanel::ImagePanel() { computeDpiScale(); }
ImagePanel::~ImagePanel() {
  if (memoryDC) DeleteDC(memoryDC);
  if (bitmap) DeleteObject(bitmap);
  if (window) DestroyWindow(window);
}

void createButton(ButtonControl& slot, HWND parent, const char* caption, int x, int y, int width, int height) {
  const std::u16string text = cp932ToUtf16(caption);  // bad bytes show as U+30FB
  slot.window = CreateWindowExW(0, L"Button", wide(text), WS_CHILD | WS_VISIBLE, scaleX(x), scaleY(y), scaleX(width),
                                scaleY(height), parent, nullptr, appInstance, nullptr);
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

void createPanel(ImagePanel& slot, HWND parent, int x, int y, int width, int height) {
  slot.window = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE, scaleX(x), scaleY(y), scaleX(width),
                                scaleY(height), parent, nullptr, appInstance, nullptr);
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
  slot.logicalWidth = width;
  slot.logicalHeight = height;
  const int deviceWidth = scaleX(width), deviceHeight = scaleY(height);
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = deviceWidth;
  info.bmiHeader.biHeight = -deviceHeight;  // rows top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  slot.bitmap = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  slot.bits = slot.bitmap ? static_cast<uint8_t*>(bits) : nullptr;
  if (slot.bits && deviceWidth > 0 && deviceHeight > 0)
    std::memset(slot.bits, 0xFF, std::size_t(deviceHeight) * std::size_t(deviceWidth) * 4);
  ReleaseDC(slot.window, windowDC);
  if (slot.memoryDC && slot.bitmap) SelectObject(slot.memoryDC, slot.bitmap);
}

void paintPanel(ImagePanel& slot) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(slot.window, &paint);
  BitBlt(dc, 0, 0, scaleX(slot.logicalWidth), scaleY(slot.logicalHeight), slot.memoryDC, 0, 0, SRCCOPY);
  EndPaint(slot.window, &paint);
}

void paintAllPanels() {
  for (ImagePanel& slot : panelTable) {
    if (!slot.window) break;
    paintPanel(slot);
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
  ImageResizeInPlace(&picture, dpiScaleX, dpiScaleY, kResizeFactor, kFilterBilinear, kFilterBilinear);
  copyPictureToBitmap(picture, panel.bits, scaleX(panel.logicalWidth), scaleY(panel.logicalHeight));
  ImageDestroy(&picture);
  return true;
}
