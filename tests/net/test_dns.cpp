// The MX lookup against a real dnsmasq and against a scripted peer sending hostile replies.

#include <gtest/gtest.h>

#include <QtEndian>

#include "common/TestEnv.h"
#include "net/DnsPacket.h"
#include "net/DnsServers.h"
#include "net/DnsmasqServer.h"
#include "net/MXQuery.h"
#include "net/NetTestKit.h"
#include "store/Settings.h"

namespace {

class DnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings = SettingsRecord{};
        // A known configuration instead of the machine's; the DnsServer setting comes first.
        const QString conf = TestEnv::NewDir() + "/resolv.conf";
        TestEnv::WriteFile(conf, "nameserver 127.0.0.1\ndomain corp.two.test\n");
        GetDnsServers(conf);
    }
};

QByteArray Be16(int v) {
    QByteArray b(2, 0);
    qToBigEndian<quint16>(quint16(v), b.data());
    return b;
}

// A reply to question: the question kept, answer count set, answers appended.
QByteArray Reply(const QByteArray& question, int answerCount, const QByteArray& answers) {
    QByteArray r = question.left(DnsPacket::kReplyBuffer);
    if (r.size() < 12) return r;
    r[2] = char(0x81);
    r[3] = char(0x80);
    r.replace(6, 2, Be16(answerCount));
    return r + answers;
}

// One MX record owned by the question's name (a pointer to offset 12); exchanger as raw bytes.
QByteArray Mx(int preference, const QByteArray& exchanger) {
    return QByteArray::fromHex("c00c000f000100000e10") + Be16(2 + exchanger.size()) +
           Be16(preference) + exchanger;
}

QByteArray Name(const QString& name) {
    if (name.isEmpty()) return QByteArray(1, 0);
    return DnsPacket::EncodeDnsName(name) + QByteArray(1, 0);
}

}  // namespace

TEST_F(DnsTest, QueryBytesServersFromResolverConfigurationAndShortDomains) {
    ScriptedDns peer([](const QByteArray&) { return QList<ScriptedDns::Answer>{}; });
    Settings.DnsServer = peer.Address();
    const LookupResult r = RunLookup("a.bcd", 300);
    ASSERT_EQ(peer.questions.size(), 1);
    EXPECT_EQ(peer.questions.at(0), QByteArray::fromHex("11df01000001000000000000") +
                                        "\x01"
                                        "a\x03"
                                        "bcd" +
                                        QByteArray::fromHex("00000f0001"));
    EXPECT_EQ(peer.questions.at(0).size(), 17 + 6);
    EXPECT_EQ(r.error, MXQuery::ReceiveProblem);  // nobody answered within the limit

    const LookupResult shortName = RunLookup("a.bc");
    EXPECT_EQ(shortName.error, "No Valid Domain Specified");
    EXPECT_EQ(peer.questions.size(), 1);

    const QString conf = TestEnv::NewDir() + "/resolv.conf";
    TestEnv::WriteFile(conf,
                       "# local\nnameserver 127.0.0.53\nsearch  one.example.org two.org\n"
                       "nameserver\t10.1.2.3\noptions edns0\n");
    GetDnsServers(conf);
    EXPECT_EQ(DnsServers, QStringList({"127.0.0.53", "10.1.2.3"}));
    EXPECT_EQ(LocalDnsDomain, "one.example.org");
    EXPECT_EQ(BaseDomain, "example.org");
    TestEnv::WriteFile(conf, "search a.b.c\ndomain single\n");
    GetDnsServers(conf);
    EXPECT_TRUE(DnsServers.isEmpty());
    EXPECT_EQ(LocalDnsDomain, "single");
    EXPECT_EQ(BaseDomain, "single");
}

TEST_F(DnsTest, AnswersOfARealServer) {
    DnsmasqServer dns({"--mx-host=two.test,mxa.two.test,10", "--mx-host=two.test,mxb.two.test,20",
                       "--mx-host=eq.test,first.eq.test,10", "--mx-host=eq.test,second.eq.test,10",
                       "--cname=alias.test,two.test", "--mx-host=empty.test,,0", "--local=/test/"});
    ASSERT_TRUE(dns.IsRunning()) << dns.Error().toStdString();
    Settings.DnsServer = dns.Address();

    // dnsmasq lists the records in the reverse order of its options: preference 20 comes first.
    EXPECT_EQ(RunLookup("two.test").host, "mxa.two.test");
    // Equal preferences: the earlier answer (dnsmasq puts "second" first).
    EXPECT_EQ(RunLookup("eq.test").host, "second.eq.test");
    // A CNAME before the MX records ends the reading.
    const LookupResult alias = RunLookup("alias.test");
    EXPECT_TRUE(alias.done);
    EXPECT_EQ(alias.host, "");
    EXPECT_EQ(alias.error, "");
    // No answer below the base domain (two.test, from corp.two.test): the parent is asked.
    EXPECT_EQ(RunLookup("deep.mail.two.test").host, "mxa.two.test");
    // The base domain itself is not shortened further.
    LocalDnsDomain = "corp.none.test";
    BaseDomain = "none.test";
    const LookupResult none = RunLookup("none.test");
    EXPECT_TRUE(none.done);
    EXPECT_EQ(none.host, "");
    EXPECT_EQ(none.error, "");
    // Outside the base domain nothing is retried.
    EXPECT_EQ(RunLookup("mail.two.test").host, "");
}

TEST_F(DnsTest, HostileRepliesNeitherHangNorCrash) {
    // question name -> reply builder
    QHash<QByteArray, std::function<QList<ScriptedDns::Answer>(const QByteArray&)>> cases;
    auto one = [](QByteArray data) { return QList<ScriptedDns::Answer>{{data, false}}; };
    auto key = [](const QString& n) { return Name(n); };
    // Pointers to themselves, forward, past the end; labels past the end; cut packets.
    cases[key("self.test")] = [&](const QByteArray& q) {
        return one(Reply(q, 1, Mx(10, QByteArray::fromHex("c0") + char(q.size() + 12))));
    };
    cases[key("loop.test")] = [&](const QByteArray& q) {
        // The owner name points at itself.
        QByteArray a = Mx(10, Name("mx.loop.test"));
        a[0] = char(0xC0);
        a[1] = char(q.size());
        return one(Reply(q, 1, a));
    };
    cases[key("fwd.test")] = [&](const QByteArray& q) {
        return one(Reply(
            q, 1, Mx(10, QByteArray::fromHex("c0") + char(q.size() + 20)) + Name("later.test")));
    };
    cases[key("past.test")] = [&](const QByteArray& q) {
        return one(Reply(q, 1, Mx(10, QByteArray::fromHex("ffff"))));
    };
    cases[key("label.test")] = [&](const QByteArray& q) {
        return one(Reply(q, 1, Mx(10, QByteArray::fromHex("3f6162"))));
    };
    cases[key("cut.test")] = [&](const QByteArray& q) {
        return one(Reply(q, 1, Mx(10, Name("mx.cut.test"))).chopped(9));
    };
    cases[key("head.test")] = [&](const QByteArray& q) { return one(q.left(8)); };
    cases[key("many.test")] = [&](const QByteArray& q) {
        // 65535 answers announced, one present: the one counts.
        return one(Reply(q, 0xFFFF, Mx(10, Name("only.many.test"))));
    };
    // A chain of backward pointers through the owner names of the answers: each owner points at
    // the one before, the last exchanger at its own owner. 64 are followed, 65 are too many.
    auto chain = [&](const QByteArray& q, int links) {
        QByteArray r = Reply(q, links, QByteArray());
        int previous = -1;
        for (int i = 1; i <= links; ++i) {
            const int owner = r.size();
            QByteArray a = Mx(i == links ? 1 : 60000, Name(""));
            if (previous < 0) {
                a = Name("end.test") + a.mid(2);
            } else {
                a[0] = char(0xC0 | (previous >> 8));
                a[1] = char(previous & 0xFF);
            }
            if (i == links) {
                a.chop(1);
                a += char(0xC0 | (owner >> 8));
                a += char(owner & 0xFF);
            }
            r += a;
            previous = owner;
        }
        return one(r);
    };
    cases[key("chain64.test")] = [&](const QByteArray& q) { return chain(q, 64); };
    cases[key("chain65.test")] = [&](const QByteArray& q) { return chain(q, 65); };
    // Preferences: lowest wins, equal keeps the first, empty names do not count.
    cases[key("pref.test")] = [&](const QByteArray& q) {
        return one(Reply(q, 4,
                         Mx(1, Name("")) + Mx(20, Name("b.pref.test")) +
                             Mx(10, Name("first.pref.test")) + Mx(10, Name("second.pref.test"))));
    };
    // Replies with another identifier or from another port are not ours; the real one follows.
    cases[key("spoof.test")] = [&](const QByteArray& q) {
        QByteArray wrongId = Reply(q, 1, Mx(1, Name("evil.test")));
        wrongId[1] = char(0xE0);
        return QList<ScriptedDns::Answer>{{wrongId, false},
                                          {Reply(q, 1, Mx(1, Name("evil.test"))), true},
                                          {QByteArray(), true},
                                          {Reply(q, 1, Mx(5, Name("good.spoof.test"))), false}};
    };
    cases[key("onlyspoof.test")] = [&](const QByteArray& q) {
        QByteArray wrongId = Reply(q, 1, Mx(1, Name("evil.test")));
        wrongId[0] = char(0x00);
        return QList<ScriptedDns::Answer>{{wrongId, false}, {wrongId.left(1), false}};
    };
    cases[key("empty.test")] = [&](const QByteArray&) { return one(QByteArray()); };

    ScriptedDns peer([&](const QByteArray& q) {
        const QByteArray name = q.mid(12, q.size() - 16);
        return cases.contains(name) ? cases[name](q) : QList<ScriptedDns::Answer>{};
    });
    Settings.DnsServer = peer.Address();

    for (const char* name : {"self.test", "loop.test", "fwd.test", "past.test", "label.test",
                             "cut.test", "chain65.test"}) {
        const LookupResult r = RunLookup(name, 2000);
        EXPECT_TRUE(r.done) << name;
        EXPECT_EQ(r.host, "") << name;
        EXPECT_EQ(r.error, "") << name;
    }
    EXPECT_EQ(RunLookup("chain64.test").host, "end.test");
    EXPECT_EQ(RunLookup("many.test").host, "only.many.test");
    EXPECT_EQ(RunLookup("pref.test").host, "first.pref.test");
    EXPECT_EQ(RunLookup("spoof.test", 2000).host, "good.spoof.test");
    EXPECT_EQ(RunLookup("head.test", 2000).error, MXQuery::ReceiveProblem);
    EXPECT_EQ(RunLookup("onlyspoof.test", 400).error, MXQuery::ReceiveProblem);
    EXPECT_EQ(RunLookup("empty.test", 2000).error, MXQuery::ReceiveProblem);
}
