#pragma once
// The user's proxy servers as the new-job dialog offers them.

#include <QString>
#include <QStringList>
#include <cstdint>

// The choices of the proxy combo: "Direct Connection" first, then the settings file's proxy
// entries 1..ProxyNum as "host:port" texts (entries missing from the file are left out, and
// there are never more than the section has keys). chosen is set to the index of the entry
// whose number equals "Default", or 0 (the direct connection) when none does.
QStringList ProxyChoices(int* chosen);

// A chosen entry of that combo: true with host (text before the first ":") and port (leading
// number after it) for a proxy; false for a direct connection: "Direct Connection" (index 0),
// or an entry without ":" or without a host.
bool ParseProxyEntry(int comboIndex, const QString& entry, QString* host, uint16_t* port);
