#pragma once
// The per-user registry: a file store at $XDG_CONFIG_HOME/quorvanta/registry.ini with one section
// per key path ("HKEY_CURRENT_USER\Software\..."). Values are lines "name=sz:text" or
// "name=dword:0000002a"; the key's default value has the name "@". Every operation takes the full
// key path (root name, a backslash, the sub-key path), keeps the status code of its last store
// call in LastStatus and returns nothing.

#include <QString>
#include <cstdint>

namespace Regist {

// Handles of the predefined root keys; 0 is no handle.
constexpr uint32_t kClassesRoot = 0x80000000u;
constexpr uint32_t kCurrentUser = 0x80000001u;
constexpr uint32_t kLocalMachine = 0x80000002u;
constexpr uint32_t kUsers = 0x80000003u;
constexpr uint32_t kPerformanceData = 0x80000004u;
constexpr uint32_t kCurrentConfig = 0x80000005u;
constexpr uint32_t kDynData = 0x80000006u;

// Status codes kept in LastStatus.
constexpr long kSuccess = 0;
constexpr long kFileNotFound = 2;   // the key does not exist
constexpr long kInvalidHandle = 6;  // no root key of that name
constexpr long kWriteFault = 29;    // the store file could not be written
constexpr long kInvalidParameter = 87;

extern long LastStatus;

// The store file for the current environment.
QString StoreFile();

// Splits fullPath at the first backslash into the root's handle (0 for an unknown root name) and
// the sub-key (empty when there is no backslash). A path that does not start with "HKEY_" or that
// ends with a backslash is refused with the message "Incorrect Format:", two line feeds and the
// path; the result is then false.
bool ParseKey(const QString& fullPath, uint32_t* root, QString* subKey);

// Creates the key and the keys above it when missing.
void CreateKey(const QString& fullPath);
// Sets a string value of an existing key; an empty value name sets the key's default value.
void SetStringValue(const QString& fullPath, const QString& valueName, const QString& text);
// Sets a 32-bit value of an existing key.
void SetDwordValue(const QString& fullPath, const QString& valueName, uint32_t number);

// Reads a value back: true with its text (string values) or number (32-bit values).
bool QueryStringValue(const QString& fullPath, const QString& valueName, QString* text);
bool QueryDwordValue(const QString& fullPath, const QString& valueName, uint32_t* number);

// The two browser context-menu keys, written on every start: "Using Quorvanta to download"
// (default value appDir + "/qv_url.htm", "Contexts" 34) and "Using Quorvanta to search"
// (appDir + "/qv_search.htm", "Contexts" 243).
void WriteContextMenuKeys(const QString& appDir);

inline const QString DownloadMenuKey = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\MenuExt\\Using Quorvanta to "
    "download");
inline const QString SearchMenuKey = QStringLiteral(
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\MenuExt\\Using Quorvanta to "
    "search");

}  // namespace Regist
