#include "platform/qt/PageScheme.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace xmlpellor {
namespace {

using Info = QWebEngineUrlRequestInfo;

QMimeType MimeTypeByName(const QString& path) {
  return QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
}

// A local subresource must be named as what it is loaded as: a stylesheet
// link cannot pull in a key file, however the text would parse.
bool NamedAs(const QString& path, Info::ResourceType type) {
  const QString mime = MimeTypeByName(path).name();
  switch (type) {
    case Info::ResourceTypeImage:
    case Info::ResourceTypeFavicon: return mime.startsWith(QLatin1String("image/"));
    case Info::ResourceTypeStylesheet: return mime == QLatin1String("text/css");
    // font/woff2, application/x-font-ttf, application/vnd.ms-opentype...
    case Info::ResourceTypeFontResource:
      return mime.contains(QLatin1String("font")) || mime.contains(QLatin1String("opentype"));
    default: return false;
  }
}

// Serves the registry's pages, and the local files a page was let to
// navigate to, under kPageScheme; every other request answers "not found".
class PageSchemeHandler final : public QWebEngineUrlSchemeHandler {
 public:
  PageSchemeHandler(PageRegistry& registry, QObject* parent)
      : QWebEngineUrlSchemeHandler(parent), m_registry(registry) {}

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QUrl url = job->requestUrl();
    // Nothing is served that the interceptor did not see and let through.
    if (!m_registry.TakePermit(url)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    PageRegistry::Page page;
    QString path;
    QByteArray contentType;
    if (m_registry.FindPage(url, page)) {
      path = page.file;
      contentType = ContentTypeOf(page.kind);
    } else {
      path = url.path(QUrl::FullyDecoded);
      const QMimeType type = MimeTypeByName(path);
      // A name that says nothing is shown as text, never run as a page.
      contentType = type.isDefault() ? QByteArrayLiteral("text/plain") : type.name().toUtf8();
    }
    // Only regular files: a device or a FIFO would never end or never answer.
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    }
    // Read now, whole: the next Apply may delete and rewrite the file while
    // the engine is still taking it in.
    auto* buffer = new QBuffer;
    buffer->setData(file.readAll());
    buffer->open(QIODevice::ReadOnly);
    // The engine reads the device until the job goes; it does not own it.
    QObject::connect(job, &QObject::destroyed, buffer, &QObject::deleteLater);
    job->reply(contentType, buffer);
  }

 private:
  PageRegistry& m_registry;
};

// Sees every request of every page of the profile before it starts, file:
// and our scheme included. It can only narrow what the engine allows.
class LocalFileInterceptor final : public QWebEngineUrlRequestInterceptor {
 public:
  LocalFileInterceptor(PageRegistry& registry, QObject* parent)
      : QWebEngineUrlRequestInterceptor(parent), m_registry(registry) {}

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QUrl url = info.requestUrl();
    switch (JudgeRequest(url, info.resourceType())) {
      case RequestVerdict::kBlock: info.block(true); return;
      case RequestVerdict::kFromFile:
        info.redirect(QUrl::fromLocalFile(url.path(QUrl::FullyDecoded)));
        return;
      case RequestVerdict::kAllow:
        if (url.scheme() == QLatin1String(kPageScheme)) m_registry.Permit(url);
        return;
    }
  }

 private:
  PageRegistry& m_registry;
};

}  // namespace

RequestVerdict JudgeRequest(const QUrl& url, QWebEngineUrlRequestInfo::ResourceType type) {
  const QString scheme = url.scheme().toLower();
  const bool ours = scheme == QLatin1String(kPageScheme);
  if (!ours && scheme != QLatin1String("file")) return RequestVerdict::kAllow;
  if (ours && url.host() != QLatin1String(kPageHost)) return RequestVerdict::kBlock;
  if (type == Info::ResourceTypeMainFrame) return RequestVerdict::kAllow;
  if (!NamedAs(url.path(QUrl::FullyDecoded), type)) return RequestVerdict::kBlock;
  return ours ? RequestVerdict::kFromFile : RequestVerdict::kAllow;
}

QByteArray ContentTypeOf(PageKind kind) {
  switch (kind) {
    case PageKind::kXhtml: return QByteArrayLiteral("application/xhtml+xml; charset=utf-8");
    case PageKind::kXml: return QByteArrayLiteral("application/xml; charset=utf-8");
    case PageKind::kText: return QByteArrayLiteral("text/plain; charset=utf-8");
    case PageKind::kHtml: break;
  }
  return QByteArrayLiteral("text/html; charset=utf-8");
}

QUrl PageRegistry::PageUrl(const QString& folder, const QString& file) {
  QUrl url;
  url.setScheme(QString::fromLatin1(kPageScheme));
  url.setHost(QString::fromLatin1(kPageHost));
  if (!file.isEmpty()) {
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    url.setPath(path + file, QUrl::DecodedMode);
  }
  return url;
}

QString PageRegistry::Key(const QUrl& url) {
  return url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery).toString(QUrl::FullyEncoded);
}

void PageRegistry::AddPage(const QUrl& url, Page page) {
  const std::lock_guard lock(m_mutex);
  m_pages.insert(Key(url), std::move(page));
}

void PageRegistry::Permit(const QUrl& url) {
  const std::lock_guard lock(m_mutex);
  ++m_permits[Key(url)];
}

bool PageRegistry::TakePermit(const QUrl& url) {
  const std::lock_guard lock(m_mutex);
  const auto it = m_permits.find(Key(url));
  if (it == m_permits.end()) return false;
  if (--*it == 0) m_permits.erase(it);
  return true;
}

bool PageRegistry::FindPage(const QUrl& url, Page& page) const {
  if (url.host() != QLatin1String(kPageHost)) return false;
  const std::lock_guard lock(m_mutex);
  const auto it = m_pages.constFind(Key(url));
  if (it == m_pages.constEnd()) return false;
  page = *it;
  return true;
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
    // Lives as long as the process: the handler and the interceptor, parented
    // to the profile, may still be called while the profile goes.
    auto* r = new PageRegistry;
    profile->installUrlSchemeHandler(kPageScheme, new PageSchemeHandler(*r, profile));
    profile->setUrlRequestInterceptor(new LocalFileInterceptor(*r, profile));
    return r;
  }();
  return *registry;
}

}  // namespace xmlpellor
