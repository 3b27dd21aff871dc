#pragma once
// The name a server gives the file it sends ("Content-Disposition: attachment;
// filename="intro.swf"", or filename*=UTF-8''... by RFC 6266), taken instead of the name the
// address gave when that name is a script's ("download.php") or has no extension, and the user
// did not choose another. The name keeps to the rules of every other name: no folder, no
// control character, never "." or ".."; and it never starts with a dot (no hidden file).

#include <QString>

struct JobRecord;

class ServerFileName {
public:
    // The name in a Content-Disposition value; "" when it has none that may be used.
    static QString FromDisposition(const QString& value);
    // The job's new LocalFile when the answer's head names the file and the job's name came
    // from its address and says nothing; "" to keep the name.
    static QString For(const JobRecord& job, const QString& head);
};
