#include "platform/qt/page_tools/QtPageTools.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QShortcut>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineView>
#include <algorithm>
#include <array>

#include "platform/qt/page_tools/QtDevToolsWindow.h"
#include "platform/qt/page_tools/QtFindBar.h"
#include "platform/qt/page_tools/QtOutputFilesWindow.h"
#include "platform/qt/page_tools/QtSourceWindow.h"

namespace xmlpellor {
namespace {

// The levels a browser steps through, within what the engine accepts.
constexpr std::array<qreal, 17> kZoomLevels = {0.25, 0.33, 0.5,  0.67, 0.75, 0.8, 0.9, 1.0, 1.1,
                                               1.25, 1.5,  1.75, 2.0,  2.5,  3.0, 4.0, 5.0};
constexpr qreal kZoomTolerance = 0.005;

QString WindowTitle(const char* what, const QWidget& window) {
  return QStringLiteral("%1 - %2").arg(QString::fromUtf8(what), window.windowTitle());
}

}  // namespace

QtPageTools::QtPageTools(QWidget& window, QWebEngineView& view, Commands commands)
    : QObject(&window),
      m_window(window),
      m_view(view),
      m_commands(std::move(commands)),
      m_findBar(new QtFindBar(view)) {
  // Reload, Back and Forward would show old output, or none, beside boxes
  // that name the files; the menu offers what applies to the output instead.
  m_view.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&m_view, &QWidget::customContextMenuRequested, this, &QtPageTools::ShowContextMenu);
  connect(&m_view, &QWebEngineView::loadFinished, this, &QtPageTools::PageLoaded);
  m_window.installEventFilter(this);

  AddKeys({QKeySequence(Qt::CTRL | Qt::Key_U)}, [this] { ToggleSource(); });
  AddKeys({QKeySequence(Qt::CTRL | Qt::Key_S)}, [this] { SaveOutput(); });
  AddKeys({QKeySequence(Qt::CTRL | Qt::Key_L)}, [this] { ToggleOutputFiles(); });
  AddKeys({QKeySequence(Qt::Key_F12), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I)},
          [this] { ToggleDevTools(); });
  AddKeys({QKeySequence(Qt::CTRL | Qt::Key_F)}, [this] { Find(); });
  // Ctrl+= is Ctrl+plus without the Shift that plus needs on many keyboards.
  AddKeys({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
          [this] { Zoom(1); });
  AddKeys({QKeySequence(Qt::CTRL | Qt::Key_Minus)}, [this] { Zoom(-1); });
  AddKeys({QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { Zoom(0); });
  AddKeys({QKeySequence(Qt::CTRL | Qt::Key_P)}, [this] { Print(); });
  // The key browsers give their element picker.
  AddKeys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)}, [this] {
    if (m_commands.whereFrom) m_commands.whereFrom(std::nullopt);
  });
  // A text box on X11 takes Ctrl+U, Ctrl+F and Ctrl+P for editing, as a
  // terminal does, and would keep them from the window.
  for (QLineEdit* box : m_window.findChildren<QLineEdit*>()) box->installEventFilter(this);
}

QtPageTools::~QtPageTools() = default;

void QtPageTools::AddKeys(std::initializer_list<QKeySequence> keys, std::function<void()> run) {
  auto* shortcut = new QShortcut(&m_window);  // owned by the window
  shortcut->setKeys(QList<QKeySequence>(keys));
  m_keys << shortcut->keys();
  shortcut->setContext(Qt::WindowShortcut);
  connect(shortcut, &QShortcut::activated, this, std::move(run));
}

void QtPageTools::ToggleSource() {
  if (m_source && m_source->isVisible()) {
    m_source->close();
    return;
  }
  const QString file = m_commands.outputFile();
  if (file.isEmpty()) return;
  if (!m_source) m_source = new QtSourceWindow(m_window);
  const QString engine = m_commands.outputEngine ? m_commands.outputEngine() : QString();
  m_source->setWindowTitle(
      engine.isEmpty()
          ? WindowTitle("Output source", m_window)
          : WindowTitle(qPrintable(QStringLiteral("Output source (%1)").arg(engine)), m_window));
  m_source->ShowFile(file, OutputCharset());
  m_source->show();
  m_source->raise();
  m_source->activateWindow();
}

void QtPageTools::ToggleOutputFiles() {
  if (m_files && m_files->isVisible()) {
    m_files->close();
    return;
  }
  const QStringList files = m_commands.outputFiles();
  if (files.isEmpty()) return;
  if (!m_files) m_files = new QtOutputFilesWindow(m_window, m_commands.showOutputFile);
  m_files->setWindowTitle(WindowTitle("Output files", m_window));
  m_files->List(files, m_commands.shownOutputFile());
  m_files->show();
  m_files->raise();
  m_files->activateWindow();
}

QString QtPageTools::OutputCharset() const {
  return m_commands.outputCharset ? m_commands.outputCharset() : QStringLiteral("UTF-8");
}

void QtPageTools::SaveOutput() {
  if (!m_commands.outputFile().isEmpty()) m_commands.saveOutput();
}

QtDevToolsWindow& QtPageTools::DevTools() {
  if (!m_devTools) m_devTools = new QtDevToolsWindow(m_window, *m_view.page());
  m_devTools->setWindowTitle(WindowTitle("Developer tools", m_window));
  return *m_devTools;
}

void QtPageTools::ToggleDevTools() {
  if (m_devTools && m_devTools->isVisible()) {
    m_devTools->close();
    return;
  }
  QtDevToolsWindow& tools = DevTools();
  tools.show();
  tools.raise();
  tools.activateWindow();
}

void QtPageTools::Find() {
  m_findBar->Open();
}

qreal QtPageTools::NextZoom(qreal zoom, int step) {
  if (step > 0) {
    const auto* next = std::find_if(kZoomLevels.begin(), kZoomLevels.end(),
                                    [zoom](qreal level) { return level > zoom + kZoomTolerance; });
    return next == kZoomLevels.end() ? kZoomLevels.back() : *next;
  }
  if (step < 0) {
    const auto next = std::find_if(kZoomLevels.rbegin(), kZoomLevels.rend(),
                                   [zoom](qreal level) { return level < zoom - kZoomTolerance; });
    return next == kZoomLevels.rend() ? kZoomLevels.front() : *next;
  }
  return 1.0;
}

void QtPageTools::Zoom(int step) {
  m_zoom = NextZoom(m_view.zoomFactor(), step);
  m_view.setZoomFactor(m_zoom);
}

void QtPageTools::PageLoaded() {
  // The engine may take a new page to a zoom of its own; the user's stays.
  if (!qFuzzyCompare(m_view.zoomFactor(), m_zoom)) m_view.setZoomFactor(m_zoom);
  m_findBar->Refresh();
  if (m_source && m_source->isVisible()) {
    const QString file = m_commands.outputFile();
    if (!file.isEmpty()) m_source->ShowFile(file, OutputCharset());
  }
  // A new Apply may have written other files, or none.
  if (m_files && m_files->isVisible()) {
    const QStringList files = m_commands.outputFiles();
    if (files.isEmpty()) {
      m_files->close();
    } else {
      m_files->List(files, m_commands.shownOutputFile());
    }
  }
}

void QtPageTools::Print() {
  if (m_printer) return;  // the last one is still printing
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  // Qt's own dialog offers the printers and a PDF file alike.
  QPrintDialog dialog(printer.get(), &m_window);
  dialog.setWindowTitle(QStringLiteral("Print"));
  if (dialog.exec() != QDialog::Accepted) return;
  m_printer = std::move(printer);
  connect(
      &m_view, &QWebEngineView::printFinished, this, [this] { m_printer.reset(); },
      Qt::SingleShotConnection);
  m_view.print(m_printer.get());
}

void QtPageTools::ShowContextMenu(const QPoint& position) {
  QWebEngineContextMenuRequest* request = m_view.lastContextMenuRequest();
  const bool output = !m_commands.outputFile().isEmpty();
  auto* menu = new QMenu(&m_view);
  menu->setObjectName(QStringLiteral("pageMenu"));
  menu->setAccessibleName(QStringLiteral("Page"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const auto add = [menu](const char* text, QKeySequence keys, bool enabled,
                          std::function<void()> run) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    // Shown in the menu; the window's own shortcuts do the work.
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, menu, std::move(run));
  };
  add("Apply", QKeySequence(Qt::Key_F5), true, m_commands.apply);
  add("Copy", QKeySequence::Copy, request != nullptr && !request->selectedText().isEmpty(),
      [this] { m_view.page()->triggerAction(QWebEnginePage::Copy); });
  add("Select all", QKeySequence::SelectAll, true,
      [this] { m_view.page()->triggerAction(QWebEnginePage::SelectAll); });
  menu->addSeparator();
  add("View source", QKeySequence(Qt::CTRL | Qt::Key_U), output, [this] { ToggleSource(); });
  add("Save output as\u2026", QKeySequence(Qt::CTRL | Qt::Key_S), output, [this] { SaveOutput(); });
  add("Output files\u2026", QKeySequence(Qt::CTRL | Qt::Key_L), !m_commands.outputFiles().isEmpty(),
      [this] { ToggleOutputFiles(); });
  menu->addSeparator();
  add("Where did this come from?", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
      output && m_commands.whereFrom,
      [this, at = request != nullptr ? request->position() : position] {
        m_commands.whereFrom(at);
      });
  if (m_commands.profile) {
    add("Profile this transformation", QKeySequence(),
        m_commands.canProfile && m_commands.canProfile(), m_commands.profile);
  }
  add("Inspect", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I), true, [this] {
    QtDevToolsWindow& tools = DevTools();
    tools.show();
    tools.raise();
    tools.InspectElement();
  });
  menu->popup(m_view.mapToGlobal(position));
}

void QtPageTools::CloseToolWindows() {
  if (m_source) m_source->close();
  if (m_devTools) m_devTools->close();
  if (m_files) m_files->close();
}

bool QtPageTools::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && watched != &m_window &&
      m_keys.contains(QKeySequence(static_cast<QKeyEvent*>(event)->keyCombination()))) {
    event->ignore();  // left to the window's shortcut
    return true;
  }
  // The tool windows belong to the window and go when it closes; a
  // minimised window stays visible and keeps them.
  if (watched == &m_window && event->type() == QEvent::Hide && !m_window.isVisible()) {
    CloseToolWindows();
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace xmlpellor
