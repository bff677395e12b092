// riventar-web's parts and its server, in process, over real SQLite files
// and real sockets on the loopback address.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "adapters/logbook/pg_store.h"
#include "adapters/logbook/session_stores.h"
#include "adapters/logbook/sqlite_store.h"
#include "core/logbook/json_text.h"
#include "core/trips/dat_file.h"
#include "tests/support/file_bytes.h"
#include "tests/support/logbook_trips.h"
#include "tests/support/pg_server.h"
#include "tests/support/temp_dir.h"
#include "web/access.h"
#include "web/html.h"
#include "web/listen.h"
#include "web/pages.h"
#include "web/server.h"

namespace fs = std::filesystem;
using namespace riventar;
using riventar::testing::Reading;
using riventar::testing::TempDir;
using riventar::testing::Trip;

using riventar::testing::Contents;

namespace {

TEST(WebHtml, EscapesEveryCharacterThatCouldOpenMarkup) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"\"Петров\" & 'Co'", "&quot;Петров&quot; &amp; &#39;Co&#39;"},
      {"А123ВС77", "А123ВС77"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(web::Escape(c.in), c.out) << c.in;
  EXPECT_EQ(web::UrlEncode("А1 &b"), "%D0%901%20%26b");
}

TEST(WebListen, ReadsAddressesAndTellsLoopbackFromTheNetwork) {
  const struct {
    const char* text;
    bool ok;
    const char* host;
    int port;
    bool loopback;
  } cases[] = {
      {"127.0.0.1:8470", true, "127.0.0.1", 8470, true},
      {"127.8.9.1:1", true, "127.8.9.1", 1, true},
      {"[::1]:8470", true, "::1", 8470, true},
      {"localhost:80", true, "localhost", 80, true},
      {"0.0.0.0:8470", true, "0.0.0.0", 8470, false},
      {"192.168.1.5:443", true, "192.168.1.5", 443, false},
      {"[::]:8470", true, "::", 8470, false},
      {"example:8470", true, "example", 8470, false},
      {"127.0.0.1", false, "", 0, false},
      {"127.0.0.1:65536", false, "", 0, false},
      {"::1:8470", false, "", 0, false},
      {":8470", false, "", 0, false},
      {"127.0.0.1:84x", false, "", 0, false},
  };
  for (const auto& c : cases) {
    const auto parsed = web::ParseListen(c.text);
    ASSERT_EQ(parsed.has_value(), c.ok) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->host, c.host);
    EXPECT_EQ(parsed->port, c.port);
    EXPECT_EQ(web::IsLoopback(parsed->host), c.loopback) << c.text;
  }
}

TEST(WebListen, DatesAreCalendarDatesOfTheTripsRange) {
  for (const char* good : {"2024-02-29", "2000-01-01", "2255-12-31"}) EXPECT_TRUE(web::IsIsoDate(good)) << good;
  for (const char* bad : {"2023-02-29", "2024-13-01", "1999-12-31", "2024-1-01", "2024-01-01x", "abcd-ef-gh", ""})
    EXPECT_FALSE(web::IsIsoDate(bad)) << bad;
}

TEST(WebAccess, TheNetworkNeedsTlsAndUsers) {
  web::ServerOptions o;
  o.listen = {"127.0.0.1", 8470};
  EXPECT_EQ(web::Refusal(o), "");
  o.listen = {"0.0.0.0", 8470};
  EXPECT_NE(web::Refusal(o).find("without TLS"), std::string::npos);
  o.certFile = "cert.pem";
  EXPECT_NE(web::Refusal(o).find("go together"), std::string::npos);
  o.keyFile = "key.pem";
  EXPECT_NE(web::Refusal(o).find("without users"), std::string::npos);
  o.users["anna"] = "$argon2id$...";
  EXPECT_EQ(web::Refusal(o), "");
}

TEST(WebAccess, SessionsEndAndGuessesAreBraked) {
  web::Access access(web::RandomToken());
  EXPECT_EQ(access.Token().size(), 64u);
  EXPECT_TRUE(access.IsToken(access.Token()));
  EXPECT_FALSE(access.IsToken(access.Token().substr(1)));
  EXPECT_FALSE(access.IsToken(std::string(64, '0')));

  const auto t0 = web::Access::Clock::now();
  const std::string session = access.OpenSession(t0);
  EXPECT_TRUE(access.IsSession(session, t0 + std::chrono::hours{11}));
  EXPECT_FALSE(access.IsSession(session, t0 + web::Access::SessionLife));
  EXPECT_FALSE(access.IsSession("forged", t0));
  const std::string other = access.OpenSession(t0);
  access.CloseSession(other);
  EXPECT_FALSE(access.IsSession(other, t0));

  for (int i = 0; i < web::Access::MaxFailures; ++i) {
    EXPECT_TRUE(access.MayTry("10.0.0.1", t0));
    access.Failed("10.0.0.1", t0);
  }
  EXPECT_FALSE(access.MayTry("10.0.0.1", t0 + std::chrono::seconds{59}));
  EXPECT_TRUE(access.MayTry("10.0.0.2", t0));
  EXPECT_TRUE(access.MayTry("10.0.0.1", t0 + web::Access::FailureWindow));
}

TEST(WebAccess, UsersKeepOnlyASaltedHashInAFileOfTheirOwner) {
  TempDir dir("riventar-web-users");
  const std::string file = dir / "riventar/web-users";
  web::AddUser(file, "anna", "correct horse");
  web::AddUser(file, "boris", "correct horse");
  const auto users = web::LoadUsers(file);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users.at("anna").rfind("$argon2id$", 0), 0u);
  EXPECT_NE(users.at("anna"), users.at("boris"));  // salted
  EXPECT_EQ(Contents(file).find("correct horse"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(web::CheckPassword(users, "anna", "correct horse"));
  EXPECT_FALSE(web::CheckPassword(users, "anna", "correct horsE"));
  EXPECT_FALSE(web::CheckPassword(users, "carl", "correct horse"));
  EXPECT_THROW(web::AddUser(file, "a b", "correct horse"), std::runtime_error);
  EXPECT_THROW(web::AddUser(file, "anna", "short"), std::runtime_error);
  EXPECT_TRUE(web::RemoveUser(file, "anna"));
  EXPECT_FALSE(web::RemoveUser(file, "anna"));
  EXPECT_EQ(web::LoadUsers(file).size(), 1u);
  std::ofstream(file, std::ios::app) << "not a user line\n";
  EXPECT_THROW(web::LoadUsers(file), std::runtime_error);
}

TEST(WebPages, ReportCsvQuotesTextsAndDisarmsFormulas) {
  web::ReportView view;
  view.period = "2024";
  logbook::VehicleSummary v;
  v.plateKey = "А123ВС77";
  v.texts = {"=HYPERLINK(\"x\")", "А123ВС77", "Иванов; сын"};
  view.lines.push_back({v, {2, 6000 * 100, 16000 * 8}});
  EXPECT_EQ(web::ReportCsv(view),
            "Номер;Модель;Владелец;Поездок;км;л;л/100 км\r\n"
            "А123ВС77;\"'=HYPERLINK(\"\"x\"\")\";\"Иванов; сын\";2;100,0;8,0;8,0\r\n"
            "Итого;;;2;100,0;8,0;8,0\r\n");
}

// The server in this process on a free loopback port, over a logbook file of
// two cars, one of them with markup in its texts.
class WebServer : public ::testing::Test {
 protected:
  void SetUp() override {
    trips::TripList first, second;
    for (int day = 1; day <= 40; ++day) first.push_back(Trip(day, 8));
    for (int day = 1; day <= 3; ++day) second.push_back(Trip(day, 18, 30000));
    {
      const auto store = logbook::OpenLogbook(file.string());
      store->Record(Reading(first));
      logbook::Recording other = Reading(second, "В456ОР99");
      other.vehicle.Model = "<script>alert(1)</script>";
      store->Record(other);
    }
    before = Contents(file);
    web::ServerOptions options;
    options.listen = {"127.0.0.1", 0};
    options.token = web::RandomToken();
    token = options.token;
    const std::string path = file.string();
    server = std::make_unique<web::WebServer>(options, [path] { return logbook::OpenLogbookReadOnly(path); });
    port = server->Bind();
    runner = std::thread([this] { server->Run(); });
    client = std::make_unique<httplib::Client>("127.0.0.1", port);
  }
  void TearDown() override {
    server->Stop();
    runner.join();
    server.reset();
    // Only read: the file is as it was.
    EXPECT_EQ(Contents(file), before);
  }

  // A session, as a browser gets one from the printed address.
  httplib::Headers LoggedIn() {
    const auto res = client->Get(("/?token=" + token).c_str());
    EXPECT_TRUE(res);
    EXPECT_EQ(res->status, 303);
    const std::string cookie = res->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    return {{"Cookie", cookie.substr(0, cookie.find(';'))}};
  }

  TempDir dir{"riventar-web-test"};
  fs::path file = dir / "logbook.sqlite";
  std::string before, token;
  std::unique_ptr<web::WebServer> server;
  int port = 0;
  std::thread runner;
  std::unique_ptr<httplib::Client> client;
};

TEST_F(WebServer, WithoutTheTokenEveryPathAnswers401) {
  for (const char* path : {"/", "/vehicle?vehicle=А123ВС77", "/report", "/api/v1/vehicles", "/nowhere"}) {
    const auto res = client->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 401) << path;
    EXPECT_EQ(res->get_header_value("X-Frame-Options"), "DENY");
    EXPECT_NE(res->get_header_value("Content-Security-Policy").find("default-src 'none'"), std::string::npos);
  }
  EXPECT_NE(client->Get("/")->body.find("знаком доступа"), std::string::npos);
  EXPECT_EQ(client->Get("/?token=0123")->status, 401);
  const httplib::Headers forged{{"Cookie", "riventar_session=" + std::string(64, 'a')}};
  EXPECT_EQ(client->Get("/", forged)->status, 401);
}

TEST_F(WebServer, GuessingTheTokenIsBraked) {
  for (int i = 0; i < web::Access::MaxFailures; ++i) EXPECT_EQ(client->Get("/?token=wrong")->status, 401);
  EXPECT_EQ(client->Get("/?token=wrong")->status, 429);
  EXPECT_EQ(client->Get(("/?token=" + token).c_str())->status, 429);  // even the right one, for a minute
}

TEST_F(WebServer, PagesShowTheLogbookWithItsTextsEscaped) {
  const httplib::Headers session = LoggedIn();
  const auto vehicles = client->Get("/", session);
  ASSERT_EQ(vehicles->status, 200);
  EXPECT_NE(vehicles->body.find("А123ВС77"), std::string::npos);
  EXPECT_EQ(vehicles->body.find("<script>"), std::string::npos);
  EXPECT_NE(vehicles->body.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);

  const auto vehicle = client->Get("/vehicle?vehicle=a123bc77&from=2024-01-01&to=2024-12-31", session);
  ASSERT_EQ(vehicle->status, 200);
  EXPECT_NE(vehicle->body.find("<svg class=\"chart\""), std::string::npos);
  EXPECT_NE(vehicle->body.find("Январь 2024"), std::string::npos);
  EXPECT_NE(vehicle->body.find("40 за период"), std::string::npos);

  EXPECT_EQ(client->Get("/report?period=2024-01", session)->status, 200);
  EXPECT_EQ(client->Get("/style.css")->status, 200);
}

TEST_F(WebServer, BadRequestsGetAPageThatSaysWhatIsWrong) {
  const httplib::Headers session = LoggedIn();
  const struct {
    const char* path;
    int status;
    const char* words;
  } cases[] = {
      {"/vehicle?vehicle=X000XX00", 404, "нет автомобиля"},
      {"/vehicle", 400, "Не указан автомобиль"},
      {"/vehicle?vehicle=А123ВС77&from=2024-02-30", 400, "не дата"},
      {"/vehicle?vehicle=А123ВС77&from=2024-03-01&to=2024-01-01", 400, "позже"},
      {"/vehicle?vehicle=А123ВС77&page=9", 404, "Страницы 9 нет"},
      {"/vehicle?vehicle=А123ВС77&page=-1", 400, "не число"},
      {"/download?vehicle=А123ВС77&format=exe", 400, "Формат"},
      {"/download?vehicle=А123ВС77&from=2030-01-01&format=csv", 404, "поездок нет"},
      {"/report?period=24", 400, "не год"},
      {"/../../etc/passwd", 404, "Такой страницы нет"},
      {"/api/v1/trips?vehicle=X000XX00", 404, "{\"error\": "},
  };
  for (const auto& c : cases) {
    const auto res = client->Get(c.path, session);
    ASSERT_TRUE(res) << c.path;
    EXPECT_EQ(res->status, c.status) << c.path;
    EXPECT_NE(res->body.find(c.words), std::string::npos) << c.path << ": " << res->body;
  }
  EXPECT_EQ(client->Post("/", session, "x", "text/plain")->status, 404);
  EXPECT_EQ(client->Post("/login", std::string(64 * 1024, 'x'), "application/x-www-form-urlencoded")->status, 413);
  EXPECT_EQ(client->Get("/", session)->status, 200);  // still serving
}

TEST_F(WebServer, DownloadsAndTheApiGiveTheCommandLinesBytes) {
  const auto store = logbook::OpenLogbookReadOnly(file.string());
  const auto vehicle = *logbook::FindVehicle(store->Vehicles(), "А123ВС77");
  const trips::TripList january = store->Trips({vehicle.plateKey, "2024-01-05", "2024-01-31"});
  const httplib::Headers session = LoggedIn();
  const auto csv = client->Get("/download?vehicle=А123ВС77&from=2024-01-05&to=2024-01-31&format=csv", session);
  EXPECT_EQ(csv->body, trips::SerializeCsv(january));
  const auto dat = client->Get("/download?vehicle=А123ВС77&from=2024-01-05&to=2024-01-31&format=dat", session);
  EXPECT_EQ(dat->body, trips::SerializeDatFile(vehicle.texts, january));

  const httplib::Headers bearer{{"Authorization", "Bearer " + token}};
  EXPECT_EQ(client->Get("/api/v1/vehicles", bearer)->body, logbook::VehiclesJson(store->Vehicles()));
  EXPECT_EQ(client->Get("/api/v1/trips?vehicle=А123ВС77&from=2024-01-05&to=2024-01-31", bearer)->body,
            logbook::TripsJson(january));
  const auto refused = client->Get("/api/v1/vehicles", httplib::Headers{{"Authorization", "Bearer nope"}});
  EXPECT_EQ(refused->status, 401);
  EXPECT_EQ(refused->get_header_value("WWW-Authenticate"), "Bearer");
}

TEST_F(WebServer, TheFileSumsAPeriodAsTheTripsAdd) {
  const auto store = logbook::OpenLogbookReadOnly(file.string());
  for (const auto& [from, to] : {std::pair{"2024-01-01", "2024-12-31"},
                                 {"2024-02-01", "2024-02-31"},
                                 {"2024-01-02", "2024-01-02"},
                                 {"2025-01-01", "2025-12-31"}}) {
    const logbook::TripQuery q{std::nullopt, from, to};
    const auto summed = store->SumsByVehicle(q), added = store->logbook::Store::SumsByVehicle(q);
    ASSERT_EQ(summed.size(), added.size()) << from;
    for (std::size_t i = 0; i < summed.size(); ++i) {
      EXPECT_EQ(summed[i].plateKey, added[i].plateKey);
      EXPECT_EQ(summed[i].trips, added[i].trips) << from;
      EXPECT_EQ(summed[i].distance, added[i].distance) << from;
      EXPECT_EQ(summed[i].fuel, added[i].fuel) << from;
    }
  }
  const httplib::Headers session = LoggedIn();
  const auto report = client->Get("/report.csv?period=2024-01", session);
  // l/100 km by the single trip's rule, whose tenths are cut: 10.46 shows as 10.4.
  EXPECT_NE(report->body.find("А123ВС77;ВАЗ-2110;Иванов;31;310,0;31,0;10,0\r\n"), std::string::npos) << report->body;
  EXPECT_NE(report->body.find("Итого;;;34;325,0;34,0;10,4\r\n"), std::string::npos) << report->body;
}

TEST_F(WebServer, AUserLogsInWithAPasswordAndOutAgain) {
  const std::string users = (dir / "web-users").string();
  web::AddUser(users, "anna", "correct horse");
  web::ServerOptions options;
  options.listen = {"127.0.0.1", 0};
  options.token = web::RandomToken();
  options.users = web::LoadUsers(users);
  const std::string path = file.string();
  web::WebServer withUsers(options, [path] { return logbook::OpenLogbookReadOnly(path); });
  httplib::Client c("127.0.0.1", withUsers.Bind());
  std::thread run([&] { withUsers.Run(); });
  EXPECT_NE(c.Get("/login")->body.find("name=\"password\""), std::string::npos);
  const auto wrong = c.Post("/login", "user=anna&password=wrong+horse", "application/x-www-form-urlencoded");
  EXPECT_EQ(wrong->status, 401);
  EXPECT_NE(wrong->body.find("неверны"), std::string::npos);
  const auto right = c.Post("/login", "user=anna&password=correct+horse", "application/x-www-form-urlencoded");
  ASSERT_EQ(right->status, 303);
  const std::string cookie = right->get_header_value("Set-Cookie");
  const httplib::Headers session{{"Cookie", cookie.substr(0, cookie.find(';'))}};
  EXPECT_EQ(c.Get("/", session)->status, 200);
  EXPECT_EQ(c.Post("/logout", session, "", "text/plain")->status, 303);
  EXPECT_EQ(c.Get("/", session)->status, 401);
  withUsers.Stop();
  run.join();
}

TEST_F(WebServer, UnderTlsTheCookieIsSecureAndTransportPinned) {
  const std::string cert = (dir / "cert.pem").string(), key = (dir / "key.pem").string();
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 1 -keyout '" + key +
                           "' -out '" + cert + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  web::ServerOptions options;
  options.listen = {"127.0.0.1", 0};
  options.token = web::RandomToken();
  options.certFile = cert;
  options.keyFile = key;
  const std::string path = file.string();
  web::WebServer tls(options, [path] { return logbook::OpenLogbookReadOnly(path); });
  httplib::SSLClient c("127.0.0.1", tls.Bind());
  c.enable_server_certificate_verification(false);  // made a moment ago, signed by itself
  std::thread run([&] { tls.Run(); });
  const auto login = c.Get(("/?token=" + options.token).c_str());
  ASSERT_TRUE(login);
  EXPECT_EQ(login->status, 303);
  EXPECT_NE(login->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
  EXPECT_NE(login->get_header_value("Strict-Transport-Security").find("max-age="), std::string::npos);
  tls.Stop();
  run.join();
  options.keyFile = cert;  // no key in it
  EXPECT_THROW(web::WebServer(options, [path] { return logbook::OpenLogbookReadOnly(path); }), std::runtime_error);
}

TEST_F(WebServer, ALogbookGoneAnswers503AndIsReadAgainWhenBack) {
  const httplib::Headers session = LoggedIn();
  const fs::path aside = dir / "aside.sqlite";
  fs::rename(file, aside);
  for (const char* path : {"/", "/vehicle?vehicle=А123ВС77", "/api/v1/vehicles"}) {
    const auto res = client->Get(path, session);
    EXPECT_EQ(res->status, 503) << path;
    EXPECT_NE(res->body.find("недоступен"), std::string::npos) << path;
  }
  EXPECT_FALSE(fs::exists(file));  // never made by a reader
  fs::rename(aside, file);
  EXPECT_EQ(client->Get("/", session)->status, 200);
  EXPECT_EQ(client->Get("/api/v1/vehicles", session)->status, 200);
}

}  // namespace

// A fleet's server, browsed from a computer whose own logbook still holds
// trips for it: the vehicles page counts them in a column of their own, and
// a file's page has no such column.
TEST(WebFleet, TheVehiclesPageSaysWhatWaitsHereForTheServer) {
  const TempDir dir{"riventar-web-fleet"};
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  const std::string uri = riventar::testing::PgServer::Shared().CreateDatabase("web_fleet");
  logbook::SessionStores stores;
  logbook::OpenServerLogbook(uri)->Record(Reading({Trip(1, 8)}));
  logbook::OpenQueuingLogbook(stores.DefaultLocation(), logbook::DefaultBusyTimeout, logbook::ServerQueueKey(uri))
      ->Record(Reading({Trip(1, 8), Trip(2, 8), Trip(3, 8)}));  // the first is there already
  // This computer's file as if an older program had made it: a page only
  // looks at it, and never brings it up to date.
  const auto version = [&stores](const std::string& sql) {
    auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
    db.setDatabaseName(QString::fromStdString(stores.DefaultLocation()));
    db.open();
    QSqlQuery q(db);
    q.exec(QString::fromStdString(sql));
    const int v = q.next() ? q.value(0).toInt() : -1;
    q.finish();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("look"));
    return v;
  };
  version("UPDATE schema_version SET version = 3");

  web::ServerOptions options;
  options.listen = {"127.0.0.1", 0};
  options.token = web::RandomToken();
  options.fleet = true;
  web::WebServer server(options, web::BrowseOpener(stores, uri));
  httplib::Client client("127.0.0.1", server.Bind());
  std::thread runner([&server] { server.Run(); });
  const auto entry = client.Get(("/?token=" + options.token).c_str());
  ASSERT_TRUE(entry);
  const std::string cookie = entry->get_header_value("Set-Cookie");
  const auto page = client.Get("/", {{"Cookie", cookie.substr(0, cookie.find(';'))}});
  server.Stop();
  runner.join();
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200) << page->body;
  EXPECT_NE(page->body.find("<th scope=\"col\">Ждут отправки</th>"), std::string::npos) << page->body;
  EXPECT_NE(page->body.find("<td class=\"n\">2</td></tr>"), std::string::npos) << page->body;
  EXPECT_EQ(riventar::testing::PgServer::Shared().Sql("web_fleet", "SELECT COUNT(*) FROM riventar.trips"), "1\n")
      << "only read";
  EXPECT_EQ(version("SELECT version FROM schema_version"), 3) << "this computer's file only read too";

  web::VehiclesView file;
  file.lines.push_back({logbook::VehicleSummary{}, {}, {}});
  EXPECT_EQ(web::VehiclesPage(file).find("Ждут отправки"), std::string::npos);
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // Qt SQL loads its driver as a plugin
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
