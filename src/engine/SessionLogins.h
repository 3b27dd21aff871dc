#pragma once
// Logins the user gave for a server in this run of the program only (the login question after a
// "401"): by scheme, host and port. A job without a login of its own that goes to such a server
// uses it for its runs; nothing of it is written into the job's record.

#include <QHash>
#include <QString>
#include <utility>

class SessionLogins {
public:
    void Set(const QString& url, const QString& user, const QString& password);
    // The login for url's server; false when there is none.
    bool Find(const QString& url, QString* user, QString* password) const;

private:
    QHash<QString, std::pair<QString, QString>> byServer;
};
