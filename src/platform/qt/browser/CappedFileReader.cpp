#include "platform/qt/browser/CappedFileReader.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace xmlpellor {

CappedFileReader::CappedFileReader(FileDescriptor file, qint64 limit, QByteArray notice)
    : m_descriptor(std::move(file)), m_limit(limit), m_notice(std::move(notice)) {}

bool CappedFileReader::Open() {
  if (!m_descriptor) return false;
  // Unbuffered: the engine's pipe is the only buffer, so at most one piece
  // of the file is in memory at a time. The file closes the descriptor.
  if (!m_file.open(m_descriptor.get(), QIODevice::ReadOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
    return false;
  }
  m_descriptor.release();
  const qint64 size = m_file.size();
  m_shown = std::min(size, m_limit);
  m_noticeShown = size > m_limit ? m_notice.size() : 0;
  return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 CappedFileReader::readData(char* data, qint64 maxSize) {
  const qint64 at = pos();
  if (at < m_shown) {
    if (m_file.pos() != at && !m_file.seek(at)) return -1;
    const qint64 got = m_file.read(data, std::min(maxSize, m_shown - at));
    // Shorter than it was on opening: the length promised cannot be kept.
    return got > 0 ? got : -1;
  }
  const qint64 from = at - m_shown;
  const qint64 n = std::clamp(m_noticeShown - from, qint64{0}, maxSize);
  if (n > 0) std::memcpy(data, m_notice.constData() + from, size_t(n));
  return n;
}

qint64 CappedFileReader::writeData(const char* /*data*/, qint64 /*maxSize*/) {
  return -1;
}

}  // namespace xmlpellor
