#include "main_window/QtMainWindow.h"

#include <QIcon>
#include <iterator>
#include <vector>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QWebEngineView>

#include "files/Files.h"
#include "main_window/Identity.h"
#include "main_window/QtParametersPanel.h"
#include "main_window/QtProfileWindow.h"
#include "platform/Application.h"
#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"
#include "main_window/SaveOutput.h"
#include "platform/qt/form/QtAccessibleApplication.h"
#include "platform/qt/browser/QtBrowser.h"
#include "platform/qt/form/QtCommandButton.h"
#include "platform/qt/services/QtEditor.h"
#include "platform/qt/services/QtFileWatcher.h"
#include "platform/qt/form/QtForm.h"
#include "platform/qt/form/QtMessageStrip.h"
#include "platform/qt/page_tools/QtOriginMode.h"
#include "platform/qt/page_tools/QtPageTools.h"
#include "platform/qt/services/QtProgressLine.h"
#include "platform/qt/form/QtTextBox.h"
#include "platform/qt/services/QtWorker.h"

namespace xmlpellor {
namespace {

#include "xmlpellor.xpm"

// Inner area of the window when it is created: 8880 x 5850 twips.
constexpr int kDesignWidthPixels = 592;
constexpr int kDesignHeightPixels = 390;

// The engines' programs lie beside the window's.
std::string EngineProgram(IApplication& app, const char* name = "xmlpellor-engine") {
  try {
    return app.Path() + "/" + name;
  } catch (const RuntimeError&) {
    return name;
  }
}

template <class Widget>
Widget* Create(QWidget* parent, const char* name) {
  auto* widget = new Widget(parent);  // owned by the form from here on
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

QIcon QtMainWindow::Icon() {
  return QIcon(QPixmap(xmlpellor_xpm));
}

QtMainWindow::QtMainWindow(ErrorHandling& errors, IApplication& app, IFileSystem& fs,
                           const transform::EngineSettings& engine)
    : m_form(std::make_unique<QtForm>()) {
  QtAccessibleApplication::Install();
  m_form->setObjectName(QStringLiteral("frmMain"));
  m_form->setWindowTitle(QString::fromLatin1(kCaption));
  m_form->setWindowIcon(Icon());
  m_form->resize(kDesignWidthPixels, kDesignHeightPixels);

  // The controls come into being in this order, each at its design place.
  m_cmdApplyXsl = Create<QPushButton>(m_form.get(), "cmdApplyXsl");
  m_cmdApplyXsl->setText(QStringLiteral("&Apply"));
  m_cmdApplyXslControl = std::make_unique<QtCommandButton>(*m_cmdApplyXsl);
  m_cmdApplyXslControl->Move(4260, 120, 1280, 330);

  m_cmdBrowseXsl = Create<QPushButton>(m_form.get(), "cmdBrowseXsl");
  m_cmdBrowseXsl->setText(QStringLiteral("..."));
  m_cmdBrowseXslControl = std::make_unique<QtCommandButton>(*m_cmdBrowseXsl);
  m_cmdBrowseXslControl->Move(3660, 120, 360, 330);

  m_cmdBrowseXml = Create<QPushButton>(m_form.get(), "cmdBrowseXml");
  m_cmdBrowseXml->setText(QStringLiteral("..."));
  m_cmdBrowseXmlControl = std::make_unique<QtCommandButton>(*m_cmdBrowseXml);
  m_cmdBrowseXmlControl->Move(1680, 120, 360, 330);

  m_txtXsl = Create<QLineEdit>(m_form.get(), "txtXsl");
  m_txtXslControl = std::make_unique<QtTextBox>(*m_txtXsl);
  m_txtXslControl->Move(2220, 120, 1280, 330);

  m_txtXml = Create<QLineEdit>(m_form.get(), "txtXml");
  m_txtXmlControl = std::make_unique<QtTextBox>(*m_txtXml);
  m_txtXmlControl->Move(240, 120, 1280, 330);

  m_wbr = Create<QWebEngineView>(m_form.get(), "wbr");
  m_wbrControl = std::make_unique<QtBrowser>(*m_wbr, QtBrowser::EngineStart::kAfterFirstPaint);
  // What a run says shows under the page, in the room the layout gives the
  // page.
  m_messages = new QtMessageStrip(*m_form);
  m_pageArea = std::make_unique<QtPageArea>(*m_wbrControl, *m_wbr, *m_messages);
  m_pageArea->Move(300, 660, 7935, 4755);

  ApplyTabOrder();
  // The view makes the inner widget that takes its focus only when it first
  // loads a page, and that upsets the chain set earlier.
  m_wbrControl->OnStarted([this] { ApplyTabOrder(); });
  DescribeControls();
  m_cdl.SetParent(m_form.get());
  m_worker = std::make_unique<QtWorker>(
      *m_form,
      std::vector<QWidget*>{m_txtXml, m_cmdBrowseXml, m_txtXsl, m_cmdBrowseXsl, m_cmdApplyXsl});
  m_form->SetWorker(m_worker.get());
  m_engine = std::make_unique<transform::ChoosingEngine>(
      m_launcher, EngineProgram(app), EngineProgram(app, "xmlpellor-saxon-engine"), engine);
  m_watcher = std::make_unique<QtFileWatcher>();
  m_progress = new QtProgressLine(*m_wbr);
  m_editor = std::make_unique<QtEditor>(QtEditor::FromEnvironment());

  m_frm = std::make_unique<frmMain>(
      frmMain::Services{errors, app, fs, *m_worker, *m_engine, *m_watcher, *m_progress, *m_messages,
                        m_editor.get()},
      frmMain::Controls{*m_form, *m_txtXmlControl, *m_txtXslControl, *m_cmdApplyXslControl,
                        *m_cmdBrowseXmlControl, *m_cmdBrowseXslControl, *m_pageArea, m_cdl});

  frmMain* frm = m_frm.get();
  QObject::connect(m_cmdApplyXsl, &QPushButton::clicked, [frm] { frm->cmdApplyXsl_Click(); });
  m_wbrControl->OnLineLinkClicked(
      [frm](const std::string& file, long line) { frm->PageLineLinkActivated(file, line); });
  QObject::connect(m_cmdBrowseXml, &QPushButton::clicked, [frm] { frm->cmdBrowseXml_Click(); });
  QObject::connect(m_cmdBrowseXsl, &QPushButton::clicked, [frm] { frm->cmdBrowseXsl_Click(); });
  // A plain Qt window has no default button (setDefault works only in a
  // QDialog), so Enter in either path box presses Apply here.
  QPushButton* apply = m_cmdApplyXsl;
  QObject::connect(m_txtXml, &QLineEdit::returnPressed, apply, &QPushButton::click);
  QObject::connect(m_txtXsl, &QLineEdit::returnPressed, apply, &QPushButton::click);

  AddShortcuts();
  AddPageTools(errors, fs);
  FollowSaves();
  AddParametersPanel();
  AddProfile();

  m_form->SetEvents({
      .load = [frm] { frm->Form_Load(); },
      .resize = [frm] { frm->Form_Resize(); },
      .unload = [frm](std::int16_t& cancel) { frm->Form_Unload(cancel); },
  });
}

QtMainWindow::~QtMainWindow() {
  if (!m_form->Unloaded()) m_form->close();
  m_form->SetWorker(nullptr);  // the worker goes before the form
}

void QtMainWindow::Show() {
  m_form->show();
  m_txtXml->setFocus();
  // The first Apply's engine starts once the window is up, so neither the
  // window nor that Apply waits for it.
  QTimer::singleShot(0, m_form.get(), [engine = m_engine.get(), box = m_txtXslControl.get()] {
    engine->Prepare(files::ExpandHome(TrimSpaces(box->Text()), HomeFolder()));
  });
}

void QtMainWindow::SetPaths(const std::string& xml, const std::string& xsl) {
  m_txtXmlControl->SetText(xml);
  m_txtXslControl->SetText(xsl);
}

void QtMainWindow::PressApplyOnceShown() {
  QTimer::singleShot(0, m_cmdApplyXsl, &QPushButton::click);
}

void QtMainWindow::FollowSaves() {
  frmMain* frm = m_frm.get();
  QObject::connect(m_txtXml, &QLineEdit::textChanged, [frm] { frm->txtXml_Change(); });
  QObject::connect(m_txtXsl, &QLineEdit::textChanged, [frm] { frm->txtXsl_Change(); });
  // The engine the stylesheet in the box needs (Saxon's takes a while to
  // start) is started once the typing or browsing has settled.
  auto* settled = new QTimer(m_form.get());  // owned by the form
  settled->setSingleShot(true);
  settled->setInterval(400);
  QObject::connect(m_txtXsl, &QLineEdit::textChanged, settled, qOverload<>(&QTimer::start));
  QObject::connect(settled, &QTimer::timeout,
                   [engine = m_engine.get(), box = m_txtXslControl.get()] {
                     engine->Prepare(files::ExpandHome(TrimSpaces(box->Text()), HomeFolder()));
                   });
  // A save makes a running transformation's result old news: it is
  // stopped, and the new Apply starts once the old one has returned.
  QtWorker* worker = m_worker.get();
  QtForm* form = m_form.get();
  m_watcher->OnChanged(
      [worker, form, frm] { worker->StopThen(form, [frm] { frm->FollowedFileSaved(); }); });
}

void QtMainWindow::AddParametersPanel() {
  auto* open = new QShortcut(QKeySequence(Qt::Key_F9), m_form.get());  // owned by the form
  open->setContext(Qt::WindowShortcut);
  QObject::connect(open, &QShortcut::activated, m_form.get(), [this] {
    if (!m_parametersPanel) {
      // Its Apply goes through the button, as F5 does, so a running
      // transformation keeps it from applying too.
      m_parametersPanel = new QtParametersPanel(*m_form, m_frm->Parameters(),
                                                [apply = m_cmdApplyXsl] { apply->click(); });
    }
    m_parametersPanel->Open();
  });
  m_frm->OnParametersChanged([this] {
    if (m_parametersPanel) m_parametersPanel->Refresh();
  });
}

void QtMainWindow::AddProfile() {
  m_frm->OnProfiled([this](const ProfileReport& report) {
    if (std::exchange(m_profileWanted, false)) {
      if (!m_profileWindow) {
        frmMain* frm = m_frm.get();
        m_profileWindow = new QtProfileWindow(
            *m_form, [frm](const std::string& file, long line) { frm->OpenAtLine(file, line); });
        m_profileWindow->setWindowTitle(QStringLiteral("Profile - %1").arg(m_form->windowTitle()));
      }
      m_profileWindow->Show(report);
    } else if (m_profileWindow && m_profileWindow->isVisible()) {
      m_profileWindow->Refresh(report);
    }
  });
}

void QtMainWindow::DescribeControls() {
  // Without the start page nothing on screen says which box is which, and a
  // screen reader has only these to announce.
  struct Description {
    QWidget* widget;
    const char* name;
    const char* description;
    const char* tip;
  };
  const Description descriptions[] = {
      {m_form.get(), kCaption, "Tries an XSL stylesheet on an XML document", nullptr},
      {m_txtXml, "XML document", "Path of the XML document to transform", "XML document path"},
      {m_cmdBrowseXml, "Browse for the XML document", "Choose the XML document in a file dialog",
       "Browse for the XML document"},
      {m_txtXsl, "XSL stylesheet", "Path of the XSL stylesheet to apply", "XSL stylesheet path"},
      {m_cmdBrowseXsl, "Browse for the XSL stylesheet",
       "Choose the XSL stylesheet in a file dialog", "Browse for the XSL stylesheet"},
      {m_cmdApplyXsl, "Apply",
       "Transform the document with the stylesheet and show the result (Enter, Alt+A, F5)",
       "Apply the stylesheet (Enter, Alt+A, F5)"},
      {m_wbr, "Result", "The result of the last Apply, or the start page", nullptr},
  };
  for (const Description& d : descriptions) {
    d.widget->setAccessibleName(QString::fromUtf8(d.name));
    d.widget->setAccessibleDescription(QString::fromUtf8(d.description));
    if (d.tip != nullptr) d.widget->setToolTip(QString::fromUtf8(d.tip));
  }
  m_txtXml->setPlaceholderText(m_txtXml->toolTip());
  m_txtXsl->setPlaceholderText(m_txtXsl->toolTip());
}

void QtMainWindow::AddShortcuts() {
  // Window-wide, so they also work while the page has the focus. Apply again
  // goes through the button, so whatever keeps the button from being
  // pressed keeps these keys from applying too.
  auto* again = new QShortcut(m_form.get());  // owned by the form
  again->setKeys({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)});
  again->setContext(Qt::WindowShortcut);
  QObject::connect(again, &QShortcut::activated, m_cmdApplyXsl, &QPushButton::click);

  // Closing runs the unload like any other close.
  auto* close = new QShortcut(m_form.get());
  close->setKeys({QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::CTRL | Qt::Key_W)});
  close->setContext(Qt::WindowShortcut);
  QtForm* form = m_form.get();
  QObject::connect(close, &QShortcut::activated, form, [form] { form->close(); });
}

void QtMainWindow::AddPageTools(ErrorHandling& errors, IFileSystem& fs) {
  frmMain* frm = m_frm.get();
  QtCommonDialog* cdl = &m_cdl;
  m_originMode =
      new QtOriginMode(*m_form, *m_wbr,
                       {.show = [frm] { return frm->ShowOrigins(); },
                        .hide = [frm] { frm->HideOrigins(); },
                        .table = [frm]() -> const xml::OriginTable& { return frm->Origins(); },
                        .note = [frm] { return QString::fromStdString(frm->OriginsNote()); },
                        .pageFile = [frm] { return QString::fromStdString(frm->OriginsFile()); }});
  m_originMode->OnOpenAt(
      [frm](const std::string& file, long line) { frm->OpenAtLine(file, line); });
  m_pageTools = new QtPageTools(
      *m_form, *m_wbr,
      {.apply = [apply = m_cmdApplyXsl] { apply->click(); },
       .saveOutput =
           [&errors, &fs, frm, cdl] {
             if (frm->Output()) SaveOutputAs(errors, *cdl, fs, frm->TempFile(), *frm->Output());
           },
       .outputFile =
           [frm] { return frm->Output() ? QString::fromStdString(frm->ShownFile()) : QString(); },
       .outputEngine =
           [frm] {
             return frm->Output() ? QString::fromStdString(frm->Output()->engine) : QString();
           },
       .outputCharset =
           [frm] {
             // A file the stylesheet wrote beside the output declares its
             // own encoding; the source window reads it from the bytes.
             if (!frm->Output() || frm->ShownFileIsWritten()) return QString();
             return QString::fromStdString(frm->Output()->encoding);
           },
       .outputFiles =
           [frm] {
             QStringList files;
             if (frm->Output()) {
               for (const std::string& file : frm->Output()->set.files) {
                 files << QString::fromStdString(file);
               }
             }
             return files;
           },
       .shownOutputFile = [frm] { return static_cast<int>(frm->ShownFileIndex()); },
       .showOutputFile =
           [frm](int index) {
             if (index >= 0) frm->ShowOutputFile(static_cast<std::size_t>(index));
           },
       .profile =
           [this] {
             // Synchronous: a request that found another run going stays
             // unanswered rather than pop up after some later Apply.
             m_profileWanted = true;
             m_frm->ProfileLastApply();
             m_profileWanted = false;
           },
       .canProfile = [frm] { return frm->CanProfile(); },
       .whereFrom =
           [mode = m_originMode](std::optional<QPoint> at) {
             if (at) {
               mode->EnterAt(*at);
             } else {
               mode->Toggle();
             }
           }});
}

void QtMainWindow::ApplyTabOrder() {
  QWidget* const tabOrder[] = {m_txtXml,       m_cmdBrowseXml, m_txtXsl,
                               m_cmdBrowseXsl, m_cmdApplyXsl,  m_wbr};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
    QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
  }
}

void QtMainWindow::SetEditor(EditorFacts facts) {
  m_editor->SetFacts(std::move(facts));
}

QWidget& QtMainWindow::Widget() {
  return *m_form;
}

}  // namespace xmlpellor
