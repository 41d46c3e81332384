#pragma once

#include <QListWidget>
#include <QStringList>
#include <functional>

namespace xmlpellor {

// The files a stylesheet wrote, one a line, in a window of its own that
// Esc closes; Enter or a double click shows the file in the page.
class QtOutputFilesWindow final : public QListWidget {
 public:
  QtOutputFilesWindow(QWidget& owner, std::function<void(int)> show);

  // Lists `files` anew, with the one at `current` selected.
  void List(const QStringList& files, int current);

 private:
  std::function<void(int)> m_show;
};

}  // namespace xmlpellor
