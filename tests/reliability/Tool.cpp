#include <gtest/gtest.h>

#include "Tool.h"

#include <dirent.h>
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "../transform/TestData.h"

namespace xmlpellor::test {

namespace {
constexpr uid_t kNobody = 65534;
constexpr int kCannotDropRoot = 77;
}  // namespace

PrivateTmp::PrivateTmp() {
  if (const char* old = std::getenv("TMPDIR")) {
    m_saved = old;
    m_hadSaved = true;
  }
  ::setenv("TMPDIR", m_dir.path().c_str(), 1);
}

PrivateTmp::~PrivateTmp() {
  if (m_hadSaved) {
    ::setenv("TMPDIR", m_saved.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

std::vector<std::string> PrivateTmp::OutputFiles() const {
  std::vector<std::string> names;
  DIR* dir = ::opendir(m_dir.path().c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind("xml", 0) == 0 && name.size() > 7 && name.ends_with(".tmp")) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

std::string EngineProgram() {
  const char* build = std::getenv("XMLPELLOR_BUILD_DIR");
  return std::string(build != nullptr ? build : ".") + "/xmlpellor-engine";
}

Tool::Tool(transform::EngineSettings settings)
    : engine(launcher, EngineProgram(), std::move(settings)) {
  frm.Form_Load();
}

Tool::~Tool() {
  std::int16_t cancel = 0;
  frm.Form_Unload(cancel);
}

void Tool::Apply(const std::string& xml, const std::string& xsl) {
  txtXml.text = xml;
  txtXsl.text = xsl;
  frm.cmdApplyXsl_Click();
}

std::string Tool::Output() const {
  return frm.TempFile().empty() ? std::string() : ReadFile(frm.TempFile());
}

const std::string& Tool::LastReport() const {
  static const std::string none;
  return h.box.shown.empty() ? none : h.box.shown.back().prompt;
}

bool Tool::Shown(std::size_t navigationsBefore) const {
  // A run that wrote several files shows one of them instead.
  return wbr.navigations.size() == navigationsBefore + 1 &&
         wbr.navigations.back() == frm.ShownFile() && !frm.TempFile().empty();
}

::testing::AssertionResult Tool::StillUsable() {
  const std::size_t reports = Reports();
  const std::size_t navigations = wbr.navigations.size();
  Apply(DataPath("parse_errors/good.xml"), DataPath("parse_errors/good.xsl"));
  if (Reports() != reports) {
    return ::testing::AssertionFailure() << "a plain Apply was reported: " << LastReport();
  }
  if (!Shown(navigations)) return ::testing::AssertionFailure() << "a plain Apply showed nothing";
  if (Output() != "ok") return ::testing::AssertionFailure() << "a plain Apply wrote " << Output();
  return ::testing::AssertionSuccess();
}

void HandToChild(const std::string& path) {
  if (::geteuid() != 0) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  if (::chown(path.c_str(), kNobody, kNobody) != 0) return;
  for (auto it = fs::recursive_directory_iterator(path, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (::lchown(it->path().c_str(), kNobody, kNobody) != 0) return;
  }
}

void InChildProcess(const std::function<void()>& body, bool dropRoot) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (dropRoot && ::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        ::_exit(kCannotDropRoot);
      }
    }
    body();
    std::fflush(nullptr);
    ::_exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  if (WEXITSTATUS(status) == kCannotDropRoot) GTEST_SKIP() << "root cannot become nobody here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's assertions failed (see above)";
}

std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::vector<pid_t> children;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = ::opendir(tasks.c_str());
  if (dir == nullptr) return children;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream in(tasks + "/" + entry->d_name + "/children");
    pid_t child = 0;
    while (in >> child) children.push_back(child);
  }
  ::closedir(dir);
  return children;
}

}  // namespace xmlpellor::test
