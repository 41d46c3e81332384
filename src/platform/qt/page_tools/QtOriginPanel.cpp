#include "platform/qt/page_tools/QtOriginPanel.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace xmlpellor {
namespace {

enum Column { kPart, kInstruction, kPlace };

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString PlaceText(const xml::OriginPlace& place) {
  if (place.file.empty()) return {};
  const QString name = QFileInfo(FromUtf8(place.file)).fileName();
  return place.line > 0 ? QStringLiteral("%1:%2").arg(name).arg(place.line) : name;
}

QLineEdit* Field(QWidget* parent, const char* object, const char* name, const char* description) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QString::fromLatin1(object));
  field->setReadOnly(true);
  field->setAccessibleName(QString::fromUtf8(name));
  field->setAccessibleDescription(QString::fromUtf8(description));
  return field;
}

QPushButton* PlaceButton(QWidget* parent, const char* object) {
  auto* button = new QPushButton(parent);
  button->setObjectName(QString::fromLatin1(object));
  button->setFlat(true);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

}  // namespace

QtOriginPanel::QtOriginPanel(QWidget& owner)
    : QWidget(&owner),
      m_status(new QLabel(this)),
      m_element(Field(this, "originElement", "Element", "The element of the page pointed at")),
      m_template(Field(this, "originTemplate", "Template",
                       "The template that made the element: its match or name, mode and "
                       "priority as written")),
      m_templatePlace(PlaceButton(this, "originTemplatePlace")),
      m_instruction(Field(this, "originInstruction", "Instruction",
                          "The instruction of the template that wrote the element")),
      m_instructionPlace(PlaceButton(this, "originInstructionPlace")),
      m_source(Field(this, "originSource", "Source node",
                     "The node of the source document the template was processing")),
      m_sourcePlace(PlaceButton(this, "originSourcePlace")),
      m_parts(new QTreeWidget(this)) {
  setWindowFlag(Qt::Tool);
  setObjectName(QStringLiteral("origin"));
  setWindowTitle(QStringLiteral("Where did this come from?"));
  setAccessibleName(windowTitle());
  setAccessibleDescription(
      QStringLiteral("Where the element pointed at in the page came from; Esc leaves the mode"));
  // The page keeps the focus, so pointing and clicking go on there.
  setAttribute(Qt::WA_ShowWithoutActivating);
  resize(520, 300);

  m_status->setObjectName(QStringLiteral("originStatus"));
  m_status->setWordWrap(true);
  m_parts->setObjectName(QStringLiteral("originParts"));
  m_parts->setAccessibleName(QStringLiteral("Attributes and text"));
  m_parts->setAccessibleDescription(
      QStringLiteral("The instruction behind each attribute and text of the element; Enter "
                     "opens its place"));
  m_parts->setHeaderLabels(
      {QStringLiteral("Part"), QStringLiteral("Instruction"), QStringLiteral("Where")});
  m_parts->setRootIsDecorated(false);
  m_parts->setAllColumnsShowFocus(true);
  m_parts->header()->setStretchLastSection(true);

  auto* form = new QFormLayout;
  const auto row = [this, form](const char* label, QLineEdit* field, QPushButton* place) {
    auto* name = new QLabel(QString::fromUtf8(label), this);
    name->setBuddy(field);
    auto* line = new QHBoxLayout;
    line->addWidget(field, 1);
    if (place != nullptr) line->addWidget(place);
    form->addRow(name, line);
  };
  row("&Element:", m_element, nullptr);
  row("&Template:", m_template, m_templatePlace);
  row("&Instruction:", m_instruction, m_instructionPlace);
  row("&Source node:", m_source, m_sourcePlace);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_status);
  layout->addLayout(form);
  layout->addWidget(m_parts, 1);

  connect(m_templatePlace, &QPushButton::clicked, this, [this] { Open(m_view.templPlace); });
  connect(m_instructionPlace, &QPushButton::clicked, this,
          [this] { Open(m_view.instructionPlace); });
  connect(m_sourcePlace, &QPushButton::clicked, this, [this] { Open(m_view.sourcePlace); });
  connect(m_parts, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    const int index = m_parts->indexOfTopLevelItem(item);
    if (index >= 0 && static_cast<std::size_t>(index) < m_view.parts.size()) {
      Open(m_view.parts[static_cast<std::size_t>(index)].place);
    }
  });
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  close->setContext(Qt::WidgetWithChildrenShortcut);
  connect(close, &QShortcut::activated, this, &QWidget::close);
  Clear();
}

void QtOriginPanel::Open() {
  show();
  raise();
}

void QtOriginPanel::Clear() {
  for (QLineEdit* field : {m_element, m_template, m_instruction, m_source}) field->clear();
  for (QPushButton* place : {m_templatePlace, m_instructionPlace, m_sourcePlace}) {
    SetPlace(*place, "", {});
  }
  m_parts->clear();
  m_view = {};
}

void QtOriginPanel::Say(const QString& text) {
  Clear();
  m_status->setText(text);
}

void QtOriginPanel::Show(const QString& element, const xml::OriginView& view, bool kept) {
  m_view = view;
  m_status->setText(kept ? QStringLiteral("Kept until the next click; Esc leaves the mode.")
                         : QStringLiteral("Point at an element, or click it to keep it; Esc "
                                          "leaves the mode."));
  m_element->setText(element);
  m_template->setText(FromUtf8(view.templ));
  m_instruction->setText(FromUtf8(view.instruction));
  m_source->setText(FromUtf8(view.source));
  for (QLineEdit* field : {m_element, m_template, m_instruction, m_source}) {
    field->setCursorPosition(0);
  }
  SetPlace(*m_templatePlace, "template", view.templPlace);
  SetPlace(*m_instructionPlace, "instruction", view.instructionPlace);
  SetPlace(*m_sourcePlace, "source node", view.sourcePlace);
  m_parts->clear();
  for (const xml::OriginView::Part& part : view.parts) {
    auto* item = new QTreeWidgetItem(m_parts);  // owned by the list
    item->setText(kPart, FromUtf8(part.what));
    item->setText(kInstruction, FromUtf8(part.instruction));
    item->setText(kPlace, PlaceText(part.place));
    item->setToolTip(kPlace, FromUtf8(part.place.file));
  }
}

void QtOriginPanel::SetPlace(QPushButton& button, const char* what, const xml::OriginPlace& place) {
  const QString text = PlaceText(place);
  button.setText(text);
  button.setVisible(!text.isEmpty());
  button.setAccessibleName(text);
  const QString where =
      place.line > 0 ? QStringLiteral("%1, line %2").arg(FromUtf8(place.file)).arg(place.line)
                     : FromUtf8(place.file);
  button.setToolTip(where);
  button.setAccessibleDescription(
      QStringLiteral("Opens the %1's file, %2, in the editor").arg(QString::fromUtf8(what), where));
}

void QtOriginPanel::Open(const xml::OriginPlace& place) {
  if (m_openAt && !place.file.empty()) m_openAt(place.file, static_cast<long>(place.line));
}

void QtOriginPanel::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (m_closed) m_closed();
}

}  // namespace xmlpellor
