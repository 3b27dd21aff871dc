#pragma once
// A real nginx on 127.0.0.1 and a free port, serving a temporary folder, for the lifetime of the
// object. Extra text goes into the server block (locations, limit_rate, return 301 ...).

#include <QProcess>
#include <QString>

class NginxServer {
public:
    // serverExtra: directives inside "server { }"; httpExtra: directives inside "http { }".
    explicit NginxServer(const QString& serverExtra = QString(),
                         const QString& httpExtra = QString());
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool IsRunning() const { return running; }
    QString Error() const { return error; }
    quint16 Port() const { return port; }
    QString Root() const { return root; }  // document root, no trailing "/"
    // "http://127.0.0.1:<port>" + path (path starts with "/").
    QString Url(const QString& path) const;
    // Writes a file below the document root.
    bool Put(const QString& relativePath, const QByteArray& bytes) const;

private:
    QProcess process;
    QString prefix;
    QString root;
    QString error;
    quint16 port = 0;
    bool running = false;
};
