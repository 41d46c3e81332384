#pragma once

#include <QPlainTextEdit>

namespace xmlpellor {

// A file's text as written, with line numbers, in a window of its own
// that Esc closes. Read-only; the text can be selected and copied.
class QtSourceWindow final : public QPlainTextEdit {
 public:
  explicit QtSourceWindow(QWidget& owner);

  // Reads the file anew and shows its bytes decoded from `charset` (from
  // UTF-8 when Qt knows no such charset).
  void ShowFile(const QString& path, const QString& charset = QStringLiteral("UTF-8"));
  // The gutter's width in pixels: enough for the last line's number.
  int LineNumberWidth() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class LineNumberArea;
  void PaintLineNumbers(QPaintEvent* event);
  void UpdateLineNumbers(const QRect& rect, int dy);

  QWidget* m_lineNumbers;
};

}  // namespace xmlpellor
