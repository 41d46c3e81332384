#include "main_window/SaveOutput.h"

#include <algorithm>
#include <string_view>

#include "error_handling/ProcedureTrap.h"
#include "platform/FileSystem.h"
#include "platform/RuntimeError.h"
#include "platform/Window.h"

namespace xmlpellor {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool escape = text[i] == '%' && i + 2 < text.size();
    const int high = escape ? HexValue(text[i + 1]) : -1;
    const int low = escape ? HexValue(text[i + 2]) : -1;
    if (high < 0 || low < 0) {
      out += text[i];
      continue;
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// "file:///a/b.xml", "file://localhost/a/b.xml" and "file:/a/b.xml" name
// /a/b.xml; anything else is a path already.
std::string LocalPath(std::string_view document) {
  constexpr std::string_view kScheme = "file:";
  if (document.size() < kScheme.size()) return std::string(document);
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    const char c = document[i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != kScheme[i]) return std::string(document);
  }
  std::string_view rest = document.substr(kScheme.size());
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    if (rest.starts_with("localhost/")) rest.remove_prefix(std::string_view("localhost").size());
  }
  return PercentDecoded(rest);
}

const char* ExtensionOf(transform::OutputKind kind) {
  switch (kind) {
    // XHTML keeps its own extension: opened as .html it would be read as
    // tag soup, not as the XML the page here was shown as.
    case transform::OutputKind::kXhtml: return "xhtml";
    case transform::OutputKind::kXml: return "xml";
    case transform::OutputKind::kText: return "txt";
    case transform::OutputKind::kHtml: break;
  }
  return "html";
}

}  // namespace

std::string SuggestedOutputName(const AppliedOutput& output) {
  const std::string path = LocalPath(output.document);
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::string name = path.substr(nameStart);
  // A leading dot marks a hidden file, not an extension.
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  if (name.empty() || name == "." || name == "..") name = "output";
  return path.substr(0, nameStart) + name + "." + ExtensionOf(output.kind);
}

std::string OutputFilter(transform::OutputKind kind) {
  const char* description = "HTML Files";
  switch (kind) {
    case transform::OutputKind::kXhtml: description = "XHTML Files"; break;
    case transform::OutputKind::kXml: description = "XML Files"; break;
    case transform::OutputKind::kText: description = "Text Files"; break;
    case transform::OutputKind::kHtml: break;
  }
  const std::string pattern = std::string("*.") + ExtensionOf(kind);
  return std::string(description) + " (" + pattern + ")|" + pattern + "|All Files (*.*)|*.*";
}

std::string MainOutputName(const std::vector<std::string>& written, const AppliedOutput& output) {
  const std::string extension = std::string(".") + ExtensionOf(output.kind);
  std::string own = SuggestedOutputName(output);
  own.erase(0, own.rfind('/') + 1);
  const std::string stem = own.substr(0, own.size() - extension.size());
  const auto taken = [&written](const std::string& name) {
    return std::any_of(written.begin(), written.end(), [&name](const std::string& file) {
      return file == name || file.starts_with(name + "/");
    });
  };
  for (const std::string& name : {"index" + extension, own, stem + "-output" + extension}) {
    if (!taken(name)) return name;
  }
  return "xmlpellor-output" + extension;
}

std::size_t FirstShownFile(const std::vector<std::string>& files, const std::string& mainFile) {
  const auto named = [&files](const std::string& name) {
    return static_cast<std::size_t>(std::find(files.begin(), files.end(), name) - files.begin());
  };
  if (!mainFile.empty() && named(mainFile) < files.size()) return named(mainFile);
  for (const char* index : {"index.html", "index.htm", "index.xhtml"}) {
    if (named(index) < files.size()) return named(index);
  }
  return 0;
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

namespace {

void SaveOutputSet(ICommonDialog& cdl, IFileSystem& fs, const AppliedOutput& output) {
  std::string start = LocalPath(output.document);
  start.erase(start.rfind('/') + 1);
  cdl.SetFileName(start);
  cdl.SetDialogTitle(kSaveOutputFilesTitle);
  cdl.SetFilter("");
  cdl.SetFlags(0);
  cdl.ShowFolder();
  std::string folder = cdl.FileName();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // Nothing of the user's is replaced: another run's files, or a page of
  // their own, might have these names.
  std::vector<std::string> present;
  for (const std::string& file : output.set.files) {
    if (fs.Exists(folder + "/" + file)) present.push_back(file);
  }
  if (!present.empty()) {
    std::string more;
    if (present.size() > 1) more = " and " + std::to_string(present.size() - 1) + " more";
    throw RuntimeError(err::kFileAlreadyExists, folder + " already holds " + present.front() +
                                                    more +
                                                    " of the output's files; choose a folder "
                                                    "without them");
  }
  for (const std::string& file : output.set.files) {
    fs.WriteBelow(folder, file, fs.ReadBelow(output.set.folder, file), false);
  }
}

}  // namespace

void SaveOutputAs(ErrorHandling& errors, ICommonDialog& cdl, IFileSystem& fs,
                  const std::string& outputFile, const AppliedOutput& output) noexcept {
  ProcedureTrap(errors, PassOver::SilentlyOn(err::kCancelError)).Run([&] {
    if (!output.set.files.empty()) return SaveOutputSet(cdl, fs, output);
    // The dialog is shared with the pickers, so every property is set anew.
    cdl.SetFileName(SuggestedOutputName(output));
    cdl.SetDialogTitle(kSaveOutputTitle);
    cdl.SetFilter(OutputFilter(output.kind));
    // The name offered may be the document itself (XML output of orders.xml).
    cdl.SetFlags(cdl::kOverwritePrompt | cdl::kHideReadOnly);
    cdl.ShowSave();
    fs.CopyFile(outputFile, cdl.FileName());
  });
}

}  // namespace xmlpellor
