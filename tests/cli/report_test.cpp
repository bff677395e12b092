// riventar-cli log report run as a child process on a logbook made by
// riventar-cli log import.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/text/cp1251.h"
#include "core/stats/year_report.h"
#include "core/trips/dat_file.h"
#include "tests/core/stats/trip_factory.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
namespace trips = riventar::trips;
namespace stats = riventar::stats;
using riventar::stats::testing::TripOn;

using riventar::testing::Contents;
using riventar::testing::Outcome;
using riventar::testing::Write;

namespace {

// Runs of blanks as one: the table's column widths are not what is tested.
std::string Squeezed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out += c;
  }
  return out;
}

// `minute` keeps alike trips apart: the logbook knows a trip by its content.
trips::TripRecord Trip(int y, unsigned m, unsigned d, std::uint32_t distance, std::uint32_t fuel,
                       std::uint8_t minute = 0) {
  trips::TripRecord r = TripOn(y, m, d, 600, 540, distance, fuel);
  r.Hour = 8;
  r.Minute = minute;
  return r;
}

class Report : public ::testing::Test {
 protected:
  void SetUp() override {
    // In a folder of its own: `dir` holds only what the tests look for.
    ::setenv("RIVENTAR_LOGBOOK", (logbookFolder / "logbook.sqlite").c_str(), 1);
    // 12 km and 2 km at January's end and February's start; two trips of
    // the years around; in March 40 trips of 599/6000 km and 1599/16000 l,
    // each shown as "0.0".
    trips::TripList car{Trip(2023, 12, 31, 600000, 80000), Trip(2024, 1, 31, 72000, 16000),
                        Trip(2024, 2, 1, 12000, 3200), Trip(2025, 1, 1, 600000, 80000)};
    for (std::uint8_t i = 0; i < 40; ++i) car.push_back(Trip(2024, 3, 15, 599, 1599, i));
    Write(dir / "car.dat", trips::SerializeDatFile({"Лада", "А123ВС77", "Иванов"}, car));
    Write(dir / "van.dat", trips::SerializeDatFile({"Газель", "Х777ХХ99", ""}, {Trip(2024, 2, 10, 30000, 6400)}));
    const Outcome o = Run({"log", "import", (dir / "car.dat").string(), (dir / "van.dat").string()});
    ASSERT_EQ(o.status, 0) << o.err;
    carTrips = car;
  }
  void TearDown() override { ::unsetenv("RIVENTAR_LOGBOOK"); }

  // `fileSizeLimit` bytes, if any, is the most the program may write to a file.
  Outcome Run(std::vector<std::string> args, rlim_t fileSizeLimit = RLIM_INFINITY) {
    args.insert(args.begin(), RIVENTAR_CLI);
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(::open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
      ::dup2(::open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
      const rlimit limit{fileSizeLimit, fileSizeLimit};
      if (fileSizeLimit != RLIM_INFINITY) ::setrlimit(RLIMIT_FSIZE, &limit);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Contents(dir / "stdout"),
            Contents(dir / "stderr")};
  }

  riventar::testing::TempDir dir{"riventar-report-test"}, logbookFolder{"riventar-report-logbook"};
  trips::TripList carTrips;
};

TEST_F(Report, TheTableSumsEachMonthAndTheYearExactly) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;  // blanks squeezed
  };
  const Case cases[] = {
      {{"log", "report", "--year", "2024"},
       {"2024, all vehicles (2)", "month trips km l l/100km trip time moving time",
        "2024-01 1 12.0 1.0 8.3 0:10:0 0:9:0", "2024-02 2 7.0 0.6 8.5 0:20:0 0:18:0",
        // 40 × 0.0998 km and 40 × 0.0999 l: the sums, not the shown texts' 0.0.
        "2024-03 40 3.9 3.9 100.1 6:40:0 6:0:0", "2024-04 0 0.0 0.0 0.0 0:0:0 0:0:0",
        "total 43 22.9 5.5 24.3 7:10:0 6:27:0", "not given 43 22.9 5.5 24.3 7:10:0 6:27:0",
        "vehicle trips km l l/100km trip time moving time", "А123ВС77 42 17.9 5.1 28.8 7:0:0 6:18:0",
        "Х777ХХ99 1 5.0 0.4 8.0 0:10:0 0:9:0"}},
      {{"log", "report", "--year", "2024", "--vehicle", "х777хх99"},
       {"2024, vehicle Х777ХХ99", "2024-02 1 5.0 0.4 8.0 0:10:0 0:9:0", "total 1 5.0 0.4 8.0 0:10:0 0:9:0"}},
      {{"log", "report", "--year", "2023"}, {"2023-12 1 100.0 5.0 5.0 0:10:0 0:9:0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const Outcome o = Run(c.args);
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string out = Squeezed(o.out);
    for (const std::string& line : c.lines) EXPECT_NE(out.find(line + "\n"), std::string::npos) << line << "\n" << out;
  }
  const Outcome single = Run({"log", "report", "--year", "2024", "--vehicle", "Х777ХХ99"});
  EXPECT_EQ(single.out.find("vehicle trips"), std::string::npos) << single.out;
}

// 1,307,960/6000 km = 217.993 km: cut to a tenth, as the window shows it, in
// the report and in the list of vehicles alike.
TEST_F(Report, KilometresAreCutToATenthEverywhere) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"log", "vehicles"}, std::vector<std::string>{"log", "report", "--year", "2024"}}) {
    const Outcome o = Run({args.begin(), args.end()});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.find("218.0"), std::string::npos) << o.out;
  }
  EXPECT_NE(Run({"log", "vehicles"}).out.find(" 217.9\n"), std::string::npos);
}

TEST_F(Report, AYearWithoutTripsIsAReportOfNothing) {
  const Outcome o = Run({"log", "report", "--year", "2019"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(Squeezed(o.out).find("total 0 0.0 0.0 0.0 0:0:0 0:0:0\n"), std::string::npos) << o.out;
  EXPECT_NE(o.err.find("no trips in 2019"), std::string::npos) << o.err;
}

TEST_F(Report, JsonGivesTheExactSums) {
  const Outcome o = Run({"--json", "log", "report", "--year", "2024", "--vehicle", "А123ВС77"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out.rfind("{\"year\": 2024,\n \"vehicle\": \"А123ВС77\",", 0), 0u) << o.out;
  EXPECT_NE(o.out.find("{\"month\": \"2024-03\", \"trips\": 40, \"distance_km\": 3.993, \"fuel_l\": 3.998, "
                       "\"consumption_l_100km\": 100.1, \"trip_time_s\": 24000, \"moving_time_s\": 21600}"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("\"purpose\": \"\", \"trips\": 42"), std::string::npos) << o.out;
}

TEST_F(Report, CsvIsTheCoresBytesWithATotalsRow) {
  const fs::path csv = dir / "year.CSV";
  Outcome o = Run({"log", "report", "--year", "2024", "--vehicle", "А123ВС77", "-o", csv.string()});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "");
  const std::string bytes = Contents(csv);
  EXPECT_EQ(bytes, stats::SerializeYearCsv(stats::MakeYearReport({{"А123ВС77", carTrips, {}}}, 2024, false)));
  const std::string utf8 = riventar::text::FromCp1251(bytes);
  EXPECT_EQ(utf8.rfind("Период;Автомобиль;Назначение;Маршрутов;Путь, км;", 0), 0u) << utf8;
  EXPECT_NE(utf8.find("\r\n2024-03;А123ВС77;все;40;3,9;3,9;100,1;6:40:0;6:0:0\r\n"), std::string::npos) << utf8;
  EXPECT_NE(utf8.find("\r\n2024;А123ВС77;все;42;17,9;5,1;28,8;7:0:0;6:18:0\r\n"), std::string::npos) << utf8;
  // All vehicles: each one's block, then the totals.
  o = Run({"log", "report", "--year", "2024", "-o", csv.string()});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string all = riventar::text::FromCp1251(Contents(csv));
  EXPECT_NE(all.find("\r\n2024;Х777ХХ99;все;1;5,0;0,4;8,0;0:10:0;0:9:0\r\n"), std::string::npos) << all;
  EXPECT_NE(all.find("\r\n2024;все;все;43;22,9;5,5;24,3;7:10:0;6:27:0\r\n2024;все;не указана;43;"), std::string::npos)
      << all;
}

TEST_F(Report, APdfIsAPageWithTheReportsTexts) {
  const fs::path pdf = dir / "year.pdf";
  const Outcome o = Run({"log", "report", "--year", "2024", "-o", pdf.string()});
  ASSERT_EQ(o.status, 0) << o.err;
  ASSERT_EQ(Contents(pdf).rfind("%PDF-", 0), 0u);
  const fs::path text = dir / "year.txt";
  ASSERT_EQ(std::system(("pdftotext -layout '" + pdf.string() + "' '" + text.string() + "'").c_str()), 0);
  const std::string page = Squeezed(Contents(text));
  for (const std::string expected :
       {"Годовой отчет по маршрутам за 2024 год", "Автомобили: все (2)", "Март 40 3.9 3.9 100.1 6:40:0 6:0:0",
        "Итого 43 22.9 5.5 24.3 7:10:0 6:27:0", "не указана 43", "Х777ХХ99 1 5.0 0.4 8.0 0:10:0 0:9:0"})
    EXPECT_NE(page.find(expected), std::string::npos) << expected << "\n" << page;
}

TEST_F(Report, BadInputIsSaidAndWritesNothing) {
  Write(dir / "kept.csv", "old");
  fs::create_directory(dir / "folder.csv");
  fs::create_directory(dir / "folder.pdf");
  struct Case {
    std::vector<std::string> args;
    rlim_t fileSizeLimit;
    int status;
    std::string said;
  };
  const std::string out = (dir / "new.csv").string();
  const Case cases[] = {
      {{"--year", "24", "-o", out}, RLIM_INFINITY, 2, "--year needs a year of four digits, as 2024, not '24'"},
      {{"--year", "20245"}, RLIM_INFINITY, 2, "four digits"},
      {{"--year", "２０２４"}, RLIM_INFINITY, 2, "four digits"},
      {{"--year", "2024", "--vehicle", "В001ОР99", "-o", out},
       RLIM_INFINITY,
       2,
       "no vehicle 'В001ОР99' in the logbook; 'riventar-cli log vehicles' lists them"},
      {{"--year", "2024", "-o", (dir / "year.txt").string()}, RLIM_INFINITY, 2, "-o writes FILE.csv or FILE.pdf"},
      {{"--year", "2024", "-o", (dir / "no folder" / "x.csv").string()}, RLIM_INFINITY, 4, "cannot create"},
      {{"--year", "2024", "-o", (dir / "folder.csv").string()}, RLIM_INFINITY, 4, "Is a directory"},
      {{"--year", "2024", "-o", (dir / "folder.pdf").string()}, RLIM_INFINITY, 4, "Is a directory"},
      {{}, RLIM_INFINITY, 2, "--year is required"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"log", "report"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.said);
    const Outcome o = Run(args, c.fileSizeLimit);
    EXPECT_EQ(o.status, c.status) << o.err;
    EXPECT_NE(o.err.find(c.said), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }
  EXPECT_EQ(Contents(dir / "kept.csv"), "old");
  // Nothing left behind: no new file, no half-written one beside it.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"car.dat", "folder.csv", "folder.pdf", "kept.csv", "stderr", "stdout",
                                             "van.dat"}));
}

// 45 vehicles: a CSV longer than the 32 KiB the logbook's shared memory file
// needs, so that a file-size limit between the two fails the report's write
// alone; and more rows than one page holds.
TEST_F(Report, AFailedWriteKeepsTheFileThatWasThereAndALongReportRunsOnAPage) {
  std::vector<std::string> import{"log", "import"};
  for (int v = 0; v < 45; ++v) {
    const std::string name = "fleet" + std::to_string(v) + ".dat";
    Write(dir / name, trips::SerializeDatFile({"", "Т" + std::to_string(100 + v) + "ТТ99", ""},
                                              {Trip(2024, static_cast<unsigned>(1 + v % 12),
                                                    static_cast<unsigned>(1 + v % 28), 6000, 800)}));
    import.push_back((dir / name).string());
  }
  ASSERT_EQ(Run(import).status, 0);
  const fs::path csv = dir / "kept.csv";
  Outcome o = Run({"log", "report", "--year", "2024", "-o", csv.string()});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string whole = Contents(csv);
  ASSERT_GT(whole.size(), 32768u);
  Write(csv, "old");
  o = Run({"log", "report", "--year", "2024", "-o", csv.string()}, 32768);
  EXPECT_EQ(o.status, 4) << o.err;
  EXPECT_NE(o.err.find("cannot write " + csv.string() + ": File too large; the file as it was is kept"),
            std::string::npos)
      << o.err;
  EXPECT_EQ(Contents(csv), "old");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 45u + 5);  // the .dat files, kept.csv, the first test's and the outputs
  // The vehicles' table goes on to a second page with its headings again.
  const fs::path pdf = dir / "fleet.pdf";
  o = Run({"log", "report", "--year", "2024", "-o", pdf.string()});
  ASSERT_EQ(o.status, 0) << o.err;
  const fs::path text = dir / "fleet.txt";
  ASSERT_EQ(std::system(("pdftotext -layout '" + pdf.string() + "' '" + text.string() + "'").c_str()), 0);
  const std::string pages = Contents(text);
  const auto secondPage = pages.find('\f');
  ASSERT_NE(secondPage, std::string::npos);
  EXPECT_NE(pages.find("Автомобиль", secondPage), std::string::npos) << pages;
  EXPECT_NE(Squeezed(pages).find("Итого 88 67.9 7.8"), std::string::npos) << pages;
}

}  // namespace
