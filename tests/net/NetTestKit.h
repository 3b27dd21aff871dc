#pragma once
// Shared by the mail and update tests: running an MX lookup to its end, and a scripted UDP peer.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <functional>
#include <memory>

#include "common/TestEnv.h"
#include "net/MXQuery.h"

struct LookupResult {
    bool done = false;
    QString host;
    QString error;
};

inline LookupResult RunLookup(const QString& domain, int replyMs = MXQuery::kDefaultReplyMs) {
    LookupResult r;
    MXQuery q;
    q.SetReplyTimeout(replyMs);
    QObject::connect(&q, &MXQuery::Finished, [&r](const QString& host, const QString& error) {
        r.done = true;
        r.host = host;
        r.error = error;
    });
    q.Start(domain);
    EXPECT_FALSE(r.done) << "Finished must not come from inside Start";
    TestEnv::WaitFor([&] { return r.done; }, replyMs + 5000);
    return r;
}

// A DNS peer on 127.0.0.1 that answers each question with what script returns: datagrams sent
// from its own port, or (other = true) from a second socket on another port.
class ScriptedDns {
public:
    struct Answer {
        QByteArray data;
        bool other = false;
    };
    using Script = std::function<QList<Answer>(const QByteArray& question)>;

    explicit ScriptedDns(Script s) : script(std::move(s)) {
        main.bind(QHostAddress::LocalHost, 0);
        other.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&main, &QUdpSocket::readyRead, [this] {
            while (main.hasPendingDatagrams()) {
                const QNetworkDatagram d = main.receiveDatagram();
                questions.append(d.data());
                for (const Answer& a : script(d.data()))
                    (a.other ? other : main)
                        .writeDatagram(a.data, d.senderAddress(), d.senderPort());
            }
        });
    }
    QString Address() const { return "127.0.0.1:" + QString::number(main.localPort()); }

    QList<QByteArray> questions;

private:
    Script script;
    QUdpSocket main;
    QUdpSocket other;
};
