#include <gtest/gtest.h>

#include "platform/Application.h"
#include "platform/RuntimeError.h"
#include "support/TempDir.h"

namespace xmlpellor::test {
namespace {

TEST(Application, DirectoryOfKeepsASlashOnlyForTheRoot) {
  EXPECT_EQ(Application::DirectoryOf("/usr/lib/xmlpellor/xmlpellor"), "/usr/lib/xmlpellor");
  EXPECT_EQ(Application::DirectoryOf("/xmlpellor"), "/");
}

TEST(Application, PathIsTheRunningExecutablesDirectory) {
  Application app;
  EXPECT_EQ(app.Title(), "Yab Xml Pellor");
  const std::string dir = app.Path();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_TRUE(Exists(dir + "/platform_tests"));
}

TEST(Application, OverwriteBeginsTheLogAnewAndEntriesAppend) {
  TempDir dir;
  dir.Write("app.log", "old run\r\n");
  Application app;
  EXPECT_NE(app.LogMode(), 18);
  app.StartLogging(dir.File("app.log"), 18);
  EXPECT_EQ(app.LogMode(), 18);
  app.LogEvent("one", 1);
  app.LogEvent("two", 1);
  EXPECT_EQ(dir.Read("app.log"), "one\r\ntwo\r\n");
}

TEST(Application, UnwritableLogTargetIsARuntimeErrorAndLoggingStaysOff) {
  TempDir dir;
  Application app;
  EXPECT_THROW(app.StartLogging(dir.File("missing/app.log"), 18), RuntimeError);
  EXPECT_NE(app.LogMode(), 18);
  EXPECT_NO_THROW(app.LogEvent("goes nowhere", 1));
}

}  // namespace
}  // namespace xmlpellor::test
