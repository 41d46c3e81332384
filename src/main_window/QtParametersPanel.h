#pragma once

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace xmlpellor {

class StylesheetParameters;

// The stylesheet's global parameters in a window of its own beside the
// main one, so the page keeps its whole size: each with its default and
// the value the next Apply gives it, to set (as text or as an XPath
// expression) or clear, and apply. Keyboard first: the list has the focus,
// Enter in the value sets it and applies, Esc or F9 closes.
class QtParametersPanel final : public QWidget {
 public:
  // `apply` presses the window's Apply.
  QtParametersPanel(QWidget& owner, StylesheetParameters& parameters, std::function<void()> apply);

  // Shows it, up to date, with the focus in the list.
  void Open();
  // Shows what `parameters` holds now; the selection stays on its name.
  void Refresh();

 private:
  void Selected();
  void SetSelected();
  void ClearSelected();
  void ApplyNow();
  QString SelectedName() const;
  void DescribeControls();

  StylesheetParameters& m_parameters;
  std::function<void()> m_apply;
  QLabel* m_heading;
  QTreeWidget* m_list;
  QLineEdit* m_value;
  QCheckBox* m_xpath;
  QPushButton* m_set;
  QPushButton* m_clear;
  QPushButton* m_applyButton;
  // The value or its kind was changed since the row was chosen: Apply
  // takes it, as the user would expect of what they see.
  bool m_edited = false;
};

}  // namespace xmlpellor
