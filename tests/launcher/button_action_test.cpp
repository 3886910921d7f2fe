// The button action against a recording platform: the order of the checks, the exact
// texts (Shift-JIS bytes, or UTF-16 where the program directory has characters outside code
// page 932), what is started with which parameters, and the quit flag. The platform logs
// paths in UTF-8.
#include "launcher/button_action.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "launcher/cp932.h"
#include "launcher/error_box.h"

namespace {

const char kLibraryBytes[] =
    "\x44\x69\x72\x65\x63\x74\x58\x39\x2e\x30\x63\x20\x82\xaa\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82"
    "\xb3\x82\xea\x82\xc4\x82\xa2\x82\xc8\x82\xa2\x82\xcc\x82\xc5\x8b\x4e\x93\xae\x8f\x6f\x97\x88\x82\xdc\x82\xb9"
    "\x82\xf1\x81\x42\x0a\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x89\x81\x5b\x82\xa9\x82\xe7\x81\x75\x44\x69"
    "\x72\x65\x63\x74\x58\x81\x76\x82\xf0\x82\xcc\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xb5\x82\xc4"
    "\x89\xba\x82\xb3\x82\xa2\x81\x42";
const char kMissingSuffixBytes[] =
    "\x20\x82\xaa\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81\x42\x0a\x8d\xc4\x83\x43\x83\x93\x83\x58\x83"
    "\x67\x81\x5b\x83\x8b\x82\xf0\x8d\x73\x82\xc1\x82\xc4\x89\xba\x82\xb3\x82\xa2\x81\x42";
const char16_t kModule[] = u"C:/Games/X/";
const char kSystem[] = "C:\\WINDOWS\\system32";

struct Fake {
  std::set<std::string> existing = {"game.exe", "bin/game.exe", "a.exe b.exe", "manual.html",
                                    "C:\\WINDOWS\\system32\\d3dx9_43.dll", "C:\\WINDOWS\\system32\\"};
  std::string systemDirectory = kSystem;
  std::vector<std::string> events;
  ActionPlatform platform() {
    return {[this] {
              std::u16string directory;
              EXPECT_TRUE(utf8ToUtf16(systemDirectory, directory));
              return directory;
            },
            [this](const std::u16string& path) {
              events.push_back("exists? " + utf16ToUtf8(path));
              return existing.count(utf16ToUtf8(path)) > 0;
            },
            [this](const std::u16string& file, const std::u16string* parameters) {
              events.push_back("start " + utf16ToUtf8(file) +
                               (parameters ? " [" + utf16ToUtf8(*parameters) + "]" : std::string(" null")));
            },
            [this] { events.push_back("quit"); }};
  }
};

struct ClickRun {
  Fake fake;
  std::u16string module = kModule;
  std::vector<std::string> boxes;  // in code page 932 where it has every character
  std::vector<std::u16string> wideBoxes;
  ClickRun() {
    setWideErrorBoxSink([this](const std::u16string& text) {
      wideBoxes.push_back(text);
      std::string bytes;
      boxes.push_back(utf16ToCp932(text, bytes) ? bytes : "(not code page 932)");
    });
  }
  ~ClickRun() { setWideErrorBoxSink(nullptr); }
  void click(const LayoutRow& row) { runButtonActionWith(row, module, fake.platform()); }
  void click(const std::string& command, const std::string& flags) {
    click(LayoutRow{"btn", "Caption", "0", "0", command, flags});
  }
  bool started() const {
    for (const std::string& e : fake.events)
      if (e.rfind("start ", 0) == 0) return true;
    return false;
  }
};

}  // namespace

TEST(ButtonAction, TextsAreTheShiftJisBytes) {
  EXPECT_STREQ(kLibraryMissingMessage, kLibraryBytes);
  EXPECT_EQ(std::strlen(kLibraryMissingMessage), 116u);
  EXPECT_STREQ(kTargetMissingSuffix, kMissingSuffixBytes);
}

TEST(ButtonAction, PlainTargetStartsWithNullParameters) {
  ClickRun run;
  run.click("game.exe", "0");
  const std::vector<std::string> expected = {"exists? game.exe", "start C:/Games/X/game.exe null"};
  EXPECT_EQ(run.fake.events, expected);
  EXPECT_TRUE(run.boxes.empty());
}

TEST(ButtonAction, SplitsAtTheSpaceAfterTheLastExe) {
  ClickRun run;
  run.click("bin/game.exe -window", "0");
  run.click("game.exe ", "0");  // empty parameters, not null
  run.click("a.exe b.exe c", "0");
  const std::vector<std::string> expected = {
      "exists? bin/game.exe", "start C:/Games/X/bin/game.exe [-window]", "exists? game.exe",
      "start C:/Games/X/game.exe []",  "exists? a.exe b.exe",  "start C:/Games/X/a.exe b.exe [c]"};
  EXPECT_EQ(run.fake.events, expected);
}

TEST(ButtonAction, DocumentsStartWithTheDefaultVerb) {
  ClickRun run;
  run.click("manual.html", "1");
  const std::vector<std::string> expected = {"exists? manual.html", "start C:/Games/X/manual.html null", "quit"};
  EXPECT_EQ(run.fake.events, expected);
}

TEST(ButtonAction, MissingTargetShowsTheFullPathAndNeitherStartsNorQuits) {
  ClickRun run;
  run.click("game.EXE -x", "1");  // upper case does not match: the whole command is the target
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0], std::string("C:/Games/X/game.EXE -x") + kMissingSuffixBytes);
  const std::vector<std::string> expected = {"exists? game.EXE -x"};
  EXPECT_EQ(run.fake.events, expected);
}

TEST(ButtonAction, QuitFlagIsBitZero) {
  for (const auto& [flags, quits] : std::vector<std::pair<std::string, bool>>{
           {"1", true}, {"3", true}, {"2", false}, {"0", false}, {"", false}, {" 1", true}}) {
    ClickRun run;
    run.click("", flags);
    EXPECT_EQ(run.fake.events == std::vector<std::string>{"quit"}, quits) << flags;
    EXPECT_EQ(run.fake.events.empty(), !quits) << flags;
    EXPECT_TRUE(run.boxes.empty());
  }
}

TEST(ButtonAction, LibraryCheckComesFirstOnlyWithSevenFields) {
  ClickRun present;
  present.click(LayoutRow{"btn", "S", "0", "0", "game.exe", "1", "d3dx9_43.dll"});
  const std::vector<std::string> expected = {"exists? C:\\WINDOWS\\system32\\d3dx9_43.dll", "exists? game.exe",
                                             "start C:/Games/X/game.exe null", "quit"};
  EXPECT_EQ(present.fake.events, expected);

  ClickRun missing;
  missing.click(LayoutRow{"btn", "S", "0", "0", "game.exe", "1", "d3dx9_99.dll"});
  ASSERT_EQ(missing.boxes.size(), 1u);
  EXPECT_EQ(missing.boxes[0], kLibraryBytes);
  EXPECT_FALSE(missing.started());
  EXPECT_EQ(missing.fake.events.size(), 1u);  // no quit, though bit 0 is set

  ClickRun empty;  // an empty name checks the system directory itself, which exists
  empty.click(LayoutRow{"btn", "S", "0", "0", "", "1", ""});
  EXPECT_EQ(empty.fake.events.back(), "quit");
  EXPECT_TRUE(empty.boxes.empty());
}

TEST(ButtonAction, LibraryNameThatDoesNotFitCountsAsMissing) {
  // 19 bytes of directory + "\" + name + NUL must fit 256 bytes: 235 fits, 236 doesn't.
  ClickRun fits;
  const std::string name235(235, 'a');
  fits.fake.existing.insert(std::string(kSystem) + "\\" + name235);
  fits.click(LayoutRow{"btn", "S", "0", "0", "", "1", name235});
  EXPECT_TRUE(fits.boxes.empty());
  EXPECT_EQ(fits.fake.events.back(), "quit");

  ClickRun tooLong;
  tooLong.click(LayoutRow{"btn", "S", "0", "0", "", "1", std::string(236, 'a')});
  ASSERT_EQ(tooLong.boxes.size(), 1u);
  EXPECT_EQ(tooLong.boxes[0], kLibraryBytes);
  EXPECT_TRUE(tooLong.fake.events.empty());  // never asked: refused before the check

  ClickRun noDirectory;  // a system directory longer than the buffer refuses too
  noDirectory.fake.systemDirectory = std::string(300, 'C');
  noDirectory.click(LayoutRow{"btn", "S", "0", "0", "", "1", "x.dll"});
  EXPECT_EQ(noDirectory.boxes.size(), 1u);
}

TEST(ButtonAction, LibraryPathStopsAtTheFieldsFirstNul) {
  Fake fake;
  std::u16string path;
  ASSERT_TRUE(libraryCheckPath(fake.platform(), std::string("d3d\0junk", 8), path));
  EXPECT_EQ(path, u"C:\\WINDOWS\\system32\\d3d");
}

TEST(ButtonAction, ScanEndingInDotEOrDotExPassesLauncherExe) {
  ClickRun run;
  run.fake.existing.insert("run.e");
  run.fake.existing.insert("game.exe -x.ex");
  run.click("run.e", "0");
  run.click("game.exe -x.ex", "0");  // the ending wins over the earlier match
  const std::vector<std::string> expected = {"exists? run.e", "start C:/Games/X/run.e [Launcher.exe]",
                                             "exists? game.exe", "start C:/Games/X/game.exe [Launcher.exe]"};
  EXPECT_EQ(run.fake.events, expected);
}

TEST(ButtonAction, DoubleByteCharactersInThePath) {
  ClickRun run;
  const std::string target = "\x83\x5C\x83\x74\x83\x67/game.exe";  // "ソフト/game.exe"
  run.fake.existing.insert(u8"ソフト/game.exe");
  run.click(target + " -x", "0");
  ASSERT_EQ(run.fake.events.size(), 2u);
  EXPECT_EQ(run.fake.events[1], u8"start C:/Games/X/ソフト/game.exe [-x]");
}

TEST(ButtonAction, AFolderOutsideCodePage932) {
  ClickRun run;
  run.module = u"C:/게임 é 😀/";
  run.click("game.exe \x83\x5C -w", "1");
  run.click("nothere.exe", "0");
  const std::vector<std::string> expected = {u8"exists? game.exe", u8"start C:/게임 é 😀/game.exe [ソ -w]", "quit",
                                             u8"exists? nothere.exe"};
  EXPECT_EQ(run.fake.events, expected);
  ASSERT_EQ(run.wideBoxes.size(), 1u);
  const std::u16string box = u"C:/게임 é 😀/nothere.exe" + cp932ToUtf16(kMissingSuffixBytes);
  EXPECT_EQ(run.wideBoxes[0], box);
}

TEST(ButtonAction, BytesThatAreNoShiftJisNameNoFile) {
  // Anywhere in the command (target or parameters) they give the missing-target box; the
  // box shows U+30FB for each bad byte. In the library name they count as a missing library.
  const struct {
    LayoutRow row;
    std::u16string box;
  } cases[] = {
      {{"btn", "S", "0", "0", "game\x85\x40.exe", "1"}, u"C:/Games/X/game・@.exe"},
      {{"btn", "S", "0", "0", "game.exe -\x81", "1"}, u"C:/Games/X/game.exe"},
      {{"btn", "S", "0", "0", "\xFF", "1"}, u"C:/Games/X/・"},
      {{"btn", "S", "0", "0", "game.exe", "1", "d3d\x80.dll"}, cp932ToUtf16(kLibraryBytes)},
  };
  for (const auto& c : cases) {
    ClickRun run;
    run.fake.existing.insert(u8"game・@.exe");  // even a file of that name is never looked for
    run.fake.existing.insert(u8"C:\\WINDOWS\\system32\\d3d・.dll");
    run.click(c.row);
    EXPECT_FALSE(run.started()) << c.row[4];
    ASSERT_EQ(run.wideBoxes.size(), 1u) << c.row[4];
    const std::u16string suffix = c.row.size() == 7 ? u"" : cp932ToUtf16(kMissingSuffixBytes);
    EXPECT_EQ(run.wideBoxes[0], c.box + suffix) << c.row[4];
  }
}
