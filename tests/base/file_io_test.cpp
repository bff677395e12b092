#include "base/files/file_io.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/text/cp1251.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace riventar::files;

namespace {

// The folder under test, with paths as strings and a count of what is in it.
class TempDir : public riventar::testing::TempDir {
 public:
  TempDir() : riventar::testing::TempDir("riventar-files") {}
  std::string operator/(const std::string& name) const { return (Path() / name).string(); }
  std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(Path()), {})); }
};

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Limits the size of files this process may write; SIGXFSZ is ignored so the
// write fails with EFBIG instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

}  // namespace

TEST(FileIo, ReplaceWritesAndReadsBack) {
  TempDir dir;
  const std::string path = dir / "trips.dat";
  ASSERT_TRUE(ReplaceFileAtomically(path, "first").ok());
  ASSERT_TRUE(ReplaceFileAtomically(path, "second").ok());
  const ReadResult read = ReadWholeFile(path);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.bytes, "second");
  EXPECT_EQ(dir.Entries(), 1u);
}

TEST(FileIo, FailedWriteKeepsThePreviousFileWhole) {
  TempDir dir;
  const std::string path = dir / "trips.dat";
  const std::string previous(3000, 'p');
  ASSERT_TRUE(ReplaceFileAtomically(path, previous).ok());
  WriteResult result;
  {
    FileSizeLimit limit(4096);
    result = ReplaceFileAtomically(path, std::string(100000, 'n'));
  }
  EXPECT_EQ(result.status, WriteResult::Status::WriteFailed);
  EXPECT_EQ(result.error, EFBIG);
  EXPECT_EQ(Contents(path), previous);
  EXPECT_EQ(dir.Entries(), 1u) << "the temporary file is removed";
}

TEST(FileIo, CreateFailures) {
  TempDir dir;
  EXPECT_EQ(ReplaceFileAtomically(dir / "missing/trips.dat", "x").status, WriteResult::Status::CreateFailed);
  fs::create_directory(dir / "folder");
  EXPECT_EQ(ReplaceFileAtomically(dir / "folder", "x").status, WriteResult::Status::CreateFailed);
  EXPECT_FALSE(ReadWholeFile(dir / "missing.dat").ok);
  EXPECT_EQ(ReadWholeFile(dir / "missing.dat").error, ENOENT);
}

TEST(FileIo, ReplacedFileKeepsItsModeAndLinksAreFollowed) {
  TempDir dir;
  const std::string path = dir / "trips.dat";
  ASSERT_TRUE(ReplaceFileAtomically(path, "a").ok());
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(ReplaceFileAtomically(path, "b").ok());
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  const std::string link = dir / "link.dat";
  fs::create_symlink(path, link);
  ASSERT_TRUE(ReplaceFileAtomically(link, "c").ok());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Contents(path), "c");
}

TEST(Cp1251, RoundTripAndUnmappableCharacters) {
  using riventar::text::FromCp1251;
  using riventar::text::ToCp1251;
  EXPECT_EQ(ToCp1251("Ёж abc"), "\xa8\xe6 abc");
  EXPECT_EQ(FromCp1251("\xa8\xe6 abc"), "Ёж abc");
  EXPECT_EQ(ToCp1251("a€b"),
            "a\x88"
            "b");                      // the euro sign exists in 1251
  EXPECT_EQ(ToCp1251("a中b"), "a?b");  // one '?' byte per character it cannot hold
  EXPECT_EQ(ToCp1251("a\xff"
                     "b"),
            "a?b");  // malformed UTF-8
  EXPECT_EQ(FromCp1251("a\x98"
                       "b"),
            "a?b");
}
