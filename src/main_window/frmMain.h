#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "main_window/SaveOutput.h"
#include "platform/Variant.h"
#include "transform/Transform.h"

namespace xmlpellor {

class ErrorHandling;
class IApplication;
class IBrowser;
class ICommandButton;
class ICommonDialog;
class IFileSystem;
class IForm;
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
    IWorker& worker;            // waits for the transformation
    transform::IEngine& engine;  // runs it
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

  Variant CreateHTMLFromXMLXSL(const std::string& strXmlDoc, const std::string& strXslDoc,
                               const Variant& astrParamValue,
                               transform::OutputFormat* format = nullptr) noexcept;
  Variant XMLError(const transform::ParseError& parseError, const std::string& strDoc) noexcept;
  Variant FixPath(const std::string& strFile) noexcept;

  // The temporary output file's full path; empty until the load obtained it.
  const std::string& TempFile() const noexcept { return mstrTempFile; }
  // What the temporary file holds: nothing until an Apply has written it.
  const std::optional<AppliedOutput>& Output() const noexcept { return m_output; }

 private:
  std::string TempFileName() noexcept;
  void DeleteTempFile() noexcept;

  Services m_services;
  Controls m_controls;
  std::string mstrTempFile;
  std::optional<AppliedOutput> m_output;
};

}  // namespace xmlpellor
