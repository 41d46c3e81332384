#include "platform/qt/form/QtMessageStrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "platform/qt/form/QtControl.h"

namespace xmlpellor {
namespace {

constexpr int kMarginPx = 2;

}  // namespace

QtMessageStrip::QtMessageStrip(QWidget& parent) : QFrame(&parent) {
  setObjectName(QStringLiteral("messages"));
  setAccessibleName(QStringLiteral("Messages"));
  setAccessibleDescription(QStringLiteral("What the stylesheet said in the last Apply"));
  setFrameShape(QFrame::StyledPanel);

  m_toggle = new QToolButton(this);  // owned by the strip
  m_toggle->setObjectName(QStringLiteral("messagesToggle"));
  m_toggle->setCheckable(true);
  m_toggle->setAutoRaise(true);
  m_toggle->setArrowType(Qt::RightArrow);
  m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  m_toggle->setAccessibleDescription(QStringLiteral("Shows every message, or the last one only"));
  m_toggle->setToolTip(m_toggle->accessibleDescription());

  m_notice = new QLabel(this);
  m_notice->setObjectName(QStringLiteral("messagesNotice"));
  m_notice->setAccessibleName(QStringLiteral("Notice"));
  m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  m_notice->setWordWrap(true);
  QPalette warning = m_notice->palette();
  warning.setColor(QPalette::WindowText, QColor(0xa0, 0x10, 0x10));
  m_notice->setPalette(warning);

  m_list = new QListWidget(this);
  m_list->setObjectName(QStringLiteral("messageList"));
  m_list->setAccessibleName(QStringLiteral("Messages"));
  m_list->setUniformItemSizes(true);
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);

  auto* header = new QHBoxLayout;
  header->setSpacing(kMarginPx * 2);
  header->addWidget(m_toggle);
  header->addWidget(m_notice, 1);
  header->addStretch();
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(kMarginPx, kMarginPx, kMarginPx, kMarginPx);
  column->setSpacing(kMarginPx);
  column->addLayout(header);
  column->addWidget(m_list);

  connect(m_toggle, &QToolButton::toggled, this, [this](bool open) {
    m_toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    Refresh();
    m_list->scrollToBottom();
  });
  hide();
}

QString QtMessageStrip::CountText(qsizetype count, qsizetype listed) {
  QString text =
      count == 1 ? QStringLiteral("1 message") : QStringLiteral("%1 messages").arg(count);
  if (listed < count) text += QStringLiteral(", the first %1 listed").arg(listed);
  return text;
}

void QtMessageStrip::Clear() {
  {
    const std::lock_guard lock(m_mutex);
    m_pending.clear();
    m_pendingCount = 0;
    m_kept = 0;
  }
  m_count = 0;
  m_list->clear();
  m_notice->clear();
  Refresh();
}

void QtMessageStrip::Message(const std::string& line) {
  bool first = false;
  {
    const std::lock_guard lock(m_mutex);
    first = m_pendingCount == 0;
    ++m_pendingCount;
    // Only the window's thread may read the list, so the cap counts what
    // was kept on this side.
    if (m_kept < kMaxListed) {
      m_pending.push_back(line);
      ++m_kept;
    }
  }
  // One wake-up for a whole burst, however many lines it holds.
  if (first)
    QMetaObject::invokeMethod(
        this, [this] { Flush(); }, Qt::QueuedConnection);
}

void QtMessageStrip::Notice(const std::string& text) {
  m_notice->setText(QString::fromStdString(text));
  Refresh();
}

void QtMessageStrip::Flush() {
  std::vector<std::string> lines;
  qsizetype said = 0;
  {
    const std::lock_guard lock(m_mutex);
    lines.swap(m_pending);
    said = std::exchange(m_pendingCount, 0);
  }
  if (said == 0) return;
  for (const std::string& line : lines) {
    if (m_list->count() < kMaxListed) m_list->addItem(QString::fromStdString(line));
  }
  m_count += said;
  Refresh();
  m_list->scrollToBottom();
}

void QtMessageStrip::Refresh() {
  const bool said = m_count > 0;
  m_toggle->setVisible(said);
  m_list->setVisible(said);
  m_notice->setVisible(!m_notice->text().isEmpty());
  if (said) {
    m_toggle->setText(CountText(m_count, m_list->count()));
    m_toggle->setAccessibleName(m_toggle->text());
    const bool open = m_toggle->isChecked();
    const int row = std::max(m_list->sizeHintForRow(0), m_list->fontMetrics().height());
    const int rows = open ? std::min<int>(m_list->count(), kOpenRows) : 1;
    const int frame = 2 * m_list->frameWidth();
    // Open, a long line may be scrolled to; closed, the last line shows alone.
    m_list->setHorizontalScrollBarPolicy(open ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    const int bar = open ? m_list->horizontalScrollBar()->sizeHint().height() : 0;
    m_list->setMinimumHeight(row + frame);
    m_list->setMaximumHeight(rows * row + frame + bar);
  }
  setVisible(said || !m_notice->text().isEmpty());
  if (m_resized) m_resized();
}

int QtMessageStrip::HeightIn(int areaHeight) const {
  if (isHidden()) return 0;
  // The page keeps at least half the area, however much was said.
  return std::min(sizeHint().height(), areaHeight / 2);
}

QtPageArea::QtPageArea(IBrowser& page, QWidget& view, QtMessageStrip& strip)
    : m_page(page), m_view(view), m_strip(strip), m_area(view.geometry()) {
  m_strip.OnResized([this] { Place(); });
}

QtPageArea::~QtPageArea() {
  m_strip.OnResized(nullptr);
}

float QtPageArea::Left() const {
  return ToTwips(m_area.x());
}

float QtPageArea::Top() const {
  return ToTwips(m_area.y());
}

float QtPageArea::Width() const {
  return ToTwips(m_area.width());
}

float QtPageArea::Height() const {
  return ToTwips(m_area.height());
}

void QtPageArea::Move(float left, float top, float width, float height) {
  // The page refuses a negative size, and rounds to pixels, as ever.
  m_page.Move(left, top, width, height);
  m_area = m_view.geometry();
  Place();
}

void QtPageArea::Place() {
  const int strip = m_strip.HeightIn(m_area.height());
  m_view.setGeometry(m_area.x(), m_area.y(), m_area.width(), m_area.height() - strip);
  if (strip > 0) {
    m_strip.setGeometry(m_area.x(), m_area.y() + m_area.height() - strip, m_area.width(), strip);
    m_strip.raise();
  }
}

}  // namespace xmlpellor
