#pragma once

#include <cstdint>
#include <string>

#include <QString>
#include <QStringList>

#include "platform/Window.h"

class QWidget;

namespace xmlpellor {

// The common dialog's open-file and save-file modes over a modal QFileDialog.
//
// The dialog is Qt's own widget dialog, not the desktop's, so it behaves the
// same on every desktop and headless; while it is open it is the
// application's active modal widget, which is how a test reaches it.
class QtCommonDialog final : public ICommonDialog {
 public:
  explicit QtCommonDialog(QWidget* parent = nullptr) : m_parent(parent) {}
  void SetParent(QWidget* parent) { m_parent = parent; }

  std::string FileName() const override { return m_fileName; }
  void SetFileName(const std::string& fileName) override { m_fileName = fileName; }
  void SetDialogTitle(const std::string& title) override { m_title = title; }
  void SetFilter(const std::string& filter) override { m_filter = filter; }
  // Kept as given. Qt's open dialog has no read-only check box, so
  // cdl::kHideReadOnly holds without doing anything; QFileDialog::ReadOnly
  // is something else (a file list the user cannot edit) and is not set.
  void SetFlags(std::int32_t flags) override { m_flags = flags; }
  std::int32_t Flags() const { return m_flags; }

  // Shows the dialog and waits. A choice puts the file's absolute path in
  // FileName; Cancel (or Escape, or closing the dialog) raises 32755 and
  // leaves FileName as it was.
  void ShowOpen() override { Show(Mode::kOpen); }
  // The same for a file to write. The name offered keeps its extension when
  // the user types a name without one; cdl::kOverwritePrompt asks before
  // an existing file is replaced.
  void ShowSave() override { Show(Mode::kSave); }
  // A folder, existing or made in the dialog; FileName names where it starts.
  void ShowFolder() override { Show(Mode::kFolder); }

  // "Description|pattern|Description|pattern" as QFileDialog name filters.
  // Each keeps its description for display and carries the patterns Qt
  // should match in a trailing parenthesis of its own, with "*.*" widened
  // to "*" so that "All Files (*.*)" also lists files without an extension.
  static QStringList NameFilters(const std::string& filter);

 private:
  enum class Mode { kOpen, kSave, kFolder };
  void Show(Mode mode);

  QWidget* m_parent;
  std::string m_fileName;
  std::string m_title;
  std::string m_filter;
  std::int32_t m_flags = 0;
  QString m_lastFolder;  // where the last choice was made; empty before
};

}  // namespace xmlpellor
