#include "platform/qt/browser/ScrollKeeper.h"

#include <QWebEnginePage>
#include <QWebEngineScript>

namespace xmlpellor {

ScrollKeeper::ScrollKeeper(QWebEnginePage& page) : QObject(&page), m_page(page) {
  m_settle.setInterval(100);
  connect(&m_settle, &QTimer::timeout, this, [this] { Settle(); });
  connect(&page, &QWebEnginePage::scrollPositionChanged, this,
          [this](const QPointF& position) { Moved(position); });
  connect(&page, &QWebEnginePage::loadFinished, this, [this](bool ok) { Loaded(ok); });
  // A link followed to another document leaves the kept page: its scrolling
  // is not ours to keep. A #fragment of the same document stays on it.
  connect(&page, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
    if (url.adjusted(QUrl::RemoveFragment) != m_url) m_key.clear();
  });
}

void ScrollKeeper::Loading(const QUrl& url, const std::string& key) {
  m_url = url.adjusted(QUrl::RemoveFragment);
  m_key = key;
  // Every page the program loads is put in place: one of the kept key where
  // the last was left, any other at its top. Left alone, the engine brings a
  // page at the same location back where the page before was left, and an
  // error page in place of a long result would open past its reason.
  m_restoring = true;
  m_settle.stop();
  m_stale = m_current;
  if (!key.empty() && key != m_keptKey) {
    m_keptKey = key;
    m_kept = {};
  }
}

void ScrollKeeper::Moved(QPointF position) {
  m_current = position;
  if (m_settle.isActive()) {
    if (position == m_stale && m_stale != m_placed) {
      Place();
      return;
    }
    // Any other place than ours or the old one is the user's: theirs stays.
    if (position != m_placed) m_settle.stop();
  }
  if (!m_restoring && !m_key.empty() && m_key == m_keptKey) m_kept = position;
}

void ScrollKeeper::Loaded(bool ok) {
  // A load that failed was most often cut short by the next one, whose own
  // end still has to put its page in place.
  if (!m_restoring || !ok) return;
  m_placed = !m_key.empty() && m_key == m_keptKey ? m_kept : QPointF();
  Place();
  // The engine puts a page of the same location back where the last was
  // left when it lays the page out, which on a busy machine comes after the
  // load has finished, and then it may not even report the move: for a
  // while the page is looked at, and put back while it stands there.
  m_settleTicks = 0;
  m_settle.start();
}

void ScrollKeeper::Settle() {
  if (++m_settleTicks > kSettleTicks) {
    m_settle.stop();
    return;
  }
  if (m_page.scrollPosition() == m_stale && m_stale != m_placed) Place();
}

void ScrollKeeper::Place() {
  // In the program's own world: the page's scripts cannot see or block it.
  const QString script = QStringLiteral("window.scrollTo(%1, %2);")
                             .arg(m_placed.x(), 0, 'f', 0)
                             .arg(m_placed.y(), 0, 'f', 0);
  m_page.runJavaScript(script, QWebEngineScript::ApplicationWorld,
                       [this](const QVariant&) { m_restoring = false; });
}

}  // namespace xmlpellor
