#include "platform/qt/PageScheme.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <algorithm>
#include <array>

#include "platform/qt/CappedFileReader.h"

namespace xmlpellor {
namespace {

QMimeType MimeTypeByName(const QString& path) {
  return QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
}

bool IsScheme(const QUrl& url, const char* scheme) {
  return url.scheme().compare(QLatin1String(scheme), Qt::CaseInsensitive) == 0;
}

PageLoad LoadOf(QWebEngineUrlRequestInfo::ResourceType type) {
  using Info = QWebEngineUrlRequestInfo;
  switch (type) {
    case Info::ResourceTypeMainFrame: return PageLoad::kMainFrame;
    case Info::ResourceTypeSubFrame: return PageLoad::kSubFrame;
    case Info::ResourceTypeStylesheet: return PageLoad::kStylesheet;
    case Info::ResourceTypeScript: return PageLoad::kScript;
    case Info::ResourceTypeImage:
    case Info::ResourceTypeFavicon: return PageLoad::kImage;
    case Info::ResourceTypeFontResource: return PageLoad::kFont;
    case Info::ResourceTypeMedia: return PageLoad::kMedia;
    case Info::ResourceTypeXhr: return PageLoad::kXhr;
    case Info::ResourceTypeWorker:
    case Info::ResourceTypeSharedWorker:
    case Info::ResourceTypeServiceWorker: return PageLoad::kWorker;
    case Info::ResourceTypeObject:
    case Info::ResourceTypePluginResource: return PageLoad::kObject;
    case Info::ResourceTypePing:
    case Info::ResourceTypeCspReport: return PageLoad::kPing;
    case Info::ResourceTypeWebSocket: return PageLoad::kWebSocket;
    default: return PageLoad::kOther;
  }
}

// Answers one job with a local file read in pieces, or fails it.
void ReplyWithFile(QWebEngineUrlRequestJob* job, const QString& path, const QByteArray& contentType,
                   qint64 limit) {
  // Only regular files: a device or a FIFO would never end or never answer.
  if (path.isEmpty() || !QFileInfo(path).isFile()) {
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    return;
  }
  auto* reader = new CappedFileReader(path, limit, ReadLimitNotice(limit));
  if (!reader->Open()) {
    delete reader;
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
    return;
  }
  // The engine reads the device until the job goes; it does not own it.
  QObject::connect(job, &QObject::destroyed, reader, &QObject::deleteLater);
  job->reply(contentType, reader);
}

bool HasOrigin(const QMap<QByteArray, QByteArray>& headers) {
  for (auto it = headers.begin(); it != headers.end(); ++it) {
    if (it.key().compare("origin", Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

QByteArray ContentTypeByName(const QString& path) {
  const QMimeType type = MimeTypeByName(path);
  // A name that says nothing is shown as text, never run as a page.
  return type.isDefault() ? QByteArrayLiteral("text/plain") : type.name().toUtf8();
}

// Serves the registry's pages, and the local files a page was let to go
// to or to use as fonts, under kPageScheme; every other request answers
// "not found".
class PageSchemeHandler final : public QWebEngineUrlSchemeHandler {
 public:
  PageSchemeHandler(PageRegistry& registry, QObject* parent)
      : QWebEngineUrlSchemeHandler(parent), m_registry(registry) {}

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QUrl url = job->requestUrl();
    // Nothing is served that the interceptor did not see and let through.
    PageServed served;
    if (!m_registry.TakePermit(url, served)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    const QString path = LocalPath(url);
    PageRegistry::Page page;
    const bool registered = m_registry.FindPage(url, page);
    switch (Answer(served, HasOrigin(job->requestHeaders()), registered)) {
      case PageAnswer::kRefuse: job->fail(QWebEngineUrlRequestJob::RequestDenied); return;
      case PageAnswer::kToFile: {
        QUrl file = QUrl::fromLocalFile(path);
        file.setQuery(QLatin1String(kPassKey) + QLatin1Char('=') + m_registry.IssuePass(path));
        job->redirect(file);
        return;
      }
      case PageAnswer::kFile:
        ReplyWithFile(job, path, ContentTypeByName(path), m_registry.ReadLimit());
        return;
      case PageAnswer::kPage: break;
    }
    QFile file(page.file);
    if (!QFileInfo(page.file).isFile() || !file.open(QIODevice::ReadOnly)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    // The program's own page is read now (its size is the result's, which
    // the program held already): the next Apply may delete and rewrite the
    // file while the engine is still taking it in. Up to the limit only: a
    // result of hundreds of megabytes would grow the engine by gigabytes.
    QByteArray contentType = ContentTypeOf(page.kind, page.charset);
    auto* buffer = new QBuffer;
    buffer->setData(file.read(m_registry.ReadLimit()));
    if (!file.atEnd()) {
      buffer->buffer() += OutputLimitNotice(m_registry.ReadLimit());
      // Cut XML is not well-formed and would show as a parse error.
      if (page.kind != PageKind::kHtml) contentType = ContentTypeOf(PageKind::kText, page.charset);
    }
    buffer->open(QIODevice::ReadOnly);
    QObject::connect(job, &QObject::destroyed, buffer, &QObject::deleteLater);
    job->reply(contentType, buffer);
  }

 private:
  PageRegistry& m_registry;
};

// Sees every request of every page of the profile before it starts, file:
// and our schemes included. It can only narrow what the engine allows.
// Qt 6 calls it on the window's thread and holds the request until it
// returns, so the name lookups a decision needs wait elsewhere, for a
// bounded time (HostAddresses).
//
// Chromium's Private Network Access checks stay at their defaults and are
// not what keeps a page off this machine: they judge a request by the
// address space of the page that makes it, and a page of a local scheme
// counts as the most private one (a stylesheet from a server on 127.0.0.1
// loads under them), so they let every request of ours through.
class LocalFileInterceptor final : public QWebEngineUrlRequestInterceptor {
 public:
  LocalFileInterceptor(PageRegistry& registry, QObject* parent)
      : QWebEngineUrlRequestInterceptor(parent), m_registry(registry) {}

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const PageDecision decision =
        m_registry.Decide(info.requestUrl(), LoadOf(info.resourceType()), info.firstPartyUrl());
    switch (decision.kind) {
      case PageDecision::kBlock: info.block(true); return;
      case PageDecision::kRedirect: info.redirect(decision.target); return;
      case PageDecision::kAllow: return;
    }
  }

 private:
  PageRegistry& m_registry;
};

}  // namespace

QByteArray ContentTypeOf(PageKind kind, const QByteArray& charset) {
  QByteArray type = QByteArrayLiteral("text/html");
  switch (kind) {
    case PageKind::kXhtml: type = QByteArrayLiteral("application/xhtml+xml"); break;
    case PageKind::kXml: type = QByteArrayLiteral("application/xml"); break;
    case PageKind::kText: type = QByteArrayLiteral("text/plain"); break;
    case PageKind::kHtml: break;
  }
  // The name comes from a stylesheet: nothing in it may end the header's
  // value or add a parameter of its own.
  const bool token = !charset.isEmpty() && charset.size() <= 40 &&
                     std::all_of(charset.begin(), charset.end(), [](char c) {
                       return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
                              c == ':' || c == '+';
                     });
  return type + "; charset=" + (token ? charset : QByteArrayLiteral("UTF-8"));
}

QByteArray ReadLimitNotice(qint64 limit) {
  return "\n\n[This file is longer than " + QByteArray::number(limit >> 20) +
         " MB; only its beginning is shown.]\n";
}

QByteArray OutputLimitNotice(qint64 limit) {
  const QByteArray size = limit >= (qint64{1} << 20) ? QByteArray::number(limit >> 20) + " MB"
                                                     : QByteArray::number(limit >> 10) + " kB";
  return "\n\n[This output is longer than " + size +
         "; only its beginning is shown. Ctrl+S saves it whole.]\n";
}

void RegisterPageScheme() {
  QWebEngineUrlScheme scheme(kPageScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  // Local like file: — web content cannot reach it, and its pages may show
  // local pictures as a page opened from disk could. What they may read is
  // narrowed by the interceptor.
  scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
  QWebEngineUrlScheme::registerScheme(scheme);
}

PageRegistry& DefaultPageRegistry() {
  static PageRegistry* registry = [] {
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    // Lives as long as the process: the handlers and the interceptor,
    // parented to the profile, may still be called while the profile goes.
    auto* r = new PageRegistry;
    profile->installUrlSchemeHandler(kPageScheme, new PageSchemeHandler(*r, profile));
    profile->setUrlRequestInterceptor(new LocalFileInterceptor(*r, profile));
    // The cache is shared by every page of the profile: a page of one
    // folder could time what a page of another loaded. Remote files are
    // fetched anew instead.
    profile->setHttpCacheType(QWebEngineProfile::NoCache);
    // A server's cookie set while one result page loads would be sent again
    // from the next, whatever its folder: pages of ours keep none.
    profile->cookieStore()->setCookieFilter(
        [](const QWebEngineCookieStore::FilterRequest& request) {
          return !IsScheme(request.firstPartyUrl, kPageScheme) &&
                 !IsScheme(request.firstPartyUrl, "file");
        });
    return r;
  }();
  return *registry;
}

}  // namespace xmlpellor
