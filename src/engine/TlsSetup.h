#pragma once
// The tunnel through a proxy that a secure connection asks for before its TLS handshake: the
// request that opens it and the reading of the proxy's answer. The trust rules themselves (the
// system's certificates plus a bundle named by SSL_CERT_FILE, TLS 1.2 or newer, host name
// verification) are TlsChannel's, the one TLS path of the program.

#include <QByteArray>
#include <QString>

namespace TlsSetup {

// "CONNECT host:port HTTP/1.1", "Host: host:port", blank line.
QByteArray ConnectRequest(const QString& host, quint16 port);

// From the head of a proxy's answer to CONNECT: "" when the tunnel is open (a 2xx status), else
// the reason ("Proxy refused the tunnel: " and the status line).
QString TunnelAnswer(const QByteArray& head);

}  // namespace TlsSetup
