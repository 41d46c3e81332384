#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/RuntimeError.h"
#include "platform/Worker.h"

namespace xmlpellor::test {
namespace {

// Uses about `depth` kB of stack; returns `depth`.
int Deep(int depth) {
  volatile unsigned char frame[1024];
  std::memset(const_cast<unsigned char*>(frame), 1, sizeof frame);
  return depth == 0 ? 0 : Deep(depth - 1) + frame[depth % sizeof frame];
}

TEST(BlockingWorker, RethrowsTheJobsErrorOnTheCallersThread) {
  BlockingWorker worker;
  try {
    worker.Run([] { throw RuntimeError(err::kUserInterrupt, "User interrupt occurred"); });
    FAIL() << "nothing thrown";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kUserInterrupt);
  }
}

TEST(BlockingWorker, GivesTheJobAStackFarLargerThanAMainThreads) {
  BlockingWorker worker;
  int result = -1;
  // 64 MB: eight times a main thread's usual limit.
  worker.Run([&] { result = Deep(64 * 1024); });
  EXPECT_EQ(result, 64 * 1024);
}

TEST(BlockingWorker, TheTokenIsTheJobsOnlyWhileItRunsAndStartsAfresh) {
  BlockingWorker worker;
  worker.Token().RequestStop();
  StopToken* seen = nullptr;
  bool stoppedAtStart = true;
  worker.Run([&] {
    seen = StopToken::Current();
    stoppedAtStart = seen->StopRequested();
  });
  EXPECT_EQ(seen, &worker.Token());
  EXPECT_FALSE(stoppedAtStart);
  EXPECT_EQ(StopToken::Current(), nullptr);
}

TEST(StopToken, RunsTheHooksRegisteredNowAndAHookRegisteredAfterAStopAtOnce) {
  StopToken token;
  std::vector<int> ran;
  {
    const StopToken::Hook gone(&token, [&] { ran.push_back(1); });
  }
  const StopToken::Hook first(&token, [&] { ran.push_back(2); });
  token.RequestStop();
  EXPECT_EQ(ran, (std::vector<int>{2}));
  const StopToken::Hook late(&token, [&] { ran.push_back(3); });
  EXPECT_EQ(ran, (std::vector<int>{2, 3}));
  const StopToken::Hook none(nullptr, [&] { ran.push_back(4); });
  EXPECT_EQ(ran, (std::vector<int>{2, 3}));
}

}  // namespace
}  // namespace xmlpellor::test
