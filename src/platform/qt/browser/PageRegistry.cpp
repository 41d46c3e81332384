#include "platform/qt/browser/PageRegistry.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QUrlQuery>
#include <array>

namespace xmlpellor {
namespace {

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

bool IsPageScheme(const QUrl& url) {
  return url.scheme().compare(QLatin1String(kPageScheme), Qt::CaseInsensitive) == 0;
}

QString PassOf(const QUrl& url) {
  return QUrlQuery(url).queryItemValue(QLatin1String(kPassKey));
}

}  // namespace

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

PageFacts PageRegistry::FactsOf(const QUrl& url, PageLoad load, const QUrl& firstParty) {
  PageFacts facts;
  facts.url = url;
  facts.load = load;
  facts.firstParty = firstParty;
  if (NeedsAddresses(url, load)) {
    // Such a name is this machine by its very spelling, and is never asked
    // of a name server.
    if (!IsLoopbackName(url.host())) {
      facts.addresses = m_hosts.Resolve(url.host());
      facts.ownAddresses = m_hosts.Own();
    }
    return facts;
  }
  facts.path = LocalPath(url);
  if (facts.path.isEmpty()) return facts;
  Page shown;
  facts.registeredPage = IsPageScheme(url) && FindPage(url, shown);
  {
    const std::lock_guard lock(m_mutex);
    facts.inside = m_readable.Allows(QFile::encodeName(facts.path).toStdString());
    facts.readLimit = m_readLimit;
  }
  facts.typeByName =
      QMimeDatabase().mimeTypeForFile(facts.path, QMimeDatabase::MatchExtension).name();
  const QFileInfo file(facts.path);
  facts.regularFile = file.isFile();
  facts.size = facts.regularFile ? file.size() : -1;
  facts.passMatches = HasPass(PassOf(url), facts.path);
  facts.folderHost = HostFor(file.path());
  return facts;
}

PageDecision PageRegistry::Decide(const QUrl& url, PageLoad load, const QUrl& firstParty) {
  const PageFacts facts = FactsOf(url, load, firstParty);
  PageDecision decision = Judge(facts);
  // Two requests may carry the same pass; only the first gets through.
  if (decision.usesPass && !TakePass(PassOf(url), facts.path)) return {};
  if (decision.permits) {
    const std::lock_guard lock(m_mutex);
    m_permits.insert(Key(url), decision.served);
  }
  return decision;
}

QString PageRegistry::Key(const QUrl& url) {
  return url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery).toString(QUrl::FullyEncoded);
}

void PageRegistry::AddPage(const QUrl& url, Page page) {
  const std::lock_guard lock(m_mutex);
  m_pages.removeIf([&page](const auto& entry) { return entry.value().file == page.file; });
  m_pages.insert(Key(url), std::move(page));
}

void PageRegistry::SetReadPolicy(ReadPolicy reads) {
  const std::lock_guard lock(m_mutex);
  m_readable = std::move(reads);
}

OpenedFile PageRegistry::Open(const QString& path) const {
  ReadPolicy readable;
  {
    const std::lock_guard lock(m_mutex);
    readable = m_readable;
  }
  return readable.Open(QFile::encodeName(path).toStdString());
}

bool PageRegistry::TakePermit(const QUrl& url, PageServed& served) {
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

bool PageRegistry::HasPass(const QString& pass, const QString& path) const {
  if (pass.isEmpty()) return false;
  const std::lock_guard lock(m_mutex);
  const auto it = m_passes.constFind(pass);
  return it != m_passes.constEnd() && *it == path;
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

}  // namespace xmlpellor
