#include "player/PlayerSchemeHandler.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <QWebEngineUrlRequestJob>
#include <utility>

namespace {

// The player's page: the renderer fills the window, letterboxed, and plays the movie it is given.
// The page tells the program through the console, each line marked with the page's nonce.
const char* kPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'self' blob: data:;
 script-src 'self' 'unsafe-inline' 'unsafe-eval' 'wasm-unsafe-eval' blob:;
 style-src 'self' 'unsafe-inline'; connect-src 'self' blob: data:">
<style>
html, body { margin: 0; width: 100%; height: 100%; overflow: hidden; background: #1e2228; }
#stage, #stage > * { width: 100%; height: 100%; display: block; background: #000; }
</style>
<script>
"use strict";
const nonce = "@NONCE@";
function report(text) { console.info("qv:" + nonce + ":" + text); }
// The web engine's fetch() knows only web schemes; requests to this page's own scheme go through
// XMLHttpRequest, which does, and come back as ordinary responses.
const webFetch = window.fetch.bind(window);
// A file the movie loads from the web is asked of the program, which keeps it beside the movie.
window.fetch = function (resource, options) {
    let url = new URL(resource instanceof Request ? resource.url : String(resource), location.href);
    if (url.protocol === "http:" || url.protocol === "https:")
        url = new URL("/file/" + current + "?u=" + encodeURIComponent(url.href), location.href);
    if (url.origin !== location.origin) return webFetch(resource, options);
    return new Promise((resolve, reject) => {
        const xhr = new XMLHttpRequest();
        xhr.open("GET", url.href);
        xhr.responseType = "arraybuffer";
        xhr.onload = () => resolve(new Response(xhr.response, {
            status: xhr.status || 200,
            headers: { "Content-Type": xhr.getResponseHeader("Content-Type") || "" }
        }));
        xhr.onerror = () => reject(new TypeError("Failed to fetch " + url.href));
        xhr.send();
    });
};
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {
    publicPath: "/ruffle/", polyfills: false, autoplay: "on", unmuteOverlay: "hidden",
    splashScreen: false, contextMenu: "off", letterbox: "on", allowNetworking: "internal",
    upgradeToHttps: false,
    openUrlMode: "deny", allowScriptAccess: false, allowFullscreen: false,
    warnOnUnsupportedContent: false, showSwfDownload: false, logLevel: "error",
    backgroundColor: null
};
</script>
<script src="/ruffle/ruffle.js"></script>
<script>
"use strict";
let player = null, api = null, current = 0;
function qvUnload() {
    current = 0;
    if (player) player.remove();
    player = null;
    api = null;
}
function qvLoad(url, token, base) {
    qvUnload();
    current = token;
    player = window.RufflePlayer.newest().createPlayer();
    document.getElementById("stage").appendChild(player);
    api = typeof player.ruffle === "function" ? player.ruffle() : player;
    // Play and pause belong to the program's tool bar: no play button over a paused movie.
    if (player.shadowRoot) {
        const style = document.createElement("style");
        style.textContent = "#play-button { display: none !important; } " +
            ":host, #container { background: #000 !important; }";
        player.shadowRoot.appendChild(style);
    }
    player.addEventListener("loadeddata", () => { if (current === token) report("loaded " + token); });
    const options = { url: url };
    if (base) options.base = base;
    Promise.resolve(api.load(options)).catch((e) => {
        if (current === token) report("error " + token + " " + e);
    });
}
function qvPlay() { if (api) (api.resume || api.play).call(api); }
function qvPause() { if (api) (api.suspend || api.pause).call(api); }
window.addEventListener("load", () => {
    if (window.RufflePlayer && typeof window.RufflePlayer.newest === "function")
        report("ready");
    else
        report("error 0 the renderer's files are missing");
});
</script>
</head><body><div id="stage"></div></body></html>
)";

QByteArray MimeOf(const QString& name) {
    if (name.endsWith(".js")) return "text/javascript";
    if (name.endsWith(".wasm")) return "application/wasm";
    if (name.endsWith(".map") || name.endsWith(".json")) return "application/json";
    return "application/octet-stream";
}

void ReplyBytes(QWebEngineUrlRequestJob* job, const QByteArray& mime, const QByteArray& bytes) {
    auto* buffer = new QBuffer(job);
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    job->reply(mime, buffer);
}

}  // namespace

PlayerSchemeHandler::PlayerSchemeHandler(const QString& webFolder, const QString& nonce,
                                         QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), webFolder(webFolder), nonce(nonce) {}

void PlayerSchemeHandler::SetMovie(quint64 token, const QByteArray& bytes) {
    // What an earlier movie still waits for is not found.
    if (token != movieToken) {
        const QList<QPointer<QWebEngineUrlRequestJob>> jobs = std::exchange(waiting, {});
        for (const QPointer<QWebEngineUrlRequestJob>& job : jobs)
            if (job) job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    }
    movieToken = token;
    movie = token ? bytes : QByteArray();
}

QString PlayerSchemeHandler::PageUrl() {
    return QStringLiteral("%1://%2/player.html").arg(kScheme, kHost);
}

QString PlayerSchemeHandler::MovieUrl(quint64 token) {
    return QStringLiteral("%1://%2/movie/%3.swf").arg(kScheme, kHost).arg(token);
}

void PlayerSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    if (url.host() != QLatin1String(kHost) || job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const QString path = url.path();
    if (path == QLatin1String("/player.html")) {
        ReplyBytes(job, "text/html", QByteArray(kPage).replace("@NONCE@", nonce.toLatin1()));
        return;
    }
    if (path.startsWith(QLatin1String("/movie/"))) {
        if (movieToken && path == QStringLiteral("/movie/%1.swf").arg(movieToken))
            ReplyBytes(job, "application/x-shockwave-flash", movie);
        else
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    if (path.startsWith(QLatin1String("/file/"))) {
        const QString address = QUrlQuery(url).queryItemValue("u", QUrl::FullyDecoded);
        if (!fileSource || !movieToken || address.isEmpty() ||
            path != QStringLiteral("/file/%1").arg(movieToken)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        QPointer<QWebEngineUrlRequestJob> guarded(job);
        waiting.append(guarded);
        const quint64 asked = movieToken;
        // The answer may come after the player is gone.
        QPointer<PlayerSchemeHandler> self(this);
        fileSource(address, [self, guarded, asked](bool found, const QByteArray& bytes) {
            if (!self) return;
            self->waiting.removeAll(guarded);
            if (!guarded || asked != self->movieToken) return;
            if (found)
                ReplyBytes(guarded, "application/octet-stream", bytes);
            else
                guarded->fail(QWebEngineUrlRequestJob::UrlNotFound);
        });
        return;
    }
    // The renderer's own files: one plain name inside its folder, nothing above or beside it.
    static const QRegularExpression plainName("^/ruffle/([A-Za-z0-9_][A-Za-z0-9_.-]*)$");
    const QRegularExpressionMatch m = plainName.match(path);
    if (m.hasMatch() && !m.captured(1).contains("..")) {
        const QString file = webFolder + QLatin1Char('/') + m.captured(1);
        const QFileInfo info(file);
        if (info.isFile() && !info.isSymLink()) {
            auto* f = new QFile(file, job);
            if (f->open(QIODevice::ReadOnly)) {
                job->reply(MimeOf(file), f);
                return;
            }
        }
    }
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
}
