#include "net/DnsPacket.h"

#include <QStringList>

namespace {

bool Read16(const QByteArray& p, int& pos, uint16_t* value) {
    if (pos < 0 || pos + 2 > p.size()) return false;
    *value = uint16_t((uint8_t(p.at(pos)) << 8) | uint8_t(p.at(pos + 1)));
    pos += 2;
    return true;
}

bool Skip(const QByteArray& p, int& pos, int count) {
    if (pos < 0 || pos + count > p.size()) return false;
    pos += count;
    return true;
}

void Put16(QByteArray& p, uint16_t value) {
    p.append(char(value >> 8));
    p.append(char(value & 0xFF));
}

}  // namespace

QByteArray DnsPacket::EncodeDnsName(const QString& name) {
    QByteArray out;
    // Each label's length goes in one byte; longer labels are cut rather than wrapped into the
    // length's top bits, where they would read as a pointer.
    for (const QString& label : name.split(u'.')) {
        const QByteArray bytes = label.toUtf8().left(63);
        out.append(char(bytes.size()));
        out.append(bytes);
    }
    return out;
}

QByteArray DnsPacket::BuildMxQuery(const QString& name) {
    QByteArray p;
    Put16(p, kQueryId);
    p.append(char(0x01));  // recursion desired
    p.append(char(0x00));
    Put16(p, 1);  // one question
    Put16(p, 0);
    Put16(p, 0);
    Put16(p, 0);
    p.append(EncodeDnsName(name));
    p.append(char(0));
    Put16(p, 15);  // MX
    Put16(p, 1);   // IN
    return p;
}

bool DnsPacket::ReadDnsName(const QByteArray& packet, int& pos, QString& name) {
    int at = pos;
    int after = -1;  // where the caller continues once a pointer was taken
    int pointers = 0;
    for (;;) {
        if (at < 0 || at >= packet.size()) return false;
        const uint8_t b = uint8_t(packet.at(at));
        if (b == 0) {
            pos = after >= 0 ? after : at + 1;
            return true;
        }
        if ((b & 0xC0) == 0xC0) {
            if (at + 1 >= packet.size()) return false;
            const int target = ((b & 0x3F) << 8) | uint8_t(packet.at(at + 1));
            // Only backwards: a name can then never reach itself again.
            if (target >= at || ++pointers > kMaxPointers) return false;
            if (after < 0) after = at + 2;
            at = target;
            continue;
        }
        if ((b & 0xC0) != 0) return false;              // reserved label types
        if (at + 1 + b >= packet.size()) return false;  // the label and at least one more byte
        name += QString::fromLatin1(packet.constData() + at + 1, b);
        at += 1 + b;
        if (packet.at(at) != 0) name += u'.';
    }
}

bool DnsPacket::ReadHeader(const QByteArray& reply, uint16_t* id, uint16_t* answerCount) {
    if (reply.size() < 12) return false;
    int pos = 0;
    Read16(reply, pos, id);
    pos = 6;
    return Read16(reply, pos, answerCount);
}

QString DnsPacket::BestExchanger(const QByteArray& reply) {
    uint16_t id = 0, answers = 0;
    if (!ReadHeader(reply, &id, &answers)) return {};
    int pos = 12;
    QString question;
    if (!ReadDnsName(reply, pos, question) || !Skip(reply, pos, 4)) return {};
    QString best;
    bool haveBest = false;
    uint16_t bestPreference = 0;
    for (int i = 0; i < answers; ++i) {
        QString owner;
        uint16_t type = 0, preference = 0;
        if (!ReadDnsName(reply, pos, owner) || !Read16(reply, pos, &type)) break;
        if (type != 15) break;
        if (!Skip(reply, pos, 8) || !Read16(reply, pos, &preference)) break;
        QString exchanger;
        if (!ReadDnsName(reply, pos, exchanger)) break;
        if (exchanger.trimmed().isEmpty()) continue;
        if (!haveBest || preference < bestPreference) {
            best = exchanger;
            bestPreference = preference;
            haveBest = true;
        }
    }
    return best;
}
