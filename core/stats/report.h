#pragma once
// The printed statistics report: a title, thirteen label/value lines and a
// frame on one page, laid out from the canvas's printable area and the size
// of "W" in its font, so it scales with the printer's resolution.
#include <array>
#include <string>
#include <string_view>

#include "core/stats/figures.h"

namespace riventar::stats {

struct TextSize {
  int width = 0;
  int height = 0;
};

struct CanvasRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  friend bool operator==(const CanvasRect&, const CanvasRect&) = default;
};

// What the report needs of a printer canvas; units are device pixels, texts UTF-8.
class ReportCanvas {
 public:
  virtual ~ReportCanvas() = default;
  virtual CanvasRect ClipRect() const = 0;
  virtual TextSize Measure(std::string_view text) const = 0;
  // (x, y) is the text's top-left corner.
  virtual void Text(int x, int y, std::string_view text) = 0;
  // An outline only; nothing is filled.
  virtual void Frame(const CanvasRect& r) = 0;
};

inline constexpr std::string_view ReportTitle = "Статистическая информация по маршрутам";
inline constexpr int ReportLines = 13;
extern const std::array<std::string_view, ReportLines> ReportLabels;

// Values in the order of ReportLabels: the period, the vehicle's model,
// registration number and owner, then the nine figure texts.
using ReportValues = std::array<std::string, ReportLines>;
ReportValues MakeReportValues(const std::string& period, const std::string& model, const std::string& regId,
                              const std::string& owner, const FigureTexts& figures);

// Draws the whole report; nothing checks that it fits the page.
void DrawReport(ReportCanvas& canvas, const ReportValues& values);

// The rectangle the report covers on `canvas` (its clip rectangle and text
// sizes), drawing nothing: a page smaller than this needs the report scaled.
CanvasRect ReportBounds(const ReportCanvas& canvas, const ReportValues& values);

}  // namespace riventar::stats
