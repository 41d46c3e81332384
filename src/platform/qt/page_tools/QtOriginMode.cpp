#include "platform/qt/page_tools/QtOriginMode.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <utility>

#include "platform/qt/page_tools/QtOriginPanel.h"

namespace xmlpellor {
namespace {

// Often enough that the panel follows the pointer; one cheap call each time.
constexpr int kPollMs = 150;

// The script runs in a world of its own: the page's scripts neither see its
// variable nor can they change what it reports. It blocks clicks while the
// mode lasts, so picking a link does not follow it.
constexpr const char* kPicker = R"JS((() => {
  if (window.xmlpellorOrigin) return;
  const attribute = 'data-xmlpellor-origin';
  const state = { n: 0, id: null, tag: '', kept: false, leave: false };
  window.xmlpellorOrigin = state;
  const box = document.createElement('div');
  box.setAttribute('style', 'position:fixed;pointer-events:none;z-index:2147483647;' +
      'box-sizing:border-box;border:2px solid #c0392b;background:rgba(192,57,43,0.08);' +
      'margin:0;padding:0;display:none');
  (document.body || document.documentElement).appendChild(box);
  let shown = null;
  const place = () => {
    if (!shown || !shown.isConnected) { box.style.display = 'none'; return; }
    const r = shown.getBoundingClientRect();
    box.style.left = r.left + 'px';
    box.style.top = r.top + 'px';
    box.style.width = r.width + 'px';
    box.style.height = r.height + 'px';
    box.style.display = 'block';
  };
  const marked = (node) => {
    for (let e = node; e; e = e.parentElement) {
      if (e.nodeType === 1 && e.hasAttribute(attribute)) return e;
    }
    return null;
  };
  const report = (element, kept) => {
    shown = element;
    place();
    state.id = element.getAttribute(attribute);
    state.tag = element.localName;
    state.kept = kept;
    state.n++;
  };
  document.addEventListener('mouseover', (event) => {
    if (state.kept) return;
    const element = marked(event.target);
    if (element) report(element, false);
  }, true);
  document.addEventListener('click', (event) => {
    event.preventDefault();
    event.stopImmediatePropagation();
    const element = marked(event.target);
    if (element) report(element, true);
  }, true);
  // From the page's menu: the element at the end of a way down from the
  // root, or as far down that way as this page goes.
  window.xmlpellorPick = (path) => {
    if (!path) return;
    let element = document.documentElement;
    for (const [index, name] of path) {
      const next = element.children[index];
      if (!next || next.localName !== name) break;
      element = next;
    }
    const found = marked(element);
    if (found) report(found, true);
  };
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') { state.leave = true; state.n++; }
  }, true);
  window.addEventListener('scroll', place, true);
  window.addEventListener('resize', place);
})();)JS";

// The element at a point of the page, as its way down from the root (each
// step its index among its parent's elements and its name), or null. The
// marked page is another document, and gets the plain page's scroll place
// back only after it has loaded, sometimes late: a point would find
// something else there, the way finds the same element.
constexpr const char* kPathAt = R"JS(((x, y) => {
  let element = document.elementFromPoint(x, y);
  if (!element) return null;
  const path = [];
  for (; element.parentElement; element = element.parentElement) {
    path.unshift([Array.prototype.indexOf.call(element.parentElement.children, element),
                  element.localName]);
  }
  return path;
}))JS";

}  // namespace

const char* QtOriginMode::PickerScript() {
  return kPicker;
}

QtOriginMode::QtOriginMode(QWidget& window, QWebEngineView& view, Commands commands)
    : QObject(&window), m_window(window), m_view(view), m_commands(std::move(commands)) {
  m_poll.setInterval(kPollMs);
  connect(&m_poll, &QTimer::timeout, this, &QtOriginMode::Poll);
  connect(&m_view, &QWebEngineView::urlChanged, this, &QtOriginMode::UrlChanged);
  connect(&m_view, &QWebEngineView::loadFinished, this, &QtOriginMode::Loaded);
}

QtOriginMode::~QtOriginMode() = default;

QtOriginPanel* QtOriginMode::Panel() const {
  return m_panel.data();
}

void QtOriginMode::OnOpenAt(std::function<void(const std::string&, long)> open) {
  m_openAt = std::move(open);
  if (m_panel) m_panel->OnOpenAt(m_openAt);
}

void QtOriginMode::Toggle() {
  if (m_active) {
    Leave();
  } else {
    Enter();
  }
}

void QtOriginMode::Enter() {
  if (m_active) return;
  if (!m_panel) {
    m_panel = new QtOriginPanel(m_window);  // belongs to the window
    m_panel->OnClosed([this] { Leave(); });
    m_panel->OnOpenAt(m_openAt);
  }
  m_active = true;
  m_onPage = false;
  m_heard = -1;
  m_pick.clear();
  m_panel->Say(
      QStringLiteral("Running the stylesheet once more, to see where each element of "
                     "the output comes from\u2026"));
  m_panel->Open();
  const bool ran = m_commands.show();
  // Closed while it ran.
  if (!m_active) return;
  if (!ran) {
    Leave();
    return;
  }
  if (const QString note = m_commands.note(); !note.isEmpty()) {
    m_panel->Say(note);
    return;
  }
  m_panel->Say(QStringLiteral(
      "Point at an element of the page, or click it to keep it; Esc leaves the mode."));
}

void QtOriginMode::EnterAt(QPoint point) {
  // The view's pixels are the page's CSS pixels times its zoom; the screen's
  // pixel ratio stands on both sides alike.
  const qreal zoom = m_view.zoomFactor() > 0 ? m_view.zoomFactor() : 1.0;
  const QString path = QStringLiteral("(%1)(%2, %3)")
                           .arg(QString::fromUtf8(kPathAt), QString::number(point.x() / zoom),
                                QString::number(point.y() / zoom));
  // With nothing to point at, the menu leaves the mode as it always did.
  if (m_active && m_commands.pageFile().isEmpty()) {
    Leave();
    return;
  }
  // Asked before Enter navigates, so the page that was right-clicked
  // answers; the answer comes while the stylesheet runs again, or at once
  // in the mode.
  QPointer<QtOriginMode> self(this);
  const unsigned leaves = m_leaves;
  m_view.page()->runJavaScript(
      QStringLiteral("JSON.stringify(%1)").arg(path), QWebEngineScript::ApplicationWorld,
      [self, leaves](const QVariant& result) {
        if (!self || !self->m_active || self->m_leaves != leaves) return;
        // Written out anew from what was parsed: only data reaches the
        // marked page's script, whatever the page's names were.
        const QJsonDocument way = QJsonDocument::fromJson(result.toString().toUtf8());
        if (!way.isArray()) return;
        self->m_pick = QString::fromUtf8(way.toJson(QJsonDocument::Compact));
        self->PickPending();
      });
  Enter();
}

void QtOriginMode::PickPending() {
  // The picker is there once the marked page has loaded.
  if (m_pick.isEmpty() || !m_poll.isActive()) return;
  m_view.page()->runJavaScript(
      QStringLiteral("window.xmlpellorPick(%1)").arg(std::exchange(m_pick, QString())),
      QWebEngineScript::ApplicationWorld);
}

void QtOriginMode::Leave() {
  if (!m_active || m_leaving) return;
  m_leaving = true;
  m_active = false;
  ++m_leaves;
  m_pick.clear();
  m_poll.stop();
  if (m_panel && m_panel->isVisible()) m_panel->close();
  m_commands.hide();
  m_leaving = false;
}

bool QtOriginMode::IsMarkedPage(const QUrl& url) const {
  const QString file = m_commands.pageFile();
  return !file.isEmpty() && url.path().endsWith(QLatin1Char('/') + QFileInfo(file).fileName());
}

void QtOriginMode::UrlChanged(const QUrl& url) {
  if (!m_active) return;
  // Another page after the marked one (a new Apply, say) ends the mode; the
  // plain page's own load, still under way when the mode began, does not.
  if (IsMarkedPage(url)) {
    m_onPage = true;
  } else if (m_onPage) {
    Leave();
  }
}

void QtOriginMode::Loaded(bool ok) {
  if (!m_active || !ok || !IsMarkedPage(m_view.url())) return;
  m_view.page()->runJavaScript(QString::fromUtf8(kPicker), QWebEngineScript::ApplicationWorld);
  m_poll.start();
  PickPending();
}

void QtOriginMode::Poll() {
  QPointer<QtOriginMode> self(this);
  m_view.page()->runJavaScript(QStringLiteral("JSON.stringify(window.xmlpellorOrigin || null)"),
                               QWebEngineScript::ApplicationWorld, [self](const QVariant& result) {
                                 if (self) self->Heard(result.toString());
                               });
}

void QtOriginMode::Heard(const QString& text) {
  if (!m_active) return;
  const QJsonObject state = QJsonDocument::fromJson(text.toUtf8()).object();
  if (state.isEmpty()) return;
  const double count = state.value(QStringLiteral("n")).toDouble();
  if (count == m_heard) return;
  m_heard = count;
  if (state.value(QStringLiteral("leave")).toBool()) {
    Leave();
    return;
  }
  const QString id = state.value(QStringLiteral("id")).toString();
  if (!id.isEmpty()) {
    ShowElement(id, state.value(QStringLiteral("tag")).toString(),
                state.value(QStringLiteral("kept")).toBool());
  }
}

void QtOriginMode::ShowElement(const QString& id, const QString& tag, bool kept) {
  if (!m_panel) return;
  bool number = false;
  const qulonglong element = id.toULongLong(&number);
  xml::OriginView view;
  if (!number || !xml::ViewOrigin(m_commands.table(), element, view)) {
    m_panel->Say(
        QStringLiteral("The stylesheet wrote this element's mark itself; where it came "
                       "from cannot be told."));
    return;
  }
  m_panel->Show(QLatin1Char('<') + tag + QLatin1Char('>'), view, kept);
}

}  // namespace xmlpellor
