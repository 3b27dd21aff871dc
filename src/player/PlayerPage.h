#pragma once
// The web page the renderer runs in. It passes on the messages the player's own page script
// writes to the console (marked with the page's nonce) and stays on that page.

#include <QWebEnginePage>

class PlayerPage : public QWebEnginePage {
    Q_OBJECT
public:
    PlayerPage(QWebEngineProfile* profile, const QString& nonce, QObject* parent);

signals:
    // A message of the player's page script: "ready", "loaded <token>", "error <token> <text>".
    void PageMessage(const QString& message);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceId) override;
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    QString prefix;
};
