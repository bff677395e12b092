#include "core/stats/report.h"

#include <gtest/gtest.h>

#include <vector>

namespace riventar::stats {
namespace {

// Every character is 50 wide and 83 high ("W" measures 50 x 83).
class RecordingCanvas final : public ReportCanvas {
 public:
  struct Out {
    int x, y;
    std::string text;
  };
  CanvasRect clip{0, 0, 4000, 6000};
  std::vector<Out> texts;
  std::vector<CanvasRect> frames;

  CanvasRect ClipRect() const override { return clip; }
  TextSize Measure(std::string_view text) const override {
    int chars = 0;
    for (const char c : text) chars += (static_cast<unsigned char>(c) & 0xc0) != 0x80;  // code points
    return {50 * chars, 83};
  }
  void Text(int x, int y, std::string_view text) override { texts.push_back({x, y, std::string(text)}); }
  void Frame(const CanvasRect& r) override { frames.push_back(r); }
};

ReportValues Values(const std::string& owner) {
  return MakeReportValues(
      "Октябрь 2005 года", "", "А123ВС", owner,
      FigureTexts{"31", "12", "40", "10:2:3", "8:0:0", "433.3 км", "54.1 км/час", "30.3 л", "7.0 л/100км"});
}

TEST(Report, WorkedLayout) {
  RecordingCanvas canvas;
  DrawReport(canvas, Values("Иванов"));
  ASSERT_EQ(canvas.texts.size(), 1u + 2 * ReportLines);
  EXPECT_EQ(canvas.texts[0].text, ReportTitle);
  EXPECT_EQ(canvas.texts[0].x, 250 + 500);
  EXPECT_EQ(canvas.texts[0].y, 249);
  const int tops[ReportLines] = {415, 581, 705, 829, 995, 1119, 1243, 1367, 1491, 1615, 1739, 1863, 1987};
  const ReportValues values = Values("Иванов");
  for (std::size_t line = 0; line < ReportLabels.size(); ++line) {
    const auto& label = canvas.texts[1 + 2 * line];
    const auto& value = canvas.texts[2 + 2 * line];
    EXPECT_EQ(label.text, ReportLabels[line]);
    EXPECT_EQ(label.x, 250);
    EXPECT_EQ(label.y, tops[line]) << line;
    EXPECT_EQ(value.text, values[line]);
    EXPECT_EQ(value.x, 1750);
    EXPECT_EQ(value.y, tops[line]) << line;
  }
  // The widest value is the period's, 17 characters.
  ASSERT_EQ(canvas.frames.size(), 1u);
  EXPECT_EQ(canvas.frames[0], (CanvasRect{0, 0, 1750 + 17 * 50 + 250, 2319}));
}

TEST(Report, FrameFollowsTheWidestValueAndTheClipOrigin) {
  const std::string longOwner(50, 'x');
  struct Case {
    CanvasRect clip;
    std::string owner;
    CanvasRect frame;
  };
  const Case cases[] = {
      {{0, 0, 4000, 6000}, "", {0, 0, 1750 + 17 * 50 + 250, 2319}},           // empty edit: width 0
      {{0, 0, 4000, 6000}, longOwner, {0, 0, 1750 + 50 * 50 + 250, 2319}},    // a long owner widens it
      {{30, 40, 4000, 6000}, "", {30, 40, 30 + 1750 + 17 * 50 + 250, 2359}},  // printable area offset
  };
  for (const Case& c : cases) {
    RecordingCanvas canvas;
    canvas.clip = c.clip;
    DrawReport(canvas, Values(c.owner));
    ASSERT_EQ(canvas.frames.size(), 1u);
    EXPECT_EQ(canvas.frames[0], c.frame) << c.owner;
    EXPECT_EQ(ReportBounds(canvas, Values(c.owner)), c.frame) << "the frame holds every text";
  }
}

}  // namespace
}  // namespace riventar::stats
