#include "main_window/frmMain.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "error_handling/ProcedureTrap.h"
#include "files/Files.h"
#include "main_window/Browse.h"
#include "main_window/ErrorPage.h"
#include "main_window/Identity.h"
#include "main_window/Layout.h"
#include "platform/Application.h"
#include "platform/Editor.h"
#include "platform/FileSystem.h"
#include "platform/FileWatcher.h"
#include "platform/Progress.h"
#include "platform/RuntimeError.h"
#include "platform/RunMessages.h"
#include "platform/Worker.h"
#include "platform/xml/FirstAndLast.h"
#include "platform/Window.h"
#include "transform/Engine.h"
#include "transform/EngineChoice.h"
#include "transform/Transform.h"

namespace xmlpellor {

std::string TrimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

namespace {

PageKind PageKindOf(transform::OutputKind kind) {
  switch (kind) {
    case transform::OutputKind::kXhtml: return PageKind::kXhtml;
    case transform::OutputKind::kXml: return PageKind::kXml;
    case transform::OutputKind::kText: return PageKind::kText;
    case transform::OutputKind::kHtml: break;
  }
  return PageKind::kHtml;
}

// What the run tells as it goes, heard on the thread that waits for it: the
// phase for the progress line, each message (on stderr and in the window at
// once, and kept for the error and stop pages) and the files to follow.
class RunEvents final : public transform::PrintedMessages {
 public:
  RunEvents(IProgress& progress, IRunMessages& shown) : m_progress(progress), m_shown(shown) {}

  void Engine(const std::string& name) override { engine = name; }
  void Phase(transform::JobPhase phase) override {
    m_phase = phase;
    m_progress.Phase(Shown(phase), 0, 0);
  }
  void Progress(std::uint64_t done, std::uint64_t total) override {
    m_progress.Phase(Shown(m_phase), done, total);
  }
  void Reading(const std::string& path) override {
    if (std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
  }
  void Message(const std::string& line) override {
    PrintedMessages::Message(line);
    m_shown.Message(line);
    // The first ones say what went wrong, the last how the run ended; a
    // runaway loop says more between.
    m_messages.Add(line);
  }
  void Parameters(const std::vector<xml::DeclaredParameter>& found) override { declared = found; }
  std::vector<std::string> Messages() const { return xml::KeptLines(m_messages); }

  std::vector<std::string> files;
  std::optional<std::vector<xml::DeclaredParameter>> declared;
  std::string engine;

 private:
  // The second engine is named; libxslt's runs stay as they always read.
  std::string Shown(transform::JobPhase phase) const {
    std::string text = PhaseText(phase);
    if (!engine.empty() && engine != "libxslt") text += " in " + engine;
    return text;
  }

  xml::FirstAndLast<std::string> m_messages{100, 100};

  static const char* PhaseText(transform::JobPhase phase) {
    switch (phase) {
      case transform::JobPhase::kReadingDocument: return "Reading the document";
      case transform::JobPhase::kReadingStylesheet: return "Reading the stylesheet";
      case transform::JobPhase::kCompiling: return "Compiling the stylesheet";
      case transform::JobPhase::kTransforming: break;
      case transform::JobPhase::kWriting: return "Writing the result";
    }
    return "Transforming";
  }

  IProgress& m_progress;
  IRunMessages& m_shown;
  transform::JobPhase m_phase = transform::JobPhase::kReadingDocument;
};

// The run for the origin mode says only which engine ran it: its messages
// were said at the Apply.
class OriginEvents final : public transform::JobEvents {
 public:
  void Engine(const std::string& name) override { engine = name; }
  std::string engine = "libxslt";
};

// Tells the display when a run begins and ends, however it ends.
class ProgressShown {
 public:
  explicit ProgressShown(IProgress& progress) : m_progress(progress) { m_progress.Begin(); }
  ~ProgressShown() { m_progress.End(); }
  ProgressShown(const ProgressShown&) = delete;
  ProgressShown& operator=(const ProgressShown&) = delete;

 private:
  IProgress& m_progress;
};

}  // namespace

frmMain::frmMain(Services services, Controls controls) noexcept
    : m_services(services), m_controls(controls) {}

void frmMain::Form_Load() noexcept {
  ProcedureTrap(m_services.errors).Run([&] {
    // The start page is asked for before the temporary file exists; when
    // this step fails the file is never obtained.
    const std::string startPage = ToString(FixPath(kStartPage));
    m_controls.wbr.Navigate(startPage);
    mstrTempFile = TempFileName();
  });
}

void frmMain::Form_Unload(std::int16_t& /*Cancel*/) noexcept {
  ProcedureTrap(m_services.errors).Run([&] { DeleteTempFile(); });
  DeleteRunFolder();
  m_plainPage.reset();
  HideOrigins();
}

// The layout and the two pickers carry their own traps (with the numbers
// they pass over), so they are called bare here.
void frmMain::Form_Resize() noexcept {
  LayOutMainWindow(m_services.errors, m_controls.form, m_controls.txtXml, m_controls.cmdBrowseXml,
                   m_controls.txtXsl, m_controls.cmdBrowseXsl, m_controls.cmdApplyXsl,
                   m_controls.wbr);
}

void frmMain::cmdApplyXsl_Click() noexcept {
  Apply(Origin::kUser);
}

void frmMain::FollowedFileSaved() noexcept {
  // A save during an Apply (while its box is open, say) is taken up once
  // that Apply has ended, not inside it.
  if (m_applying) {
    m_savedDuringApply = true;
    return;
  }
  Apply(Origin::kSave);
}

void frmMain::Apply(Origin origin) noexcept {
  m_applying = true;
  do {
    m_savedDuringApply = false;
    ApplyOnce(origin);
    origin = Origin::kSave;
  } while (m_savedDuringApply);
  m_applying = false;
}

void frmMain::ApplyOnce(Origin origin) noexcept {
  ErrorHandling::Scope reports(m_services.errors, origin == Origin::kUser
                                                      ? ErrorHandling::Scope::Mode::kBox
                                                      : ErrorHandling::Scope::Mode::kQuiet);
  std::string strXmlDoc, strXslDoc;
  bool profileNow = false;
  m_services.messages.Clear();
  RunEvents events(m_services.progress, m_services.messages);
  ProcedureTrap(m_services.errors).Run([&] {
    DeleteTempFile();
    DeleteRunFolder();
    m_output.reset();
    m_lastJob.reset();
    m_pagePlaces.clear();
    m_applied.reset();
    // "~/" is the home folder, as in a shell.
    const std::string home = m_services.fs.HomePath();
    strXmlDoc = files::ExpandHome(TrimSpaces(m_controls.txtXml.Text()), home);
    strXslDoc = files::ExpandHome(TrimSpaces(m_controls.txtXsl.Text()), home);
    m_parameterSet.Use(strXslDoc);
    FollowFromStart(strXmlDoc, strXslDoc);
    // Taken out of the result rather than copied: it may be many megabytes.
    transform::OutputFormat format;
    // One policy for the job and its page: what the page may show is what
    // the job could read, judged the same way.
    const ReadPolicy reads = m_services.engine.PolicyFor(strXmlDoc, strXslDoc);
    m_lastJob = AppliedJob{strXmlDoc, strXslDoc, m_parameterSet.Values(), reads, {}};
    const std::size_t reportedBefore = reports.Reported().size();
    Variant output;
    std::vector<xml::OutputDocument> documents;
    {
      const ProgressShown progress(m_services.progress);
      // The command line's and the panel's values go to libxslt as
      // xsltproc gives them, not through the values written into the
      // stylesheet.
      output = CreateHTMLFromXMLXSL(strXmlDoc, strXslDoc, Variant{}, &format, &events, &documents,
                                    m_parameterSet.Values(), &reads);
    }
    PageInfo page{PageKindOf(format.kind), strXmlDoc};
    page.charset = format.encoding;
    page.reads = reads;
    std::string result;
    const bool failed = reports.Reported().size() > reportedBefore;
    profileNow = m_profileAfterApply && !failed && format.notice.empty();
    if (failed) {
      // The stylesheet failed: its error stays in view, instead of a blank
      // page, until an Apply succeeds.
      const ErrorRecord& failure = reports.Reported()[reportedBefore];
      result = ErrorPage(failure, events.Messages());
      if (auto place = PlaceOf(PartsOf(failure, events.Messages()))) {
        m_pagePlaces.push_back(std::move(*place));
      }
      page.charset = "UTF-8";
      format.notice = ErrorLine(failure, events.Messages());
    } else {
      auto* text = std::get_if<std::string>(&output);
      result = text != nullptr ? std::move(*text) : ToString(output);
      ErrorParts where;
      where.file = format.notLoadedFile;
      if (format.notLoadedLine > 0) where.line = std::to_string(format.notLoadedLine);
      if (auto place = PlaceOf(where)) {
        result += PlaceLinkHtml(*place);
        m_pagePlaces.push_back(std::move(*place));
      }
      if (m_services.worker.Token().StopRequested()) result += MessagesHtml(events.Messages());
      // Only a result sets the place to come back to; an error or a stop
      // in between leaves it as it was.
      if (!m_services.worker.Token().StopRequested()) {
        page.scrollKey = strXmlDoc + '\n' + strXslDoc;
        m_applied = AppliedJob{strXmlDoc, strXslDoc, m_parameterSet.Values(), reads, page};
      }
    }
    // Errors and stops, which the page shows, are said on the terminal too.
    if (!format.notice.empty()) {
      m_services.app.PrintError("xmlpellor: " + VisibleLine(format.notice) + "\n");
    }
    AppliedOutput applied{format.kind, strXmlDoc, page.charset, events.engine};
    if (!documents.empty()) applied.set = WriteOutputSet(documents, result, applied);
    WriteResult(result);
    m_output = std::move(applied);
    const OutputSet& set = m_output->set;
    if (set.files.empty()) {
      ShowPlain(mstrTempFile, page);
      return;
    }
    // The page lies among the files, so that their links to one another
    // (relative, as the stylesheet wrote them) lead where they should.
    page.reads = page.reads.Including(set.folder);
    m_pageReads = page.reads;
    m_shownFile = FirstShownFile(set.files, set.mainFile);
    page.baseDocument.clear();
    page.asWritten = set.files[m_shownFile] != set.mainFile;
    ShowPlain(set.folder + "/" + set.files[m_shownFile], page);
  });
  ProcedureTrap(m_services.errors).Run([&] {
    if (events.declared) m_parameterSet.Declared(std::move(*events.declared));
    if (m_parametersChanged) m_parametersChanged();
  });
  if (profileNow) RunProfile();
  // Also after a failure: the next save may be the one that mends it.
  m_followedPair.clear();
  for (const std::string* path : {&strXmlDoc, &strXslDoc}) {
    if (!path->empty()) m_followedPair.push_back(*path);
  }
  FollowFiles(events.files);
}

// Watched from before the run reads them, not from after it: a save while
// the run goes on, or while its error box is open, is then a change still
// to be applied, where a watch begun afterwards would take it as the state
// to compare with.
void frmMain::FollowFromStart(const std::string& xml, const std::string& xsl) noexcept {
  if (!m_following) return;
  ProcedureTrap(m_services.errors).Run([&] {
    std::vector<std::string> pair;
    for (const std::string* path : {&xml, &xsl}) {
      if (!path->empty()) pair.push_back(*path);
    }
    std::vector<std::string> watched = pair;
    // The same pair will most likely read the same files again.
    if (pair == m_followedPair) {
      watched.insert(watched.end(), m_followedFiles.begin(), m_followedFiles.end());
    }
    m_services.watcher.Watch(watched);
  });
}

// The result's UTF-8 bytes go out unchanged, in one write; an empty
// mstrTempFile fails here and the browser keeps its page. A save-started
// Apply has no box to say so, and the old page still in view would pass for
// the new result.
void frmMain::WriteResult(const std::string& result) {
  try {
    m_services.fs.WriteText(mstrTempFile, result);
  } catch (const RuntimeError& failure) {
    const std::string said = "The result could not be shown: " + failure.record().description;
    m_services.messages.Notice(said);
    m_services.app.PrintError("xmlpellor: " + said + "\n");
    throw;
  }
}

void frmMain::FollowFiles(const std::vector<std::string>& files) noexcept {
  ProcedureTrap(m_services.errors).Run([&] {
    std::vector<std::string> watched;
    m_followedFiles.clear();
    if (m_following) {
      watched = m_followedPair;
      for (const auto& file : files) {
        if (std::find(watched.begin(), watched.end(), file) == watched.end()) {
          watched.push_back(file);
          m_followedFiles.push_back(file);
        }
      }
    }
    m_services.watcher.Update(watched);
  });
}

void frmMain::txtXml_Change() noexcept {
  m_followedPair.clear();
  FollowFiles({});
}

void frmMain::txtXsl_Change() noexcept {
  txtXml_Change();
}

void frmMain::SetFollowing(bool on) noexcept {
  m_following = on;
  if (!on) FollowFiles({});
}

void frmMain::SetParameters(const std::vector<xml::GlobalParameter>& given) noexcept {
  ProcedureTrap(m_services.errors).Run([&] { m_parameterSet.SetGiven(given); });
}

void frmMain::cmdBrowseXml_Click() noexcept {
  BrowseForFile(m_services.errors, m_controls.cdl, m_controls.txtXml, kXmlDialogTitle, kXmlFilter);
}

void frmMain::cmdBrowseXsl_Click() noexcept {
  BrowseForFile(m_services.errors, m_controls.cdl, m_controls.txtXsl, kXslDialogTitle, kXslFilter);
}

namespace {

// A profiled run tells nothing but its engine: its messages were said by
// the Apply before, and its phases are those of one step.
class ProfileEvents final : public transform::JobEvents {
 public:
  explicit ProfileEvents(IProgress& progress) : m_progress(progress) {}
  void Engine(const std::string& name) override { engine = name; }
  void Phase(transform::JobPhase) override {
    m_progress.Phase("Profiling the transformation", 0, 0);
  }
  std::string engine;

 private:
  IProgress& m_progress;
};

}  // namespace

void frmMain::ProfileLastApply() noexcept {
  // One run at a time: a menu opened while an Apply runs waits its turn.
  if (m_applying || m_profiling) return;
  m_profiling = true;
  RunProfile();
  m_profiling = false;
}

void frmMain::RunProfile() noexcept {
  ProcedureTrap(m_services.errors).Run([&] {
    ProfileReport report;
    if (!m_lastJob) {
      report.problem = "Apply first: the profile runs the last Apply again";
    } else {
      report.stylesheet = m_lastJob->xsl;
      const transform::JobRequest request = m_lastJob->Again(wire::Instrument::kProfile);
      ProfileEvents events(m_services.progress);
      try {
        const ProgressShown progress(m_services.progress);
        transform::JobResult done;
        m_services.worker.Run([&] { done = m_services.engine.Run(request, events); });
        report.engine = events.engine.empty() ? std::string("libxslt") : events.engine;
        if (done.notLoaded) {
          report.problem = done.notLoadedLocation + " did not load: " + done.notLoaded->reason;
        } else if (!done.profile) {
          report.problem = report.engine + " cannot profile a transformation here";
        } else {
          report.profile = std::move(done.profile);
        }
      } catch (const RuntimeError& failure) {
        report.problem = failure.number() == err::kUserInterrupt
                             ? std::string("The profiled run was stopped")
                             : "The profiled run failed: " + failure.record().description;
      }
    }
    if (m_profileAfterApply) m_services.app.PrintError(ProfileText(report));
    if (m_profiled) m_profiled(report);
  });
}

void frmMain::OpenAtLine(const std::string& file, long line) noexcept {
  ProcedureTrap(m_services.errors).Run([&] {
    if (m_services.editor == nullptr) return;
    try {
      m_services.editor->Open(file, line);
    } catch (const RuntimeError& failure) {
      m_services.messages.Notice(failure.record().description);
    }
  });
}

void frmMain::PageLineLinkActivated(const std::string& file, long line) noexcept {
  const ErrorPlace place{file, line};
  if (std::find(m_pagePlaces.begin(), m_pagePlaces.end(), place) == m_pagePlaces.end()) return;
  OpenAtLine(file, line);
}

Variant frmMain::CreateHTMLFromXMLXSL(const std::string& strXmlDoc, const std::string& strXslDoc,
                                      const Variant& astrParamValue,
                                      transform::OutputFormat* format, transform::JobEvents* events,
                                      std::vector<xml::OutputDocument>* documents,
                                      const std::vector<xml::GlobalParameter>& globals,
                                      const ReadPolicy* reads) noexcept {
  return transform::CreateHTMLFromXMLXSL(m_services.errors, m_services.worker, m_services.engine,
                                         strXmlDoc, strXslDoc, astrParamValue, format, events,
                                         documents, globals, reads);
}

OutputSet frmMain::WriteOutputSet(std::vector<xml::OutputDocument>& documents,
                                  const std::string& main, const AppliedOutput& output) {
  OutputSet set;
  // Named before anything goes in, so that a failed write leaves nothing
  // behind after the next Apply.
  m_runFolder = set.folder = m_services.fs.CreateFolder(m_services.fs.TempPath(), kRunFolderPrefix);
  for (xml::OutputDocument& document : documents) {
    m_services.fs.WriteBelow(set.folder, document.path, document.bytes, true);
    set.files.push_back(std::move(document.path));
    std::string().swap(document.bytes);
  }
  if (!IsBlank(main)) {
    set.mainFile = MainOutputName(set.files, output);
    m_services.fs.WriteBelow(set.folder, set.mainFile, main, true);
    set.files.insert(set.files.begin(), set.mainFile);
  }
  return set;
}

std::string frmMain::ShownFile() const {
  if (!m_output || m_output->set.files.empty()) return mstrTempFile;
  return m_output->set.folder + "/" + m_output->set.files[m_shownFile];
}

void frmMain::ShowOutputFile(std::size_t index) noexcept {
  ProcedureTrap(m_services.errors).Run([&] {
    if (!m_output || index >= m_output->set.files.size()) return;
    const OutputSet& set = m_output->set;
    m_shownFile = index;
    PageInfo page;
    page.kind = PageKindOf(m_output->kind);
    page.reads = m_pageReads;
    page.asWritten = set.files[index] != set.mainFile;
    if (!page.asWritten) page.charset = m_output->encoding;
    ShowPlain(set.folder + "/" + set.files[index], page);
  });
}

void frmMain::ShowPlain(const std::string& path, const PageInfo& page) {
  // A new page of the Apply ends the origin mode's page.
  m_plainPage.reset();
  HideOrigins();
  m_plainPage.emplace(path, page);
  m_controls.wbr.Navigate(path, page);
}

namespace {

// Why the marked run of a job gives nothing to point at; empty when it does.
std::string NothingToPointAt(const transform::JobResult& done, const std::string& engine) {
  if (engine != transform::EngineName(transform::XsltEngine::kLibxslt) &&
      engine != transform::EngineName(transform::XsltEngine::kSaxon)) {
    return "This engine (" + engine + ") cannot say where an element came from.";
  }
  // Changed since the Apply.
  if (done.notLoaded) return "A document no longer loads: apply again first.";
  if (done.kind == transform::OutputKind::kText) {
    return "The output is text: it has no elements to point at.";
  }
  // The page shows XML as its source, where the marks would show too.
  if (done.kind == transform::OutputKind::kXml) {
    return "The output is XML, which the page shows as its source: it has no elements to point "
           "at.";
  }
  if (done.origins.Empty()) return "The output has no elements to point at.";
  return {};
}

}  // namespace

bool frmMain::ShowOrigins() noexcept {
  bool ran = false;
  ProcedureTrap(m_services.errors).Run([&] {
    HideOrigins();
    if (!m_applied || !m_plainPage) return;
    const transform::JobRequest request = m_applied->Again(wire::Instrument::kOrigin);
    OriginEvents events;
    transform::JobResult done;
    try {
      const ProgressShown progress(m_services.progress);
      m_services.worker.Run([&] { done = m_services.engine.Run(request, events); });
    } catch (const RuntimeError& e) {
      if (e.number() == err::kUserInterrupt) return;
      throw;
    }
    ran = true;
    m_originsNote = NothingToPointAt(done, events.engine);
    if (!m_originsNote.empty()) return;
    const std::string file = TempFileName();
    m_originsFile = file;
    m_services.fs.WriteText(file, done.output);
    m_origins = std::move(done.origins);
    // As the plain page: its kind, encoding, folder, policy and place.
    m_controls.wbr.Navigate(file, m_applied->page);
  });
  return ran;
}

void frmMain::HideOrigins() noexcept {
  m_origins = {};
  m_originsNote.clear();
  if (m_originsFile.empty()) return;
  const std::string file = std::exchange(m_originsFile, std::string());
  ProcedureTrap(m_services.errors).Run([&] {
    if (m_plainPage) m_controls.wbr.Navigate(m_plainPage->first, m_plainPage->second);
  });
  files::DeleteTempFile(m_services.errors, m_services.fs, file);
}

void frmMain::DeleteRunFolder() noexcept {
  ProcedureTrap(m_services.errors).Run([&] {
    if (m_runFolder.empty()) return;
    // Forgotten first: a folder that cannot go is reported once, not at
    // every Apply after.
    const std::string folder = std::exchange(m_runFolder, std::string());
    m_services.fs.RemoveTree(folder);
  });
}

Variant frmMain::XMLError(const transform::ParseError& parseError,
                          const std::string& strDoc) noexcept {
  return transform::XMLError(m_services.errors, parseError, strDoc);
}

Variant frmMain::FixPath(const std::string& strFile) noexcept {
  return files::FixPath(m_services.errors, m_services.app, strFile);
}

std::string frmMain::TempFileName() noexcept {
  return files::TempFileName(m_services.errors, m_services.fs);
}

void frmMain::DeleteTempFile() noexcept {
  files::DeleteTempFile(m_services.errors, m_services.fs, mstrTempFile);
}

}  // namespace xmlpellor
