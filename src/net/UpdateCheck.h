#pragma once
// Asks the maker's web server for the update file "/newquorvanta.txt" on one HttpConnection
// (interim 1xx answers passed over), and when the server closes it, compares the newest version
// written there with the program's.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class HttpConnection;

class UpdateCheck : public QObject {
    Q_OBJECT
public:
    static constexpr int kAnswerMs = 30000;

    // What the answer says.
    struct Verdict {
        QString Status;  // the status text after "Check Complete."
        bool Newer = false;
        QString DownSite;  // everything after "DownSite:" to the end of the body
    };

    explicit UpdateCheck(QObject* parent = nullptr);
    ~UpdateCheck() override;

    // The request for host (":port" added when the port is not 80).
    static QByteArray Request(const QString& host, quint16 port);
    // Reads a whole answer (head, blank line, body) as the check does at close; the status stays
    // "Check Complete." when the answer has no blank line.
    static Verdict Parse(const QByteArray& answer, const QString& programVersion);

    // Connects to host:port and sends the request once connected.
    void Start(const QString& host, quint16 port);
    void SetAnswerTimeout(int ms) { answerMs = ms; }
    const QString& Status() const { return status; }

signals:
    void StatusChanged(const QString& status);
    // A newer version exists; site is where to download it.
    void NewVersion(const QString& site);

private:
    void SetStatus(const QString& text);
    void OnClosed();
    void OnAnswerTimeout();
    // Ends the check with "Error:" and the detail (the error's number and its text).
    void Fail(const QString& detail);
    void DropConnection();

    HttpConnection* conn = nullptr;
    QTimer answerTimer;
    QString host;
    quint16 port = 80;
    QByteArray response;
    QString status;
    bool running = false;
    int answerMs = kAnswerMs;
};
