#include "launcher/layout_table.h"

#include <gtest/gtest.h>

#include "launcher/error_box.h"
#include "launcher/numbers.h"
#include "pack/packed_data_file.h"
#include "tests/support/temp_dir.h"

namespace {

LayoutTable parse(const std::string& text) { return parseLayoutText(text.data(), text.size(), ',', 6); }

LayoutRow row(std::initializer_list<const char*> fields) {
  LayoutRow r;
  for (const char* f : fields) r.emplace_back(f);
  return r;
}

}  // namespace

TEST(LayoutText, ShortRowsArePaddedToSixFields) {
  const LayoutTable t = parse("btn,Start,10,20");
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0], row({"btn", "Start", "10", "20", "", ""}));
}

TEST(LayoutText, LongRowsKeepEveryField) {
  const LayoutTable t = parse("a,b,c,d,e,f,g,h,i");
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].size(), 9u);
  EXPECT_EQ(t[0][8], "i");
}

TEST(LayoutText, CrLfGivesTheSameTableAsLf) {
  EXPECT_EQ(parse("a,1\r\nbtn,x,1,2\r\n\r\nimg,p.png,0,0"), parse("a,1\nbtn,x,1,2\n\nimg,p.png,0,0"));
}

TEST(LayoutText, BlankLinesGiveRowsWithEmptyKind) {
  const LayoutTable t = parse("row0\n   \n\t\nimg,a,0,0");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[1], row({"", "", "", "", "", ""}));
  EXPECT_EQ(t[2], row({"", "", "", "", "", ""}));
}

TEST(LayoutText, TrailingLineFeedGivesLastEmptyRow) {
  const LayoutTable t = parse("x,640,480\n");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], row({"", "", "", "", "", ""}));
}

TEST(LayoutText, EmptyTextGivesNoRows) { EXPECT_TRUE(parse("").empty()); }

TEST(LayoutText, LinesAreTrimmedFieldsAreNot) {
  const LayoutTable t = parse("  btn, Start ,10 ,20  \t\r");
  EXPECT_EQ(t[0], row({"btn", " Start ", "10 ", "20", "", ""}));
  EXPECT_EQ(parseDecimal(t[0][2].c_str()), 100);  // "10 " reads as 100
}

TEST(LayoutText, EmptyFieldsBetweenSeparators) {
  EXPECT_EQ(parse("a,,b")[0], row({"a", "", "b", "", "", ""}));
  EXPECT_EQ(parse(",")[0], row({"", "", "", "", "", ""}));
}

TEST(LayoutText, QuotesJoinLinesUntilTheSameQuote) {
  // The apostrophe suspends line splitting until the next apostrophe, two lines later.
  const LayoutTable t = parse("r0\nbtn,Don't,1,2\nimg,a,0,0\nbtn,it's,3,4\nimg,b,0,0");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[1][1], "Don't");
  EXPECT_EQ(t[1][3], "2\nimg");  // the joined lines stay inside the row's fields
  EXPECT_EQ(t[1][7], "it's");
  EXPECT_EQ(t[2][1], "b");
  // A double quote is not closed by an apostrophe; commas inside quotes still split.
  const LayoutTable q = parse("btn,\"a,b\",1\nimg");
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[0][1], "\"a");
  EXPECT_EQ(q[0][2], "b\"");
}

TEST(LayoutText, UnmatchedQuoteMakesTheRestOneLine) {
  const LayoutTable t = parse("r0\nbtn,\"oops,1,2\nimg,a,0,0\nimg,b,0,0");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].back(), "0");
}

TEST(LayoutText, LeadByteTakesTheNextByteUnexamined) {
  // 0x83 0x7C: the second byte is a bar, but the field does not split there.
  const std::string field = "10\x83\x7C" "20";
  const std::vector<std::string> pieces = splitFields(field.data(), field.size(), '|');
  ASSERT_EQ(pieces.size(), 1u);
  // A lead byte before "," keeps the comma in the field; before LF keeps the lines joined.
  const LayoutTable t = parse("a\x81,b,c\nd\x81\ne");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0][0], "a\x81,b");
  EXPECT_EQ(t[0][1], "c");
  EXPECT_EQ(t[1][0], "d\x81\ne");
}

TEST(LayoutText, CutDoubleByteCharacterAtTheEndIsDropped) {
  const std::string text = "img,name\x82";
  const LayoutTable t = parseLayoutText(text.data(), text.size(), ',', 6);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0][1], "name");
}

TEST(LayoutText, LastFieldEndsAtNul) {
  const std::string line("a,b\0c", 5);
  const std::vector<std::string> f = splitFields(line.data(), line.size(), ',');
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[1], "b");
  // Inner fields keep their NUL bytes.
  const std::string inner("a\0x,b", 5);
  EXPECT_EQ(splitFields(inner.data(), inner.size(), ',')[0], std::string("a\0x", 3));
}

TEST(SplitFields, ButtonPositionPieces) {
  const std::string xw = "10|120|7";
  const std::vector<std::string> p = splitFields(xw.data(), xw.size(), '|');
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(parseDecimal(p[0].c_str()), 10);
  EXPECT_EQ(parseDecimal(p[1].c_str()), 120);
  const std::string empty;
  EXPECT_EQ(splitFields(empty.data(), 0, '|').size(), 1u);
}

TEST(TrimBlanks, OnlyTabLfCrAndSpace) {
  const char* s = "\t\n\r x\v\f\0 ";
  const TrimmedPiece p = trimBlanks(s, 0, 8);
  EXPECT_EQ(p.start, 4u);
  EXPECT_EQ(p.length, 4u);  // x, VT, FF, NUL: other control bytes count as text
  const TrimmedPiece all = trimBlanks("   ", 0, 2);
  EXPECT_EQ(all.length, 0u);
}

class LayoutLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    resetPackedDataFile();
    setErrorBoxSink([this](const std::string& text) { boxes.push_back(text); });
  }
  void TearDown() override {
    setErrorBoxSink(nullptr);
    resetPackedDataFile();
  }
  std::vector<std::string> boxes;
  TempDir dir;
};

TEST_F(LayoutLoad, ReadsPlainFileAndAppendsRows) {
  dir.write("Launcher/Launcher.csv", "x,640,480\nbtn,Start,10|120,20|32,game.exe,1\n");
  openIndex();
  LayoutTable table;
  ASSERT_EQ(loadLayoutTable("Launcher/Launcher.csv", ',', 6, table), 1);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(parseDecimal(table[0][1].c_str()), 640);
  EXPECT_EQ(table[1][4], "game.exe");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LayoutLoad, TextLongerThanAnyEarlierResourceIsMeasuredToItsEnd) {
  // The reader puts a NUL after the data: a longer earlier resource must not leak its tail.
  dir.write("long.csv", std::string(100, 'z'));
  dir.write("short.csv", "a,b");
  openIndex();
  LayoutTable first, second;
  ASSERT_EQ(loadLayoutTable("long.csv", ',', 6, first), 1);
  ASSERT_EQ(loadLayoutTable("short.csv", ',', 6, second), 1);
  EXPECT_EQ(second[0][1], "b");
}

TEST_F(LayoutLoad, EmptyResourceAsFirstLoadGivesNoRowsAndNoBox) {
  // The first resource of the run finds the shared buffer never allocated.
  dir.write("Launcher/Launcher.csv", "");
  openIndex();
  LayoutTable table;
  ASSERT_EQ(loadLayoutTable("Launcher/Launcher.csv", ',', 6, table), 1);
  EXPECT_TRUE(table.empty());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LayoutLoad, MissingResourceReportsAndReturnsZero) {
  openIndex();
  LayoutTable table;
  EXPECT_EQ(loadLayoutTable("Launcher/Launcher.csv", ',', 6, table), 0);
  EXPECT_TRUE(table.empty());
  ASSERT_EQ(boxes.size(), 2u);
}
