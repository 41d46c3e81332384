#include "main_window/QtProfileWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace xmlpellor {
namespace {

// What each column holds, said where a screen reader and a tooltip find it.
struct ColumnText {
  const char* title;
  const char* description;
};
constexpr ColumnText kColumns[QtProfileWindow::kColumnCount] = {
    {"Template", "The template's match pattern or name"},
    {"Mode", "The template's mode, if it has one"},
    {"File:line", "Where the template stands; Enter opens it in the editor"},
    {"Calls",
     "How often the template was instantiated, recursive calls included, as xsltproc "
     "--profile counts"},
    {"Self ms",
     "Milliseconds in the template's own instructions, without the templates it "
     "called: the engine's own timing"},
    {"With callees ms",
     "Milliseconds with the templates it called: its own time and, of each template it called, "
     "the share its calls make of all calls to that one (an estimate from the call counts, as "
     "gprof makes it)"},
    {"Average ms", "Self milliseconds per call"},
    {"Share", "The template's self time as a share of all templates' self time"},
};

constexpr int kSortRole = Qt::UserRole + 1;
constexpr int kFileRole = Qt::UserRole + 2;
constexpr int kLineRole = Qt::UserRole + 3;

QStandardItem* Cell(const QString& text, const QVariant& sortKey) {
  auto* item = new QStandardItem(text);  // owned by the model
  item->setEditable(false);
  item->setData(sortKey, kSortRole);
  return item;
}

QStandardItem* Number(std::uint64_t value) {
  auto* item = Cell(QString::number(value), QVariant::fromValue<qulonglong>(value));
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

QStandardItem* Millis(std::uint64_t micros) {
  auto* item =
      Cell(QString::fromStdString(MillisText(micros)), QVariant::fromValue<qulonglong>(micros));
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

QString Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtProfileWindow::QtProfileWindow(QWidget& owner, std::function<void(const std::string&, long)> open)
    : QWidget(&owner),
      m_open(std::move(open)),
      m_summary(new QLabel(this)),
      m_sortBy(new QComboBox(this)),
      m_descending(new QCheckBox(QStringLiteral("&Descending"), this)),
      m_table(new QTableView(this)),
      m_model(new QStandardItemModel(0, kColumnCount, this)),
      m_sorted(new QSortFilterProxyModel(this)) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("profile"));
  setWindowTitle(QStringLiteral("Profile"));
  resize(760, 420);

  m_summary->setObjectName(QStringLiteral("profileSummary"));
  m_summary->setWordWrap(true);
  m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  m_summary->setAccessibleName(QStringLiteral("Profile summary"));

  for (int c = 0; c < kColumnCount; ++c) {
    auto* header = new QStandardItem(QString::fromUtf8(kColumns[c].title));
    header->setToolTip(QString::fromUtf8(kColumns[c].description));
    m_model->setHorizontalHeaderItem(c, header);
    m_sortBy->addItem(QString::fromUtf8(kColumns[c].title));
  }
  m_sorted->setSourceModel(m_model);
  m_sorted->setSortRole(kSortRole);
  m_sorted->setSortCaseSensitivity(Qt::CaseInsensitive);

  m_table->setObjectName(QStringLiteral("profileTable"));
  m_table->setModel(m_sorted);
  m_table->setSortingEnabled(true);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::SingleSelection);
  m_table->setTabKeyNavigation(false);
  m_table->verticalHeader()->hide();
  m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
  // A long folder gives way in the middle, where the file's name and line
  // stay in view; the whole path is the cell's tooltip.
  m_table->setTextElideMode(Qt::ElideMiddle);
  m_table->setWordWrap(false);
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_table->setAccessibleName(QStringLiteral("Templates"));
  m_table->setAccessibleDescription(
      QStringLiteral("Each template of the stylesheet: calls, milliseconds of its own, with what "
                     "it called, per call, and its share. Enter opens a template in the editor."));

  auto* sortLabel = new QLabel(QStringLiteral("&Sort by:"), this);
  sortLabel->setBuddy(m_sortBy);
  m_sortBy->setObjectName(QStringLiteral("profileSortBy"));
  m_sortBy->setAccessibleName(QStringLiteral("Sort by"));
  m_descending->setObjectName(QStringLiteral("profileDescending"));
  auto* sortRow = new QHBoxLayout;
  sortRow->addWidget(sortLabel);
  sortRow->addWidget(m_sortBy);
  sortRow->addWidget(m_descending);
  sortRow->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_summary);
  layout->addLayout(sortRow);
  layout->addWidget(m_table, 1);
  setTabOrder(m_table, m_sortBy);
  setTabOrder(m_sortBy, m_descending);

  // The longest first, as xsltproc lists them.
  m_sortBy->setCurrentIndex(kSelf);
  m_descending->setChecked(true);
  m_table->sortByColumn(kSelf, Qt::DescendingOrder);

  connect(m_sortBy, &QComboBox::currentIndexChanged, this, &QtProfileWindow::SortChosen);
  connect(m_descending, &QCheckBox::toggled, this, &QtProfileWindow::SortChosen);
  connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
          &QtProfileWindow::HeaderSorted);
  connect(m_table, &QTableView::activated, this, &QtProfileWindow::OpenRow);

  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);  // owned by the window
  close->setContext(Qt::WindowShortcut);
  connect(close, &QShortcut::activated, this, &QWidget::close);
}

void QtProfileWindow::SortChosen() {
  m_table->sortByColumn(m_sortBy->currentIndex(),
                        m_descending->isChecked() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void QtProfileWindow::HeaderSorted(int column, Qt::SortOrder order) {
  // A click on a header shows in the two controls, which then sort again
  // to the same order and change nothing.
  const QSignalBlocker byBlocked(m_sortBy);
  const QSignalBlocker descendingBlocked(m_descending);
  m_sortBy->setCurrentIndex(column);
  m_descending->setChecked(order == Qt::DescendingOrder);
}

void QtProfileWindow::OpenRow(const QModelIndex& index) {
  const QModelIndex place = m_sorted->index(index.row(), kPlace);
  const std::string file = place.data(kFileRole).toString().toStdString();
  if (!file.empty() && m_open) m_open(file, place.data(kLineRole).toLongLong());
}

void QtProfileWindow::Refresh(const ProfileReport& report) {
  m_model->removeRows(0, m_model->rowCount());
  const QString stylesheet = Text(report.stylesheet);
  if (!report.profile) {
    m_summary->setText(QStringLiteral("%1\n%2").arg(stylesheet, Text(report.problem)));
    return;
  }
  const xml::TransformProfile& p = *report.profile;
  m_summary->setText(
      QStringLiteral("%1 (%2)\nReading the document %3 ms, the stylesheet %4 ms; compiling %5 ms; "
                     "transforming %6 ms.")
          .arg(stylesheet, Text(report.engine), Text(MillisText(p.documentMicros)),
               Text(MillisText(p.stylesheetMicros)), Text(MillisText(p.compileMicros)),
               Text(MillisText(p.transformMicros))));
  std::uint64_t allSelf = 0;
  for (const auto& t : p.templates) allSelf += t.selfMicros;
  for (const auto& t : p.templates) {
    const QString label = Text(TemplateLabel(t));
    QList<QStandardItem*> row;
    row << Cell(label, label) << Cell(Text(t.mode), Text(t.mode));
    const QString place = QStringLiteral("%1:%2").arg(Text(t.file)).arg(t.line);
    QStandardItem* placeCell = Cell(place, place);
    placeCell->setData(Text(t.file), kFileRole);
    placeCell->setToolTip(place);
    placeCell->setData(QVariant::fromValue<qlonglong>(t.line), kLineRole);
    row << placeCell << Number(t.calls) << Millis(t.selfMicros) << Millis(t.totalMicros)
        << Millis(t.calls == 0 ? 0 : t.selfMicros / t.calls);
    const double share =
        allSelf == 0 ? 0.0
                     : 100.0 * static_cast<double>(t.selfMicros) / static_cast<double>(allSelf);
    QStandardItem* shareCell = Cell(QStringLiteral("%1 %").arg(share, 0, 'f', 1), share);
    shareCell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row << shareCell;
    m_model->appendRow(row);
  }
  m_table->resizeColumnsToContents();
  constexpr int kWidestPlace = 280;
  if (m_table->columnWidth(kPlace) > kWidestPlace) m_table->setColumnWidth(kPlace, kWidestPlace);
}

void QtProfileWindow::Show(const ProfileReport& report) {
  Refresh(report);
  show();
  raise();
  activateWindow();
  m_table->setFocus();
  if (m_sorted->rowCount() > 0 && !m_table->currentIndex().isValid()) {
    m_table->setCurrentIndex(m_sorted->index(0, 0));
  }
}

}  // namespace xmlpellor
