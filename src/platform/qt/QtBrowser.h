#pragma once

#include <string>

#include "platform/qt/QtControl.h"

class QUrl;
class QWebEngineView;

namespace xmlpellor {

// The browser over a QWebEngineView. Files are not opened as file: URLs
// (the engine would show a .tmp file as plain text, setHtml gives up on
// content above about 2 MB, and relative references would resolve beside
// the temporary file); they are served through the program's own URL scheme,
// whose handler reads the file anew on every request, at a location in the
// folder of the page's base document.
class QtBrowser final : public QtControl<IBrowser> {
 public:
  explicit QtBrowser(QWebEngineView& view);

  // Returns as soon as loading has started. A file that cannot be read
  // shows the engine's own error page.
  using IBrowser::Navigate;
  void Navigate(const std::string& path, const PageInfo& page) override;

  // The scheme must be known to the engine before QApplication exists;
  // main() calls this first.
  static void RegisterScheme();
  static const char* Scheme() noexcept;
  // The location Navigate gives the view for a file path.
  static QUrl UrlFor(const std::string& path, const PageInfo& page = {});

 private:
  QWebEngineView& m_view;
};

}  // namespace xmlpellor
