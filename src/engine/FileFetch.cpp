#include "engine/FileFetch.h"

#include <QUrl>

#include "engine/HttpConnection.h"
#include "engine/HttpHead.h"
#include "engine/HttpRequest.h"
#include "engine/ReferrerRule.h"
#include "engine/UrlParts.h"
#include "engine/UrlResolve.h"

FileFetch::FileFetch(QObject* parent) : QObject(parent) {
    idle.setSingleShot(true);
    connect(&idle, &QTimer::timeout, this, [this] {
        if (!conn) return;
        const qint64 limit = qint64(request.TimeoutSeconds) * 1000;
        if (conn->IdleMs() < limit) {
            idle.start(int(limit - conn->IdleMs()));
            return;
        }
        Finish(false,
               QStringLiteral("nothing received for %1 seconds").arg(request.TimeoutSeconds));
    });
}

FileFetch::~FileFetch() {
    Drop();
}

bool FileFetch::SameOrigin(const QString& a, const QString& b) {
    UrlParts x, y;
    if (!x.Split(a, UrlParts::EngineRules()) &&
        !x.Split(a + QLatin1Char('/'), UrlParts::EngineRules()))
        return false;
    if (!y.Split(b, UrlParts::EngineRules()) &&
        !y.Split(b + QLatin1Char('/'), UrlParts::EngineRules()))
        return false;
    return x.Scheme.compare(y.Scheme, Qt::CaseInsensitive) == 0 &&
           x.Host.compare(y.Host, Qt::CaseInsensitive) == 0 && x.Port == y.Port;
}

void FileFetch::Start(const Request& r) {
    request = r;
    redirects = 0;
    finished = false;
    Open(r.Address);
}

void FileFetch::Open(const QString& address) {
    Drop();
    current = address;
    UrlParts parts;
    if (!parts.Split(address, UrlParts::EngineRules())) {
        Finish(false, QStringLiteral("not an address that can be fetched"));
        return;
    }
    inBody = false;
    length = -1;
    status = 0;
    body.clear();
    conn = new HttpConnection(this);
    HttpConnection* c = conn;
    connect(c, &HttpConnection::Ready, this, [this, c, parts] {
        if (c != conn) return;
        HttpRequest req;
        req.Target = parts.Target(request.UseProxy);
        req.Host = parts.Authority;
        req.UserAgent = request.UserAgent;
        const bool login = request.UseLogin && SameOrigin(current, request.LoginAddress);
        const QString referrer =
            request.Referrer.isEmpty() ? QString() : ReferrerRule::For(request.Referrer, current);
        req.ExtraLines =
            HttpRequest::RefererAndLogin(referrer, login, request.User, request.Password);
        c->Send(req.Bytes());
    });
    connect(c, &HttpConnection::HeadArrived, this, &FileFetch::OnHead);
    connect(c, &HttpConnection::Data, this, &FileFetch::OnData);
    connect(c, &HttpConnection::ChunksEnded, this, [this] { Finish(true, QString()); });
    connect(c, &HttpConnection::PeerClosed, this, [this] {
        if (inBody && length < 0 && !conn->IsChunked())
            Finish(true, QString());
        else
            Finish(false, QStringLiteral("the server closed the connection early"));
    });
    connect(c, &HttpConnection::Failed, this,
            [this](const Failure& failure) { Finish(false, failure.text); });
    connect(c, &HttpConnection::Refused, this,
            [this](const QString& reason) { Finish(false, reason); });
    idle.start(request.TimeoutSeconds * 1000);
    c->Open(parts.Host, parts.Port, parts.Secure, request.UseProxy, request.ProxyHost,
            request.ProxyPort);
}

void FileFetch::OnHead(const QByteArray& headBytes, const QByteArray& rest) {
    const QString head = QString::fromLatin1(headBytes);
    status = HttpHead::StatusCode(head);
    if (status >= 300 && status < 400 && status != 304) {
        const QString location = HttpHead::Utf8OrAsRead(HttpHead::Location(head));
        const QString next = UrlResolve::Resolve(location, current, UrlResolve::BrowserRules());
        if (next.isEmpty()) {
            Finish(false, QStringLiteral("a redirect without a usable address"));
        } else if (++redirects > kMaxRedirects) {
            Finish(false, QStringLiteral("more than %1 redirects").arg(kMaxRedirects));
        } else {
            Open(next);
        }
        return;
    }
    if (status != 200) {
        Finish(false, status ? HttpHead::StatusLine(head) : QStringLiteral("no answer"));
        return;
    }
    length = HttpHead::StrictLength(head);
    if (length == -2) {
        Finish(false, QStringLiteral("an unreadable Content-Length"));
        return;
    }
    if (length > request.Limit) {
        Finish(false, QStringLiteral("larger than %1 bytes").arg(request.Limit));
        return;
    }
    inBody = true;
    HttpConnection* c = conn;
    c->SetChunked(HttpHead::Value(head, QStringLiteral("Transfer-Encoding"))
                      .contains(QLatin1String("chunked"), Qt::CaseInsensitive));
    c->StartBody(rest.constData(), rest.size());
    if (c == conn && !finished && length == 0) Finish(true, QString());
}

void FileFetch::OnData(const char* data, qint64 size) {
    if (finished || !conn) return;
    body.append(data, size);
    if (body.size() > request.Limit) {
        Finish(false, QStringLiteral("larger than %1 bytes").arg(request.Limit));
        return;
    }
    if (length >= 0 && body.size() >= length) {
        body.truncate(length);
        Finish(true, QString());
    }
}

void FileFetch::Drop() {
    idle.stop();
    if (!conn) return;
    HttpConnection* c = conn;
    conn = nullptr;
    c->disconnect(this);
    c->Abort();
    c->deleteLater();
}

void FileFetch::Finish(bool ok, const QString& failure) {
    if (finished) return;
    finished = true;
    Drop();
    Result result;
    result.Ok = ok;
    result.Status = status;
    result.Address = current;
    result.Failure = failure;
    if (ok) result.Bytes = body;
    body.clear();
    emit Done(result);
}
