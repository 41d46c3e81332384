#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <mutex>

#include "platform/Window.h"
#include "platform/qt/browser/HostAddresses.h"
#include "platform/qt/browser/PagePolicy.h"
#include "platform/ReadPolicy.h"

namespace xmlpellor {

// What the scheme may serve and where pages may go: the pages the program
// navigated to, the folders of the job now shown, and single requests the
// policy let through. Shared by the request interceptor (which sees each
// request first) and the scheme handlers (which answer them).
class PageRegistry {
 public:
  struct Page {
    QString file;
    PageKind kind;
    QByteArray charset = "UTF-8";
  };

  // At most this much of a local file, or of a page the program itself
  // shows, reaches the engine.
  static constexpr qint64 kDefaultReadLimit = qint64{64} << 20;

  // The location at which `file` is shown, beside `folder`.
  static QUrl PageUrl(const QString& folder, const QString& file);

  // What the policy needs to know of a request: read from the disk, the
  // registry and the name service, and nothing used up.
  PageFacts FactsOf(const QUrl& url, PageLoad load, const QUrl& firstParty);
  // Judges a request on its facts and carries the decision out: the pass it
  // uses is gone afterwards, the permit it gives is recorded.
  PageDecision Decide(const QUrl& url, PageLoad load, const QUrl& firstParty);

  // Registers the page the program shows at `url`; it replaces any earlier
  // location of the same file, which a page could otherwise go back to and
  // see the new content under the old folder's origin.
  void AddPage(const QUrl& url, Page page);
  // Sets what the page now shown may read: the policy its job read under.
  void SetReadPolicy(ReadPolicy reads);
  // Opens the local file at `path` as the page's read policy allows, deciding
  // on what it opens (ReadPolicy::Open): a link changed since the request
  // was judged leads nowhere else.
  OpenedFile Open(const QString& path) const;
  // Uses up the permit for the URL; false when there was none.
  bool TakePermit(const QUrl& url, PageServed& served);
  // A one-time pass for the file: URL of a picture at `path`.
  QString IssuePass(const QString& path);
  // The page registered at the URL, if any.
  bool FindPage(const QUrl& url, Page& page) const;

  qint64 ReadLimit() const;
  void SetReadLimit(qint64 limit);

 private:
  static QString Key(const QUrl& url);
  bool HasPass(const QString& pass, const QString& path) const;
  bool TakePass(const QString& pass, const QString& path);

  mutable std::mutex m_mutex;
  QHash<QString, Page> m_pages;
  QMultiHash<QString, PageServed> m_permits;
  QHash<QString, QString> m_passes;  // pass -> path
  // Nothing is readable before a job gives its policy.
  ReadPolicy m_readable;
  qint64 m_readLimit = kDefaultReadLimit;
  HostAddresses m_hosts;
};

}  // namespace xmlpellor
