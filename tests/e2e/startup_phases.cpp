// The picture path of the launcher's start-up, timed phase by phase on the real calls:
// loadFile (read and unscramble), ImageLoadFromMemory (decode), ImageResizeInPlace at the
// screen's DPI (resize), the copy into a DIB section (copy), for every "img" row of the
// layout in the current directory. Run under Wine beside the benchmark's Launcher.dat.
//   startup_phases RUNS   prints the median milliseconds of each phase summed over the rows
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "image/resize.h"
#include "launcher/dpi_scale.h"
#include "launcher/layout_table.h"
#include "launcher/picture.h"
#include "pack/packed_data_file.h"

using namespace limg;

namespace {
double nowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}
double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  HDC screen = GetDC(nullptr);
  setDpiScaleOnce(GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY));
  openIndex();
  LayoutTable table;
  if (!loadLayoutTable("Launcher/Launcher.csv", ',', 6, table)) return 1;
  std::vector<double> read, decode, resize, copy;
  for (int run = 0; run < runs; ++run) {
    double r = 0, d = 0, z = 0, c = 0;
    for (const LayoutRow& row : table) {
      if (row[0] != "img") continue;
      double t0 = nowMs();
      uint32_t size = 0;
      if (!loadFileToScratch(row[1].c_str(), &size)) return 1;
      double t1 = nowMs();
      Image* picture = ImageLoadFromMemory(packedData.scratch.data, int32_t(size));
      if (!picture) return 1;
      double t2 = nowMs();
      const int w = scaleX(picture->width), h = scaleY(picture->height);
      ImageResizeInPlace(&picture, dpiScaleX, dpiScaleY, kResizeFactor, kFilterBilinear, kFilterBilinear);
      double t3 = nowMs();
      BITMAPINFO info = {};
      info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      info.bmiHeader.biWidth = w;
      info.bmiHeader.biHeight = -h;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      void* bits = nullptr;
      HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
      double t4 = nowMs();
      copyPictureToBitmap(picture, static_cast<uint8_t*>(bits), w, h);
      double t5 = nowMs();
      ImageDestroy(&picture);
      DeleteObject(bitmap);
      r += t1 - t0, d += t2 - t1, z += t3 - t2, c += t5 - t4;
    }
    read.push_back(r), decode.push_back(d), resize.push_back(z), copy.push_back(c);
  }
  ReleaseDC(nullptr, screen);
  std::printf("dpi scale %.2f: read %.1f ms, decode %.1f ms, resize %.1f ms, copy %.1f ms (medians of %d)\n",
              dpiScaleX, median(read), median(decode), median(resize), median(copy), runs);
  return 0;
}
