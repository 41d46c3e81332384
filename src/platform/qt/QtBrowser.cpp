#include "platform/qt/QtBrowser.h"

#include <QFileInfo>
#include <QUrl>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "platform/qt/PageScheme.h"

namespace xmlpellor {
namespace {

QString FolderOf(const PageInfo& page, const QFileInfo& file) {
  if (page.baseDocument.empty()) return file.absolutePath();
  const QString base = QString::fromStdString(page.baseDocument);
  // The transformation also takes a document named by a file: URL.
  if (base.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
    return QFileInfo(QUrl(base).toLocalFile()).absolutePath();
  }
  return QFileInfo(base).absolutePath();
}

}  // namespace

QtBrowser::QtBrowser(QWebEngineView& view) : QtControl(view), m_view(view) {
  DefaultPageRegistry();
  QWebEngineSettings* settings = m_view.settings();
  // Results carry the transformation's UTF-8 bytes; a page that declares
  // another encoding still gets it.
  settings->setDefaultTextEncoding(QStringLiteral("utf-8"));
  // Stylesheets, pictures, fonts and frames from the web load as they would
  // for a page opened from disk.
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
}

void QtBrowser::RegisterScheme() {
  RegisterPageScheme();
}

const char* QtBrowser::Scheme() noexcept {
  return kPageScheme;
}

QUrl QtBrowser::UrlFor(const std::string& path, const PageInfo& page) {
  if (path.empty()) return PageRegistry::PageUrl(QString(), QString());
  const QFileInfo file(QString::fromStdString(path));
  return PageRegistry::PageUrl(FolderOf(page, file), file.fileName());
}

void QtBrowser::Navigate(const std::string& path, const PageInfo& page) {
  const QUrl url = UrlFor(path, page);
  if (!path.empty()) {
    DefaultPageRegistry().AddPage(
        url, {QFileInfo(QString::fromStdString(path)).absoluteFilePath(), page.kind});
  }
  m_view.load(url);
}

}  // namespace xmlpellor
