#pragma once
// The records the new-job dialog creates, built from the texts of its boxes without any window.

#include <QString>

#include "pages/SearchRecord.h"
#include "store/JobRecord.h"

// What the save boxes of the dialog hold for the jobs it creates.
struct SaveOptions {
    QString ClassKey;   // key of the chosen category
    QString Folder;     // save folder, file names are appended to it as they are
    QString PartsText;  // text of the part box
    QString UserAgent;
    int ProxyIndex = 0;  // list index of the proxy box; 0 is "Direct Connection"
    QString ProxyText;   // "host:port"
    bool UseLogin = false;
    QString UserName;
    QString Password;
    bool Manual = false;  // "Manual": the job waits paused instead of waiting to start
};

// The number of connections a part box asks for, kept within 1 to 10.
int16_t PartsFromText(const QString& text);

// Proxy fields from the proxy box: index 0, or an entry without ":" or without a host, is a
// direct connection; otherwise the host is the text before the first ":" and the port the number
// after it.
void ProxyFromEntry(int index, const QString& entry, int16_t& useProxy, QString& host,
                    uint16_t& port);

// A single download as "Add Single File" describes it; the file name is the rename box.
JobRecord BuildNewJob(const SaveOptions& options, const QString& url, const QString& referer,
                      const QString& comment, const QString& fileName);

// A page search; depth 0 searches the page only, 1 also the pages it links to.
SearchRecord BuildNewSearch(const SaveOptions& options, const QString& url, int depth);

// One generated or picked URL of a batch; the file name is the URL's last segment, query and all.
JobRecord BuildBatchJob(const SaveOptions& options, const QString& url);
