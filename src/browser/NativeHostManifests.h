#pragma once
// The native messaging host manifests "quorvanta.json" that let the browser extension reach the
// host program quorvanta-host beside the program: written on every start into the per-user
// folders of Chromium, Google Chrome and Firefox, pointing at the current host.

#include <QString>
#include <QStringList>

class NativeHostManifests {
public:
    static constexpr const char* kHostName = "quorvanta";
    // The extension's ids: Chromium derives it from the manifest's fixed key, Firefox takes the
    // one the manifest names.
    static constexpr const char* kChromeExtensionId = "dbkimfgeglhonofaafpbbjddlcbdcnmp";
    static constexpr const char* kFirefoxExtensionId = "handoff@quorvanta.example.org";

    // $XDG_CONFIG_HOME/chromium/NativeMessagingHosts, .../google-chrome/NativeMessagingHosts,
    // ~/.mozilla/native-messaging-hosts.
    static QStringList Folders();
    // The manifest for a Chromium-type browser (allowed_origins) or Firefox (allowed_extensions).
    static QByteArray Manifest(const QString& hostPath, bool firefox);
    // Writes the three manifests for the host in appDir, creating the folders; returns the files
    // that could not be written.
    static QStringList WriteAll(const QString& appDir);
};
