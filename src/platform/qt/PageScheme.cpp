#include "platform/qt/PageScheme.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QUrlQuery>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <algorithm>
#include <array>

#include "platform/qt/CappedFileReader.h"

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

bool IsScheme(const QUrl& url, const char* scheme) {
  return url.scheme().compare(QLatin1String(scheme), Qt::CaseInsensitive) == 0;
}

// This machine's own services (a database, a debugger's port) answer a
// WebSocket from any page, with no CORS between them and the page.
bool IsLoopback(const QString& host) {
  const QString name = host.toLower();
  if (name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost"))) return true;
  const QHostAddress address(name);
  return address.isLoopback() || address == QHostAddress::AnyIPv4 ||
         address == QHostAddress::AnyIPv6;
}

// The local path a URL names, or "" when it names none we serve (a file:
// URL of another host, a relative path).
QString LocalPath(const QUrl& url) {
  if (IsScheme(url, "file")) {
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
      return {};
  }
  const QString path = url.path(QUrl::FullyDecoded);
  return path.startsWith(QLatin1Char('/')) ? path : QString();
}

bool SameLocation(const QUrl& a, const QUrl& b) {
  return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
         a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
         a.path(QUrl::FullyDecoded) == b.path(QUrl::FullyDecoded);
}

QUrl Located(const char* scheme, const QString& host, const QString& path, const QUrl& from) {
  QUrl url;
  url.setScheme(QString::fromLatin1(scheme));
  url.setHost(host);
  url.setPath(path, QUrl::DecodedMode);
  url.setQuery(from.query(QUrl::FullyEncoded), QUrl::StrictMode);
  url.setFragment(from.fragment(QUrl::FullyEncoded), QUrl::StrictMode);
  return url;
}

constexpr char kFolderDomain[] = ".folders.page";

// A folder's host: a name of hex digits the page cannot work out for
// another folder, as the key is drawn anew in every process. Every folder's
// host lies under one registrable domain: each folder is an origin of its
// own (storage is kept by origin), while all of them are one site, so the
// engine shows every result in the page process it already has instead of
// starting one for each new folder.
QString HostFor(const QString& folder) {
  static const QByteArray key = [] {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words);
  }();
  const QByteArray digest =
      QCryptographicHash::hash(key + folder.toUtf8(), QCryptographicHash::Sha256).toHex();
  return QLatin1Char('f') + QString::fromLatin1(digest.left(24)) + QLatin1String(kFolderDomain);
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
    PageRegistry::Served served;
    if (!m_registry.TakePermit(url, served)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    const QString path = LocalPath(url);
    if (served == PageRegistry::Served::kPicture) {
      // The engine lets a page of a scheme with local access read a file:
      // answer in cors mode; only a request without an origin (a plain
      // <img> or <link>) goes on to the file, whose answer the page can
      // show but not read.
      if (HasOrigin(job->requestHeaders())) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
      }
      QUrl file = QUrl::fromLocalFile(path);
      file.setQuery(QLatin1String(kPassKey) + QLatin1Char('=') + m_registry.IssuePass(path));
      job->redirect(file);
      return;
    }
    PageRegistry::Page page;
    if (served == PageRegistry::Served::kFile || !m_registry.FindPage(url, page)) {
      ReplyWithFile(job, path, ContentTypeByName(path), m_registry.ReadLimit());
      return;
    }
    QFile file(page.file);
    if (!QFileInfo(page.file).isFile() || !file.open(QIODevice::ReadOnly)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    // The program's own page is read now, whole (its size is the result's,
    // which the program held already): the next Apply may delete and
    // rewrite the file while the engine is still taking it in.
    auto* buffer = new QBuffer;
    buffer->setData(file.readAll());
    buffer->open(QIODevice::ReadOnly);
    QObject::connect(job, &QObject::destroyed, buffer, &QObject::deleteLater);
    job->reply(ContentTypeOf(page.kind, page.charset), buffer);
  }

 private:
  PageRegistry& m_registry;
};

// Sees every request of every page of the profile before it starts, file:
// and our schemes included. It can only narrow what the engine allows.
class LocalFileInterceptor final : public QWebEngineUrlRequestInterceptor {
 public:
  LocalFileInterceptor(PageRegistry& registry, QObject* parent)
      : QWebEngineUrlRequestInterceptor(parent), m_registry(registry) {}

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QUrl url = info.requestUrl();
    const PageRegistry::Verdict verdict =
        m_registry.Judge(url, info.resourceType(), info.firstPartyUrl());
    switch (verdict.kind) {
      case PageRegistry::Verdict::kBlock: info.block(true); return;
      case PageRegistry::Verdict::kRedirect: info.redirect(verdict.target); return;
      case PageRegistry::Verdict::kAllow:
        if (IsScheme(url, kPageScheme)) m_registry.Permit(url, verdict.served);
        return;
    }
  }

 private:
  PageRegistry& m_registry;
};

}  // namespace

PageRegistry::Verdict PageRegistry::Judge(const QUrl& url, Info::ResourceType type,
                                          const QUrl& firstParty) {
  const Verdict allow{Verdict::kAllow, {}};
  const Verdict block{Verdict::kBlock, {}};
  if (type == Info::ResourceTypeWebSocket) return IsLoopback(url.host()) ? block : allow;
  const bool page = IsScheme(url, kPageScheme);
  if (!page && !IsScheme(url, "file")) return allow;
  const QString path = LocalPath(url);
  if (path.isEmpty()) return block;

  QUrl target;
  Served served = Served::kFile;
  if (type == Info::ResourceTypeMainFrame) {
    Page shown;
    if (page && FindPage(url, shown)) return {Verdict::kAllow, {}, Served::kPage};
    if (!Readable(path)) return block;
    const QFileInfo file(path);
    target = Located(kPageScheme, HostFor(file.path()), path, url);
  } else {
    // Only a page of ours shows local files: a web page a link led to
    // gets none.
    if (!IsScheme(firstParty, kPageScheme) || !NamedAs(path, type)) return block;
    if (type != Info::ResourceTypeFontResource) {
      // The engine reads these whole: a file it could not (one without a
      // size, as under /proc, or one above the limit) is not shown.
      const QFileInfo file(path);
      if (!file.isFile() || file.size() <= 0 || file.size() > ReadLimit()) return block;
      // The way back from our handler, which checked the request's mode.
      if (!page && TakePass(QUrlQuery(url).queryItemValue(QLatin1String(kPassKey)), path))
        return allow;
      served = Served::kPicture;
    }
    target = Located(kPageScheme, firstParty.host(), path, QUrl());
  }
  if (SameLocation(url, target)) return {Verdict::kAllow, {}, served};
  return {Verdict::kRedirect, target, served};
}

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

QUrl PageRegistry::PageUrl(const QString& folder, const QString& file) {
  QUrl url;
  url.setScheme(QString::fromLatin1(kPageScheme));
  url.setHost(HostFor(folder));
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
  m_pages.removeIf([&page](const auto& entry) { return entry.value().file == page.file; });
  m_pages.insert(Key(url), std::move(page));
}

void PageRegistry::SetReadableFolders(const QStringList& folders) {
  QStringList resolved;
  for (const QString& folder : folders) {
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (!real.isEmpty()) resolved << real;
  }
  const std::lock_guard lock(m_mutex);
  m_readable = std::move(resolved);
}

bool PageRegistry::Readable(const QString& path) const {
  const QString real = QFileInfo(path).canonicalFilePath();
  if (real.isEmpty()) return false;
  const std::lock_guard lock(m_mutex);
  for (const QString& folder : m_readable) {
    if (real == folder ||
        real.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'))) {
      return true;
    }
  }
  return false;
}

void PageRegistry::Permit(const QUrl& url, Served served) {
  const std::lock_guard lock(m_mutex);
  m_permits.insert(Key(url), served);
}

bool PageRegistry::TakePermit(const QUrl& url, Served& served) {
  const std::lock_guard lock(m_mutex);
  const auto it = m_permits.find(Key(url));
  if (it == m_permits.end()) return false;
  served = *it;
  m_permits.erase(it);
  return true;
}

QString PageRegistry::IssuePass(const QString& path) {
  std::array<quint32, 4> words{};
  QRandomGenerator::system()->fillRange(words.data(), words.size());
  const QString pass = QString::fromLatin1(
      QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words).toHex());
  const std::lock_guard lock(m_mutex);
  m_passes.insert(pass, path);
  return pass;
}

bool PageRegistry::TakePass(const QString& pass, const QString& path) {
  if (pass.isEmpty()) return false;
  const std::lock_guard lock(m_mutex);
  const auto it = m_passes.find(pass);
  if (it == m_passes.end()) return false;
  const bool same = *it == path;
  m_passes.erase(it);
  return same;
}

bool PageRegistry::FindPage(const QUrl& url, Page& page) const {
  const std::lock_guard lock(m_mutex);
  const auto it = m_pages.constFind(Key(url));
  if (it == m_pages.constEnd()) return false;
  page = *it;
  return true;
}

qint64 PageRegistry::ReadLimit() const {
  const std::lock_guard lock(m_mutex);
  return m_readLimit;
}

void PageRegistry::SetReadLimit(qint64 limit) {
  const std::lock_guard lock(m_mutex);
  m_readLimit = limit;
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
