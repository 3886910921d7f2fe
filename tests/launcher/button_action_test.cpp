// The button action against a recording platform: the order of the checks, the exact
// texts (Shift-JIS bytes), what is started with which parameters, and the quit flag.
#include "launcher/button_action.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

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
const char kModule[] = "C:/Games/X/";
const char kSystem[] = "C:\\WINDOWS\\system32";

struct Fake {
  std::set<std::string> existing = {"game.exe", "bin/game.exe", "a.exe b.exe", "manual.html",
                                    "C:\\WINDOWS\\system32\\d3dx9_43.dll", "C:\\WINDOWS\\system32\\"};
  std::string systemDirectory = kSystem;
  std::vector<std::string> events;
  ActionPlatform platform() {
    return {[this](char* buffer, unsigned capacity) {
              if (systemDirectory.size() + 1 > capacity) return unsigned(systemDirectory.size() + 1);
              std::memcpy(buffer, systemDirectory.c_str(), systemDirectory.size() + 1);
              return unsigned(systemDirectory.size());
            },
            [this](const char* path) {
              events.push_back(std::string("exists? ") + path);
              return existing.count(path) > 0;
            },
            [this](const char* file, const char* parameters) {
              events.push_back(std::string("start ") + file + (parameters ? std::string(" [") + parameters + "]" : " null"));
            },
            [this] { events.push_back("quit"); }};
  }
};

struct ClickRun {
  Fake fake;
  std::vector<std::string> boxes;
  ClickRun() {
    setErrorBoxSink([this](const std::string& text) { boxes.push_back(text); });
  }
  ~ClickRun() { setErrorBoxSink(nullptr); }
  void click(const LayoutRow& row) { runButtonActionWith(row, kModule, fake.platform()); }
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
  char path[256];
  ASSERT_TRUE(libraryCheckPath(fake.platform(), std::string("d3d\0junk", 8), path));
  EXPECT_STREQ(path, "C:\\WINDOWS\\system32\\d3d");
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
  run.fake.existing.insert(target);
  run.click(target + " -x", "0");
  ASSERT_EQ(run.fake.events.size(), 2u);
  EXPECT_EQ(run.fake.events[1], "start C:/Games/X/" + target + " [-x]");
}
