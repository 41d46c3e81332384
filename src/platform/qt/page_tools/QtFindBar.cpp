#include "platform/qt/page_tools/QtFindBar.h"

#include <algorithm>

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace xmlpellor {
namespace {

constexpr int kMarginPx = 4;

QToolButton* Button(QWidget* parent, const char* name, const QString& text,
                    const char* accessibleName, const char* description) {
  auto* button = new QToolButton(parent);  // owned by the bar
  button->setObjectName(QString::fromLatin1(name));
  button->setText(text);
  button->setAccessibleName(QString::fromUtf8(accessibleName));
  button->setAccessibleDescription(QString::fromUtf8(description));
  button->setToolTip(QString::fromUtf8(description));
  button->setAutoRaise(true);
  return button;
}

}  // namespace

QtFindBar::QtFindBar(QWebEngineView& view)
    : QtFindBar(
          view,
          [&view](const QString& text, bool backward, Found found) {
            QWebEnginePage::FindFlags flags;
            if (backward) flags |= QWebEnginePage::FindBackward;
            view.page()->findText(text, flags, [found](const QWebEngineFindTextResult& result) {
              if (found) found(result.activeMatch(), result.numberOfMatches(), false);
            });
          },
          QStringLiteral("page")) {}

QtFindBar::QtFindBar(QWidget& host, Search search, const QString& what)
    : QFrame(&host), m_host(host), m_search(std::move(search)) {
  setObjectName(QStringLiteral("findBar"));
  setAccessibleName(QStringLiteral("Find in ") + what);
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);

  m_text = new QLineEdit(this);
  m_text->setObjectName(QStringLiteral("findText"));
  m_text->setAccessibleName(QStringLiteral("Find in ") + what);
  m_text->setAccessibleDescription(
      QStringLiteral("Text to find in the %1 (Enter: next, Shift+Enter: previous, Esc: close)")
          .arg(what));
  m_text->setPlaceholderText(QStringLiteral("Find in ") + what);
  m_text->setToolTip(m_text->placeholderText());
  m_previous = Button(this, "findPrevious", QStringLiteral("\u2191"), "Previous match",
                      "Go to the previous match (Shift+Enter)");
  m_next = Button(this, "findNext", QStringLiteral("\u2193"), "Next match",
                  "Go to the next match (Enter)");
  m_matches = new QLabel(this);
  m_matches->setObjectName(QStringLiteral("findMatches"));
  m_matches->setAccessibleName(QStringLiteral("Matches"));
  m_matches->setMinimumWidth(
      m_matches->fontMetrics().horizontalAdvance(QStringLiteral("999 of 999")));
  m_close = Button(this, "findClose", QStringLiteral("\u2715"), "Close the find bar",
                   "Close the find bar and clear its highlights (Esc)");

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(kMarginPx, kMarginPx / 2, kMarginPx, kMarginPx / 2);
  row->setSpacing(kMarginPx);
  row->addWidget(m_text, 1);
  row->addWidget(m_matches);
  row->addWidget(m_previous);
  row->addWidget(m_next);
  row->addWidget(m_close);

  connect(m_text, &QLineEdit::textChanged, this, [this] { Find(false); });
  connect(m_previous, &QToolButton::clicked, this, [this] { Find(true); });
  connect(m_next, &QToolButton::clicked, this, [this] { Find(false); });
  connect(m_close, &QToolButton::clicked, this, &QtFindBar::Close);
  // The engine makes its inner widget late, and anew now and then; the bar
  // has to stay above it and in its corner.
  m_host.installEventFilter(this);
  hide();
}

void QtFindBar::Open() {
  Place();
  show();
  raise();
  m_text->setFocus(Qt::ShortcutFocusReason);
  m_text->selectAll();
  Refresh();
}

void QtFindBar::Close() {
  if (isHidden()) return;
  const bool hadFocus = isAncestorOf(QApplication::focusWidget());
  hide();
  m_search(QString(), false, nullptr);
  m_matches->clear();
  if (hadFocus) m_host.setFocus(Qt::OtherFocusReason);
}

void QtFindBar::FindAgain(bool backward) {
  if (isHidden() || m_text->text().isEmpty()) {
    Open();
    return;
  }
  Find(backward);
}

void QtFindBar::Refresh() {
  if (isVisible() && !m_text->text().isEmpty()) Find(false);
}

void QtFindBar::Find(bool backward) {
  const QString text = m_text->text();
  if (text.isEmpty()) {
    m_search(QString(), false, nullptr);
    m_matches->clear();
    return;
  }
  // The bar may be gone when a late answer comes.
  QPointer<QLabel> matches = m_matches;
  m_search(text, backward, [matches](int active, int total, bool more) {
    if (!matches) return;
    matches->setText(total == 0 ? QStringLiteral("No matches")
                                : QStringLiteral("%1 of %2%3")
                                      .arg(active)
                                      .arg(total)
                                      .arg(more ? QStringLiteral("+") : QString()));
  });
}

void QtFindBar::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
  switch (event->key()) {
    case Qt::Key_Escape: Close(); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F3: Find(shift); break;
    default: QFrame::keyPressEvent(event); return;
  }
  event->accept();
}

bool QtFindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &m_host && isVisible()) {
    if (event->type() == QEvent::Resize) Place();
    if (event->type() == QEvent::ChildAdded) raise();
  }
  return QFrame::eventFilter(watched, event);
}

void QtFindBar::Place() {
  const int width = std::min(m_host.width() - 2 * kMarginPx, std::max(sizeHint().width(), 320));
  resize(width, sizeHint().height());
  move(m_host.width() - kMarginPx - width, kMarginPx);
}

}  // namespace xmlpellor
