#include "platform/qt/browser/QtBrowser.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QTimer>
#include <QUrl>
#include <QWebEngineNavigationRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <utility>

#include "platform/Editor.h"
#include "platform/LocalPath.h"
#include "platform/RuntimeError.h"
#include "platform/qt/browser/PageScheme.h"
#include "platform/qt/browser/ScrollKeeper.h"

namespace xmlpellor {
namespace {

// The transformation also takes a document named by a file: URL.
QString LocalName(const std::string& name) {
  try {
    return QFile::decodeName(QByteArray::fromStdString(LocalPathOf(name)));
  } catch (const RuntimeError&) {
    return QString::fromStdString(name);
  }
}

QString FolderOf(const PageInfo& page, const QFileInfo& file) {
  if (page.baseDocument.empty()) return file.absolutePath();
  return QFileInfo(LocalName(page.baseDocument)).absolutePath();
}

// Waits for the window's first paint and then, once that picture has gone
// to the screen, runs `start`. A window that is shown but never painted
// (mapped on no visible desktop, say) starts it a little later all the same.
class FirstPaintWatcher final : public QObject {
 public:
  FirstPaintWatcher(QWidget& window, QObject* parent, std::function<void()> start)
      : QObject(parent), m_window(window), m_start(std::move(start)) {
    m_window.installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &m_window) return false;
    if (event->type() == QEvent::Show) {
      QTimer::singleShot(kUnpaintedStartMs, this, m_start);
    } else if (event->type() == QEvent::Paint) {
      m_window.removeEventFilter(this);
      // Queued: the paint event comes before the picture is flushed.
      QTimer::singleShot(0, this, m_start);
    }
    return false;
  }

 private:
  static constexpr int kUnpaintedStartMs = 1000;

  QWidget& m_window;
  std::function<void()> m_start;
};

}  // namespace

QtBrowser::QtBrowser(QWebEngineView& view, EngineStart start) : QtControl(view), m_view(view) {
  if (start == EngineStart::kNow) {
    StartEngine();
    return;
  }
  // Showing the view would create its page, and with it the engine, before
  // the window has painted; the view stays hidden until then.
  m_view.hide();
  // A window gets a GL surface when it is created holding a widget that
  // draws through one. The view's inner widget comes only with the engine,
  // and would make the shown window be created anew (a new X window, a
  // flicker); a hidden stand-in of that kind, there from the start, gives the
  // window the surface it will need. Only on a desktop's window system with
  // GL: elsewhere (offscreen) such a window could not even be flushed.
  const QString platform = QGuiApplication::platformName();
  const bool desktop = platform == QLatin1String("xcb") || platform == QLatin1String("wayland");
  if (desktop && QOpenGLContext::globalShareContext() != nullptr) {
    (new QOpenGLWidget(&m_view))->hide();  // owned by the view
  }
  m_watcher = new FirstPaintWatcher(*m_view.window(), &m_view, [this] { StartEngine(); });
}

QtBrowser::~QtBrowser() {
  delete m_watcher.data();
}

void QtBrowser::StartEngine() {
  if (m_started) return;
  m_started = true;
  if (m_watcher) m_watcher->deleteLater();  // may be the caller
  // The profile, its scheme handler and its interceptor come first, so the
  // view's page finds them in place.
  DefaultPageRegistry();
  QWebEngineSettings* settings = m_view.settings();
  // Results carry the transformation's UTF-8 bytes; a page that declares
  // another encoding still gets it.
  settings->setDefaultTextEncoding(QStringLiteral("utf-8"));
  // Stylesheets, pictures, fonts and frames from the web load as they would
  // for a page opened from disk.
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  // Else a `crossorigin` attribute would make a local picture's pixels or a
  // stylesheet's rules readable, as a request in cors mode passes for file:.
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  // A line link is the window's to follow: no page loads it, clicked or
  // not, and only a click of the user's opens anything.
  QObject::connect(
      m_view.page(), &QWebEnginePage::navigationRequested, &m_view,
      [this](QWebEngineNavigationRequest& request) {
        const QByteArray url = request.url().toEncoded();
        std::string file;
        long line = 0;
        if (!url.startsWith(QByteArray(kLineLinkScheme) + ':')) return;
        request.reject();
        if (request.navigationType() == QWebEngineNavigationRequest::LinkClickedNavigation &&
            request.isMainFrame() && m_onLineLink && ParseLineLink(url.toStdString(), file, line)) {
          m_onLineLink(file, line);
        }
      });
  if (m_pending) {
    const Request request = *std::exchange(m_pending, std::nullopt);
    Navigate(request.path, request.page);
  }
  m_view.show();
  if (m_onStarted) m_onStarted();
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
  if (!m_started) {
    m_pending = Request{path, page};
    return;
  }
  const QUrl url = UrlFor(path, page);
  PageRegistry& registry = DefaultPageRegistry();
  registry.SetReadPolicy(page.reads);
  // A file shown as written is served as the page's links to it are: the
  // policy lets the page go there when its folder is readable.
  if (!path.empty() && !page.asWritten) {
    registry.AddPage(url, {QFileInfo(QString::fromStdString(path)).absoluteFilePath(), page.kind,
                           QByteArray::fromStdString(page.charset)});
  }
  if (!m_scroll) m_scroll = new ScrollKeeper(*m_view.page());
  m_scroll->Loading(url, page.scrollKey);
  m_view.load(url);
}

}  // namespace xmlpellor
