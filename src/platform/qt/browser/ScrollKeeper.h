#pragma once

#include <QObject>
#include <QPointF>
#include <QTimer>
#include <QUrl>
#include <string>

class QWebEnginePage;

namespace xmlpellor {

// Brings a page back at the scroll position where the last page of the same
// key was left. The engine does that by itself only when the very same
// location loads again; an in-page link (a location with a #fragment) or a
// short error page in between would lose the place.
class ScrollKeeper final : public QObject {
 public:
  explicit ScrollKeeper(QWebEnginePage& page);

  // Before each load the program starts; a page of an empty key keeps
  // nothing and opens at its top.
  void Loading(const QUrl& url, const std::string& key);

 private:
  void Moved(QPointF position);
  void Loaded(bool ok);
  void Settle();
  void Place();

  QWebEnginePage& m_page;
  QUrl m_url;         // the page shown or loading, without its fragment
  std::string m_key;  // of that page; empty while it is some other page
  std::string m_keptKey;
  QPointF m_kept;
  // From the load until the place is restored: the new page's first
  // position is its top, not where the user was.
  bool m_restoring = false;
  // After a load: where the page before was (the engine may put the new one
  // back there late, and without a word), where this one was put, and how
  // long to keep watching for that.
  static constexpr int kSettleTicks = 30;  // of 100 ms
  QPointF m_current;
  QPointF m_stale;
  QPointF m_placed;
  QTimer m_settle;
  int m_settleTicks = 0;
};

}  // namespace xmlpellor
