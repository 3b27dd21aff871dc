#pragma once
// The bytes of one DNS MX question and the reading of its answer. Every read of a reply is
// bounds-checked and a compression pointer may only point backwards, so no reply can make the
// reader loop or leave the packet.

#include <QByteArray>
#include <QString>
#include <cstdint>

class DnsPacket {
public:
    // The identifier of every question this program sends.
    static constexpr uint16_t kQueryId = 4575;
    // Replies are read into a buffer of this many bytes; anything longer is cut.
    static constexpr int kReplyBuffer = 2048;
    // Compression pointers followed within one name at most.
    static constexpr int kMaxPointers = 64;

    // Each run of characters between dots becomes its length byte and its characters (UTF-8).
    // The terminating zero byte is not added.
    static QByteArray EncodeDnsName(const QString& name);
    // The MX question for name, recursion desired: 12 header bytes, the encoded name, the root
    // label, type 15 and class 1 (17 + n bytes).
    static QByteArray BuildMxQuery(const QString& name);

    // Reads the name at pos, appending its labels to name ("." between labels, none at the end),
    // and moves pos just after it (after the first pointer when the name uses one). False when the
    // name runs outside the packet, or a pointer points at or after itself, or more than
    // kMaxPointers pointers are met; name and pos are then undefined.
    static bool ReadDnsName(const QByteArray& packet, int& pos, QString& name);

    // The 16-bit identifier and answer count of a reply; false when it is shorter than a header.
    static bool ReadHeader(const QByteArray& reply, uint16_t* id, uint16_t* answerCount);

    // The exchanger with the lowest preference among the answers (equal preferences keep the
    // earlier one); parsing stops at the first answer that is not of type MX or does not fit in
    // the packet. Empty when there is none.
    static QString BestExchanger(const QByteArray& reply);
};
