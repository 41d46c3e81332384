#include "platform/qt/browser/PagePolicy.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <utility>

#include "platform/LocalPath.h"
#include "platform/RuntimeError.h"

namespace xmlpellor {
namespace {

bool IsScheme(const QUrl& url, const char* scheme) {
  return url.scheme().compare(QLatin1String(scheme), Qt::CaseInsensitive) == 0;
}

// A local subresource must be named as what it is loaded as: a stylesheet
// link cannot pull in a key file, however the text would parse.
bool NamedAs(const QString& type, PageLoad load) {
  switch (load) {
    case PageLoad::kImage: return type.startsWith(QLatin1String("image/"));
    case PageLoad::kStylesheet: return type == QLatin1String("text/css");
    // font/woff2, application/x-font-ttf, application/vnd.ms-opentype...
    case PageLoad::kFont:
      return type.contains(QLatin1String("font")) || type.contains(QLatin1String("opentype"));
    default: return false;
  }
}

bool SameLocation(const QUrl& a, const QUrl& b) {
  return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
         a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
         a.path(QUrl::FullyDecoded) == b.path(QUrl::FullyDecoded);
}

QUrl Located(const QString& host, const QString& path, const QUrl& from) {
  QUrl url;
  url.setScheme(QString::fromLatin1(kPageScheme));
  url.setHost(host);
  url.setPath(path, QUrl::DecodedMode);
  url.setQuery(from.query(QUrl::FullyEncoded), QUrl::StrictMode);
  url.setFragment(from.fragment(QUrl::FullyEncoded), QUrl::StrictMode);
  return url;
}

PageDecision Block() {
  return {};
}

PageDecision Allow(bool page, PageServed served = PageServed::kFile) {
  PageDecision decision;
  decision.kind = PageDecision::kAllow;
  decision.served = served;
  // Our handler answers only what was let through here.
  decision.permits = page;
  return decision;
}

PageDecision JudgeByAddress(const PageFacts& facts) {
  if (IsLoopbackName(facts.url.host())) return Block();
  if (facts.addresses.isEmpty()) return Block();
  for (const QHostAddress& address : facts.addresses) {
    if (IsPrivateAddress(address, facts.ownAddresses)) return Block();
  }
  return Allow(false);
}

}  // namespace

QString LocalPath(const QUrl& url) {
  const bool page = IsScheme(url, kPageScheme);
  if (!page && !IsScheme(url, "file")) return {};
  // A page of ours names its file by its path, as a file: URL of this
  // machine does: both are read by the one reading of a URL as a path.
  QUrl file = url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
  if (page) {
    file.setScheme(QStringLiteral("file"));
    file.setHost(QString());
  }
  try {
    const std::string path = LocalPathOf(file.toString(QUrl::FullyEncoded).toStdString());
    return QFile::decodeName(QByteArray::fromStdString(path));
  } catch (const RuntimeError&) {
    return {};
  }
}

bool NeedsAddresses(const QUrl& url, PageLoad load) {
  if (load == PageLoad::kWebSocket) return true;
  // Such a request can change state on a service that trusts its network;
  // a picture or a link cannot choose its method or body.
  const bool web = IsScheme(url, "http") || IsScheme(url, "https");
  return web && (load == PageLoad::kXhr || load == PageLoad::kPing);
}

bool IsLoopbackName(const QString& host) {
  QString name = host.toLower();
  if (name.endsWith(QLatin1Char('.'))) name.chop(1);
  return name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost"));
}

bool IsPrivateAddress(const QHostAddress& address, const QList<QHostAddress>& own) {
  QHostAddress plain = address;
  // ::ffff:127.0.0.1 is 127.0.0.1 to the kernel.
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  if (mapped) plain = QHostAddress(v4);
  plain.setScopeId(QString());

  static const std::array<std::pair<const char*, int>, 10> kPrivate{{
      {"0.0.0.0", 8},
      {"127.0.0.0", 8},
      {"10.0.0.0", 8},
      {"172.16.0.0", 12},
      {"192.168.0.0", 16},
      {"169.254.0.0", 16},
      {"::", 128},
      {"::1", 128},
      {"fc00::", 7},
      {"fe80::", 10},
  }};
  for (const auto& [network, length] : kPrivate) {
    if (plain.isInSubnet(QHostAddress(QLatin1String(network)), length)) return true;
  }
  for (QHostAddress mine : own) {
    mine.setScopeId(QString());
    if (mine.isEqual(plain, QHostAddress::ConvertV4MappedToIPv4)) return true;
  }
  return false;
}

QByteArray ContentTypeOf(PageKind kind, const QByteArray& charset, bool cut) {
  if (cut && kind != PageKind::kHtml) kind = PageKind::kText;
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

QByteArray FileContentType(const QString& typeByName) {
  if (typeByName.isEmpty() || typeByName == QLatin1String("application/octet-stream"))
    return QByteArrayLiteral("text/plain");
  return typeByName.toUtf8();
}

bool KeepsCookies(const QUrl& firstParty) {
  return !IsScheme(firstParty, kPageScheme) && !IsScheme(firstParty, "file");
}

PageAnswer Answer(PageServed served, bool carriesOrigin, bool registeredPage) {
  switch (served) {
    case PageServed::kPicture: return carriesOrigin ? PageAnswer::kRefuse : PageAnswer::kToFile;
    case PageServed::kFile: return PageAnswer::kFile;
    case PageServed::kPage: break;
  }
  return registeredPage ? PageAnswer::kPage : PageAnswer::kFile;
}

PageDecision Judge(const PageFacts& facts) {
  const QUrl& url = facts.url;
  if (NeedsAddresses(url, facts.load)) return JudgeByAddress(facts);
  const bool page = IsScheme(url, kPageScheme);
  if (!page && !IsScheme(url, "file")) return Allow(false);
  if (facts.path.isEmpty()) return Block();

  QUrl target;
  PageServed served = PageServed::kFile;
  if (facts.load == PageLoad::kMainFrame) {
    if (page && facts.registeredPage) return Allow(true, PageServed::kPage);
    if (!facts.inside) return Block();
    target = Located(facts.folderHost, facts.path, url);
  } else {
    // Only a page of ours shows local files: a web page a link led to
    // gets none.
    if (!IsScheme(facts.firstParty, kPageScheme)) return Block();
    if (!facts.inside || !NamedAs(facts.typeByName, facts.load)) return Block();
    if (facts.load != PageLoad::kFont) {
      // The engine reads these whole: a file it could not (one without a
      // size, as under /proc, or one above the limit) is not shown.
      if (!facts.regularFile || facts.size <= 0 || facts.size > facts.readLimit) return Block();
      // The way back from our handler, which checked the request's mode.
      if (!page && facts.passMatches) {
        PageDecision decision = Allow(false);
        decision.usesPass = true;
        return decision;
      }
      served = PageServed::kPicture;
    }
    target = Located(facts.firstParty.host(), facts.path, QUrl());
  }
  if (SameLocation(url, target)) return Allow(page, served);
  PageDecision decision;
  decision.kind = PageDecision::kRedirect;
  decision.target = target;
  decision.served = served;
  return decision;
}

}  // namespace xmlpellor
