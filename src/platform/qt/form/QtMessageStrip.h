#pragma once

#include <QFrame>
#include <QRect>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/RunMessages.h"
#include "platform/Window.h"

class QLabel;
class QListWidget;
class QToolButton;

namespace xmlpellor {

// A strip under the page with what the last run said: a count ("3
// messages") that opens the whole list, the last line while it is closed,
// and the window's notice when the result could not be shown. Hidden while
// the run has said nothing.
class QtMessageStrip final : public QFrame, public IRunMessages {
 public:
  // A runaway loop may say millions of lines: they are counted, and the
  // first ones listed.
  static constexpr int kMaxListed = 1000;
  // Rows of the open list; more scroll.
  static constexpr int kOpenRows = 8;

  explicit QtMessageStrip(QWidget& parent);

  void Clear() override;
  void Message(const std::string& line) override;
  void Notice(const std::string& text) override;

  // Its height under a page area `areaHeight` pixels tall; 0 while hidden.
  int HeightIn(int areaHeight) const;
  // Called when that height may have changed.
  void OnResized(std::function<void()> resized) { m_resized = std::move(resized); }

  // "1 message", "3 messages", "1500 messages, the first 1000 listed"
  static QString CountText(qsizetype count, qsizetype listed);

 private:
  void Flush();
  void Refresh();

  QToolButton* m_toggle;
  QLabel* m_notice;
  QListWidget* m_list;
  std::function<void()> m_resized;
  qsizetype m_count = 0;  // said by the run, listed or not

  // Lines heard on the run's thread, not yet listed.
  std::mutex m_mutex;
  std::vector<std::string> m_pending;
  qsizetype m_pendingCount = 0;
  qsizetype m_kept = 0;  // lines of this run taken for the list
};

// The page and the strip under it as the one control the layout places:
// the page takes what the strip leaves of the area.
class QtPageArea final : public IBrowser {
 public:
  QtPageArea(IBrowser& page, QWidget& view, QtMessageStrip& strip);
  ~QtPageArea() override;
  QtPageArea(const QtPageArea&) = delete;
  QtPageArea& operator=(const QtPageArea&) = delete;

  float Left() const override;
  float Top() const override;
  float Width() const override;
  float Height() const override;
  void Move(float left, float top, float width, float height) override;
  using IBrowser::Navigate;
  void Navigate(const std::string& url, const PageInfo& page) override {
    m_page.Navigate(url, page);
  }

 private:
  void Place();

  IBrowser& m_page;
  QWidget& m_view;
  QtMessageStrip& m_strip;
  QRect m_area;
};

}  // namespace xmlpellor
