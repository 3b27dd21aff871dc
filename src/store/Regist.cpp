#include "store/Regist.h"

#include <QDir>

#include "store/UserMessage.h"
#include "store/clsIniFile.h"

namespace Regist {

long LastStatus = kSuccess;

namespace {

const char* const kRootNames[] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

const QString kDefaultName = QStringLiteral("@");
const QString kStringPrefix = QStringLiteral("sz:");
const QString kDwordPrefix = QStringLiteral("dword:");

QString RootName(uint32_t root) {
    return QString::fromLatin1(kRootNames[root - kClassesRoot]);
}

// The section of a key: the canonical root name, then the sub-key's parts.
bool SectionOf(const QString& fullPath, QString* section, QStringList* parts = nullptr) {
    uint32_t root = 0;
    QString subKey;
    if (!ParseKey(fullPath, &root, &subKey)) return false;
    if (root == 0) {
        LastStatus = kInvalidHandle;
        return false;
    }
    QStringList p = subKey.isEmpty() ? QStringList() : subKey.split(u'\\');
    for (const QString& part : p) {
        if (part.isEmpty() || part.contains(u']') || part.contains(u'\n') || part.contains(u'\r')) {
            LastStatus = kInvalidParameter;
            return false;
        }
    }
    *section = p.isEmpty() ? RootName(root) : RootName(root) + u'\\' + p.join(u'\\');
    if (parts) *parts = p;
    return true;
}

// Opens an existing key for writing: the store and the key's section.
bool OpenKey(const QString& fullPath, clsIniFile& store, QString* section) {
    if (!SectionOf(fullPath, section)) return false;
    store.SetFileName(StoreFile());
    if (section->contains(u'\\') && !store.SectionExists(*section)) {
        LastStatus = kFileNotFound;
        return false;
    }
    return true;
}

void SetValue(const QString& fullPath, const QString& valueName, const QString& stored) {
    clsIniFile store;
    QString section;
    if (!OpenKey(fullPath, store, &section)) return;
    const QString name = valueName.isEmpty() ? kDefaultName : valueName;
    if (name.contains(u'=') || name.contains(u'\n') || name.contains(u'\r')) {
        LastStatus = kInvalidParameter;
        return;
    }
    LastStatus = store.SaveSetting(section, name, stored) ? kSuccess : kWriteFault;
}

bool QueryValue(const QString& fullPath, const QString& valueName, QString* stored) {
    clsIniFile store;
    QString section;
    if (!OpenKey(fullPath, store, &section)) return false;
    if (!store.ReadValue(section, valueName.isEmpty() ? kDefaultName : valueName, stored)) {
        LastStatus = kFileNotFound;
        return false;
    }
    LastStatus = kSuccess;
    return true;
}

}  // namespace

QString StoreFile() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(config + QStringLiteral("/quorvanta/registry.ini"));
}

bool ParseKey(const QString& fullPath, uint32_t* root, QString* subKey) {
    if (!fullPath.startsWith(QLatin1String("HKEY_")) || fullPath.endsWith(u'\\')) {
        UserMessage::Show(UserMessage::Warning, QStringLiteral("Quorvanta"),
                          QStringLiteral("Incorrect Format:\n\n") + fullPath);
        return false;
    }
    const qsizetype slash = fullPath.indexOf(u'\\');
    const QString rootName = slash < 0 ? fullPath : fullPath.left(slash);
    *subKey = slash < 0 ? QString() : fullPath.mid(slash + 1);
    *root = 0;
    for (uint32_t i = 0; i < std::size(kRootNames); ++i)
        if (rootName == QLatin1String(kRootNames[i])) *root = kClassesRoot + i;
    return true;
}

void CreateKey(const QString& fullPath) {
    QString section;
    QStringList parts;
    if (!SectionOf(fullPath, &section, &parts)) return;
    clsIniFile store(StoreFile());
    store.BeginUpdate();
    QString path =
        section.left(section.indexOf(u'\\') < 0 ? section.size() : section.indexOf(u'\\'));
    for (const QString& part : parts) {
        path += u'\\' + part;
        store.CreateSection(path);
    }
    LastStatus = store.EndUpdate() ? kSuccess : kWriteFault;
}

void SetStringValue(const QString& fullPath, const QString& valueName, const QString& text) {
    SetValue(fullPath, valueName, kStringPrefix + text);
}

void SetDwordValue(const QString& fullPath, const QString& valueName, uint32_t number) {
    SetValue(fullPath, valueName,
             kDwordPrefix + QStringLiteral("%1").arg(number, 8, 16, QLatin1Char('0')));
}

bool QueryStringValue(const QString& fullPath, const QString& valueName, QString* text) {
    QString stored;
    if (!QueryValue(fullPath, valueName, &stored)) return false;
    if (!stored.startsWith(kStringPrefix)) return false;
    if (text) *text = stored.mid(kStringPrefix.size());
    return true;
}

bool QueryDwordValue(const QString& fullPath, const QString& valueName, uint32_t* number) {
    QString stored;
    if (!QueryValue(fullPath, valueName, &stored)) return false;
    if (!stored.startsWith(kDwordPrefix)) return false;
    bool ok = false;
    const uint32_t n = stored.mid(kDwordPrefix.size()).toUInt(&ok, 16);
    if (!ok) return false;
    if (number) *number = n;
    return true;
}

void WriteContextMenuKeys(const QString& appDir) {
    CreateKey(DownloadMenuKey);
    SetStringValue(DownloadMenuKey, QString(), appDir + QStringLiteral("/qv_url.htm"));
    SetDwordValue(DownloadMenuKey, QStringLiteral("Contexts"), 0x22);
    CreateKey(SearchMenuKey);
    SetStringValue(SearchMenuKey, QString(), appDir + QStringLiteral("/qv_search.htm"));
    SetDwordValue(SearchMenuKey, QStringLiteral("Contexts"), 0xF3);
}

}  // namespace Regist
