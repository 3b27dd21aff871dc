#include "pages/clsPageLinks.h"

#include <QSet>

#include "pages/clsDownHtml.h"

clsPageLinks::clsPageLinks(QObject* parent) : QObject(parent) {
    analyser = new clsDownHtml(this);
    analyser->CollectOnly = true;
    connect(analyser, &clsDownHtml::UpdataState, this, &clsPageLinks::OnState);
    connect(analyser, &clsDownHtml::DownComplete, this, &clsPageLinks::OnDownComplete);
    connect(analyser, &clsDownHtml::FenXiComplete, this, &clsPageLinks::OnFenXiComplete);
}

clsPageLinks::~clsPageLinks() = default;

bool clsPageLinks::Fetch(const QString& pageUrl, bool useProxy, const QString& proxyHost,
                         quint16 proxyPort) {
    if (analyser->Analysing()) {
        // An analysis cannot be cut short; start over with a fresh analyser.
        analyser->deleteLater();
        analyser = new clsDownHtml(this);
        analyser->CollectOnly = true;
        connect(analyser, &clsDownHtml::UpdataState, this, &clsPageLinks::OnState);
        connect(analyser, &clsDownHtml::DownComplete, this, &clsPageLinks::OnDownComplete);
        connect(analyser, &clsDownHtml::FenXiComplete, this, &clsPageLinks::OnFenXiComplete);
    }
    Cancel();
    SearchRecord record;
    record.PageUrl = pageUrl;
    record.StartUrl = pageUrl;
    record.Depth = 1;
    record.UseProxy = VbBool(useProxy);
    record.ProxyHost = proxyHost;
    record.ProxyPort = proxyPort;
    if (!analyser->CreateFrom(record)) return false;
    analyser->Collected.clear();
    busy = true;
    failed = false;
    failure.clear();
    analyser->Start();
    return true;
}

void clsPageLinks::Cancel() {
    busy = false;
    analyser->Pause();
    analyser->InUse = false;
}

void clsPageLinks::OnState(const QString& kind, const QString& detail) {
    if (kind == QStringLiteral("RequestError") || kind == QStringLiteral("Error")) {
        failed = true;
        failure = detail;
    }
}

void clsPageLinks::OnDownComplete() {
    if (!busy) return;
    if (failed) {
        busy = false;
        analyser->InUse = false;
        emit FetchFailed(failure);
        return;
    }
    analyser->Fenxi();
}

void clsPageLinks::OnFenXiComplete() {
    analyser->InUse = false;
    if (!busy) return;
    busy = false;
    QStringList links;
    QSet<QString> seen;
    for (const QString& url : analyser->Collected)
        if (!seen.contains(url)) {
            seen.insert(url);
            links << url;
        }
    emit LinksReady(links);
}
