#pragma once

#include <string>

namespace xmlpellor {

// Where the window shows what a run said (its xsl:message lines) as it says
// them, so that a start from the menu, with no terminal, sees them too; and
// what kept the run's result from being shown.
class IRunMessages {
 public:
  virtual ~IRunMessages() = default;
  // A run begins: what the last one said goes.
  virtual void Clear() = 0;
  // One line the stylesheet said. Called on the thread that waits for the
  // run, not the window's.
  virtual void Message(const std::string& line) = 0;
  // The window's own word on the run, such as a page that could not be
  // written; on the window's thread.
  virtual void Notice(const std::string& text) = 0;
};

}  // namespace xmlpellor
