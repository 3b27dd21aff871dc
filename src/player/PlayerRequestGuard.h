#pragma once
// Keeps the player's page to itself: only requests to the player's own scheme (and the data and
// blob URLs the renderer makes in memory) go out; files and the network are refused.

#include <QWebEngineUrlRequestInterceptor>

class PlayerRequestGuard : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};
