#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "main_window/ProfileReport.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace xmlpellor {

// Where the time of a transformation went, in a window of its own beside
// the main one: the times of its steps on top, then a table of its
// templates. Keyboard first: the table has the focus; "Sort by" and
// "Descending" sort it as a click on a column's header does; Enter on a
// row opens its template in the editor; Esc closes.
class QtProfileWindow final : public QWidget {
 public:
  // The columns, in order.
  enum Column {
    kTemplate,
    kMode,
    kPlace,
    kCalls,
    kSelf,
    kWithCallees,
    kAverage,
    kShare,
    kColumnCount
  };

  // `open` opens a file at a line in the editor.
  QtProfileWindow(QWidget& owner, std::function<void(const std::string&, long)> open);

  // Shows `report` and brings the window up with the focus in the table.
  void Show(const ProfileReport& report);
  // Shows `report` in place, without raising the window.
  void Refresh(const ProfileReport& report);

 private:
  void SortChosen();
  void HeaderSorted(int column, Qt::SortOrder order);
  void OpenRow(const QModelIndex& index);

  std::function<void(const std::string&, long)> m_open;
  QLabel* m_summary;
  QComboBox* m_sortBy;
  QCheckBox* m_descending;
  QTableView* m_table;
  QStandardItemModel* m_model;
  QSortFilterProxyModel* m_sorted;
};

}  // namespace xmlpellor
