#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xmlpellor {

// Geometry is in twips (1/1440 inch; 15 twips to a pixel at 96 dpi), held as
// single-precision values like the classic window runtime holds them.
inline constexpr float kTwipsPerPixel = 15.0f;

// A control placed on the window. Left and Top are measured from the top-left
// corner of the window's inner area. What is read back is what the control
// really got, after any adjustment by the window system.
class IControl {
 public:
  virtual ~IControl() = default;
  virtual float Left() const = 0;
  virtual float Top() const = 0;
  virtual float Width() const = 0;
  virtual float Height() const = 0;
  // Sets all four in one call. A negative width or height is refused with
  // run-time error 5 (err::kInvalidProcedureCall) and the control keeps its
  // place.
  virtual void Move(float left, float top, float width, float height) = 0;
};

// A single-line text box with no length limit.
class ITextBox : public IControl {
 public:
  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void SetFocus() = 0;
};

class ICommandButton : public IControl {};

// How a page is shown: as a browser shows a saved file of that kind.
enum class PageKind { kHtml, kXhtml, kXml, kText };

struct PageInfo {
  PageKind kind = PageKind::kHtml;
  // Relative references in the page resolve against this document's folder;
  // empty: against the folder of the file shown.
  std::string baseDocument;
  // Pages of the same key come back at the scroll position where the last
  // of them was left, also across pages of other keys in between; a page
  // without a key starts at the top.
  std::string scrollKey = {};
  // The folders of the job: the page may go to a local file only when it
  // lies in one of them (or below), symlinks and ".." resolved.
  std::vector<std::string> readableFolders{};
  // The character encoding of the file's bytes, as the output declares it.
  std::string charset = "UTF-8";
  // Shown as a page shows a file it went to, not as the program's own
  // output: its type by its name and its bytes in the encoding it declares
  // (a file a stylesheet wrote in the encoding it asked for).
  bool asWritten = false;
};

// The embedded web browser.
class IBrowser : public IControl {
 public:
  // Starts loading the named file and returns at once. The file is read anew
  // on every call, also for the same path, and its bytes are shown unchanged,
  // read in the page's charset, as a page of the given kind whatever the
  // file's name.
  virtual void Navigate(const std::string& url, const PageInfo& page) = 0;
  void Navigate(const std::string& url) { Navigate(url, PageInfo{}); }
};

// The window itself: its inner size.
class IForm {
 public:
  virtual ~IForm() = default;
  virtual float ScaleWidth() const = 0;
  virtual float ScaleHeight() const = 0;
};

// Flags of the file dialogs.
namespace cdl {
inline constexpr std::int32_t kOverwritePrompt = 2;  // save: ask before replacing a file
inline constexpr std::int32_t kHideReadOnly = 4;
}  // namespace cdl

// The common dialog: set its properties, then ShowOpen or ShowSave.
class ICommonDialog {
 public:
  virtual ~ICommonDialog() = default;
  virtual std::string FileName() const = 0;
  virtual void SetFileName(const std::string& fileName) = 0;
  virtual void SetDialogTitle(const std::string& title) = 0;
  // "Description|pattern|Description|pattern..."
  virtual void SetFilter(const std::string& filter) = 0;
  virtual void SetFlags(std::int32_t flags) = 0;
  // Modal. On a choice FileName holds the chosen file's full path; a Cancel
  // raises run-time error 32755 (err::kCancelError).
  virtual void ShowOpen() = 0;
  // The same for a file to write, which need not exist yet.
  virtual void ShowSave() = 0;
  // The same for a folder, which FileName names to begin with and holds
  // after a choice.
  virtual void ShowFolder() = 0;
};

}  // namespace xmlpellor
