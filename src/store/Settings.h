#pragma once
// The in-memory settings record. Every reader uses this copy; the options dialog and the settings
// reader fill it from the settings file.

#include <QString>
#include <cstdint>

struct SettingsRecord {
    int16_t Maxjobs = 5;
    int16_t Parts = 5;
    int16_t Retries = 5;
    int16_t Ctimeout = 30;
    int16_t Rtimeout = 60;
    int16_t Redelay = 5;
    int16_t Fileexits = -1;  // not 0: rename automatically; 0: overwrite
    QString Useragent = QStringLiteral("Quorvanta 1.0");
    int16_t StartMin = 0;
    int16_t CloseMin = 0;
    int16_t HideMin = 0;
    int16_t UseQV = 1;
    int16_t StillDownload = 0;
    int16_t DoneExit = 0;
    int16_t DownShutDown = 0;
    int16_t AutoBack = 0;
    int16_t PopMessage = 1;
    // Desktop notifications of finished and failed jobs and of the end of the queue.
    int16_t Notify = 1;
    // Downloads cut off by the end of the program start again at the next start.
    int16_t ResumeAtStart = 1;
    // Files a movie loads from other sites are fetched and kept too.
    int16_t MovieOtherSites = 0;
    // The largest file a movie loads that is kept, in MB.
    int32_t MovieFileLimitMb = 64;
    // One limit for all downloads together, in KB/s; 0 for none.
    int32_t SpeedLimit = 0;
    // [Advanced]: the maker's home page, the update server, the DNS server to ask for mail
    // exchangers ("address" or "address:port"; empty: the computer's own) and the mail port.
    QString HomePage = QStringLiteral("https://quorvanta.example.org/");
    QString UpdateHost = QStringLiteral("quorvanta.example.org");
    uint16_t UpdatePort = 80;
    QString DnsServer;
    uint16_t SmtpPort = 25;
};

extern SettingsRecord Settings;

// The tab the options dialog opens on: 1 "General", 2 "Proxy", 3 "Skins", 4 "Other".
extern int16_t OptionPage;

// Reads the settings file into Settings without any window: the values the options dialog's
// reader would put there (missing file or keys give the defaults above).
void LoadSettingsFromFile(const QString& iniPath);
