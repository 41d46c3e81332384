#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Editor.h"
#include "platform/FileWatcher.h"
#include "platform/Progress.h"
#include "platform/RunMessages.h"
#include "platform/RuntimeError.h"
#include "platform/Window.h"

namespace xmlpellor::test {

// A control that keeps its geometry in memory. Like the real one it refuses
// a negative width or height with error 5; `adjust` lets a test play the
// window system that rounds what it is given (to whole pixels, say).
class FakeControlBase {
 public:
  float left = 0, top = 0, width = 0, height = 0;
  std::function<float(float)> adjust;  // applied to each of the four values
  bool refuseEveryMove = false;
  int moves = 0;

 protected:
  void DoMove(float l, float t, float w, float h);
};

template <class Interface>
class FakeControl : public Interface, public FakeControlBase {
 public:
  float Left() const override { return left; }
  float Top() const override { return top; }
  float Width() const override { return width; }
  float Height() const override { return height; }
  void Move(float l, float t, float w, float h) override { DoMove(l, t, w, h); }
};

class FakeTextBox final : public FakeControl<ITextBox> {
 public:
  std::string text;
  int focused = 0;  // how often the box was given the focus
  std::string Text() const override { return text; }
  void SetText(const std::string& t) override { text = t; }
  void SetFocus() override { ++focused; }
};

class FakeButton final : public FakeControl<ICommandButton> {};

class FakeBrowser final : public FakeControl<IBrowser> {
 public:
  std::vector<std::string> navigations;
  std::vector<PageInfo> pages;  // what each navigation said about its page
  std::function<void(const std::string&)> onNavigate;
  using IBrowser::Navigate;
  void Navigate(const std::string& url, const PageInfo& page) override;
};

class FakeForm final : public IForm {
 public:
  float scaleWidth = 8880, scaleHeight = 5850;
  float ScaleWidth() const override { return scaleWidth; }
  float ScaleHeight() const override { return scaleHeight; }
};

// A dialog whose answer is scripted in advance and which records what it was
// set to when ShowOpen or ShowSave was called.
class FakeCommonDialog final : public ICommonDialog {
 public:
  enum class Answer { Choose, Cancel, Fail };
  struct Shown {
    std::string fileName, title, filter;
    std::int32_t flags;
    bool save;
    bool folder = false;
  };

  Answer answer = Answer::Choose;
  std::string chosen;  // the full path a Choose returns
  std::vector<Shown> shown;

  std::string fileName, title, filter;
  std::int32_t flags = 0;

  std::string FileName() const override { return fileName; }
  void SetFileName(const std::string& f) override { fileName = f; }
  void SetDialogTitle(const std::string& t) override { title = t; }
  void SetFilter(const std::string& f) override { filter = f; }
  void SetFlags(std::int32_t f) override { flags = f; }
  void ShowOpen() override { Show(false); }
  void ShowSave() override { Show(true); }
  void ShowFolder() override { Show(false, true); }

 private:
  void Show(bool save, bool folder = false);
};

// Records what it was told to watch; a test plays the save by calling
// `changed` itself, or by Saved, which tells only of a file watched then.
class FakeFileWatcher final : public IFileWatcher {
 public:
  std::vector<std::string> watched;
  int watches = 0;
  std::function<void()> changed;
  void Watch(const std::vector<std::string>& paths) override {
    watched = paths;
    ++watches;
  }
  void Update(const std::vector<std::string>& paths) override { watched = paths; }
  void OnChanged(std::function<void()> c) override { changed = std::move(c); }
  void Saved(const std::string& path) {
    for (const std::string& file : watched) {
      if (file == path && changed) changed();
    }
  }
};

// Keeps what the window was told to show of each run, the last run's only.
class FakeRunMessages final : public IRunMessages {
 public:
  std::vector<std::string> lines, notices;
  int clears = 0;
  void Clear() override {
    lines.clear();
    notices.clear();
    ++clears;
  }
  void Message(const std::string& line) override { lines.push_back(line); }
  void Notice(const std::string& text) override { notices.push_back(text); }
};

// Records each file:line it was asked to open; `fail` plays an editor that
// cannot be started.
class FakeEditor final : public IEditor {
 public:
  std::vector<std::string> opened;
  bool fail = false;
  void Open(const std::string& file, long line) override {
    opened.push_back(file + ":" + std::to_string(line));
    if (fail) throw RuntimeError(err::kFileNotFound, "The editor 'nope' could not be started");
  }
};

// Records the runs and phases it was shown, one line each.
class FakeProgress final : public IProgress {
 public:
  std::vector<std::string> shown;
  void Begin() override { shown.push_back("begin"); }
  void Phase(const std::string& phase, std::uint64_t done, std::uint64_t total) override {
    shown.push_back(phase + " " + std::to_string(done) + "/" + std::to_string(total));
  }
  void End() override { shown.push_back("end"); }
};

}  // namespace xmlpellor::test
