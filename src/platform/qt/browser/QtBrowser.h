#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QPointer>

#include "platform/qt/form/QtControl.h"

class QUrl;
class QWebEngineView;

namespace xmlpellor {

// The browser over a QWebEngineView. Files are not opened as file: URLs
// (the engine would show a .tmp file as plain text, setHtml gives up on
// content above about 2 MB, and relative references would resolve beside
// the temporary file); they are served through the program's own URL scheme,
// whose handler reads the file anew on every request, at a location in the
// folder of the page's base document.
class ScrollKeeper;

class QtBrowser final : public QtControl<IBrowser> {
 public:
  // When the web engine comes up. Starting it takes hundreds of
  // milliseconds on the main thread, so a window starts it only once its
  // first picture is on the screen.
  enum class EngineStart { kNow, kAfterFirstPaint };

  explicit QtBrowser(QWebEngineView& view, EngineStart start = EngineStart::kNow);
  ~QtBrowser() override;
  QtBrowser(const QtBrowser&) = delete;
  QtBrowser& operator=(const QtBrowser&) = delete;

  // Returns as soon as loading has started. A file that cannot be read
  // shows the engine's own error page. Before the engine has started, the
  // last file named is remembered and shown once it has.
  using IBrowser::Navigate;
  void Navigate(const std::string& path, const PageInfo& page) override;

  // Starts the engine now if it has not started yet, shows the view, and
  // loads the file named before. Runs `started` (see OnStarted) once.
  void StartEngine();
  bool EngineStarted() const noexcept { return m_started; }
  // Called once the engine has started and the view shows, e.g. to mend a
  // focus chain that the view's inner widget, made at its first load, upset.
  void OnStarted(std::function<void()> started) { m_onStarted = std::move(started); }

  // Called when a link of the page to a file:line (LineLink) is clicked;
  // the page never goes there.
  void OnLineLinkClicked(std::function<void(const std::string& file, long line)> clicked) {
    m_onLineLink = std::move(clicked);
  }

  // The scheme must be known to the engine before QApplication exists;
  // main() calls this first.
  static void RegisterScheme();
  static const char* Scheme() noexcept;
  // The location Navigate gives the view for a file path.
  static QUrl UrlFor(const std::string& path, const PageInfo& page = {});

 private:
  struct Request {
    std::string path;
    PageInfo page;
  };

  QWebEngineView& m_view;
  bool m_started = false;
  std::optional<Request> m_pending;
  std::function<void()> m_onStarted;
  std::function<void(const std::string&, long)> m_onLineLink;
  // Watches the window for its first paint; belongs to the view.
  QPointer<QObject> m_watcher;
  // Belongs to the view's page.
  QPointer<ScrollKeeper> m_scroll;
};

}  // namespace xmlpellor
