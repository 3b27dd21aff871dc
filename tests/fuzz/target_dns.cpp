// The DNS reply to the mail exchanger question: header, names (with their pointers) and the
// best exchanger.

#include "fuzz/FuzzSupport.h"
#include "net/DnsPacket.h"

QV_FUZZ_ENTRY(dns) {
    const QByteArray reply(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    uint16_t id = 0, answers = 0;
    DnsPacket::ReadHeader(reply, &id, &answers);
    DnsPacket::BestExchanger(reply);
    for (int start : {12, 0, 2}) {
        int pos = start;
        QString name;
        if (DnsPacket::ReadDnsName(reply, pos, name)) {
            QV_FUZZ_CHECK(pos > start && pos <= reply.size());
        }
    }
    return 0;
}
