#include "platform/qt/ScrollKeeper.h"

#include <QWebEnginePage>
#include <QWebEngineScript>

namespace xmlpellor {

ScrollKeeper::ScrollKeeper(QWebEnginePage& page) : QObject(&page), m_page(page) {
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
  if (!key.empty() && key != m_keptKey) {
    m_keptKey = key;
    m_kept = {};
  }
}

void ScrollKeeper::Moved(QPointF position) {
  if (!m_restoring && !m_key.empty() && m_key == m_keptKey) m_kept = position;
}

void ScrollKeeper::Loaded(bool ok) {
  // A load that failed was most often cut short by the next one, whose own
  // end still has to put its page in place.
  if (!m_restoring || !ok) return;
  const QPointF place = !m_key.empty() && m_key == m_keptKey ? m_kept : QPointF();
  // In the program's own world: the page's scripts cannot see or block it.
  // Once now and once more two frames on: the engine puts a page of the
  // same location back where the last was left when it lays the page out,
  // which on a busy machine comes after the load has finished.
  const QString script =
      QStringLiteral(
          "(() => { const put = () => window.scrollTo(%1, %2); put();"
          " requestAnimationFrame(() => requestAnimationFrame(put)); })();")
          .arg(place.x(), 0, 'f', 0)
          .arg(place.y(), 0, 'f', 0);
  m_page.runJavaScript(script, QWebEngineScript::ApplicationWorld,
                       [this](const QVariant&) { m_restoring = false; });
}

}  // namespace xmlpellor
