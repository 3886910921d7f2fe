// Button and panel geometry from rows, and the loop over the rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/control_rows.h"
#include "launcher/error_box.h"

namespace {

LayoutTable table(const std::string& text) { return parseLayoutText(text.data(), text.size(), ',', 6); }

struct Recorder {
  std::vector<std::string> events;
  bool panelResult = true;
  RowHandlers handlers() {
    return {[this](const LayoutRow& row) { events.push_back("btn " + row[1]); },
            [this](const LayoutRow& row) {
              events.push_back("img " + row[1]);
              return panelResult;
            }};
  }
};

struct BoxCapture {
  std::vector<std::string>* events;
  explicit BoxCapture(std::vector<std::string>* e) : events(e) {
    setErrorBoxSink([this](const std::string& text) { events->push_back("box " + text); });
  }
  ~BoxCapture() { setErrorBoxSink(nullptr); }
};

}  // namespace

TEST(ButtonGeometry, DefaultsToEightyByTwenty) {
  const ButtonGeometry g = buttonGeometryFromRow(table("btn,Start,10,20")[0]);
  EXPECT_EQ(g.x, 10);
  EXPECT_EQ(g.y, 20);
  EXPECT_EQ(g.width, 80);
  EXPECT_EQ(g.height, 20);
}

TEST(ButtonGeometry, BarGivesWidthAndHeightAndFurtherPiecesAreIgnored) {
  const ButtonGeometry g = buttonGeometryFromRow(table("btn,Start,10|120|7,20|32,game.exe,1")[0]);
  EXPECT_EQ(g.x, 10);
  EXPECT_EQ(g.width, 120);
  EXPECT_EQ(g.y, 20);
  EXPECT_EQ(g.height, 32);
}

TEST(ButtonGeometry, NumbersReadLeniently) {
  // "80px" reads 8250; an empty width piece reads 0, not the default.
  const ButtonGeometry g = buttonGeometryFromRow(table("btn,S,80px,-5|")[0]);
  EXPECT_EQ(g.x, 8250);
  EXPECT_EQ(g.y, -5);
  EXPECT_EQ(g.height, 0);
  // A double-byte character whose second byte is the bar does not split.
  const ButtonGeometry k = buttonGeometryFromRow(table("btn,S,1\x83|2,3")[0]);
  EXPECT_EQ(k.width, 80);
}

TEST(PanelOrigin, FieldsAreReadWhole) {
  const PanelOrigin at = panelOriginFromRow(table("img,bg.png,10|20,0")[0]);
  EXPECT_EQ(at.x, 10020);  // the bar is just another digit (value 0)
  EXPECT_EQ(at.y, 0);
  const ClientSize size = clientSizeFromRow(table("Launcher,640,480")[0]);
  EXPECT_EQ(size.width, 640);
  EXPECT_EQ(size.height, 480);
}

TEST(RowLoop, RowsAfterRowZeroInTableOrder) {
  Recorder r;
  BoxCapture boxes(&r.events);
  const LayoutTable t = table("btn,NotRowZero\nbtn,A,1,1\n\nimg,p.bmp,0,0\r\n  \nBtn,B\nbtn ,C\nimg,q.bmp,0,0\nbtn,D\n");
  EXPECT_TRUE(buildControlsFromRows(t, r.handlers()));
  const std::vector<std::string> expected = {"btn A", "img p.bmp", "box Btn 対応していない形式です",
                                             "box btn  対応していない形式です", "img q.bmp", "btn D"};
  EXPECT_EQ(r.events, expected);
}

TEST(RowLoop, APanelThatFailsEndsTheLoop) {
  Recorder r;
  r.panelResult = false;
  BoxCapture boxes(&r.events);
  EXPECT_FALSE(buildControlsFromRows(table("L,1,1\nbtn,A\nimg,bad.bmp\nbtn,B\nxyz\n"), r.handlers()));
  const std::vector<std::string> expected = {"btn A", "img bad.bmp"};
  EXPECT_EQ(r.events, expected);
}

TEST(RowLoop, OnlyRowZeroGivesNoControls) {
  Recorder r;
  EXPECT_TRUE(buildControlsFromRows(table("Launcher,640,480"), r.handlers()));
  EXPECT_TRUE(r.events.empty());
  EXPECT_TRUE(buildControlsFromRows(LayoutTable(), r.handlers()));
}

TEST(RowLoop, UnsupportedKindMessageIsShiftJis) {
  EXPECT_EQ(unsupportedKindMessage("Btn"),
            "Btn\x20\x91\xce\x89\x9e\x82\xb5\x82\xc4\x82\xa2\x82\xc8\x82\xa2\x8c\x60\x8e\xae\x82\xc5\x82\xb7");
}
