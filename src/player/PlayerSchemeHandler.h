#pragma once
// Serves the player's page, the renderer's files and the one movie being played to the web view
// under the "qvplay" scheme. Nothing else is reachable: no other file, no folder listing, no
// earlier movie.

#include <QByteArray>
#include <QString>
#include <QWebEngineUrlSchemeHandler>

class PlayerSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static constexpr const char* kScheme = "qvplay";
    static constexpr const char* kHost = "player";

    // `webFolder` holds the renderer's files; `nonce` marks the page's messages to the program.
    PlayerSchemeHandler(const QString& webFolder, const QString& nonce, QObject* parent);

    // The movie served as "/movie/<token>.swf"; token 0 serves none.
    void SetMovie(quint64 token, const QByteArray& bytes);
    static QString PageUrl();
    static QString MovieUrl(quint64 token);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QString webFolder;
    QString nonce;
    quint64 movieToken = 0;
    QByteArray movie;
};
