#pragma once

#include <string>
#include <utility>

#include "platform/Editor.h"

namespace xmlpellor {

// Starts the user's editor as a program of its own, detached, so that it
// outlives the window; or hands the file to the desktop when no editor is
// known to take a line.
class QtEditor final : public IEditor {
 public:
  explicit QtEditor(EditorFacts facts) : m_facts(std::move(facts)) {}
  void Open(const std::string& file, long line) override;
  void SetFacts(EditorFacts facts) { m_facts = std::move(facts); }
  // $VISUAL and $EDITOR as the process has them.
  static EditorFacts FromEnvironment(std::string command = {});

 private:
  EditorFacts m_facts;
};

}  // namespace xmlpellor
