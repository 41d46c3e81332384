#pragma once

#include <QByteArray>

#include "platform/Window.h"
#include "platform/qt/browser/PageRegistry.h"

namespace xmlpellor {

// The notice that ends a local file cut at the read limit.
QByteArray ReadLimitNotice(qint64 limit);
// The notice that ends a result the program shows, cut at the read limit.
QByteArray OutputLimitNotice(qint64 limit);

// Registers the schemes with the engine; must run before QApplication exists.
void RegisterPageScheme();

// The registry of the default profile, with the scheme handlers, the request
// interceptor and the cookie filter installed on that profile at the first
// call.
PageRegistry& DefaultPageRegistry();

}  // namespace xmlpellor
