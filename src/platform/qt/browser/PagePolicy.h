#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUrl>

#include "platform/Window.h"

namespace xmlpellor {

// The program's own URL scheme. A page lives at its folder's path, on a host
// made for that folder: the host is the page's origin, so what one page
// stores (localStorage, IndexedDB, the cache's partition) no page of another
// folder can read, while pages of one folder keep one page process.
inline constexpr char kPageScheme[] = "xmlpellor";
// The query key of the one-time pass our handler gives a picture or
// stylesheet it sends on to its file: URL.
inline constexpr char kPassKey[] = "xmlpellor-pass";

// What a request loads, as far as the page policy tells kinds apart.
enum class PageLoad {
  kMainFrame,
  kSubFrame,
  kStylesheet,
  kScript,
  kImage,
  kFont,
  kMedia,
  kXhr,  // XMLHttpRequest, fetch, EventSource
  kWorker,
  kObject,
  kPing,  // sendBeacon, <a ping>, reports: a body the page chose
  kWebSocket,
  kOther,
};

// How the scheme's handler answers a request the policy let through.
enum class PageServed {
  kPage,     // a page the program showed, else a file a page went to
  kFile,     // a local file, read in pieces up to the limit
  kPicture,  // a picture or stylesheet: on to its file: URL, if no cors
};

// Everything the policy decides on, gathered beforehand by the caller.
struct PageFacts {
  QUrl url;
  PageLoad load = PageLoad::kOther;
  QUrl firstParty;

  // For a URL that names a local file (file: or our scheme):
  QString path;                 // the local path it names; empty: none we serve
  bool registeredPage = false;  // a page the program itself showed
  bool inside = false;          // links and ".." resolved, in the job's folders
  QString typeByName;           // the media type the file's name says
  bool regularFile = false;
  qint64 size = -1;
  bool passMatches = false;  // carries an unused pass issued for this path
  QString folderHost;        // the host of the path's folder
  qint64 readLimit = 0;

  // For a request judged by the address it goes to (see NeedsAddresses):
  QList<QHostAddress> addresses;  // what the host resolved to; none: it did not
  QList<QHostAddress> ownAddresses;
};

struct PageDecision {
  enum Kind { kAllow, kBlock, kRedirect };
  Kind kind = kBlock;
  QUrl target;  // where a redirect goes
  PageServed served = PageServed::kFile;
  // The caller records that our handler may answer this URL once.
  bool permits = false;
  // The caller uses up the URL's pass; if it is gone by then, it blocks.
  bool usesPass = false;
};

// The rule for what a result page may load:
// - the page itself may go to a page the program showed, and to a local
//   file inside the job's folders; it is shown on its own folder's host;
// - a page of ours may show local pictures and stylesheets, and fonts,
//   inside the job's folders and named as what they are loaded as.
//   Pictures and stylesheets go to their file: URLs (the engine counts
//   every answer of our scheme as the page's own origin, so a script could
//   read their pixels and rules back), but never in cors mode: each goes
//   through our handler first, which refuses a request that carries an
//   origin. Fonts come from the page's own origin, as fonts always load in
//   cors mode;
// - nothing else reaches a local file: no XMLHttpRequest or fetch, frame,
//   script, worker, object or media;
// - a WebSocket, and a request whose body or method a script chose, never
//   goes to this machine or to a private network, judged by the addresses
//   the name resolves to; a name that did not resolve goes nowhere.
// Everything else (http, data:, blob:) is left to the engine.
PageDecision Judge(const PageFacts& facts);

// How our scheme's handler answers a request the policy let through.
enum class PageAnswer {
  kRefuse,  // a picture or stylesheet asked for in cors mode
  kToFile,  // on to the file: URL, with a pass
  kFile,    // the local file, read in pieces
  kPage,    // the page the program showed, read whole
};
// The engine lets a page of a scheme with local access read a file: answer
// in cors mode (a `crossorigin` attribute, which sends an origin): such a
// request for a picture or stylesheet is refused; one without an origin (a
// plain <img> or <link>) goes on to the file, whose answer the page can
// show but not read.
PageAnswer Answer(PageServed served, bool carriesOrigin, bool registeredPage);

// The content type a page of this kind is served with, its bytes read in
// `charset`; UTF-8 for a name that is no plain charset token. The program's
// own output cut at the read limit is shown as text unless it is HTML: cut
// XML is not well-formed and would show as a parse error.
QByteArray ContentTypeOf(PageKind kind, const QByteArray& charset = "UTF-8", bool cut = false);
// The content type a local file is served with, by the media type its name
// says (PageFacts::typeByName): a name that says nothing is shown as text,
// never run as a page.
QByteArray FileContentType(const QString& typeByName);
// Whether a request made for a page whose first party is `firstParty` may
// set or send cookies: a page of ours keeps none, or a server's cookie set
// while one result loads would be sent again from the next, whatever its
// folder.
bool KeepsCookies(const QUrl& firstParty);

// The local path a URL of file: or our scheme names, or "" when it names
// none we serve (a file: URL of another host, a relative path).
QString LocalPath(const QUrl& url);
// Whether the policy judges the request by the addresses its host resolves to.
bool NeedsAddresses(const QUrl& url, PageLoad load);
// Names every resolver takes for this machine, whatever DNS says.
bool IsLoopbackName(const QString& host);
// This machine (loopback, the unspecified address, one of `own`) or a
// private, link-local or unique local network.
bool IsPrivateAddress(const QHostAddress& address, const QList<QHostAddress>& own);

}  // namespace xmlpellor
