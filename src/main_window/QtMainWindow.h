#pragma once

#include <QPointer>
#include <memory>
#include <string>

#include "main_window/frmMain.h"
#include "platform/Editor.h"
#include "platform/Process.h"
#include "platform/qt/form/QtCommonDialog.h"
#include "transform/EngineChoice.h"

class QIcon;
class QLineEdit;
class QPushButton;
class QWebEngineView;
class QWidget;

namespace xmlpellor {

class QtBrowser;
class QtCommandButton;
class QtEditor;
class QtFileWatcher;
class QtForm;
class QtMessageStrip;
class QtOriginMode;
class QtPageArea;
class QtPageTools;
class QtParametersPanel;
class QtProfileWindow;
class QtProgressLine;
class QtTextBox;
class QtWorker;

// The main window on Qt: creates the form and its controls with their design
// settings and delivers the Qt events to frmMain.
class QtMainWindow {
 public:
  QtMainWindow(ErrorHandling& errors, IApplication& app, IFileSystem& fs,
               const transform::EngineSettings& engine = {});
  // Unloads the window first if nothing closed it, so its file goes.
  ~QtMainWindow();
  QtMainWindow(const QtMainWindow&) = delete;
  QtMainWindow& operator=(const QtMainWindow&) = delete;

  // Raises the load event, then shows the window with the focus in txtXml.
  void Show();

  // Fills the path boxes, as the command line names the files.
  void SetPaths(const std::string& xml, const std::string& xsl);
  // Presses Apply as soon as the event loop runs, exactly as the user
  // would: after the load, through the button.
  void PressApplyOnceShown();

  // Which editor opens a file:line (--editor, $VISUAL, $EDITOR).
  void SetEditor(EditorFacts facts);

  QWidget& Widget();
  frmMain& Program() { return *m_frm; }
  // The page's "Where did this come from?" mode; its panel's places go to
  // QtOriginMode::OnOpenAt.
  QtOriginMode& Origins() { return *m_originMode; }

  // The window's 16 x 16 icon.
  static QIcon Icon();

 private:
  void ApplyTabOrder();
  void DescribeControls();
  void AddShortcuts();
  void AddPageTools(ErrorHandling& errors, IFileSystem& fs);
  void FollowSaves();
  void AddParametersPanel();
  void AddProfile();

  std::unique_ptr<QtForm> m_form;
  QPushButton* m_cmdApplyXsl;
  QPushButton* m_cmdBrowseXsl;
  QPushButton* m_cmdBrowseXml;
  QLineEdit* m_txtXsl;
  QLineEdit* m_txtXml;
  QWebEngineView* m_wbr;

  std::unique_ptr<QtCommandButton> m_cmdApplyXslControl;
  std::unique_ptr<QtCommandButton> m_cmdBrowseXslControl;
  std::unique_ptr<QtCommandButton> m_cmdBrowseXmlControl;
  std::unique_ptr<QtTextBox> m_txtXslControl;
  std::unique_ptr<QtTextBox> m_txtXmlControl;
  QtCommonDialog m_cdl;
  std::unique_ptr<QtBrowser> m_wbrControl;
  std::unique_ptr<QtWorker> m_worker;
  PosixProcessLauncher m_launcher;
  std::unique_ptr<transform::ChoosingEngine> m_engine;
  QtPageTools* m_pageTools = nullptr;    // belongs to the form
  QtOriginMode* m_originMode = nullptr;  // belongs to the form
  std::unique_ptr<QtFileWatcher> m_watcher;
  std::unique_ptr<QtEditor> m_editor;
  QtProgressLine* m_progress;  // owned by the form
  // Made at first use, so the window starts as it always has; it belongs
  // to the form.
  QPointer<QtParametersPanel> m_parametersPanel;
  QPointer<QtProfileWindow> m_profileWindow;
  // The menu asked for the profile: the next one found is shown.
  bool m_profileWanted = false;
  QtMessageStrip* m_messages;  // owned by the form
  std::unique_ptr<QtPageArea> m_pageArea;

  std::unique_ptr<frmMain> m_frm;
};

}  // namespace xmlpellor
