#pragma once
// A real nginx on 127.0.0.1 and a free port, serving a temporary folder, for the lifetime of the
// object. Extra text goes into the server block (locations, limit_rate, return 301 ...).

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>

class NginxServer {
public:
    // A second port speaking TLS, with a certificate from the test CA (TestCaFile()):
    // Trusted for 127.0.0.1 and localhost; WrongName for another host name only; Untrusted from a
    // CA that nobody trusts.
    enum class Tls { None, Trusted, WrongName, Untrusted };

    // serverExtra: directives inside "server { }"; httpExtra: directives inside "http { }".
    explicit NginxServer(const QString& serverExtra = QString(),
                         const QString& httpExtra = QString(), Tls tls = Tls::None);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool IsRunning() const { return running; }
    QString Error() const { return error; }
    // For ASSERT_TRUE: running, or why not.
    ::testing::AssertionResult Started() const;
    // The server with this configuration that the tests of a program share, started by the first
    // test that asks for it; all are stopped by the test main after the last test.
    static NginxServer& Shared(const QString& serverExtra = QString(),
                               const QString& httpExtra = QString());
    static void StopShared();
    quint16 Port() const { return port; }
    QString Root() const { return root; }  // document root, no trailing "/"
    // "http://127.0.0.1:<port>" + path (path starts with "/").
    QString Url(const QString& path) const;
    // The TLS port (0 without Tls) and "https://127.0.0.1:<tls port>" + path.
    quint16 TlsPort() const { return tlsPort; }
    QString SecureUrl(const QString& path) const;
    // The PEM file of the test CA, made once per test program with openssl. Tests trust it by
    // pointing SSL_CERT_FILE at it.
    static QString TestCaFile();
    // Writes a file below the document root.
    bool Put(const QString& relativePath, const QByteArray& bytes) const;

private:
    QProcess process;
    QString prefix;
    QString root;
    QString error;
    quint16 port = 0;
    quint16 tlsPort = 0;
    bool running = false;
};
