#pragma once

#include <QPlainTextEdit>
#include <functional>

namespace xmlpellor {

class QtFindBar;

// A file's text as written, with line numbers, in a window of its own
// that Esc closes, with a find bar (Ctrl+F, F3, Shift+F3). Read-only; the
// text can be selected and copied.
class QtSourceWindow final : public QPlainTextEdit {
 public:
  // A file longer than this shows its beginning and a notice: the whole of
  // a huge output would take gigabytes as laid-out text.
  static constexpr qint64 kShownBytes = qint64{64} << 20;
  // Matches counted and highlighted; a search counts no further.
  static constexpr int kCountedMatches = 1000;

  explicit QtSourceWindow(QWidget& owner);

  // Reads the file anew and shows its bytes decoded from `charset` (from
  // UTF-8 when Qt knows no such charset); an empty charset lets the bytes
  // name theirs (a byte order mark or a meta charset).
  void ShowFile(const QString& path, const QString& charset = QStringLiteral("UTF-8"));
  // The gutter's width in pixels: enough for the last line's number.
  int LineNumberWidth() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class LineNumberArea;
  void PaintLineNumbers(QPaintEvent* event);
  void UpdateLineNumbers(const QRect& rect, int dy);
  void Search(const QString& text, bool backward, const std::function<void(int, int, bool)>& found);

  QWidget* m_lineNumbers;
  QtFindBar* m_findBar;
};

}  // namespace xmlpellor
