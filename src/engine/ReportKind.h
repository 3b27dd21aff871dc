#pragma once
// What a download report tells. The words the job log and the list show for each kind are made
// in one place, DownloadLogText.

#include <QMetaType>

enum class ReportKind : int {
    Connecting,       // a connection opens; detail "host:port"
    Connected,        // detail: the peer as shown in the log
    Request,          // detail: the request's text
    Response,         // detail: the response head
    DataArrival,      // detail: the number of bytes
    Redirect,         // detail: the new address
    RequestError,     // the run ended in state 5; detail: the reason
    ResumeTestError,  // the range test failed; detail: the address
    Close,            // detail "MeComplete" or "ByServer"
    Error,            // a connection failed; detail: the reason
    Cancel,           // detail: the connection that took the range over
    Autorename,       // detail: the file's new name
};
Q_DECLARE_METATYPE(ReportKind)
