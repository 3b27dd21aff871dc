#pragma once
// One file fetched whole into memory: a GET over HttpConnection, redirects followed (at most ten,
// each resolved against the address that answered), the login sent only to the scheme, host and
// port it belongs to, the body refused past a size limit. Used for the files a movie loads.
//
//   auto* fetch = new FileFetch(this);
//   connect(fetch, &FileFetch::Done, ...);  // once, then the object may be deleted
//   fetch->Start(request);

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class HttpConnection;

class FileFetch : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRedirects = 10;

    struct Request {
        QString Address;
        QString Referrer;
        // The login goes to addresses of LoginAddress's scheme, host and port only.
        QString LoginAddress;
        bool UseLogin = false;
        QString User;
        QString Password;
        QString UserAgent;
        bool UseProxy = false;
        QString ProxyHost;
        quint16 ProxyPort = 0;
        qint64 Limit = 64LL * 1024 * 1024;
        int TimeoutSeconds = 60;  // without a byte for this long the fetch fails
    };
    struct Result {
        bool Ok = false;
        int Status = 0;
        QString Address;  // the one that answered last
        QByteArray Bytes;
        QString Failure;  // why not, for a person
    };

    explicit FileFetch(QObject* parent = nullptr);
    ~FileFetch() override;
    void Start(const Request& request);
    // True when both addresses have the same scheme, host and port.
    static bool SameOrigin(const QString& a, const QString& b);

signals:
    void Done(const FileFetch::Result& result);

private:
    void Open(const QString& address);
    void OnHead(const QByteArray& head, const QByteArray& rest);
    void OnData(const char* data, qint64 size);
    void Finish(bool ok, const QString& failure);
    void Drop();

    Request request;
    QString current;
    int redirects = 0;
    HttpConnection* conn = nullptr;
    QTimer idle;
    bool inBody = false;
    qint64 length = -1;
    int status = 0;
    QByteArray body;
    bool finished = false;
};
