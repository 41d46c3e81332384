#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlRequestInfo>
#include <mutex>

#include "platform/Window.h"

namespace xmlpellor {

// The program's own URL scheme. Every page the program shows lives on one
// host, so that going from one page to the next keeps the page process (a
// scheme without hosts makes each path a site of its own, and each new site
// a new process).
inline constexpr char kPageScheme[] = "xmlpellor";
inline constexpr char kPageHost[] = "page";

// What becomes of a request a page makes.
enum class RequestVerdict { kAllow, kBlock, kFromFile };

// The rule for local files, by target and resource type. A page may be
// navigated to a local file, and may show local pictures, stylesheets and
// fonts whose names say they are such; nothing else reaches a local file:
// no XMLHttpRequest or fetch, frame, script, worker, object or media.
// Those pictures and stylesheets come as file: URLs even when named beside
// the page: the engine treats every answer of our scheme as the page's own
// origin, so a script could read their pixels and rules back. Everything
// not local (http, data:, blob:) is left to the engine.
RequestVerdict JudgeRequest(const QUrl& url, QWebEngineUrlRequestInfo::ResourceType type);

// The content type a page of this kind is served with; the bytes are always
// UTF-8, whatever the page declares in itself.
QByteArray ContentTypeOf(PageKind kind);

// What the scheme may serve: the pages the program navigated to, and single
// requests the policy let through. Shared by the request interceptor (which
// sees each request first) and the scheme handler (which answers it).
class PageRegistry {
 public:
  struct Page {
    QString file;
    PageKind kind;
  };

  // The location at which `file` is shown, beside `folder`.
  static QUrl PageUrl(const QString& folder, const QString& file);

  void AddPage(const QUrl& url, Page page);
  void Permit(const QUrl& url);
  // Uses up one permit for the URL; false when there was none.
  bool TakePermit(const QUrl& url);
  // The page registered at the URL, if any.
  bool FindPage(const QUrl& url, Page& page) const;

 private:
  static QString Key(const QUrl& url);

  mutable std::mutex m_mutex;
  QHash<QString, Page> m_pages;
  QHash<QString, int> m_permits;
};

// Registers the scheme with the engine; must run before QApplication exists.
void RegisterPageScheme();

// The registry of the default profile, with the scheme handler and the
// request interceptor installed on that profile at the first call.
PageRegistry& DefaultPageRegistry();

}  // namespace xmlpellor
