#pragma once
// What every secure connection of the program shares: the trusted certificates (the system's,
// plus a bundle named by SSL_CERT_FILE), TLS 1.2 or newer, host name verification; the request
// that opens a tunnel through a proxy; the text of a failed verification.

#include <QByteArray>
#include <QList>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

class QSslSocket;
class QTcpSocket;

namespace TlsSetup {

// The client configuration: system certificates plus those of $SSL_CERT_FILE (read once),
// peer verification on, TLS 1.2 or newer.
QSslConfiguration Configuration();

// A socket for an address: a QSslSocket set up with Configuration() when secure, else a plain
// QTcpSocket.
QTcpSocket* MakeSocket(bool secure, QObject* parent);

// Starts TLS on a connected socket for host (SNI and the name checked against the certificate).
void StartClientTls(QSslSocket* socket, const QString& host);

// "CONNECT host:port HTTP/1.1", "Host: host:port", blank line.
QByteArray ConnectRequest(const QString& host, quint16 port);

// From the head of a proxy's answer to CONNECT: "" when the tunnel is open (a 2xx status), else
// the reason ("Proxy refused the tunnel: " and the status line).
QString TunnelAnswer(const QByteArray& head);

// "Certificate error: " and the texts of the errors, joined by "; ".
QString CertificateErrorText(const QList<QSslError>& errors);

}  // namespace TlsSetup
