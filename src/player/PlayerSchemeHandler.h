#pragma once
// Serves the player's page, the renderer's files and the one movie being played to the web view
// under the "qvplay" scheme. Nothing else is reachable: no other file, no folder listing, no
// earlier movie. The files the movie loads from the web come as "/file/<token>?u=<address>" and
// are asked of the file source; those of an earlier movie are not found.

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWebEngineUrlSchemeHandler>
#include <functional>

class QWebEngineUrlRequestJob;

class PlayerSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static constexpr const char* kScheme = "qvplay";
    static constexpr const char* kHost = "player";

    // `webFolder` holds the renderer's files; `nonce` marks the page's messages to the program.
    PlayerSchemeHandler(const QString& webFolder, const QString& nonce, QObject* parent);

    // The movie served as "/movie/<token>.swf"; token 0 serves none.
    void SetMovie(quint64 token, const QByteArray& bytes);
    using FileAnswer = std::function<void(bool found, const QByteArray& bytes)>;
    using FileSource = std::function<void(const QString& address, FileAnswer answer)>;
    void SetFileSource(FileSource source) { fileSource = std::move(source); }
    static QString PageUrl();
    static QString MovieUrl(quint64 token);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QString webFolder;
    QString nonce;
    quint64 movieToken = 0;
    QByteArray movie;
    FileSource fileSource;
    QList<QPointer<QWebEngineUrlRequestJob>> waiting;  // files of the current movie on their way
};
