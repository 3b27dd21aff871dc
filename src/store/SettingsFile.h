#pragma once
// The settings file without any window: reading it the way the options dialog's reader does
// (with initial values for a missing file or key), writing it in the writer's order, and taking
// the in-memory settings record from the dialog's values.
//
// The file's sections, in the writer's order:
//   [General] Maxjobs, Parts, Retries, Ctimeout, Rtimeout, Redelay, Fileexits, Useragent
//   [Proxy]   Proxynum, Default (always "0"), " 1" ... " N" = host:port
//   [Other]   StartMin, CloseMin, HideMin, UseQV, StillDownload, DoneExit, DownShutDown,
//             AutoBack, PopMessage, then Notify=0 only when notifications are off
//   [Skins]   Style (only when a style other than the desktop's own was chosen)
//   [Advanced] HomePage, UpdateHost, UpdatePort, DnsServer, SmtpPort

#include <QStringList>

#include "store/OptionValues.h"
#include "store/Settings.h"
#include "store/clsIniFile.h"

class SettingsFile {
public:
    // Keys of the "Other" section, in order; OptionValues::Other follows it.
    static const QStringList& OtherKeys();
    // The entries of the user-agent list, in order.
    static const QStringList& UserAgents();
    // Highest entry of the lists of cmbMaxJobs (1..8), cmbParts and cmbRetries (1..10).
    static constexpr int kMaxJobsList = 8;
    static constexpr int kPartsList = 10;
    static constexpr int kRetriesList = 10;

    // The file into dialog values. A missing key, a key present with an empty value, and a
    // number outside a box's list take the initial value; proxy entries that are missing are
    // left out.
    static OptionValues Read(clsIniFile& ini);
    static OptionValues Read(const QString& iniPath);
    // Dialog values into the file, section by section (delete, then write every key in order).
    // The file is written once; false when it could not be written (the old file then stays).
    static bool Write(clsIniFile& ini, const OptionValues& values);
    // Dialog values into the settings record: numbers are the leading numbers of the box texts
    // (0 when none); Fileexits is -1 for "Auto rename" and 0 for "Overwrite".
    static SettingsRecord ToRecord(const OptionValues& values);

    // A proxy entry "host:port" split at the first ":"; without ":" host and port are empty.
    static ProxyRow SplitProxyEntry(const QString& entry);
    static QString ProxyEntryText(const ProxyRow& row);
};
