#pragma once
// The user's proxy servers as the new-job dialog offers them.

#include <QString>
#include <cstdint>

class QComboBox;

// Empties the combo, adds "Direct Connection" and selects it, then adds the settings file's
// proxy entries 1..ProxyNum as "host:port" texts; the entry whose number equals "Default" is
// selected instead. Entries missing from the file are left out.
void FillProxyCombo(QComboBox* combo);

// A chosen entry of that combo: true with host (text before the first ":") and port (leading
// number after it) for a proxy; false for a direct connection: "Direct Connection" (index 0),
// or an entry without ":" or without a host.
bool ParseProxyEntry(int comboIndex, const QString& entry, QString* host, uint16_t* port);
