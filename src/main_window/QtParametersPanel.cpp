#include "main_window/QtParametersPanel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <iterator>

#include "main_window/StylesheetParameters.h"

namespace xmlpellor {
namespace {

enum Column { kName, kDefault, kValue };

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString ValueText(const std::optional<xml::GlobalParameter>& value) {
  if (!value) return {};
  if (value->xpath) return QStringLiteral("XPath: ") + FromUtf8(value->value);
  if (value->value.empty()) return QStringLiteral("(empty text)");
  return FromUtf8(value->value);
}

QString DefaultText(const std::optional<std::string>& defaultText, bool known) {
  if (!defaultText) return known ? QStringLiteral("(not declared)") : QString();
  if (defaultText->empty()) return QStringLiteral("(empty)");
  return FromUtf8(*defaultText);
}

}  // namespace

QtParametersPanel::QtParametersPanel(QWidget& owner, StylesheetParameters& parameters,
                                     std::function<void()> apply)
    : QWidget(&owner),
      m_parameters(parameters),
      m_apply(std::move(apply)),
      m_heading(new QLabel(this)),
      m_list(new QTreeWidget(this)),
      m_value(new QLineEdit(this)),
      m_xpath(new QCheckBox(QStringLiteral("&XPath expression"), this)),
      m_set(new QPushButton(QStringLiteral("&Set"), this)),
      m_clear(new QPushButton(QStringLiteral("C&lear"), this)),
      m_applyButton(new QPushButton(QStringLiteral("&Apply"), this)) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("parameters"));
  setWindowTitle(QStringLiteral("Stylesheet parameters"));
  resize(560, 360);

  m_heading->setObjectName(QStringLiteral("parametersHeading"));
  m_heading->setWordWrap(true);
  m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_list->setObjectName(QStringLiteral("parameterList"));
  m_list->setHeaderLabels(
      {QStringLiteral("Name"), QStringLiteral("Default"), QStringLiteral("Value")});
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setAllColumnsShowFocus(true);
  m_list->header()->setStretchLastSection(true);
  m_value->setObjectName(QStringLiteral("parameterValue"));
  m_xpath->setObjectName(QStringLiteral("parameterXPath"));
  m_set->setObjectName(QStringLiteral("parameterSet"));
  m_clear->setObjectName(QStringLiteral("parameterClear"));
  m_applyButton->setObjectName(QStringLiteral("parametersApply"));

  auto* valueLabel = new QLabel(QStringLiteral("&Value:"), this);
  valueLabel->setBuddy(m_value);
  auto* valueRow = new QHBoxLayout;
  valueRow->addWidget(valueLabel);
  valueRow->addWidget(m_value, 1);
  valueRow->addWidget(m_xpath);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_set);
  buttons->addWidget(m_clear);
  buttons->addStretch(1);
  buttons->addWidget(m_applyButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_heading);
  layout->addWidget(m_list, 1);
  layout->addLayout(valueRow);
  layout->addLayout(buttons);

  QWidget* const tabOrder[] = {m_list, m_value, m_xpath, m_set, m_clear, m_applyButton};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  DescribeControls();

  connect(m_list, &QTreeWidget::currentItemChanged, this, [this] { Selected(); });
  connect(m_value, &QLineEdit::textEdited, this, [this] { m_edited = true; });
  connect(m_xpath, &QCheckBox::clicked, this, [this] { m_edited = true; });
  // Enter in the value is the quick way: set it and see it.
  connect(m_value, &QLineEdit::returnPressed, this, [this] {
    SetSelected();
    ApplyNow();
  });
  connect(m_set, &QPushButton::clicked, this, [this] { SetSelected(); });
  connect(m_clear, &QPushButton::clicked, this, [this] { ClearSelected(); });
  connect(m_applyButton, &QPushButton::clicked, this, [this] { ApplyNow(); });

  // A window of its own does not hear the main window's keys, so the ones
  // that matter here are its own.
  auto* close = new QShortcut(this);  // owned by the panel
  close->setKeys({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_F9)});
  close->setContext(Qt::WindowShortcut);
  connect(close, &QShortcut::activated, this, &QWidget::close);
  auto* again = new QShortcut(this);
  again->setKeys({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)});
  again->setContext(Qt::WindowShortcut);
  connect(again, &QShortcut::activated, this, [this] { ApplyNow(); });
  auto* clear = new QShortcut(QKeySequence(QKeySequence::Delete), m_list);
  clear->setContext(Qt::WidgetShortcut);
  connect(clear, &QShortcut::activated, this, [this] { ClearSelected(); });

  Refresh();
}

void QtParametersPanel::DescribeControls() {
  struct Description {
    QWidget* widget;
    const char* name;
    const char* description;
  };
  const Description descriptions[] = {
      {this, "Stylesheet parameters",
       "The global parameters of the stylesheet and the values the next Apply gives them"},
      {m_heading, "Stylesheet", "Whose parameters these are"},
      {m_list, "Parameters",
       "Each global parameter with its default and the value set for it; Delete clears the "
       "value"},
      {m_value, "Value",
       "The value for the chosen parameter; Enter sets it and applies the stylesheet"},
      {m_xpath, "XPath expression",
       "Take the value as an XPath expression, as --param does, rather than as text"},
      {m_set, "Set", "Give the chosen parameter this value from the next Apply on"},
      {m_clear, "Clear", "Let the chosen parameter take its default again"},
      {m_applyButton, "Apply", "Apply the stylesheet with these values (F5)"},
  };
  for (const Description& d : descriptions) {
    d.widget->setAccessibleName(QString::fromUtf8(d.name));
    d.widget->setAccessibleDescription(QString::fromUtf8(d.description));
    if (d.widget != this) d.widget->setToolTip(QString::fromUtf8(d.description));
  }
  m_value->setPlaceholderText(QStringLiteral("the default"));
}

void QtParametersPanel::Open() {
  Refresh();
  show();
  raise();
  activateWindow();
  m_list->setFocus();
}

void QtParametersPanel::Refresh() {
  const QString keep = SelectedName();
  const QString stylesheet = FromUtf8(m_parameters.Stylesheet());
  const std::vector<StylesheetParameters::Row> rows = m_parameters.Rows();
  if (stylesheet.isEmpty()) {
    m_heading->setText(QStringLiteral("Apply a stylesheet to list its global parameters."));
  } else if (!m_parameters.Known()) {
    m_heading->setText(stylesheet + QStringLiteral(": its parameters show once it has compiled."));
  } else if (rows.empty()) {
    m_heading->setText(stylesheet + QStringLiteral(" declares no global parameters."));
  } else {
    m_heading->setText(QStringLiteral("Global parameters of ") + stylesheet);
  }

  const QSignalBlocker quiet(m_list);
  m_list->clear();
  QTreeWidgetItem* current = nullptr;
  for (const auto& row : rows) {
    auto* item = new QTreeWidgetItem(m_list);  // owned by the list
    item->setText(kName, FromUtf8(row.name));
    item->setText(kDefault, DefaultText(row.defaultText, m_parameters.Known()));
    item->setText(kValue, ValueText(row.value));
    if (item->text(kName) == keep) current = item;
  }
  if (current == nullptr) current = m_list->topLevelItem(0);
  m_list->setCurrentItem(current);
  m_list->resizeColumnToContents(kName);
  Selected();
}

QString QtParametersPanel::SelectedName() const {
  const QTreeWidgetItem* item = m_list->currentItem();
  return item != nullptr ? item->text(kName) : QString();
}

void QtParametersPanel::Selected() {
  const std::string name = SelectedName().toStdString();
  std::optional<xml::GlobalParameter> value;
  for (const auto& held : m_parameters.Values()) {
    if (held.name == name) value = held;
  }
  m_value->setText(value ? FromUtf8(value->value) : QString());
  m_xpath->setChecked(value && value->xpath);
  m_edited = false;
  const bool chosen = m_list->currentItem() != nullptr;
  m_value->setEnabled(chosen);
  m_xpath->setEnabled(chosen);
  m_set->setEnabled(chosen);
  m_clear->setEnabled(value.has_value());
}

void QtParametersPanel::SetSelected() {
  const QString name = SelectedName();
  if (name.isEmpty()) return;
  m_parameters.Set({name.toStdString(), m_value->text().toStdString(), m_xpath->isChecked()});
  Refresh();
}

void QtParametersPanel::ClearSelected() {
  const QString name = SelectedName();
  if (name.isEmpty()) return;
  m_parameters.Clear(name.toStdString());
  Refresh();
}

void QtParametersPanel::ApplyNow() {
  if (m_edited) SetSelected();
  m_apply();
}

}  // namespace xmlpellor
