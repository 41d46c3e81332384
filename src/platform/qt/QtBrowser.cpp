#include "platform/qt/QtBrowser.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSet>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

namespace xmlpellor {
namespace {

constexpr char kScheme[] = "xmlpellor";

// Serves local files under kScheme. A path the program navigated to is a
// page and always answers text/html; anything else the page itself asks for
// (a stylesheet or picture next to it) answers the type its name suggests.
class FileSchemeHandler final : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

  void MarkAsPage(const QString& path) { m_pages.insert(path); }

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QString path = job->requestUrl().path(QUrl::FullyDecoded);
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
    job->reply(MimeTypeOf(path), buffer);
  }

 private:
  QByteArray MimeTypeOf(const QString& path) const {
    static const QByteArray html = QByteArrayLiteral("text/html");
    if (m_pages.contains(path)) return html;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (type.isDefault()) return html;
    return type.name().toUtf8();
  }

  QSet<QString> m_pages;
};

// One handler per process, on the profile every view of the program uses.
FileSchemeHandler& Handler() {
  static FileSchemeHandler* handler = [] {
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    // Parented to the profile so it lives exactly as long as the profile.
    auto* h = new FileSchemeHandler(profile);
    profile->installUrlSchemeHandler(kScheme, h);
    return h;
  }();
  return *handler;
}

}  // namespace

QtBrowser::QtBrowser(QWebEngineView& view) : QtControl(view), m_view(view) {
  Handler();
  // Results carry the transformation's UTF-8 bytes; a page that declares
  // another encoding still gets it.
  m_view.settings()->setDefaultTextEncoding(QStringLiteral("utf-8"));
}

void QtBrowser::RegisterScheme() {
  QWebEngineUrlScheme scheme(kScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  // Local like file: — web content cannot reach it, and its pages may use
  // other local files as a file: page could.
  scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
  QWebEngineUrlScheme::registerScheme(scheme);
}

const char* QtBrowser::Scheme() noexcept {
  return kScheme;
}

QUrl QtBrowser::UrlFor(const std::string& path) {
  QUrl url;
  url.setScheme(QString::fromLatin1(kScheme));
  if (!path.empty()) {
    url.setPath(QFileInfo(QString::fromStdString(path)).absoluteFilePath(), QUrl::DecodedMode);
  }
  return url;
}

void QtBrowser::Navigate(const std::string& path) {
  const QUrl url = UrlFor(path);
  Handler().MarkAsPage(url.path(QUrl::FullyDecoded));
  m_view.load(url);
}

}  // namespace xmlpellor
