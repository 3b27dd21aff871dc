#include "player/PlayerRequestGuard.h"

#include "player/PlayerSchemeHandler.h"

void PlayerRequestGuard::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QString scheme = info.requestUrl().scheme();
    const bool own = scheme == QLatin1String(PlayerSchemeHandler::kScheme) &&
                     info.requestUrl().host() == QLatin1String(PlayerSchemeHandler::kHost);
    if (!own && scheme != QLatin1String("data") && scheme != QLatin1String("blob"))
        info.block(true);
}
