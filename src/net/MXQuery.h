#pragma once
// Finds the preferred mail exchanger of a domain by asking a DNS server directly: one MX
// question over UDP, the answer read with name compression, the lowest preference wins. When the
// domain has no answer and lies below the computer's base domain, the base domain's parent names
// are asked in turn. Event driven: Start returns at once and Finished reports the result.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QUdpSocket;

class MXQuery : public QObject {
    Q_OBJECT
public:
    // Every error carries this number and the source "MXQuery".
    static constexpr int kErrorNumber = 20000;
    static inline const QString NoValidDomain = QStringLiteral("No Valid Domain Specified");
    static inline const QString SendProblem = QStringLiteral("Problem sending MX query");
    static inline const QString ReceiveProblem = QStringLiteral("Problem receiving MX query");
    static constexpr int kDefaultReplyMs = 5000;
    static constexpr quint16 kDnsPort = 53;

    explicit MXQuery(QObject* parent = nullptr);
    ~MXQuery() override;

    // Asked when no DNS server is known (the input box "Input DNS Server Ip"); an empty answer
    // ends the lookup with an empty result. Without it the lookup ends the same way.
    void SetAskServer(std::function<QString()> ask) { askServer = std::move(ask); }
    // How long a reply is waited for.
    void SetReplyTimeout(int ms) { replyMs = ms; }

    // Starts the lookup of domain (empty: the computer's own domain). A lookup still running is
    // dropped. Finished follows, never from inside Start.
    void Start(const QString& domain);
    bool IsRunning() const { return running; }

    // The server to ask: the "DnsServer" setting when it is set, else the first known server,
    // as address or host name with an optional ":port".
    static QString ServerText();

signals:
    // exchanger: the host name, empty when none was found or the lookup was not possible;
    // error: empty, or one of the three error texts above.
    void Finished(const QString& exchanger, const QString& error);

private:
    void Ask(const QString& domain);
    void SendTo(const QHostAddress& address);
    void OnReadyRead();
    void OnReply(const QByteArray& reply);
    void Finish(const QString& exchanger, const QString& error);
    void FinishLater(const QString& exchanger, const QString& error);

    std::function<QString()> askServer;
    int replyMs = kDefaultReplyMs;
    bool running = false;
    int generation = 0;  // tells a stale name lookup or queued finish from the current one
    QString asked;       // the domain being asked (a retry shortens it)
    QString serverHost;
    quint16 serverPort = kDnsPort;
    QHostAddress serverAddress;
    QUdpSocket* socket = nullptr;
    QTimer replyTimer;
};
