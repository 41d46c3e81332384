#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace xmlpellor::xml {

// The first and the last few of a run of lines that may not end: what a
// box or a page has room for. The last ones say how a run ended (the
// message of an xsl:message terminate="yes" among them), so they are kept
// however many came between.
template <class T>
class FirstAndLast {
 public:
  FirstAndLast(std::size_t first, std::size_t last)
      : m_firstCapacity(first), m_lastCapacity(last) {}

  void Add(T item) {
    ++m_count;
    if (m_first.size() < m_firstCapacity) {
      m_first.push_back(std::move(item));
      return;
    }
    if (m_lastCapacity == 0) return;
    if (m_last.size() == m_lastCapacity) m_last.pop_front();
    m_last.push_back(std::move(item));
  }

  std::size_t Count() const noexcept { return m_count; }
  const std::vector<T>& First() const noexcept { return m_first; }
  const std::deque<T>& Last() const noexcept { return m_last; }
  // How many came between the first and the last that are kept.
  std::size_t Skipped() const noexcept { return m_count - m_first.size() - m_last.size(); }

 private:
  std::size_t m_firstCapacity;
  std::size_t m_lastCapacity;
  std::size_t m_count = 0;
  std::vector<T> m_first;
  std::deque<T> m_last;
};

// "(188 more messages)", the line that stands for those left out.
inline std::string MoreMessagesLine(std::size_t skipped) {
  return "(" + std::to_string(skipped) + (skipped == 1 ? " more message)" : " more messages)");
}

// The kept lines in order, with the line for those left out between.
inline std::vector<std::string> KeptLines(const FirstAndLast<std::string>& lines) {
  std::vector<std::string> out(lines.First().begin(), lines.First().end());
  if (lines.Skipped() > 0) out.push_back(MoreMessagesLine(lines.Skipped()));
  out.insert(out.end(), lines.Last().begin(), lines.Last().end());
  return out;
}

}  // namespace xmlpellor::xml
