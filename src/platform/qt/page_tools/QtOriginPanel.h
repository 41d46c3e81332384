#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "platform/xml/Origins.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace xmlpellor {

// Where the element the user points at came from: the template, the
// instruction that wrote it, the source node, and the instructions behind
// its attributes and text. A window of its own beside the main one, as the
// parameters are, so the page keeps its whole size and the focus; every
// field is named for a screen reader, each file:line is a button that
// opens the place, and Esc closes it.
class QtOriginPanel final : public QWidget {
 public:
  explicit QtOriginPanel(QWidget& owner);

  // Shows it without taking the focus from the page.
  void Open();
  // Says `text` in place of an element's origin.
  void Say(const QString& text);
  void Show(const QString& element, const xml::OriginView& view, bool kept);

  // Called with a place the user activated.
  void OnOpenAt(std::function<void(const std::string& file, long line)> open) {
    m_openAt = std::move(open);
  }
  // Called when the user closes it.
  void OnClosed(std::function<void()> closed) { m_closed = std::move(closed); }

 private:
  void closeEvent(QCloseEvent* event) override;
  void SetPlace(QPushButton& button, const char* what, const xml::OriginPlace& place);
  void Open(const xml::OriginPlace& place);
  void Clear();

  QLabel* m_status;
  QLineEdit* m_element;
  QLineEdit* m_template;
  QPushButton* m_templatePlace;
  QLineEdit* m_instruction;
  QPushButton* m_instructionPlace;
  QLineEdit* m_source;
  QPushButton* m_sourcePlace;
  QTreeWidget* m_parts;
  xml::OriginView m_view;
  std::function<void(const std::string&, long)> m_openAt;
  std::function<void()> m_closed;
};

}  // namespace xmlpellor
