#include "web/server.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <stdexcept>

#include "core/logbook/json_text.h"
#include "core/stats/buckets.h"
#include "core/stats/period.h"
#include "core/trips/dat_file.h"
#include "web/pages.h"

namespace riventar::web {
namespace {

constexpr char SessionCookie[] = "riventar_session";
constexpr std::size_t TripsPerPage = 100;
constexpr char Html_[] = "text/html; charset=utf-8";
constexpr char Json_[] = "application/json; charset=utf-8";

// A request that cannot be answered as asked: its status and what is wrong.
struct Refused {
  int status;
  std::string message;
};

// At most `n` characters of a value, for a message; never cut inside one.
std::string Cut(const std::string& text, std::size_t n) {
  std::size_t end = 0, characters = 0;
  while (end < text.size()) {
    if ((static_cast<unsigned char>(text[end]) & 0xc0) != 0x80 && characters++ == n) break;
    ++end;
  }
  return text.substr(0, end);
}

std::string Param(const httplib::Request& req, const char* name) {
  return req.has_param(name) ? req.get_param_value(name) : std::string();
}

std::optional<std::string> DateParam(const httplib::Request& req, const char* name) {
  if (!req.has_param(name) || req.get_param_value(name).empty()) return std::nullopt;
  const std::string value = req.get_param_value(name);
  if (!IsIsoDate(value))
    throw Refused{400, std::string(name == std::string("from") ? "Начало" : "Конец") +
                           " периода — не дата (нужно ГГГГ-ММ-ДД): «" + Cut(value, 40) + "»"};
  return value;
}

std::optional<std::string> CookieValue(const httplib::Request& req, std::string_view name) {
  const std::string header = req.get_header_value("Cookie");
  std::string_view rest = header;
  while (!rest.empty()) {
    const auto end = rest.find(';');
    std::string_view pair = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name && pair[name.size()] == '=')
      return std::string(pair.substr(name.size() + 1));
  }
  return std::nullopt;
}

std::optional<std::string> BearerToken(const httplib::Request& req) {
  const std::string header = req.get_header_value("Authorization");
  if (header.rfind("Bearer ", 0) != 0) return std::nullopt;
  return header.substr(7);
}

bool IsApi(const httplib::Request& req) { return req.path.rfind("/api/", 0) == 0; }

void Answer(const httplib::Request& req, httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  if (IsApi(req)) {
    res.set_content("{\"error\": " + logbook::JsonString(message) + "}\n", Json_);
  } else {
    res.set_content(ErrorPage(status, message), Html_);
  }
}

struct Today {
  int year = 2000, month = 1;
};
Today LocalToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) return {};
  return {local.tm_year + 1900, local.tm_mon + 1};
}

stats::Date ToDate(const std::string& iso) {
  int y = 0, m = 0, d = 0;
  std::from_chars(iso.data(), iso.data() + 4, y);
  std::from_chars(iso.data() + 5, iso.data() + 7, m);
  std::from_chars(iso.data() + 8, iso.data() + 10, d);
  return std::chrono::year{y} / std::chrono::month{static_cast<unsigned>(m)} /
         std::chrono::day{static_cast<unsigned>(d)};
}

// Days for up to a month, weeks for up to a season, months up to three
// years, years beyond: the desktop chart's steps.
stats::BucketSize SizeFor(stats::Date start, stats::Date end) {
  const auto days = (std::chrono::sys_days{end} - std::chrono::sys_days{start}).count() + 1;
  if (days <= 31) return stats::BucketSize::Day;
  if (days <= 92) return stats::BucketSize::Week;
  if (days <= 36L * 31) return stats::BucketSize::Month;
  return stats::BucketSize::Year;
}

logbook::VehicleSummary VehicleParam(logbook::Store& store, const httplib::Request& req) {
  const std::string typed = Param(req, "vehicle");
  if (typed.empty()) throw Refused{400, "Не указан автомобиль (параметр vehicle)"};
  const std::optional<logbook::VehicleSummary> found = logbook::FindVehicle(store.Vehicles(), typed);
  if (!found) throw Refused{404, "В журнале нет автомобиля «" + Cut(typed, 40) + "»"};
  return *found;
}

struct Selection {
  logbook::VehicleSummary vehicle;
  logbook::TripQuery query;
};
Selection SelectTrips(logbook::Store& store, const httplib::Request& req) {
  Selection s{VehicleParam(store, req), {}};
  s.query = {s.vehicle.plateKey, DateParam(req, "from"), DateParam(req, "to")};
  if (s.query.from && s.query.to && *s.query.from > *s.query.to) throw Refused{400, "Начало периода позже его конца"};
  return s;
}

std::string PeriodCaption(const std::string& period) {
  if (period.size() == 4) return period + " год";
  const int month = std::stoi(period.substr(5, 2));
  return std::string(stats::MonthName(static_cast<std::uint8_t>(month - 1))) + " " + period.substr(0, 4) + " года";
}

bool IsReportPeriod(const std::string& p) {
  const bool year = p.size() >= 4 && std::all_of(p.begin(), p.begin() + 4, [](char c) { return c >= '0' && c <= '9'; });
  if (!year || p.compare(0, 4, "2000") < 0 || p.compare(0, 4, "2255") > 0) return false;
  if (p.size() == 4) return true;
  return p.size() == 7 && p[4] == '-' && IsIsoDate(p + "-01");
}

std::map<std::string, Sums> SumsByPlate(const std::vector<logbook::PeriodTotals>& totals) {
  std::map<std::string, Sums> out;
  for (const logbook::PeriodTotals& t : totals) out[t.plateKey] = {t.trips, t.distance, t.fuel};
  return out;
}

}  // namespace

std::string Refusal(const ServerOptions& options) {
  if (options.certFile.empty() != options.keyFile.empty()) return "--tls-cert and --tls-key go together";
  if (IsLoopback(options.listen.host)) return {};
  if (options.certFile.empty())
    return "refusing to listen on " + options.listen.host +
           ", which the network may reach, without TLS: give --tls-cert FILE --tls-key FILE, or listen on 127.0.0.1";
  if (options.users.empty())
    return "refusing to listen on " + options.listen.host +
           " without users: add one with 'riventar-web user add NAME' first";
  return {};
}

WebServer::WebServer(ServerOptions options, StorePool::Opener open)
    : options_(std::move(options)), stores_(std::move(open)), access_(options_.token) {
  if (options_.certFile.empty()) {
    http_ = std::make_unique<httplib::Server>();
  } else {
    http_ = std::make_unique<httplib::SSLServer>(options_.certFile.c_str(), options_.keyFile.c_str());
    if (!http_->is_valid())
      throw std::runtime_error("cannot use the certificate " + options_.certFile + " with the key " + options_.keyFile);
  }
  const int threads = std::max(2, options_.threads);
  // The library's own hook takes a new pool it then owns.
  http_->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
  http_->set_read_timeout(std::chrono::seconds{5});
  http_->set_write_timeout(std::chrono::seconds{10});
  http_->set_keep_alive_timeout(5);
  http_->set_keep_alive_max_count(100);
  // Headers and body go out in separate writes: without this the body waits
  // for the client's delayed ACK, 40 ms a page.
  http_->set_tcp_nodelay(true);
  // Only the login form has a body.
  http_->set_payload_max_length(std::size_t{16} * 1024);
  Routes();
}

WebServer::~WebServer() { Stop(); }

int WebServer::Bind() {
  const ListenAddress& at = options_.listen;
  if (at.port == 0) {
    const int port = http_->bind_to_any_port(at.host);
    if (port <= 0) throw std::runtime_error("cannot listen on " + at.host);
    return port;
  }
  if (!http_->bind_to_port(at.host, at.port))
    throw std::runtime_error("cannot listen on " + at.host + ":" + std::to_string(at.port) +
                             " (in use, or not an address of this computer)");
  return at.port;
}

void WebServer::Run() { http_->listen_after_bind(); }

void WebServer::Stop() {
  if (http_) http_->stop();
}

void WebServer::Routes() {
  const bool tls = !options_.certFile.empty();
  // Every answer: nothing from elsewhere, no framing, no caching, no referrer
  // (the first address carries the token).
  http_->set_pre_routing_handler([this, tls](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
                   "frame-ancestors 'none'; base-uri 'none'");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("Cache-Control", "no-store");
    res.set_header("Cross-Origin-Opener-Policy", "same-origin");
    if (tls) res.set_header("Strict-Transport-Security", "max-age=31536000");
    if (req.method != "GET" && req.method != "HEAD" && req.method != "POST") {
      Answer(req, res, 405, "Метод не поддерживается");
      return httplib::Server::HandlerResponse::Handled;
    }

    const std::string& client = req.remote_addr;
    if (req.has_param("token")) {
      if (!access_.MayTry(client)) {
        res.status = 429;
        res.set_content(LoginPage("Слишком много неудачных попыток; подождите минуту", !options_.users.empty()), Html_);
        return httplib::Server::HandlerResponse::Handled;
      }
      if (!access_.IsToken(req.get_param_value("token"))) {
        access_.Failed(client);
        res.status = 401;
        res.set_content(LoginPage("Знак доступа в адресе неверен", !options_.users.empty()), Html_);
        return httplib::Server::HandlerResponse::Handled;
      }
      const std::string session = access_.OpenSession();
      res.set_header("Set-Cookie", std::string(SessionCookie) + "=" + session + "; Path=/; HttpOnly; SameSite=Strict" +
                                       (tls ? "; Secure" : ""));
      // The token leaves the address bar and the history.
      res.set_redirect("/", 303);
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.path == "/style.css" || req.path == "/login") return httplib::Server::HandlerResponse::Unhandled;
    const std::optional<std::string> cookie = CookieValue(req, SessionCookie);
    if (cookie && access_.IsSession(*cookie)) return httplib::Server::HandlerResponse::Unhandled;
    if (const std::optional<std::string> bearer = BearerToken(req)) {
      if (!access_.MayTry(client)) {
        Answer(req, res, 429, "Слишком много неудачных попыток; подождите минуту");
        return httplib::Server::HandlerResponse::Handled;
      }
      if (access_.IsToken(*bearer)) return httplib::Server::HandlerResponse::Unhandled;
      access_.Failed(client);
    }
    res.status = 401;
    if (IsApi(req)) {
      res.set_header("WWW-Authenticate", "Bearer");
      res.set_content("{\"error\": \"not logged in: a session cookie or Authorization: Bearer TOKEN\"}\n", Json_);
    } else {
      res.set_content(LoginPage("", !options_.users.empty()), Html_);
    }
    return httplib::Server::HandlerResponse::Handled;
  });

  // Whatever a handler meets comes back as a page that says it; no request
  // stops the server.
  const auto guarded = [this](auto work) {
    return [this, work](const httplib::Request& req, httplib::Response& res) {
      try {
        stores_.With([&](logbook::Store& store) {
          work(store, req, res);
          return 0;
        });
      } catch (const Refused& r) {
        Answer(req, res, r.status, r.message);
      } catch (const logbook::StoreError& e) {
        Answer(req, res, 503, "Журнал сейчас недоступен: " + std::string(e.what()) + ". Повторите позже.");
      } catch (const std::exception& e) {
        Answer(req, res, 500, std::string("Внутренняя ошибка: ") + e.what());
      }
    };
  };

  http_->Get("/style.css", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "max-age=3600");
    res.set_content(StyleSheet, "text/css; charset=utf-8");
  });

  http_->Get("/login", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(LoginPage("", !options_.users.empty()), Html_);
  });
  http_->Post("/login", [this, tls](const httplib::Request& req, httplib::Response& res) {
    const std::string& client = req.remote_addr;
    const bool passwords = !options_.users.empty();
    if (!access_.MayTry(client)) {
      res.status = 429;
      res.set_content(LoginPage("Слишком много неудачных попыток; подождите минуту", passwords), Html_);
      return;
    }
    bool known = false;
    {
      const std::lock_guard lock(hashing_);
      known = CheckPassword(options_.users, Param(req, "user"), Param(req, "password"));
    }
    if (!known) {
      access_.Failed(client);
      res.status = 401;
      res.set_content(LoginPage("Имя или пароль неверны", passwords), Html_);
      return;
    }
    res.set_header("Set-Cookie", std::string(SessionCookie) + "=" + access_.OpenSession() +
                                     "; Path=/; HttpOnly; SameSite=Strict" + (tls ? "; Secure" : ""));
    res.set_redirect("/", 303);
  });
  http_->Post("/logout", [this](const httplib::Request& req, httplib::Response& res) {
    if (const auto cookie = CookieValue(req, SessionCookie)) access_.CloseSession(*cookie);
    res.set_header("Set-Cookie", std::string(SessionCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict");
    res.set_redirect("/login", 303);
  });

  http_->Get("/", guarded([this](logbook::Store& store, const httplib::Request&, httplib::Response& res) {
               const Today today = LocalToday();
               VehiclesView view;
               view.fleet = options_.fleet;
               view.year = today.year;
               view.monthCaption = std::string(stats::MonthName(static_cast<std::uint8_t>(today.month - 1))) + " " +
                                   std::to_string(today.year);
               const std::string year = std::to_string(today.year);
               const std::string month = year + "-" + (today.month < 10 ? "0" : "") + std::to_string(today.month);
               const auto yearSums = SumsByPlate(store.SumsByVehicle({std::nullopt, year + "-01-01", year + "-12-31"}));
               const auto monthSums = SumsByPlate(store.SumsByVehicle({std::nullopt, month + "-01", month + "-31"}));
               for (logbook::VehicleSummary& v : store.Vehicles()) {
                 VehicleLine line{std::move(v), {}, {}};
                 if (const auto y = yearSums.find(line.vehicle.plateKey); y != yearSums.end()) line.year = y->second;
                 if (const auto m = monthSums.find(line.vehicle.plateKey); m != monthSums.end()) line.month = m->second;
                 view.lines.push_back(std::move(line));
               }
               res.set_content(VehiclesPage(view), Html_);
             }));

  http_->Get(
      "/vehicle", guarded([](logbook::Store& store, const httplib::Request& req, httplib::Response& res) {
        Selection s = SelectTrips(store, req);
        // Without dates: the year of the last trip.
        const std::string year =
            s.vehicle.lastDate.size() == 10 ? s.vehicle.lastDate.substr(0, 4) : std::to_string(LocalToday().year);
        if (!s.query.from) s.query.from = s.query.to ? s.query.to->substr(0, 4) + "-01-01" : year + "-01-01";
        if (!s.query.to) s.query.to = s.query.from->substr(0, 4) + "-12-31";
        if (*s.query.from > *s.query.to) throw Refused{400, "Начало периода позже его конца"};
        std::size_t page = 1;
        if (const std::string p = Param(req, "page"); !p.empty()) {
          const auto [end, error] = std::from_chars(p.data(), p.data() + p.size(), page);
          if (error != std::errc() || end != p.data() + p.size() || page == 0)
            throw Refused{400, "Номер страницы — не число: «" + Cut(p, 20) + "»"};
        }
        VehicleView view;
        view.vehicle = s.vehicle;
        view.from = *s.query.from;
        view.to = *s.query.to;
        const trips::TripList found = store.Trips(s.query);
        view.total = found.size();
        view.pages = std::max<std::size_t>(1, (found.size() + TripsPerPage - 1) / TripsPerPage);
        if (page > view.pages)
          throw Refused{404, "Страницы " + std::to_string(page) + " нет: за период их " + std::to_string(view.pages)};
        view.page = page;
        view.firstRow = (page - 1) * TripsPerPage + 1;
        view.trips.assign(found.begin() + static_cast<std::ptrdiff_t>(view.firstRow - 1),
                          found.begin() + static_cast<std::ptrdiff_t>(std::min(found.size(), page * TripsPerPage)));
        const stats::Period period{ToDate(view.from), ToDate(view.to), view.from + " — " + view.to};
        view.chart.caption = period.caption;
        view.chart.size = SizeFor(period.start, period.end);
        view.chart.buckets = stats::MakeBuckets(found, period, view.chart.size);
        // The period's months from its trips, already read: no second pass
        // over the vehicle's whole history.
        for (const trips::TripRecord& r : found) {
          const int tripYear = 2000 + r.Year, tripMonth = r.Month + 1;
          if (view.months.empty() || view.months.back().year != tripYear || view.months.back().month != tripMonth)
            view.months.push_back({tripYear, tripMonth, 0, 0, 0});
          ++view.months.back().trips;
          view.months.back().distance += r.Distance;
          view.months.back().fuel += r.Fuel;
        }
        res.set_content(VehiclePage(view), Html_);
      }));

  const auto report = [](logbook::Store& store, const httplib::Request& req) {
    ReportView view;
    view.period = Param(req, "period");
    if (view.period.empty()) view.period = std::to_string(LocalToday().year);
    if (!IsReportPeriod(view.period))
      throw Refused{400, "Период — не год и не месяц (нужно ГГГГ или ГГГГ-ММ): «" + Cut(view.period, 20) + "»"};
    view.caption = PeriodCaption(view.period);
    const bool wholeYear = view.period.size() == 4;
    // Day 31 of any month is past its last day: the query's bound is a day's end.
    const auto sums = SumsByPlate(store.SumsByVehicle(
        {std::nullopt, view.period + (wholeYear ? "-01-01" : "-01"), view.period + (wholeYear ? "-12-31" : "-31")}));
    for (logbook::VehicleSummary& v : store.Vehicles()) {
      ReportLine line{std::move(v), {}};
      if (const auto found = sums.find(line.vehicle.plateKey); found != sums.end()) line.sums = found->second;
      view.lines.push_back(std::move(line));
    }
    return view;
  };
  http_->Get("/report", guarded([report](logbook::Store& store, const httplib::Request& req, httplib::Response& res) {
               res.set_content(ReportPage(report(store, req)), Html_);
             }));
  http_->Get("/report.csv",
             guarded([report](logbook::Store& store, const httplib::Request& req, httplib::Response& res) {
               const ReportView view = report(store, req);
               res.set_header("Content-Disposition", "attachment; filename=\"report-" + view.period + ".csv\"");
               res.set_content(ReportCsv(view), "text/csv; charset=utf-8");
             }));

  http_->Get("/download", guarded([](logbook::Store& store, const httplib::Request& req, httplib::Response& res) {
               const std::string format = Param(req, "format");
               if (format != "csv" && format != "dat")
                 throw Refused{400, "Формат файла — csv или dat, а не «" + Cut(format, 20) + "»"};
               const Selection s = SelectTrips(store, req);
               const trips::TripList found = store.Trips(s.query);
               if (found.empty()) throw Refused{404, "За этот период поездок нет: файл не составлен"};
               // The bytes riventar-cli log trips -o writes for the same arguments.
               const std::string bytes =
                   format == "dat" ? trips::SerializeDatFile(s.vehicle.texts, found) : trips::SerializeCsv(found);
               const std::string name = std::string("trips") + (s.query.from ? "-" + *s.query.from : "") +
                                        (s.query.to ? "-" + *s.query.to : "") + "." + format;
               res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
               res.set_content(bytes, format == "csv" ? "text/csv; charset=windows-1251" : "application/octet-stream");
             }));

  http_->Get("/api/v1/vehicles", guarded([](logbook::Store& store, const httplib::Request&, httplib::Response& res) {
               res.set_content(logbook::VehiclesJson(store.Vehicles()), Json_);
             }));
  http_->Get("/api/v1/trips", guarded([](logbook::Store& store, const httplib::Request& req, httplib::Response& res) {
               const Selection s = SelectTrips(store, req);
               res.set_content(logbook::TripsJson(store.Trips(s.query)), Json_);
             }));

  // No other path is served: a page that says so.
  http_->set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        Answer(req, res, res.status, res.status == 404 ? "Такой страницы нет" : "Запрос не выполнен");
        return httplib::Server::HandlerResponse::Handled;
      }));
}

}  // namespace riventar::web
