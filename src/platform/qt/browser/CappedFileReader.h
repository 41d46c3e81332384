#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

#include "platform/FileSystem.h"

namespace xmlpellor {

// A local file as the web engine reads it: in pieces as the page takes them
// in, never whole, and at most `limit` bytes of it; a longer file ends after
// the limit with `notice`, so the window's memory stays bounded whatever the
// page names. Its length is fixed when it opens: a file the system gives no
// size (those under /proc) reads as empty, one that shrinks meanwhile fails.
// The engine reads it on its own thread, after the handler has returned.
// It reads the file already opened (and judged) for it, never a name.
class CappedFileReader final : public QIODevice {
 public:
  CappedFileReader(FileDescriptor file, qint64 limit, QByteArray notice);

  // Takes the file for reading; false when it cannot.
  bool Open();

  qint64 size() const override { return m_shown + m_noticeShown; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 maxSize) override;

 private:
  FileDescriptor m_descriptor;  // until Open hands it to m_file
  QFile m_file;
  qint64 m_limit;
  QByteArray m_notice;
  qint64 m_shown = 0;        // bytes of the file given out
  qint64 m_noticeShown = 0;  // bytes of the notice after them
};

}  // namespace xmlpellor
