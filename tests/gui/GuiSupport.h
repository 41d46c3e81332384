#pragma once

#include <QApplication>
#include <QString>
#include <QVariant>
#include <QWebEnginePage>
#include <QtTest>
#include <memory>
#include <optional>

#include "platform/qt/browser/QtBrowser.h"

namespace xmlpellor::test {

// Page loads take seconds on a busy two-core machine without a display.
inline constexpr int kPageTimeoutMs = 20000;

// Runs a script in the page and waits for its value; an invalid QVariant
// when none came in time.
inline QVariant Evaluate(QWebEnginePage& page, const QString& script) {
  // Shared: an answer that comes after the wait gave up must land somewhere.
  auto result = std::make_shared<std::optional<QVariant>>();
  page.runJavaScript(script, [result](const QVariant& value) { *result = value; });
  if (!QTest::qWaitFor([&result] { return result->has_value(); }, kPageTimeoutMs)) return {};
  return result->value();
}

// "<location>|<readyState>|<content type>" of the page now shown.
inline QString PageState(QWebEnginePage& page) {
  return Evaluate(page, QStringLiteral(
                            "location.href + '|' + document.readyState + '|' + document.contentType"))
      .toString();
}

inline QString PageText(QWebEnginePage& page) {
  return Evaluate(page, QStringLiteral("document.body ? document.body.innerText : ''")).toString();
}

inline QString Loaded(const QUrl& url) {
  return url.toString(QUrl::FullyEncoded) + QStringLiteral("|complete|text/html");
}

}  // namespace xmlpellor::test

// The browser's URL scheme has to be registered before QApplication exists,
// which QTEST_MAIN gives no room for.
#define XMLPELLOR_GUI_TEST_MAIN(TestClass)                      \
  int main(int argc, char** argv) {                             \
    xmlpellor::QtBrowser::RegisterScheme();                     \
    QApplication app(argc, argv);                               \
    QApplication::setQuitOnLastWindowClosed(false);             \
    TestClass test;                                             \
    return QTest::qExec(&test, argc, argv);                     \
  }
