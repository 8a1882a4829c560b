#pragma once

class QNetworkReply;
class QUrl;

namespace clipferry::service {

// Every request that leaves the program passes here first. A test build stops the process
// at once when the address, or a redirect's, is not this machine's: a test that forgot to
// point something at its stand-in fails loudly instead of reaching a real service with
// whatever keys it found. A release build checks nothing.
void requireLoopback(const QUrl& address);
// Applies the same check to each redirect the reply follows, before it is sent.
void requireLoopbackRedirects(QNetworkReply& reply);
// Whether plain http may go to the address: only a test build's, to loopback, where the
// stand-in listens.
[[nodiscard]] bool allowsPlainHttp(const QUrl& address);

} // namespace clipferry::service
