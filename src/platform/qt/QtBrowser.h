#pragma once

#include <string>

#include "platform/qt/QtControl.h"

class QUrl;
class QWebEngineView;

namespace xmlpellor {

// The browser over a QWebEngineView. Files are not opened as file: URLs
// (the engine would show a .tmp file as plain text, and setHtml gives up on
// content above about 2 MB); they are served through a URL scheme of our
// own whose handler reads the file anew on every request and answers
// text/html for every page the program navigates to.
class QtBrowser final : public QtControl<IBrowser> {
 public:
  explicit QtBrowser(QWebEngineView& view);

  // Returns as soon as loading has started. A file that cannot be read
  // shows the engine's own error page.
  void Navigate(const std::string& url) override;

  // The scheme must be known to the engine before QApplication exists;
  // main() calls this first.
  static void RegisterScheme();
  static const char* Scheme() noexcept;
  // The location Navigate gives the view for a file path.
  static QUrl UrlFor(const std::string& path);

 private:
  QWebEngineView& m_view;
};

}  // namespace xmlpellor
