#pragma once
// What the options dialog shows: the texts of its boxes, its option buttons, proxy rows and
// check boxes. The settings reader fills it from the settings file, the writer puts it back, and
// the settings record is taken from it.

#include <QList>
#include <QString>
#include <array>
#include <cstdint>

struct ProxyRow {
    QString Host;
    QString Port;
    bool operator==(const ProxyRow&) const = default;
};

struct OptionValues {
    // "General": the texts of the six number boxes.
    QString Maxjobs = QStringLiteral("5");
    QString Parts = QStringLiteral("5");
    QString Retries = QStringLiteral("5");
    QString Ctimeout = QStringLiteral("30");
    QString Rtimeout = QStringLiteral("60");
    QString Redelay = QStringLiteral("5");
    // Option1 "Overwrite" chosen; false means Option2 "Auto rename".
    bool Option1 = false;
    QString Useragent = QStringLiteral("Quorvanta 1.0");
    // "Proxy": the rows of the list.
    QList<ProxyRow> Proxies;
    // "Other": the nine check boxes (0 or 1), in the order of OtherKeys.
    std::array<int16_t, 9> Other{0, 0, 0, 1, 0, 0, 0, 0, 1};
    // "Other", after the nine: finished and failed jobs announced on the desktop (chkNotify).
    // Written only when it is off, so a file that never turned it off stays as it was.
    bool Notify = true;
    // "Other": downloads cut off by the end of the program go on at the next start
    // (chkResumeAtStart); written only when off, like Notify.
    bool ResumeAtStart = true;
    // "Other": a movie's files on other sites are fetched too (chkMovieOtherSites); written
    // only when on.
    bool MovieOtherSites = false;
    // "Other": the largest file a movie loads that is kept, in MB; not shown, kept as the file
    // has it ("MovieFileLimit"); 0 for the standard 64.
    QString MovieFileLimit = QStringLiteral("0");
    // "Other": one speed limit for all downloads in KB/s, "0" for none (txtSpeedLimit); written
    // only when set.
    QString SpeedLimit = QStringLiteral("0");
    // "Skins": the name of the widget style; empty for the desktop's own.
    QString Style;
    // "Advanced": settings the dialog does not show, kept as the file has them.
    QString HomePage = QStringLiteral("https://quorvanta.example.org/");
    QString UpdateHost = QStringLiteral("quorvanta.example.org");
    QString UpdatePort = QStringLiteral("80");
    QString DnsServer;
    QString SmtpPort = QStringLiteral("25");

    bool operator==(const OptionValues&) const = default;
};
