#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QPrinter;
class QWebEngineView;
class QWidget;

namespace xmlpellor {

class QtDevToolsWindow;
class QtFindBar;
class QtOutputFilesWindow;
class QtSourceWindow;

// The result page's tools, as a browser tab has them: a context menu that
// offers only what works here, the output's source, saving it, the
// developer tools, find, zoom and print, each with a browser's key.
class QtPageTools final : public QObject {
 public:
  struct Commands {
    std::function<void()> apply;
    std::function<void()> saveOutput;
    // The file the last Apply wrote; empty while there is none.
    std::function<QString()> outputFile;
    // The engine that made it ("Saxon-HE"), named in the source window's title.
    std::function<QString()> outputEngine;
    // The character encoding of that file's bytes.
    std::function<QString()> outputCharset;
    // The files the stylesheet wrote, the one shown, and showing another.
    std::function<QStringList()> outputFiles;
    std::function<int()> shownOutputFile;
    std::function<void(int)> showOutputFile;
    // Runs the last Apply again with timing; whether there is one.
    std::function<void()> profile;
    std::function<bool()> canProfile;
    // Enters the origin mode, or leaves it. From the page's menu, `at` is
    // where the page was right-clicked, in the view's pixels.
    std::function<void(std::optional<QPoint> at)> whereFrom;
  };

  // The keys are the window's, so they work wherever the focus is in it.
  QtPageTools(QWidget& window, QWebEngineView& view, Commands commands);
  ~QtPageTools() override;
  QtPageTools(const QtPageTools&) = delete;
  QtPageTools& operator=(const QtPageTools&) = delete;

  // Opens the output's source, or closes it when it is open.
  void ToggleSource();
  // Opens the list of the files the stylesheet wrote, or closes it.
  void ToggleOutputFiles();
  void SaveOutput();
  // Opens the developer tools, or closes them when they are open.
  void ToggleDevTools();
  void Find();
  // A step up (1) or down (-1) the zoom levels; 0 goes back to 100 %.
  void Zoom(int step);
  void Print();

  // The zoom level one step from `zoom`, as browsers step.
  static qreal NextZoom(qreal zoom, int step);

 private:
  void AddKeys(std::initializer_list<QKeySequence> keys, std::function<void()> run);
  void ShowContextMenu(const QPoint& position);
  QString OutputCharset() const;
  QtDevToolsWindow& DevTools();
  void PageLoaded();
  void CloseToolWindows();
  bool eventFilter(QObject* watched, QEvent* event) override;

  QWidget& m_window;
  QWebEngineView& m_view;
  Commands m_commands;
  QList<QKeySequence> m_keys;
  qreal m_zoom = 1.0;
  QtFindBar* m_findBar;  // belongs to the view
  // Made at first use; they belong to the window.
  QPointer<QtSourceWindow> m_source;
  QPointer<QtDevToolsWindow> m_devTools;
  QPointer<QtOutputFilesWindow> m_files;
  // Lives until the engine has finished printing with it.
  std::unique_ptr<QPrinter> m_printer;
};

}  // namespace xmlpellor
