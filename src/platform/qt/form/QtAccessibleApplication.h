#pragma once

#include <QAccessibleObject>
#include <QList>

namespace xmlpellor {

// The application as assistive technology sees it: its windows, without the
// hidden stand-ins. The web view draws through Qt Quick, whose scene lives in
// a window of its own that is never shown (titled "Offscreen"); Qt lists
// it among the application's windows all the same, so a screen reader's
// window list would name it beside the real one. And with its open popups,
// which Qt leaves out: a menu a screen reader cannot find is no menu.
class QtAccessibleApplication final : public QAccessibleApplication {
 public:
  // Makes this the application's interface from now on; call once a
  // QApplication exists. Repeated calls do nothing.
  static void Install();

  int childCount() const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* child(int index) const override;

 private:
  QList<QAccessibleInterface*> Windows() const;
};

}  // namespace xmlpellor
