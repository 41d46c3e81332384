#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main_window/ErrorPage.h"
#include "main_window/ProfileReport.h"
#include "main_window/SaveOutput.h"
#include "main_window/StylesheetParameters.h"
#include "platform/ReadPolicy.h"
#include "platform/Variant.h"
#include "platform/Window.h"
#include "platform/xml/Origins.h"
#include "transform/Transform.h"

namespace xmlpellor {

class ErrorHandling;
class IApplication;
class IBrowser;
class ICommandButton;
class ICommonDialog;
class IFileSystem;
class IEditor;
class IFileWatcher;
class IForm;
class IProgress;
class IRunMessages;
class ITextBox;
class IWorker;

namespace transform {
class IEngine;
}

// The text with the spaces (U+0020, nothing else) at either end removed.
std::string TrimSpaces(std::string_view text);

// The main window's program: its events and functions, written against the
// platform's interfaces only. Every procedure carries the error trap, so no
// error ever leaves one of them.
class frmMain {
 public:
  struct Services {
    ErrorHandling& errors;
    IApplication& app;
    IFileSystem& fs;
    IWorker& worker;             // waits for the transformation
    transform::IEngine& engine;  // runs it
    IFileWatcher& watcher;
    IProgress& progress;
    IRunMessages& messages;     // what each run said, in the window
    IEditor* editor = nullptr;  // opens a file:line; none: nothing opens
  };
  struct Controls {
    IForm& form;
    ITextBox& txtXml;
    ITextBox& txtXsl;
    ICommandButton& cmdApplyXsl;
    ICommandButton& cmdBrowseXml;
    ICommandButton& cmdBrowseXsl;
    IBrowser& wbr;
    ICommonDialog& cdl;
  };

  frmMain(Services services, Controls controls) noexcept;

  // Shows the start page and obtains the temporary output file.
  void Form_Load() noexcept;
  // Deletes the temporary output file. Never cancels.
  void Form_Unload(std::int16_t& Cancel) noexcept;
  void Form_Resize() noexcept;
  // Transforms the two named files, writes the result to the temporary file
  // and shows it.
  void cmdApplyXsl_Click() noexcept;
  void cmdBrowseXml_Click() noexcept;
  void cmdBrowseXsl_Click() noexcept;
  // A path box changed: the files of the Apply before are no longer followed.
  void txtXml_Change() noexcept;
  void txtXsl_Change() noexcept;

  // A followed file was saved: Apply again, through the same steps as the
  // button, except that a failure shows in the page only, never in a box
  // that would take the focus from the editor.
  void FollowedFileSaved() noexcept;
  // Follows these files, the document and the stylesheet of the last Apply
  // with them, for saves (when following is on). Apply calls it with the
  // files the transformation read; a save of one of them since the Apply
  // began is still followed.
  void FollowFiles(const std::vector<std::string>& files) noexcept;
  void SetFollowing(bool on) noexcept;
  // The command line's global parameters, given to every Apply.
  void SetParameters(const std::vector<xml::GlobalParameter>& given) noexcept;
  // What the next Apply gives the stylesheet, for the parameters panel to
  // change; what the last one learnt it declares.
  StylesheetParameters& Parameters() noexcept { return m_parameterSet; }
  // Called after each Apply, which may have changed what Parameters() holds.
  void OnParametersChanged(std::function<void()> changed) {
    m_parametersChanged = std::move(changed);
  }

  // Opens `file` at `line` in the user's editor. One that cannot be started
  // is said in the window's message strip, not in a box: a user clicking
  // again and again gets the one line, not a box each.
  void OpenAtLine(const std::string& file, long line) noexcept;
  // A file:line link of the page was activated. Opened only when the page
  // the window showed last offers that place: a result's own links to the
  // scheme open nothing.
  void PageLineLinkActivated(const std::string& file, long line) noexcept;

  // Runs the last Apply's job once more with the engine counting and timing
  // each template, and hands what it found to the function OnProfiled set.
  void ProfileLastApply() noexcept;
  void OnProfiled(std::function<void(const ProfileReport&)> shown) {
    m_profiled = std::move(shown);
  }
  // --profile: after each Apply with a result, profile it and print the
  // table on stderr.
  void SetProfileAfterApply(bool on) noexcept { m_profileAfterApply = on; }
  // Whether an Apply has run that ProfileLastApply would run again.
  bool CanProfile() const noexcept { return m_lastJob.has_value(); }

  Variant CreateHTMLFromXMLXSL(const std::string& strXmlDoc, const std::string& strXslDoc,
                               const Variant& astrParamValue,
                               transform::OutputFormat* format = nullptr,
                               transform::JobEvents* events = nullptr,
                               std::vector<xml::OutputDocument>* documents = nullptr,
                               const std::vector<xml::GlobalParameter>& globals = {},
                               const ReadPolicy* reads = nullptr) noexcept;
  Variant XMLError(const transform::ParseError& parseError, const std::string& strDoc) noexcept;
  Variant FixPath(const std::string& strFile) noexcept;

  // The temporary output file's full path; empty until the load obtained it.
  const std::string& TempFile() const noexcept { return mstrTempFile; }
  // What the temporary file holds: nothing until an Apply has written it.
  const std::optional<AppliedOutput>& Output() const noexcept { return m_output; }
  // The file the window last showed of the output: one of the files the
  // stylesheet wrote, or the temporary file.
  std::string ShownFile() const;
  std::size_t ShownFileIndex() const noexcept { return m_shownFile; }
  // True when the page shows a file the stylesheet wrote, not its output.
  bool ShownFileIsWritten() const {
    return m_output && !m_output->set.files.empty() &&
           m_output->set.files[m_shownFile] != m_output->set.mainFile;
  }
  // Shows the file at `index` of the last Apply's set of files.
  void ShowOutputFile(std::size_t index) noexcept;

  // Runs the last Apply's job once more in an engine that marks where each
  // element of the output came from, and shows that page in the plain
  // one's place. False when there was no output to look into or the run
  // was stopped; true with an empty Origins() when the engine cannot tell.
  bool ShowOrigins() noexcept;
  // Back to the plain page; the marked one and its table are gone.
  void HideOrigins() noexcept;
  const xml::OriginTable& Origins() const noexcept { return m_origins; }
  // Why ShowOrigins has nothing to point at (the engine cannot tell, the
  // output is text); empty when it has.
  const std::string& OriginsNote() const noexcept { return m_originsNote; }
  // The marked page's file while it is shown; empty otherwise.
  const std::string& OriginsFile() const noexcept { return m_originsFile; }

 private:
  enum class Origin { kUser, kSave };
  void Apply(Origin origin) noexcept;
  void ApplyOnce(Origin origin) noexcept;
  void RunProfile() noexcept;
  void FollowFromStart(const std::string& xml, const std::string& xsl) noexcept;
  void WriteResult(const std::string& result);
  std::string TempFileName() noexcept;
  void DeleteTempFile() noexcept;
  void DeleteRunFolder() noexcept;
  // Puts the files the stylesheet wrote, and the output unless it is blank,
  // into a new folder of the run's own.
  OutputSet WriteOutputSet(std::vector<xml::OutputDocument>& documents, const std::string& main,
                           const AppliedOutput& output);
  // Shows a page of the last Apply, the one the origin mode comes back to.
  void ShowPlain(const std::string& path, const PageInfo& page);

  Services m_services;
  Controls m_controls;
  std::string mstrTempFile;
  std::optional<AppliedOutput> m_output;
  // The folder of the last Apply's files, until it is deleted.
  std::string m_runFolder;
  std::size_t m_shownFile = 0;
  // What the page of the last Apply may show: the job's policy and the
  // folder of the files it wrote.
  ReadPolicy m_pageReads;
  bool m_following = true;
  bool m_applying = false;
  bool m_savedDuringApply = false;
  StylesheetParameters m_parameterSet;
  std::function<void()> m_parametersChanged;
  // An Apply's job, to run again instrumented: the last one asked, for its
  // profile, and the last one that gave an output, for the origin mode.
  struct AppliedJob {
    std::string xml;
    std::string xsl;
    std::vector<xml::GlobalParameter> globals;
    ReadPolicy reads;
    PageInfo page;
    // The same job again, watched as `instrument` says.
    transform::JobRequest Again(wire::Instrument instrument) const {
      transform::JobRequest request;
      request.xml = xml;
      request.xsl = xsl;
      request.globals = globals;
      request.reads = reads;
      request.instrument = instrument;
      return request;
    }
  };
  std::optional<AppliedJob> m_lastJob;
  bool m_profileAfterApply = false;
  bool m_profiling = false;
  std::function<void(const ProfileReport&)> m_profiled;
  // The places the page now shown links to (its error's file and line).
  std::vector<ErrorPlace> m_pagePlaces;
  std::optional<AppliedJob> m_applied;
  std::optional<std::pair<std::string, PageInfo>> m_plainPage;
  xml::OriginTable m_origins;
  std::string m_originsNote;
  std::string m_originsFile;
  // The document and the stylesheet of the last Apply, while followed.
  std::vector<std::string> m_followedPair;
  // What the last Apply of that pair read besides.
  std::vector<std::string> m_followedFiles;
};

}  // namespace xmlpellor
