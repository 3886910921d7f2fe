#include "launcher/error_box.h"

#include <gtest/gtest.h>

#include <climits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "launcher/module_directory.h"

TEST(CentreBox, CentresOnMainWindowLargerThan320By240) {
  // 640 x 480 main window at (100, 50), box 300 x 120 somewhere else.
  const BoxPlacement p = centreBoxPlacement({100, 50, 740, 530}, {0, 0, 300, 120});
  EXPECT_TRUE(p.move);
  EXPECT_EQ(p.x, 100 + 170);
  EXPECT_EQ(p.y, 50 + 180);
}

TEST(CentreBox, SmallMainWindowLeavesTheBoxAlone) {
  EXPECT_FALSE(centreBoxPlacement({0, 0, 320, 480}, {0, 0, 100, 100}).move);  // exactly 320 wide
  EXPECT_FALSE(centreBoxPlacement({0, 0, 640, 240}, {0, 0, 100, 100}).move);  // exactly 240 high
  EXPECT_TRUE(centreBoxPlacement({0, 0, 321, 241}, {0, 0, 100, 100}).move);
}

TEST(CentreBox, OddDifferencesTruncateTowardZero) {
  // Box wider than the window: (-101) / 2 is -50, not -51.
  const BoxPlacement p = centreBoxPlacement({10, 10, 410, 310}, {0, 0, 501, 403});
  EXPECT_EQ(p.x, 10 - 50);
  EXPECT_EQ(p.y, 10 - 51);
}

TEST(CentreBox, SizesBeyondAnIntDoNotWrap) {
  // A main window from INT_MIN to INT_MAX is 2^32 - 1 wide, not -1.
  const BoxPlacement p = centreBoxPlacement({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, 300, 120});
  EXPECT_TRUE(p.move);
  EXPECT_EQ(p.x, -151);  // INT_MIN + (4294967295 - 300) / 2
  EXPECT_EQ(p.y, -61);
  const BoxPlacement far = centreBoxPlacement({INT_MAX - 400, 0, INT_MAX, 300}, {INT_MAX, 0, INT_MIN, 100});
  EXPECT_EQ(far.x, INT_MAX);  // clamped, not wrapped
}

TEST(ErrorBoxSink, CapturesTheExactBytes) {
  std::string seen;
  setErrorBoxSink([&](const std::string& text) { seen = text; });
  ShowErrorBox(std::string("a\0b\x83\x5C", 5));
  setErrorBoxSink(nullptr);
  EXPECT_EQ(seen, std::string("a\0b\x83\x5C", 5));
}

TEST(ErrorBoxSink, WideTextsAndWhereTheyGo) {
  // Without a wide sink, a UTF-16 text reaches the byte sink in code page 932, "?" for each
  // character (a surrogate pair counting as one) that the code page lacks.
  std::string bytes;
  setErrorBoxSink([&](const std::string& text) { bytes = text; });
  ShowErrorBox(u"C:/게임 é😀/表.exe");
  EXPECT_EQ(bytes, "C:/?" "? ?" "?/\x95\x5C.exe");
  // With one, every text arrives as UTF-16: bytes through the table, bad bytes as U+30FB.
  std::u16string seen;
  setWideErrorBoxSink([&](const std::u16string& text) { seen = text; });
  ShowErrorBox(std::string("\x95\x5C \x85\x40"));
  EXPECT_EQ(seen, u"表 ・@");
  const std::u16string korean = u"게임";  // outside the macro, whose text is code page 932
  ShowErrorBox(korean);
  EXPECT_EQ(seen, korean);
  setWideErrorBoxSink(nullptr);
  setErrorBoxSink(nullptr);
}

TEST(ModuleDirectory, CutsAfterLastSeparatorAndTurnsBackslashes) {
  const struct {
    std::u16string path;
    bool found;
    std::u16string directory;
  } cases[] = {
      {u"C:\\Games\\X\\Launcher.exe", true, u"C:/Games/X/"},
      {u"C:/a\\b/c.exe", true, u"C:/a/b/"},
      {u"C:\\表\\game.exe", true, u"C:/表/"},  // 表 is 0x95 0x5C in code page 932
      {u"C:\\게임 é 😀\\Launcher.exe", true, u"C:/게임 é 😀/"},
      {u"\\\\?\\C:\\" + std::u16string(300, u'd') + u"\\L.exe", true,
       u"//?/C:/" + std::u16string(300, u'd') + u"/"},
      {u"Launcher.exe", false, u"Launcher.exe"},
  };
  for (const auto& c : cases) {
    std::u16string path = c.path;
    EXPECT_EQ(moduleDirectoryFromPath(path), c.found);
    EXPECT_EQ(path, c.directory);
  }
}

// Whatever a step raises ends in the memory box and the fallback; a step that returns
// normally shows nothing.
TEST(ErrorBoxSink, StepsThatRaiseShowTheMemoryBox) {
  struct Row {
    const char* label;
    int (*step)();
    int result;
    bool box;
  };
  const Row kRows[] = {
      {"returns", [] { return 7; }, 7, false},
      {"out of memory", []() -> int { throw std::bad_alloc(); }, -1, true},
      {"length error", []() -> int { return int(std::string().substr(1).size()); }, -1, true},
      {"text exception", []() -> int { throw std::runtime_error("SaveTLG6: Insufficient memory"); }, -1, true},
  };
  for (const Row& row : kRows) {
    std::vector<std::string> boxes;
    setErrorBoxSink([&](const std::string& text) { boxes.push_back(text); });
    const int result = runShowingMemoryBox(row.step, -1);
    setErrorBoxSink(nullptr);
    EXPECT_EQ(result, row.result) << row.label;
    if (row.box) {
      ASSERT_EQ(boxes.size(), 1u) << row.label;
      EXPECT_EQ(boxes[0], "メモリを確保出来ませんでした") << row.label;
    } else {
      EXPECT_TRUE(boxes.empty()) << row.label;
    }
  }
}
