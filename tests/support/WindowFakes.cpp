#include "support/WindowFakes.h"

#include "platform/RuntimeError.h"

namespace xmlpellor::test {

void FakeControlBase::DoMove(float l, float t, float w, float h) {
  if (refuseEveryMove || w < 0 || h < 0) {
    throw RuntimeError(err::kInvalidProcedureCall, "Invalid procedure call or argument");
  }
  ++moves;
  const auto a = [this](float v) { return adjust ? adjust(v) : v; };
  left = a(l);
  top = a(t);
  width = a(w);
  height = a(h);
}

void FakeBrowser::Navigate(const std::string& url, const PageInfo& page) {
  navigations.push_back(url);
  pages.push_back(page);
  if (onNavigate) onNavigate(url);
}

void FakeCommonDialog::Show(bool save, bool folder) {
  shown.push_back({fileName, title, filter, flags, save, folder});
  switch (answer) {
    case Answer::Choose: fileName = chosen; break;
    case Answer::Cancel: throw RuntimeError(err::kCancelError, "Cancel was selected.");
    case Answer::Fail: throw RuntimeError(err::kInternalError, "the dialog could not be shown");
  }
}

}  // namespace xmlpellor::test
