#include "platform/qt/QtOutputFilesWindow.h"

#include <QShortcut>

namespace xmlpellor {

QtOutputFilesWindow::QtOutputFilesWindow(QWidget& owner, std::function<void(int)> show)
    : QListWidget(&owner), m_show(std::move(show)) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("outputFiles"));
  setAccessibleName(QStringLiteral("Output files"));
  setAccessibleDescription(
      QStringLiteral("The files the stylesheet wrote; Enter shows the one selected in the page"));
  resize(420, 360);
  connect(this, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { m_show(row(item)); });
  // Ctrl+L brought the window up and takes it away again, as Esc does.
  auto* close = new QShortcut(this);  // owned by the window
  close->setKeys({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_L)});
  connect(close, &QShortcut::activated, this, &QWidget::close);
}

void QtOutputFilesWindow::List(const QStringList& files, int current) {
  clear();
  addItems(files);
  if (current >= 0 && current < count()) setCurrentRow(current);
}

}  // namespace xmlpellor
