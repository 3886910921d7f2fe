// The message sink: every diagnostic of the library reaches the installed sink with the stream
// it was meant for, nothing reaches the standard streams meanwhile, and null brings back the
// plain bytes on standard output.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "image/codecs/png.h"
#include "image/codecs/tga/tga_stream.h"
#include "image/image.h"
#include "image/message.h"
#include "image/resize.h"

using namespace limg;

namespace {

using Lines = std::vector<std::pair<ImageMessageStream, std::string>>;

void collect(ImageMessageStream stream, const char* text, std::size_t length, void* context) {
  EXPECT_EQ(text[length], '\0');
  static_cast<Lines*>(context)->emplace_back(stream, std::string(text, length));
}

TEST(MessageSink, LinesReachTheSinkWithTheirStream) {
  Lines lines;
  ImageSetMessageSink(collect, &lines);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();

  ImageBytes bytes{};
  EXPECT_EQ(PngSaveToMemory(nullptr, 0, 6, 0, &bytes), 0);
  Image* image = ImageCreate(8, 8, 32);
  ASSERT_NE(image, nullptr);
  Image* target = nullptr;
  EXPECT_EQ(ImageResize(&target, image, 0.5, 0.5, kResizeFactor, kFilterBilinear, kFilterBilinear), 0);
  ImageDestroy(&image);
  TgaStream stream;
  EXPECT_FALSE(TgaStreamOpenFile(&stream, "no/such/folder/x.tga", "rb"));
  const std::string longPath(5000, 'p');
  EXPECT_EQ(PngSave(longPath.c_str(), nullptr, 0, 6, 0), 0);

  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ImageSetMessageSink(nullptr, nullptr);

  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], std::make_pair(kImageMessageOut, std::string("PNG: \"<memory>\" 画像データが空です\n")));
  EXPECT_EQ(lines[1], std::make_pair(kImageMessageOut, std::string("-RES: 幅値の設定が無効です\n")));
  EXPECT_EQ(lines[2].first, kImageMessageError);
  EXPECT_EQ(lines[2].second.rfind("TgaStream:", 0), 0u) << lines[2].second;
  // A line too long for the buffer is cut, keeping its line feed.
  EXPECT_EQ(lines[3].second.size(), 4095u);
  EXPECT_EQ(lines[3].second.rfind("PNG: \"ppp", 0), 0u);
  EXPECT_EQ(lines[3].second.back(), '\n');
}

TEST(MessageSink, WithoutASinkTheBytesGoToStandardOutput) {
  ImageSetMessageSink(nullptr, nullptr);
  testing::internal::CaptureStdout();
  ImageBytes bytes{};
  EXPECT_EQ(PngSaveToMemory(nullptr, 0, 6, 0, &bytes), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "PNG: \"<memory>\" 画像データが空です\n");
}

}  // namespace
