#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEngineUrlRequestInfo>
#include <mutex>

#include "platform/Window.h"

namespace xmlpellor {

// The program's own URL scheme. A page lives at its folder's path, on a host
// made for that folder: the host is the page's origin, so what one page
// stores (localStorage, IndexedDB, the cache's partition) no page of another
// folder can read, while pages of one folder keep one page process.
inline constexpr char kPageScheme[] = "xmlpellor";
// The query key of the one-time pass our handler gives a picture or
// stylesheet it sends on to its file: URL.
inline constexpr char kPassKey[] = "xmlpellor-pass";

// The content type a page of this kind is served with, its bytes read in
// `charset`; UTF-8 for a name that is no plain charset token.
QByteArray ContentTypeOf(PageKind kind, const QByteArray& charset = "UTF-8");

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
  // How the scheme's handler answers a request the interceptor let through.
  enum class Served {
    kPage,     // a page the program showed, else a file a page went to
    kFile,     // a local file, read in pieces up to the limit
    kPicture,  // a picture or stylesheet: on to its file: URL, if no cors
  };
  // What becomes of a request a page makes.
  struct Verdict {
    enum Kind { kAllow, kBlock, kRedirect };
    Kind kind = kBlock;
    QUrl target;                    // where a redirect goes
    Served served = Served::kFile;  // how our scheme answers it
  };

  // At most this much of a local file reaches a page (the pages the program
  // itself shows are not cut).
  static constexpr qint64 kDefaultReadLimit = qint64{64} << 20;

  // The location at which `file` is shown, beside `folder`.
  static QUrl PageUrl(const QString& folder, const QString& file);

  // The rule for local files, by target and resource type:
  // - the page itself may go to a page the program showed, and to a local
  //   file that, symlinks and ".." resolved, lies in one of the readable
  //   folders; it is shown on its own folder's host;
  // - a page of ours may show local pictures and stylesheets whose names
  //   say they are such, as file: URLs (the engine counts every answer of
  //   our scheme as the page's own origin, so a script could read their
  //   pixels and rules back), but never in cors mode: each goes through our
  //   handler first, which refuses a request that carries an origin; and
  //   fonts, from the page's own origin, as fonts always load in cors mode;
  // - nothing else reaches a local file: no XMLHttpRequest or fetch, frame,
  //   script, worker, object or media, nor a WebSocket to this machine.
  // Everything not local (http, data:, blob:) is left to the engine.
  Verdict Judge(const QUrl& url, QWebEngineUrlRequestInfo::ResourceType type,
                const QUrl& firstParty);

  // Registers the page the program shows at `url`; it replaces any earlier
  // location of the same file, which a page could otherwise go back to and
  // see the new content under the old folder's origin.
  void AddPage(const QUrl& url, Page page);
  // Sets the folders of the job now shown; each is resolved here.
  void SetReadableFolders(const QStringList& folders);
  void Permit(const QUrl& url, Served served);
  // Uses up the permit for the URL; false when there was none.
  bool TakePermit(const QUrl& url, Served& served);
  // A one-time pass for the file: URL of a picture at `path`.
  QString IssuePass(const QString& path);
  bool TakePass(const QString& pass, const QString& path);
  // The page registered at the URL, if any.
  bool FindPage(const QUrl& url, Page& page) const;

  qint64 ReadLimit() const;
  void SetReadLimit(qint64 limit);

 private:
  static QString Key(const QUrl& url);
  bool Readable(const QString& path) const;

  mutable std::mutex m_mutex;
  QHash<QString, Page> m_pages;
  QMultiHash<QString, Served> m_permits;
  QHash<QString, QString> m_passes;  // pass -> path
  QStringList m_readable;
  qint64 m_readLimit = kDefaultReadLimit;
};

// The notice that ends a local file cut at the read limit.
QByteArray ReadLimitNotice(qint64 limit);

// Registers the schemes with the engine; must run before QApplication exists.
void RegisterPageScheme();

// The registry of the default profile, with the scheme handlers, the request
// interceptor and the cookie filter installed on that profile at the first
// call.
PageRegistry& DefaultPageRegistry();

}  // namespace xmlpellor
