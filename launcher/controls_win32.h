#pragma once
// The launcher's two kinds of child control: push buttons and picture panels, in fixed
// process-wide tables filled once at start-up in row order.
#include <windows.h>

#include <cstdint>
#include <functional>

#include <boost/unordered_map.hpp>

#include "image/image.h"
#include "launcher/layout_table.h"
#include "launcher/slot_counter.h"

using ClickHandler = void (*)(uintptr_t data);

struct ButtonControl {
  HWND window = nullptr;
  ClickHandler onClick = nullptr;
  uintptr_t userData = 0;  // the address of the button's LayoutRow
  int x = 0, y = 0, width = 0, height = 0;  // logical place and size, for a DPI change
  ButtonControl();
  ~ButtonControl();
  ButtonControl(const ButtonControl&) = delete;
  ButtonControl& operator=(const ButtonControl&) = delete;
};

struct ImagePanel {
  WNDPROC previousProc = nullptr;
  HWND window = nullptr;
  int logicalX = 0, logicalY = 0;
  int logicalWidth = 0, logicalHeight = 0;
  HDC memoryDC = nullptr;
  HBITMAP bitmap = nullptr;
  uint8_t* bits = nullptr;
  limg::Image* original = nullptr;  // the decoded picture, drawn again when the DPI changes
  ImagePanel();
  ~ImagePanel();
  ImagePanel(const ImagePanel&) = delete;
  ImagePanel& operator=(const ImagePanel&) = delete;
};

extern ButtonControl buttonTable[kButtonSlots];
extern ImagePanel panelTable[kPanelSlots];
extern boost::unordered_map<uintptr_t, ButtonControl*> buttonByHandle;

void createButton(ButtonControl& slot, HWND parent, const char* caption, int x, int y, int width, int height);
void setClickHandler(ButtonControl& slot, ClickHandler callback, uintptr_t data);
void click(ButtonControl& slot);
void createPanel(ImagePanel& slot, HWND parent, int x, int y, int width, int height);
void paintPanel(ImagePanel& slot);
void paintAllPanels();
LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What start-up calls for a "btn" and an "img" row. addPanelFromRow is false when the
// row's picture can't be loaded (its messages have been shown).
void addButtonFromRow(const LayoutRow& row);
bool addPanelFromRow(const LayoutRow& row);

// Computes the DPI scale from the screen unless it is already set.
void computeDpiScale();
// Takes the DPI scale of the monitor where the system has per-monitor DPI (Windows 8.1 and
// later); elsewhere the screen's scale stays.
void takeMonitorDpi(HMONITOR monitor);

// Every button and panel placed, sized and drawn again at the current scale, with uiFont:
// what a fresh start at that scale would give. alongside runs on this thread while other
// processors draw the pictures; it must not paint the panels.
void relayoutControls(const std::function<void()>& alongside);
