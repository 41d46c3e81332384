#include "platform/qt/QtSourceWindow.h"

#include <algorithm>

#include <QFile>
#include <QPaintEvent>
#include <QFontDatabase>
#include <QPainter>
#include <QShortcut>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>

#include "platform/qt/QtFindBar.h"

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
    : QPlainTextEdit(&owner),
      m_lineNumbers(new LineNumberArea(*this)),
      m_findBar(new QtFindBar(
          *this,
          [this](const QString& text, bool backward, QtFindBar::Found found) {
            Search(text, backward, found);
          },
          QStringLiteral("source"))) {
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

  // Ctrl+U brought the window up and takes it away again, as Esc does; Esc
  // closes an open find bar first. A shortcut sees Esc before the bar does.
  const auto key = [this](QList<QKeySequence> keys, std::function<void()> run) {
    auto* shortcut = new QShortcut(this);  // owned by the window
    shortcut->setKeys(keys);
    connect(shortcut, &QShortcut::activated, this, std::move(run));
  };
  key({QKeySequence(Qt::Key_Escape)}, [this] {
    if (m_findBar->isVisible()) {
      m_findBar->Close();
    } else {
      close();
    }
  });
  key({QKeySequence(Qt::CTRL | Qt::Key_U)}, [this] { close(); });
  key({QKeySequence(Qt::CTRL | Qt::Key_F)}, [this] { m_findBar->Open(); });
  key({QKeySequence(Qt::Key_F3)}, [this] { m_findBar->FindAgain(false); });
  key({QKeySequence(Qt::SHIFT | Qt::Key_F3)}, [this] { m_findBar->FindAgain(true); });
}

void QtSourceWindow::ShowFile(const QString& path, const QString& charset) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    setPlainText(file.errorString());
    return;
  }
  QByteArray bytes = file.read(kShownBytes);
  if (!file.atEnd()) {
    bytes += "\n[The output is longer than " + QByteArray::number(kShownBytes >> 20) +
             " MB; only its beginning is shown. Ctrl+S in the window saves it whole.]\n";
  }
  // Without a charset the bytes say theirs, as a browser reads a file.
  QStringDecoder decoder = charset.isEmpty() ? QStringDecoder::decoderForHtml(bytes)
                                             : QStringDecoder(charset.toLatin1().constData());
  if (!decoder.isValid()) decoder = QStringDecoder(QStringDecoder::Utf8);
  setPlainText(decoder(bytes));
  m_findBar->Refresh();
}

void QtSourceWindow::Search(const QString& text, bool backward,
                            const std::function<void(int, int, bool)>& found) {
  QTextCursor at = textCursor();
  if (text.isEmpty()) {
    setExtraSelections({});
    at.clearSelection();
    setTextCursor(at);
    return;
  }
  // While the text is typed, the match grows where it stands; once it is
  // the whole selection, the search moves on past it.
  const bool onMatch = at.selectedText().compare(text, Qt::CaseInsensitive) == 0;
  QTextCursor from(document());
  from.setPosition(backward || !onMatch ? at.selectionStart() : at.selectionEnd());
  const QTextDocument::FindFlags flags =
      backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
  QTextCursor match = document()->find(text, from, flags);
  if (match.isNull()) {
    // Round the end, as a browser's find does.
    from.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    match = document()->find(text, from, flags);
  }
  QList<QTextEdit::ExtraSelection> all;
  int active = 0;
  bool more = false;
  QTextCharFormat highlight;
  highlight.setBackground(QColor(0xff, 0xe0, 0x60));
  for (QTextCursor next = document()->find(text, 0); !next.isNull();
       next = document()->find(text, next)) {
    if (all.size() == kCountedMatches) {
      more = true;
      break;
    }
    all.append({next, highlight});
    if (!match.isNull() && next.selectionStart() == match.selectionStart()) {
      active = static_cast<int>(all.size());
    }
  }
  setExtraSelections(all);
  if (!match.isNull()) setTextCursor(match);
  if (found) found(active, static_cast<int>(all.size()), more);
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
