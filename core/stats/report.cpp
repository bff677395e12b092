#include "core/stats/report.h"

#include <algorithm>

namespace riventar::stats {

const std::array<std::string_view, ReportLines> ReportLabels = {"Отчетный период:",
                                                                "Марка автомашины:",
                                                                "Рег. номер:",
                                                                "Владелец:",
                                                                "Дней всего:",
                                                                "Дней с маршрутами:",
                                                                "Маршрутов всего:",
                                                                "Время на маршрутах:",
                                                                "Время в движении:",
                                                                "Пройденный путь:",
                                                                "Средняя скорость движения:",
                                                                "Израсходованное топливо:",
                                                                "Средний расход топлива:"};

ReportValues MakeReportValues(const std::string& period, const std::string& model, const std::string& regId,
                              const std::string& owner, const FigureTexts& f) {
  return {period,      model,      regId,      owner,       f.days,      f.tripDays, f.trips,
          f.totalTime, f.timeInGo, f.totalWay, f.averSpeed, f.totalFuel, f.averFuel};
}

namespace {

// A blank line before the period, the vehicle block and the figures block.
bool StartsBlock(std::size_t line) { return line == 0 || line == 1 || line == 4; }

}  // namespace

void DrawReport(ReportCanvas& canvas, const ReportValues& values) {
  const CanvasRect clip = canvas.ClipRect();
  const TextSize w = canvas.Measure("W");
  const int xLabel = clip.left + 5 * w.width;
  const int xValue = xLabel + 30 * w.width;
  int y = clip.top + 3 * w.height;
  int maxw = 0;
  canvas.Text(xLabel + canvas.Measure("WWWWWWWWWW").width, y, ReportTitle);
  int h = 0;
  for (std::size_t line = 0; line < ReportLabels.size(); ++line) {
    h = canvas.Measure(ReportLabels[line]).height;
    if (StartsBlock(line))
      y += 2 * h;
    else
      y = static_cast<int>(y + 1.5 * h);  // truncated toward zero
    canvas.Text(xLabel, y, ReportLabels[line]);
    canvas.Text(xValue, y, values[line]);
    maxw = std::max(maxw, canvas.Measure(values[line]).width);
  }
  canvas.Frame({clip.left, clip.top, xValue + maxw + 5 * w.width, y + 4 * h});
}

}  // namespace riventar::stats

namespace riventar::stats {
namespace {

// Measures like the canvas it wraps and records where drawing would land.
class BoundsCanvas final : public ReportCanvas {
 public:
  explicit BoundsCanvas(const ReportCanvas& measure) : measure_(measure) {
    const CanvasRect clip = measure.ClipRect();
    bounds_ = {clip.left, clip.top, clip.left, clip.top};
  }
  CanvasRect ClipRect() const override { return measure_.ClipRect(); }
  TextSize Measure(std::string_view text) const override { return measure_.Measure(text); }
  void Text(int x, int y, std::string_view text) override {
    const TextSize size = Measure(text);
    Cover({x, y, x + size.width, y + size.height});
  }
  void Frame(const CanvasRect& r) override { Cover(r); }
  const CanvasRect& Bounds() const { return bounds_; }

 private:
  void Cover(const CanvasRect& r) {
    bounds_ = {std::min(bounds_.left, r.left), std::min(bounds_.top, r.top), std::max(bounds_.right, r.right),
               std::max(bounds_.bottom, r.bottom)};
  }
  const ReportCanvas& measure_;
  CanvasRect bounds_;
};

}  // namespace

CanvasRect ReportBounds(const ReportCanvas& canvas, const ReportValues& values) {
  BoundsCanvas bounds(canvas);
  DrawReport(bounds, values);
  return bounds.Bounds();
}

}  // namespace riventar::stats
