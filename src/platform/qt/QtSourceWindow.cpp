#include "platform/qt/QtSourceWindow.h"

#include <algorithm>

#include <QFile>
#include <QPaintEvent>
#include <QFontDatabase>
#include <QPainter>
#include <QShortcut>
#include <QStringDecoder>
#include <QTextBlock>

namespace xmlpellor {

constexpr int kGutterPaddingPx = 6;

// The gutter beside the text; the window paints it.
class LineNumberArea final : public QWidget {
 public:
  explicit LineNumberArea(QtSourceWindow& editor) : QWidget(&editor), m_editor(editor) {}
  QSize sizeHint() const override { return {m_editor.LineNumberWidth(), 0}; }

 protected:
  void paintEvent(QPaintEvent* event) override { m_editor.PaintLineNumbers(event); }

 private:
  QtSourceWindow& m_editor;
};

QtSourceWindow::QtSourceWindow(QWidget& owner)
    : QPlainTextEdit(&owner), m_lineNumbers(new LineNumberArea(*this)) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("source"));
  setAccessibleName(QStringLiteral("Output source"));
  setAccessibleDescription(
      QStringLiteral("The output of the last Apply exactly as written, with line numbers"));
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  resize(720, 520);

  connect(this, &QPlainTextEdit::blockCountChanged, this,
          [this] { setViewportMargins(LineNumberWidth(), 0, 0, 0); });
  connect(this, &QPlainTextEdit::updateRequest, this, &QtSourceWindow::UpdateLineNumbers);
  setViewportMargins(LineNumberWidth(), 0, 0, 0);

  // Ctrl+U brought the window up and takes it away again, as Esc does.
  auto* close = new QShortcut(this);  // owned by the window
  close->setKeys({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_U)});
  connect(close, &QShortcut::activated, this, &QWidget::close);
}

void QtSourceWindow::ShowFile(const QString& path, const QString& charset) {
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) {
    QStringDecoder decoder(charset.toLatin1().constData());
    if (!decoder.isValid()) decoder = QStringDecoder(QStringDecoder::Utf8);
    setPlainText(decoder(file.readAll()));
  } else {
    setPlainText(file.errorString());
  }
}

int QtSourceWindow::LineNumberWidth() const {
  const int digits = static_cast<int>(QString::number(std::max(1, blockCount())).size());
  return 2 * kGutterPaddingPx + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void QtSourceWindow::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  const QRect inner = contentsRect();
  m_lineNumbers->setGeometry(inner.left(), inner.top(), LineNumberWidth(), inner.height());
}

void QtSourceWindow::UpdateLineNumbers(const QRect& rect, int dy) {
  if (dy != 0) {
    m_lineNumbers->scroll(0, dy);
  } else {
    m_lineNumbers->update(0, rect.y(), m_lineNumbers->width(), rect.height());
  }
}

void QtSourceWindow::PaintLineNumbers(QPaintEvent* event) {
  QPainter painter(m_lineNumbers);
  painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
  painter.setPen(palette().color(QPalette::PlaceholderText));
  QTextBlock block = firstVisibleBlock();
  int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
  const int width = m_lineNumbers->width() - kGutterPaddingPx;
  while (block.isValid() && top <= event->rect().bottom()) {
    const int height = qRound(blockBoundingRect(block).height());
    if (block.isVisible() && top + height >= event->rect().top()) {
      painter.drawText(0, top, width, fontMetrics().height(), Qt::AlignRight,
                       QString::number(block.blockNumber() + 1));
    }
    block = block.next();
    top += height;
  }
}

}  // namespace xmlpellor
