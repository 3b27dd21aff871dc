#include "player/PlayerPage.h"

#include "player/PlayerSchemeHandler.h"

PlayerPage::PlayerPage(QWebEngineProfile* profile, const QString& nonce, QObject* parent)
    : QWebEnginePage(profile, parent), prefix("qv:" + nonce + ":") {}

void PlayerPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message,
                                          int, const QString& sourceId) {
    if (!sourceId.startsWith(PlayerSchemeHandler::PageUrl())) return;
    if (message.startsWith(prefix)) emit PageMessage(message.mid(prefix.size()));
}

bool PlayerPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
    // The movie may ask to open links; the player never leaves its page.
    return !isMainFrame || url == QUrl(PlayerSchemeHandler::PageUrl());
}
