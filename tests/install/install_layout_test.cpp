// Installs the build tree into scratch folders, once with a prefix and once
// with DESTDIR as packaging does, and checks what lands where: the programs,
// the help, the licence statement, the desktop entry, the icon and the
// AppStream metainfo, nothing else, and that the desktop files and the manual
// page are valid.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Output {
  int status = -1;
  std::string text;  // standard output and error
};

Output Shell(const std::string& command) {
  Output out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  std::array<char, 4096> buffer{};
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.text.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

bool HaveTool(const std::string& name) { return Shell("command -v " + name).status == 0; }

// Appended, not "'" + string: GCC 12 at -O3 warns (-Wrestrict) inside the
// prepending operator+.
std::string Quoted(const fs::path& p) { return std::string("'").append(p.string()).append("'"); }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::string AppId = RIVENTAR_APP_ID;
const fs::path Bin = RIVENTAR_BINDIR;
const fs::path Data = RIVENTAR_DATADIR;

// Every file the installation holds, relative to the prefix.
const std::set<fs::path>& ExpectedFiles() {
  static const std::set<fs::path> files = {
      Bin / "riventar",
      Bin / "riventar-sim",
      Bin / "riventar-cli",
      Bin / "riventar-web",
      "lib/systemd/system/riventar-web.service",
      fs::path(RIVENTAR_MANDIR) / "man1/riventar-cli.1.gz",
      fs::path(RIVENTAR_HELP_DIR) / "riventar.html",
      fs::path(RIVENTAR_HELP_DIR) / "copyright",
      Data / "applications" / (AppId + ".desktop"),
      Data / "icons/hicolor/scalable/apps" / (AppId + ".svg"),
      Data / "metainfo" / (AppId + ".metainfo.xml"),
  };
  return files;
}

class InstallLayout : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratchDir_ = std::make_unique<riventar::testing::TempDir>("riventar-install");
    scratch_ = scratchDir_->Path();
    const std::string cmake = std::string("'") + RIVENTAR_CMAKE_COMMAND + "' --install '" RIVENTAR_BUILD_DIR "'";
    prefixRun_ = Shell(cmake + " --prefix " + Quoted(scratch_ / "prefix"));
    destdirRun_ = Shell("DESTDIR=" + Quoted(scratch_ / "stage") + " " + cmake + " --prefix /usr");
  }
  static void TearDownTestSuite() { scratchDir_.reset(); }

  static fs::path Prefix() { return scratch_ / "prefix"; }

  static std::set<fs::path> FilesUnder(const fs::path& root) {
    std::set<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root));
    return files;
  }

  static fs::path Scratch() { return scratch_; }
  static inline std::unique_ptr<riventar::testing::TempDir> scratchDir_;
  static inline fs::path scratch_;
  static inline Output prefixRun_, destdirRun_;
};

TEST_F(InstallLayout, PrefixAndDestdirInstallExactlyTheExpectedFiles) {
  ASSERT_EQ(prefixRun_.status, 0) << prefixRun_.text;
  ASSERT_EQ(destdirRun_.status, 0) << destdirRun_.text;
  EXPECT_EQ(FilesUnder(Prefix()), ExpectedFiles());
  std::set<fs::path> underUsr;
  for (const fs::path& f : ExpectedFiles()) underUsr.insert("usr" / f);
  EXPECT_EQ(FilesUnder(Scratch() / "stage"), underUsr) << "nothing outside /usr";
}

TEST_F(InstallLayout, ProgramsAreExecutableAndTheSimulatorRunsFromThePrefix) {
  for (const char* program : {"riventar", "riventar-sim", "riventar-cli", "riventar-web"}) {
    const fs::path p = Prefix() / Bin / program;
    ASSERT_TRUE(fs::exists(p)) << p;
    EXPECT_NE(fs::status(p).permissions() & fs::perms::others_exec, fs::perms::none) << p;
  }
  const Output help = Shell(Quoted(Prefix() / Bin / "riventar-sim") + " --help");
  EXPECT_EQ(help.status, 0) << help.text;
  EXPECT_NE(help.text.find("--trips"), std::string::npos) << help.text;
}

TEST_F(InstallLayout, HelpIsTheDocumentBuiltIntoTheProgram) {
  EXPECT_EQ(ReadFile(Prefix() / RIVENTAR_HELP_DIR / "riventar.html"),
            ReadFile(fs::path(RIVENTAR_SOURCE_DIR) / "resources/help/riventar.html"));
}

// The keys a launcher needs, and that they name what was installed.
TEST_F(InstallLayout, DesktopEntryNamesTheInstalledProgramAndIcon) {
  const std::string entry = ReadFile(Prefix() / Data / "applications" / (AppId + ".desktop"));
  const std::pair<const char*, std::string> keys[] = {
      {"Type", "Application"}, {"Exec", "riventar"},       {"Icon", AppId},
      {"Terminal", "false"},   {"Categories", "Utility;"}, {"Name\\[ru\\]", "Ривентар"},
  };
  for (const auto& [key, value] : keys) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(entry, m, std::regex(std::string("\n").append(key).append("=([^\n]*)")))) << key;
    EXPECT_EQ(m[1].str(), value) << key;
  }
  EXPECT_TRUE(fs::exists(Prefix() / Bin / "riventar"));
  EXPECT_TRUE(fs::exists(Prefix() / Data / "icons/hicolor/scalable/apps" / (AppId + ".svg")));
}

TEST_F(InstallLayout, MetainfoLaunchesTheDesktopEntryAndCarriesTheVersion) {
  const std::string info = ReadFile(Prefix() / Data / "metainfo" / (AppId + ".metainfo.xml"));
  EXPECT_NE(info.find("<id>" + AppId + "</id>"), std::string::npos);
  EXPECT_NE(info.find("<launchable type=\"desktop-id\">" + AppId + ".desktop</launchable>"), std::string::npos);
  EXPECT_NE(info.find("<summary xml:lang=\"ru\">"), std::string::npos);
  std::smatch newest;
  ASSERT_TRUE(std::regex_search(info, newest, std::regex("<release version=\"([^\"]+)\"")));
  EXPECT_EQ(newest[1].str(), RIVENTAR_PROJECT_VERSION) << "the newest release is the built version";
}

TEST_F(InstallLayout, IconIsAScalableSquareSvg) {
  const std::string svg = ReadFile(Prefix() / Data / "icons/hicolor/scalable/apps" / (AppId + ".svg"));
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_NE(svg.find("viewBox=\"0 0 128 128\""), std::string::npos);
}

TEST_F(InstallLayout, DesktopEntryPassesDesktopFileValidate) {
  if (!HaveTool("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is not installed";
  const Output r = Shell("desktop-file-validate " + Quoted(Prefix() / Data / "applications" / (AppId + ".desktop")));
  EXPECT_EQ(r.status, 0) << r.text;
  EXPECT_EQ(r.text, "") << "warnings count too";
}

// man's own check: no roff warnings, every command and exit status named.
TEST_F(InstallLayout, ManualPageRendersCleanly) {
  if (!HaveTool("man")) GTEST_SKIP() << "man is not installed";
  const fs::path page = Prefix() / RIVENTAR_MANDIR / "man1/riventar-cli.1.gz";
  const Output warnings = Shell("MANWIDTH=80 man --warnings -l " + Quoted(page) + " >/dev/null");
  EXPECT_EQ(warnings.status, 0) << warnings.text;
  EXPECT_EQ(warnings.text, "") << "warnings count too";
  const Output text = Shell("MANWIDTH=80 man -l " + Quoted(page));
  const Output help = Shell(Quoted(Prefix() / Bin / "riventar-cli") + " --help");
  for (const char* command : {"ports", "info", "download", "stats", "get", "set", "reset-counter"}) {
    EXPECT_NE(help.text.find(std::string("  ") + command), std::string::npos) << command;
    EXPECT_NE(text.text.find(command), std::string::npos) << command;
  }
}

TEST_F(InstallLayout, MetainfoPassesAppstreamValidate) {
  if (!HaveTool("appstreamcli")) GTEST_SKIP() << "appstreamcli is not installed";
  const Output r = Shell("appstreamcli validate --no-net --no-color " +
                         Quoted(Prefix() / Data / "metainfo" / (AppId + ".metainfo.xml")));
  EXPECT_EQ(r.status, 0) << r.text;
}

}  // namespace
