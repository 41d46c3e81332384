#include "support/DialogDriver.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <memory>

namespace xmlpellor::test {

void WhenDialogOpens(std::function<void(QFileDialog&)> drive) {
  auto* poll = new QTimer;
  auto attempts = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, [poll, attempts, drive = std::move(drive)] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if ((!dialog || !dialog->isVisible()) && ++*attempts < kPatienceMs / 10) return;
    poll->stop();
    poll->deleteLater();
    if (!dialog) return;
    drive(*dialog);
    if (dialog->isVisible()) dialog->reject();
  });
  poll->start(10);
}

}  // namespace xmlpellor::test
