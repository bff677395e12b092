#include "web/pages.h"

#include <algorithm>
#include <cstdio>

#include "core/logbook/json_text.h"
#include "core/stats/figures.h"
#include "core/trips/trip_text.h"
#include "web/html.h"

namespace riventar::web {
namespace {

Html Layout(const std::string& title, const Html& body, bool nav = true) {
  Html h;
  h.Raw(
       "<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\">"
       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
       "<meta name=\"color-scheme\" content=\"light dark\"><title>")
      .Text(title)
      .Raw(
          " — Бортовой журнал</title><link rel=\"stylesheet\" href=\"/style.css\"></head><body>"
          "<a class=\"skip\" href=\"#main\">К содержимому</a>");
  if (nav) {
    h.Raw(
        "<header><nav><a href=\"/\">Автомобили</a> <a href=\"/report\">Отчёт по парку</a>"
        "<form method=\"post\" action=\"/logout\"><button type=\"submit\">Выйти</button></form></nav></header>");
  }
  h.Raw("<main id=\"main\"><h1>").Text(title).Raw("</h1>").Append(body).Raw("</main></body></html>\n");
  return h;
}

std::string Two(unsigned v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02u", v);
  return b;
}

// "2024-03-31": the last day of the month.
std::string MonthEnd(int year, int month) {
  const std::chrono::year_month_day_last last{std::chrono::year{year} /
                                              std::chrono::month{static_cast<unsigned>(month)} / std::chrono::last};
  return std::to_string(year) + "-" + Two(static_cast<unsigned>(month)) + "-" + Two(unsigned(last.day()));
}

std::string VehicleHref(const logbook::VehicleSummary& v) {
  return "/vehicle?vehicle=" + UrlEncode(logbook::Registration(v));
}

Html SumCells(const Sums& s) {
  Html h;
  h.Raw("<td class=\"n\">")
      .Number(s.trips)
      .Raw("</td><td class=\"n\">")
      .Text(KmText(s.distance))
      .Raw("</td><td class=\"n\">")
      .Text(LitreText(s.fuel))
      .Raw("</td><td class=\"n\">")
      .Text(ConsumptionText(s))
      .Raw("</td>");
  return h;
}

std::string CsvField(const std::string& text) {
  std::string value = text;
  if (!value.empty() && (value[0] == '=' || value[0] == '+' || value[0] == '-' || value[0] == '@'))
    value.insert(0, 1, '\'');
  if (value.find_first_of(";\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (const char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string Comma(std::string number) {
  std::replace(number.begin(), number.end(), '.', ',');
  return number;
}

}  // namespace

// Truncated to a tenth, as the window and riventar-cli show them.
std::string KmText(std::uint64_t distance) { return stats::KilometresText(distance); }
std::string LitreText(std::uint64_t fuel) { return stats::LitresText(fuel); }
std::string ConsumptionText(const Sums& s) {
  if (s.distance == 0) return "—";
  return logbook::JsonNumber(trips::AverageConsumption(s.fuel, s.distance), 10, 1);
}

std::string VehiclesPage(const VehiclesView& view) {
  Html b;
  if (view.lines.empty()) {
    b.Raw("<p>В журнале ещё нет поездок.</p>");
    return Layout("Автомобили", b).Str();
  }
  b.Raw("<div class=\"scroll\"><table id=\"vehicles\"><caption>Пробег и топливо за ")
      .Text(view.monthCaption)
      .Raw(" и за ")
      .Number(view.year)
      .Raw(
          " год</caption><thead><tr><th scope=\"col\">Номер</th><th scope=\"col\">Модель</th>"
          "<th scope=\"col\">Владелец</th><th scope=\"col\">Поездок</th><th scope=\"col\">Первая</th>"
          "<th scope=\"col\">Последняя</th><th scope=\"col\">Всего, км</th>"
          "<th scope=\"col\">Месяц, км</th><th scope=\"col\">Месяц, л</th><th scope=\"col\">Месяц, л/100 км</th>"
          "<th scope=\"col\">Год, км</th><th scope=\"col\">Год, л</th><th scope=\"col\">Год, л/100 км</th>");
  if (view.fleet) b.Raw("<th scope=\"col\">Ждут отправки</th>");
  b.Raw("</tr></thead><tbody>");
  for (const VehicleLine& line : view.lines) {
    const logbook::VehicleSummary& v = line.vehicle;
    b.Raw("<tr><th scope=\"row\"><a href=\"")
        .Text(VehicleHref(v))
        .Raw("\">")
        .Text(logbook::Registration(v))
        .Raw("</a></th><td>")
        .Text(v.texts.Model)
        .Raw("</td><td>")
        .Text(v.texts.Owner)
        .Raw("</td><td class=\"n\">")
        .Number(v.trips)
        .Raw("</td><td>")
        .Text(v.firstDate)
        .Raw("</td><td>")
        .Text(v.lastDate)
        .Raw("</td><td class=\"n\">")
        .Text(KmText(v.distance))
        .Raw("</td><td class=\"n\">")
        .Text(KmText(line.month.distance))
        .Raw("</td><td class=\"n\">")
        .Text(LitreText(line.month.fuel))
        .Raw("</td><td class=\"n\">")
        .Text(ConsumptionText(line.month))
        .Raw("</td><td class=\"n\">")
        .Text(KmText(line.year.distance))
        .Raw("</td><td class=\"n\">")
        .Text(LitreText(line.year.fuel))
        .Raw("</td><td class=\"n\">")
        .Text(ConsumptionText(line.year))
        .Raw("</td>");
    if (view.fleet) b.Raw("<td class=\"n\">").Number(v.pending).Raw("</td>");
    b.Raw("</tr>");
  }
  b.Raw("</tbody></table></div><p><a href=\"/api/v1/vehicles\">JSON</a></p>");
  return Layout("Автомобили", b).Str();
}

Html ChartSvg(const stats::Chart& chart) {
  constexpr int Width = 800, Height = 320, Left = 50, Right = 50, Top = 20, Bottom = 50;
  const int plotW = Width - Left - Right, plotH = Height - Top - Bottom;
  double maxKm = 0, maxL = 0, maxC = 0;
  for (const stats::Bucket& bucket : chart.buckets) {
    maxKm = std::max(maxKm, stats::Kilometres(bucket));
    maxL = std::max(maxL, stats::Litres(bucket));
    if (const auto c = stats::Consumption(bucket)) maxC = std::max(maxC, *c);
  }
  maxC *= 1.25;  // the line below the bars' tops, where its changes show
  const auto scaled = [](double value, double max) { return max <= 0 ? 0.0 : value / max * plotH; };
  const auto num = [](double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.1f", v);
    return std::string(b);
  };
  Html s;
  s.Raw(
       "<svg class=\"chart\" id=\"chart\" role=\"img\" viewBox=\"0 0 800 320\" xmlns=\"http://www.w3.org/2000/svg\">"
       "<title>")
      .Text(chart.caption)
      .Raw("</title><rect class=\"plot\" x=\"50\" y=\"20\" width=\"700\" height=\"250\"/>");
  for (int i = 1; i < 4; ++i) {
    s.Raw("<line class=\"grid\" x1=\"50\" x2=\"750\" y1=\"")
        .Text(num(Top + plotH * i / 4.0))
        .Raw("\" y2=\"")
        .Text(num(Top + plotH * i / 4.0))
        .Raw("\"/>");
  }
  const std::size_t n = chart.buckets.size();
  const double slot = n == 0 ? 0 : static_cast<double>(plotW) / static_cast<double>(n);
  const std::size_t labelEvery = std::max<std::size_t>(1, n / 16);
  std::string line;
  for (std::size_t i = 0; i < n; ++i) {
    const stats::Bucket& bucket = chart.buckets[i];
    const double x = Left + slot * static_cast<double>(i);
    const double km = scaled(stats::Kilometres(bucket), maxKm), l = scaled(stats::Litres(bucket), maxL);
    s.Raw("<g class=\"bucket\"><title>").Text(stats::BucketHoverText(chart, i)).Raw("</title>");
    s.Raw("<rect class=\"distance\" x=\"")
        .Text(num(x + slot * 0.1))
        .Raw("\" y=\"")
        .Text(num(Top + plotH - km))
        .Raw("\" width=\"")
        .Text(num(slot * 0.4))
        .Raw("\" height=\"")
        .Text(num(km))
        .Raw("\"/><rect class=\"fuel\" x=\"")
        .Text(num(x + slot * 0.5))
        .Raw("\" y=\"")
        .Text(num(Top + plotH - l))
        .Raw("\" width=\"")
        .Text(num(slot * 0.4))
        .Raw("\" height=\"")
        .Text(num(l))
        .Raw("\"/></g>");
    if (i % labelEvery == 0) {
      s.Raw("<text class=\"label\" x=\"")
          .Text(num(x + slot / 2))
          .Raw("\" y=\"288\" text-anchor=\"middle\">")
          .Text(stats::BucketLabel(chart, i))
          .Raw("</text>");
    }
    // An empty bucket leaves a gap in the line, as on the desktop chart.
    if (const auto c = stats::Consumption(bucket)) {
      line += (line.empty() ? "M" : " L") + num(x + slot / 2) + " " + num(Top + plotH - scaled(*c, maxC));
    } else if (!line.empty()) {
      s.Raw("<path class=\"consumption\" d=\"").Text(line).Raw("\"/>");
      line.clear();
    }
  }
  if (!line.empty()) s.Raw("<path class=\"consumption\" d=\"").Text(line).Raw("\"/>");
  s.Raw("<text class=\"axis\" x=\"4\" y=\"14\">км, до ")
      .Text(num(maxKm))
      .Raw("</text><text class=\"axis\" x=\"796\" y=\"14\" text-anchor=\"end\">л, до ")
      .Text(num(maxL))
      .Raw("</text><text class=\"axis\" x=\"400\" y=\"314\" text-anchor=\"middle\">")
      .Text(stats::BucketAxisTitle(chart.size))
      .Raw("</text></svg>");
  return s;
}

std::string VehiclePage(const VehicleView& view) {
  const logbook::VehicleSummary& v = view.vehicle;
  const std::string reg = logbook::Registration(v);
  const std::string query = "vehicle=" + UrlEncode(reg) + "&from=" + view.from + "&to=" + view.to;
  Html b;
  b.Raw("<dl class=\"facts\"><dt>Модель</dt><dd>")
      .Text(v.texts.Model)
      .Raw("</dd><dt>Владелец</dt><dd>")
      .Text(v.texts.Owner)
      .Raw("</dd><dt>Поездок</dt><dd>")
      .Number(v.trips)
      .Raw("</dd><dt>Пробег</dt><dd>")
      .Text(KmText(v.distance))
      .Raw(" км</dd><dt>Последняя поездка</dt><dd>")
      .Text(v.lastDate)
      .Raw("</dd></dl>");

  b.Raw("<form class=\"period\" method=\"get\" action=\"/vehicle\"><input type=\"hidden\" name=\"vehicle\" value=\"")
      .Text(reg)
      .Raw("\"><label>С <input type=\"date\" name=\"from\" value=\"")
      .Text(view.from)
      .Raw("\"></label> <label>по <input type=\"date\" name=\"to\" value=\"")
      .Text(view.to)
      .Raw("\"></label> <button type=\"submit\">Показать</button></form>");

  b.Raw("<h2>График</h2><figure><div class=\"chart-box\">")
      .Append(ChartSvg(view.chart))
      .Raw("</div><figcaption>")
      .Text(view.chart.caption)
      .Raw(
          " <span class=\"key distance\">путь, км</span> <span class=\"key fuel\">топливо, л</span> "
          "<span class=\"key consumption\">расход, л/100 км</span></figcaption></figure>");

  b.Raw("<h2>Поездки</h2><p>")
      .Number(static_cast<long long>(view.total))
      .Raw(" за период. <a href=\"/download?")
      .Text(query)
      .Raw("&amp;format=csv\" id=\"csv\">Скачать .csv</a> <a href=\"/download?")
      .Text(query)
      .Raw("&amp;format=dat\" id=\"dat\">Скачать .dat</a> <a href=\"/api/v1/trips?")
      .Text(query)
      .Raw("\">JSON</a></p>");
  if (!view.trips.empty()) {
    b.Raw("<div class=\"scroll\"><table id=\"trips\"><thead><tr>");
    for (const std::string_view heading : trips::TableHeadings) b.Raw("<th scope=\"col\">").Text(heading).Raw("</th>");
    b.Raw("</tr></thead><tbody>");
    for (std::size_t i = 0; i < view.trips.size(); ++i) {
      b.Raw("<tr>");
      for (int c = 0; c < trips::TableColumns; ++c)
        b.Raw("<td>").Text(trips::CellText(view.trips[i], view.firstRow + i, c)).Raw("</td>");
      b.Raw("</tr>");
    }
    b.Raw("</tbody></table></div>");
  }
  b.Raw("<nav class=\"pages\" aria-label=\"Страницы\">");
  if (view.page > 1)
    b.Raw("<a rel=\"prev\" href=\"/vehicle?")
        .Text(query)
        .Raw("&amp;page=")
        .Number(static_cast<long long>(view.page) - 1)
        .Raw("\">← Назад</a> ");
  b.Raw("Страница ").Number(static_cast<long long>(view.page)).Raw(" из ").Number(static_cast<long long>(view.pages));
  if (view.page < view.pages)
    b.Raw(" <a rel=\"next\" href=\"/vehicle?")
        .Text(query)
        .Raw("&amp;page=")
        .Number(static_cast<long long>(view.page) + 1)
        .Raw("\">Вперёд →</a>");
  b.Raw("</nav><h2>По месяцам</h2><nav class=\"years\" aria-label=\"Годы\">");
  // Every year of the vehicle's trips, each a link to its whole year.
  if (v.firstDate.size() == 10 && v.lastDate.size() == 10) {
    for (int y = std::stoi(v.lastDate.substr(0, 4)); y >= std::stoi(v.firstDate.substr(0, 4)); --y) {
      b.Raw("<a href=\"/vehicle?vehicle=")
          .Text(UrlEncode(reg))
          .Raw("&amp;from=")
          .Number(y)
          .Raw("-01-01&amp;to=")
          .Number(y)
          .Raw("-12-31\">")
          .Number(y)
          .Raw("</a> ");
    }
  }
  b.Raw(
      "</nav><div class=\"scroll\"><table id=\"months\"><thead><tr>"
      "<th scope=\"col\">Месяц</th><th scope=\"col\">Поездок</th><th scope=\"col\">км</th>"
      "<th scope=\"col\">л</th><th scope=\"col\">л/100 км</th></tr></thead><tbody>");
  // The latest month first.
  for (std::size_t i = view.months.size(); i-- > 0;) {
    const logbook::MonthSummary& m = view.months[i];
    Sums s;
    s.Add(m);
    const std::string first = std::to_string(m.year) + "-" + Two(static_cast<unsigned>(m.month)) + "-01";
    b.Raw("<tr><th scope=\"row\"><a href=\"/vehicle?vehicle=")
        .Text(UrlEncode(reg))
        .Raw("&amp;from=")
        .Text(first)
        .Raw("&amp;to=")
        .Text(MonthEnd(m.year, m.month))
        .Raw("\">")
        .Text(stats::MonthName(static_cast<std::uint8_t>(m.month - 1)))
        .Raw(" ")
        .Number(m.year)
        .Raw("</a></th>")
        .Append(SumCells(s))
        .Raw("</tr>");
  }
  b.Raw("</tbody></table></div>");
  return Layout(reg, b).Str();
}

std::string ReportPage(const ReportView& view) {
  Html b;
  b.Raw(
       "<form class=\"period\" method=\"get\" action=\"/report\"><label>Год или месяц (2024 или 2024-03) "
       "<input name=\"period\" pattern=\"[0-9]{4}(-[0-9]{2})?\" value=\"")
      .Text(view.period)
      .Raw("\"></label> <button type=\"submit\">Показать</button></form><p><a href=\"/report.csv?period=")
      .Text(view.period)
      .Raw("\" id=\"report-csv\">Скачать .csv</a></p><div class=\"scroll\"><table id=\"report\"><caption>")
      .Text(view.caption)
      .Raw(
          "</caption><thead><tr><th scope=\"col\">Номер</th><th scope=\"col\">Модель</th>"
          "<th scope=\"col\">Владелец</th><th scope=\"col\">Поездок</th><th scope=\"col\">км</th>"
          "<th scope=\"col\">л</th><th scope=\"col\">л/100 км</th></tr></thead><tbody>");
  Sums total;
  for (const ReportLine& line : view.lines) {
    total.trips += line.sums.trips;
    total.distance += line.sums.distance;
    total.fuel += line.sums.fuel;
    b.Raw("<tr><th scope=\"row\">")
        .Text(logbook::Registration(line.vehicle))
        .Raw("</th><td>")
        .Text(line.vehicle.texts.Model)
        .Raw("</td><td>")
        .Text(line.vehicle.texts.Owner)
        .Raw("</td>")
        .Append(SumCells(line.sums))
        .Raw("</tr>");
  }
  b.Raw("</tbody><tfoot><tr><th scope=\"row\" colspan=\"3\">Итого</th>")
      .Append(SumCells(total))
      .Raw("</tr></tfoot></table></div>");
  return Layout("Отчёт по парку: " + view.caption, b).Str();
}

std::string ReportCsv(const ReportView& view) {
  std::string out = "Номер;Модель;Владелец;Поездок;км;л;л/100 км\r\n";
  Sums total;
  const auto row = [&out](const std::string& reg, const std::string& model, const std::string& owner, const Sums& s) {
    out += CsvField(reg) + ";" + CsvField(model) + ";" + CsvField(owner) + ";" + std::to_string(s.trips) + ";" +
           Comma(KmText(s.distance)) + ";" + Comma(LitreText(s.fuel)) + ";" +
           (s.distance == 0 ? std::string() : Comma(ConsumptionText(s))) + "\r\n";
  };
  for (const ReportLine& line : view.lines) {
    total.trips += line.sums.trips;
    total.distance += line.sums.distance;
    total.fuel += line.sums.fuel;
    row(logbook::Registration(line.vehicle), line.vehicle.texts.Model, line.vehicle.texts.Owner, line.sums);
  }
  row("Итого", "", "", total);
  return out;
}

std::string LoginPage(const std::string& message, bool passwords) {
  Html b;
  if (!message.empty()) b.Raw("<p class=\"problem\" role=\"alert\">").Text(message).Raw("</p>");
  b.Raw("<p>Откройте адрес со знаком доступа, который сервер напечатал при запуске.</p>");
  if (passwords) {
    b.Raw(
        "<form class=\"login\" method=\"post\" action=\"/login\"><label>Имя <input name=\"user\" "
        "autocomplete=\"username\" required></label><label>Пароль <input type=\"password\" name=\"password\" "
        "autocomplete=\"current-password\" required></label><button type=\"submit\">Войти</button></form>");
  }
  return Layout("Вход", b, false).Str();
}

std::string ErrorPage(int status, const std::string& message) {
  Html b;
  b.Raw("<p class=\"problem\" role=\"alert\">").Text(message).Raw("</p><p><a href=\"/\">К списку автомобилей</a></p>");
  return Layout(status == 503 ? "Журнал недоступен" : status == 404 ? "Не найдено" : "Ошибка в запросе", b).Str();
}

const char StyleSheet[] = R"(:root{color-scheme:light dark;--fg:#1b1b1b;--bg:#fff;--line:#ccc;--accent:#1f5fbf;
--distance:hsl(210,60%,45%);--fuel:hsl(30,60%,45%);--grid:#ddd}
@media (prefers-color-scheme:dark){:root{--fg:#e6e6e6;--bg:#16181b;--line:#444;--accent:#8ab4f8;
--distance:hsl(210,60%,60%);--fuel:hsl(30,60%,60%);--grid:#333}}
body{font-family:system-ui,sans-serif;margin:0;color:var(--fg);background:var(--bg);line-height:1.4}
main{padding:0 1rem 2rem;max-width:80rem}
header nav{display:flex;gap:1rem;align-items:center;flex-wrap:wrap;padding:.5rem 1rem;border-bottom:1px solid var(--line)}
header form{margin-left:auto}
a{color:var(--accent)}
a:focus,button:focus,input:focus{outline:3px solid var(--accent);outline-offset:2px}
.skip{position:absolute;left:-999px}.skip:focus{left:1rem;top:1rem;background:var(--bg)}
.scroll{overflow-x:auto}
table{border-collapse:collapse;margin:.5rem 0}
th,td{border:1px solid var(--line);padding:.2rem .5rem;text-align:left;white-space:nowrap}
td.n,#trips td{font-variant-numeric:tabular-nums}
td.n{text-align:right}
caption{text-align:left;font-weight:bold;padding:.3rem 0}
.facts{display:grid;grid-template-columns:max-content 1fr;gap:.2rem 1rem}
.facts dd{margin:0}
.period,.login{display:flex;gap:.5rem;flex-wrap:wrap;align-items:end;margin:1rem 0}
.login{flex-direction:column;align-items:start}
.problem{border-left:4px solid #c33;padding:.3rem .7rem}
figure{margin:0}
.chart{width:100%;max-width:800px;height:auto}
.chart .plot{fill:none;stroke:var(--line)}
.chart .grid{stroke:var(--grid)}
.chart .distance{fill:var(--distance)}
.chart .fuel{fill:var(--fuel)}
.chart .consumption{fill:none;stroke:var(--fg);stroke-width:2}
.chart text{fill:var(--fg);font-size:12px}
.key::before{content:"";display:inline-block;width:.8em;height:.8em;margin-right:.3em;vertical-align:middle}
.key.distance::before{background:var(--distance)}.key.fuel::before{background:var(--fuel)}
.key.consumption::before{height:2px;background:var(--fg)}
@media print{header,.period,.skip,a[href^="/report.csv"]{display:none}a{color:inherit;text-decoration:none}}
)";

}  // namespace riventar::web
