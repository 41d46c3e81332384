#include "main_window/frmMain.h"

#include <utility>
#include <variant>

#include "error_handling/ProcedureTrap.h"
#include "files/Files.h"
#include "main_window/Browse.h"
#include "main_window/Identity.h"
#include "main_window/Layout.h"
#include "platform/FileSystem.h"
#include "platform/Window.h"
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

// The folder part of a path as typed; the browser resolves it.
std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

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
}

// The layout and the two pickers carry their own traps (with the numbers
// they pass over), so they are called bare here.
void frmMain::Form_Resize() noexcept {
  LayOutMainWindow(m_services.errors, m_controls.form, m_controls.txtXml, m_controls.cmdBrowseXml,
                   m_controls.txtXsl, m_controls.cmdBrowseXsl, m_controls.cmdApplyXsl,
                   m_controls.wbr);
}

void frmMain::cmdApplyXsl_Click() noexcept {
  ProcedureTrap(m_services.errors).Run([&] {
    DeleteTempFile();
    // "~/" is the home folder, as in a shell.
    const std::string home = m_services.fs.HomePath();
    const std::string strXmlDoc = files::ExpandHome(TrimSpaces(m_controls.txtXml.Text()), home);
    const std::string strXslDoc = files::ExpandHome(TrimSpaces(m_controls.txtXsl.Text()), home);
    // Taken out of the result rather than copied: it may be many megabytes.
    transform::OutputFormat format;
    Variant output = CreateHTMLFromXMLXSL(strXmlDoc, strXslDoc, Variant{}, &format);
    auto* text = std::get_if<std::string>(&output);
    const std::string result = text != nullptr ? std::move(*text) : ToString(output);
    // The result's UTF-8 bytes go out unchanged, in one write; an empty
    // mstrTempFile fails here and the browser keeps its page.
    m_services.fs.WriteText(mstrTempFile, result);
    m_controls.wbr.Navigate(
        mstrTempFile,
        {PageKindOf(format.kind), strXmlDoc, {FolderOf(strXmlDoc), FolderOf(strXslDoc)}});
  });
}

void frmMain::cmdBrowseXml_Click() noexcept {
  BrowseForFile(m_services.errors, m_controls.cdl, m_controls.txtXml, kXmlDialogTitle, kXmlFilter);
}

void frmMain::cmdBrowseXsl_Click() noexcept {
  BrowseForFile(m_services.errors, m_controls.cdl, m_controls.txtXsl, kXslDialogTitle, kXslFilter);
}

Variant frmMain::CreateHTMLFromXMLXSL(const std::string& strXmlDoc, const std::string& strXslDoc,
                                      const Variant& astrParamValue,
                                      transform::OutputFormat* format) noexcept {
  return transform::CreateHTMLFromXMLXSL(m_services.errors, m_services.worker, strXmlDoc, strXslDoc,
                                         astrParamValue, format);
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
