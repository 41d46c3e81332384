#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

std::int32_t ErrorNumberOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

TEST(PosixFileSystem, TempPathFollowsTmpdirAndEndsInSlash) {
  PosixFileSystem fs;
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  ::setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(fs.TempPath(), "/var/tmp/");
  ::setenv("TMPDIR", "", 1);
  EXPECT_EQ(fs.TempPath(), "/tmp/");
  if (old) ::setenv("TMPDIR", saved.c_str(), 1); else ::unsetenv("TMPDIR");
}

TEST(PosixFileSystem, UniqueFileIsNewEmptyPrivateAndPrefixed) {
  TempDir dir;
  PosixFileSystem fs;
  const std::string a = fs.CreateUniqueFile(dir.path() + "/", "xml");
  const std::string b = fs.CreateUniqueFile(dir.path() + "/", "xml");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(dir.path() + "/xml", 0), 0u);
  struct stat st {};
  ASSERT_EQ(::stat(a.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(PosixFileSystem, FailuresCarryClassicNumbersAndTheReason) {
  TempDir dir;
  PosixFileSystem fs;
  EXPECT_EQ(ErrorNumberOf([&] { fs.CreateUniqueFile(dir.File("gone") + "/", "xml"); }), err::kFileNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { fs.Kill(dir.File("nothing.tmp")); }), err::kFileNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { fs.WriteText("", "x"); }), err::kBadFileNameOrNumber);
  ::mkdir(dir.File("sub").c_str(), 0700);
  EXPECT_EQ(ErrorNumberOf([&] { fs.WriteText(dir.File("sub"), "x"); }), err::kPathFileAccessError);
  try {
    fs.Kill(dir.File("nothing.tmp"));
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.record().description, "No such file or directory: " + dir.File("nothing.tmp"));
  }
}

TEST(PosixFileSystem, WriteTextReplacesContentAndRefusesAPlantedLink) {
  TempDir dir;
  PosixFileSystem fs;
  fs.WriteText(dir.File("out.tmp"), "a much longer first text");
  fs.WriteText(dir.File("out.tmp"), "short");
  EXPECT_EQ(dir.Read("out.tmp"), "short");

  dir.Write("victim", "precious");
  ASSERT_EQ(::symlink(dir.File("victim").c_str(), dir.File("link.tmp").c_str()), 0);
  EXPECT_THROW(fs.WriteText(dir.File("link.tmp"), "overwritten"), RuntimeError);
  EXPECT_EQ(dir.Read("victim"), "precious");
}

// A full disk, played by the file-size limit: the half written must not stay
// behind in the shared temporary folder, and the name stays the program's.
TEST(PosixFileSystem, AWriteThatFailsHalfwayLeavesTheFileEmpty) {
  TempDir dir;
  PosixFileSystem fs;
  IgnoreFileSizeLimitSignal();
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limited = saved;
  limited.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const std::int32_t number = ErrorNumberOf([&] { fs.WriteText(dir.File("out.tmp"), std::string(20000, 'x')); });
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
  EXPECT_NE(number, 0);
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("out.tmp").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
}

}  // namespace
}  // namespace xmlpellor::test
