#include "player/flash1.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QRandomGenerator>
#include <QStackedLayout>
#include <QTimer>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>
#include <algorithm>
#include <cmath>

#include "player/PlayerPage.h"
#include "player/PlayerRequestGuard.h"
#include "player/PlayerSchemeHandler.h"
#include "player/SwfReader.h"
#include "player/SwfRewriter.h"

namespace {

QString& WebFolderRef() {
    static QString folder;
    return folder;
}

const char* kNoMovie = "No movie loaded";

// Chromium refuses to start its sandbox as root and then ends the whole process; the player must
// say so instead. Without the sandbox (asked for explicitly) it can start.
bool SandboxRefusesRoot() {
    if (geteuid() != 0) return false;
    if (qEnvironmentVariableIntValue("QTWEBENGINE_DISABLE_SANDBOX") != 0) return false;
    return !qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains("--no-sandbox");
}

}  // namespace

flash1::flash1(QWidget* parent) : QWidget(parent) {
    setObjectName("flash1");
    setMinimumSize(200, 120);
    nonce = QString::number(QRandomGenerator::system()->generate64(), 16);
    stack = new QStackedLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    message = new QLabel(kNoMovie);
    message->setObjectName("flash1_Message");
    message->setAlignment(Qt::AlignCenter);
    message->setWordWrap(true);
    message->setStyleSheet("QLabel { background: #1e2228; color: #9aa4ad; padding: 8px; }");
    stack->addWidget(message);
    wrapTimer = new QTimer(this);
    wrapTimer->setSingleShot(true);
    connect(wrapTimer, &QTimer::timeout, this, [this] {
        // The sought copy reached its end: its next pass is the movie's, from frame 1.
        if (servedFrom <= 1 || !wantPlaying || moviePath.isEmpty()) return;
        served = movie.data;
        servedFrom = 1;
        clock.Stop();
        clock.SetFrame(1);
        SendMovie();
    });
}

flash1::~flash1() {
    // The page goes before its profile, the profile before the scheme handler it uses.
    delete view;
    delete page;
    delete profile;
}

void flash1::RegisterScheme() {
    if (QWebEngineUrlScheme::schemeByName(PlayerSchemeHandler::kScheme).name() ==
        PlayerSchemeHandler::kScheme)
        return;
    QWebEngineUrlScheme scheme(PlayerSchemeHandler::kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
    // The web view shares its drawing context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void flash1::SetWebFolder(const QString& folder) {
    WebFolderRef() = folder;
}

QString flash1::WebFolder() {
    if (!WebFolderRef().isEmpty()) return WebFolderRef();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ruffle");
}

void flash1::SetFileSource(MovieFileSource source) {
    fileSource = std::move(source);
    if (handler) handler->SetFileSource(fileSource);
}

bool flash1::LoadMovie(const QString& path, const QString& address) {
    if (path.isEmpty()) {
        moviePath.clear();
        movieAddress.clear();
        movie = SwfMovie();
        served.clear();
        token = 0;
        pending = false;
        showing = false;
        wantPlaying = false;
        clock.Reset(0, 0);
        if (handler) handler->SetMovie(0, QByteArray());
        RunScript("qvUnload()");
        ShowMessage(kNoMovie);
        return true;
    }
    SwfMovie next;
    QString error;
    if (!SwfReader::ReadFile(path, next, error)) {
        lastError = error;
        return false;
    }
    lastError.clear();
    movie = std::move(next);
    moviePath = path;
    movieAddress = address;
    served = movie.data;
    servedFrom = 1;
    wrapTimer->stop();
    clock.Reset(movie.frameRate, movie.frameCount);
    clock.SetTimeline(!movie.scriptDriven, movie.stopFrames);
    wantPlaying = true;
    SendMovie();
    return true;
}

void flash1::Play() {
    if (moviePath.isEmpty()) return;
    wantPlaying = true;
    if (showing) {
        StartClock();
        RunScript("qvPlay()");
    } else if (pageState == PageState::Failed) {
        SendMovie();
    }
}

void flash1::StopPlay() {
    wantPlaying = false;
    clock.Stop();
    wrapTimer->stop();
    RunScript("qvPause()");
}

void flash1::StartClock() {
    clock.Start();
    wrapTimer->stop();
    if (servedFrom <= 1 || movie.scriptDriven || movie.frameRate <= 0) return;
    const int current = clock.Frame();
    if (clock.HaltFrom(current) > 0) return;  // the copy halts before its end
    const double frames = movie.frameCount - current + 1;
    wrapTimer->start(int(std::ceil(frames * 1000.0 / movie.frameRate)));
}

void flash1::GotoFrame(int n, bool play) {
    if (moviePath.isEmpty()) return;
    n = std::clamp(n, 1, std::max(1, movie.frameCount));
    served = n > 1 ? SwfRewriter::FoldFramesBefore(movie, n) : movie.data;
    servedFrom = n;
    wrapTimer->stop();
    clock.Stop();
    clock.SetFrame(n);
    wantPlaying = play;
    SendMovie();
}

int flash1::CurrentFrame() const {
    return clock.Frame();
}

int flash1::TotalFrames() const {
    return moviePath.isEmpty() ? 0 : movie.frameCount;
}

QString flash1::Message() const {
    return stack->currentWidget() == message ? message->text() : QString();
}

void flash1::EnsurePage() {
    if (pageState == PageState::Ready || pageState == PageState::Loading) return;
    if (SandboxRefusesRoot()) {
        Fail("The movie player cannot start: its web sandbox does not run for the root user.");
        return;
    }
    if (!QFileInfo(WebFolder() + QStringLiteral("/ruffle.js")).isFile()) {
        Fail("The movie player cannot start: its files are missing from " + WebFolder() + ".");
        return;
    }
    if (!view) {
        profile = new QWebEngineProfile(this);  // off the record: nothing is kept on disk
        profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        handler = new PlayerSchemeHandler(WebFolder(), nonce, this);
        handler->SetFileSource(fileSource);
        profile->installUrlSchemeHandler(PlayerSchemeHandler::kScheme, handler);
        guard = new PlayerRequestGuard(this);
        profile->setUrlRequestInterceptor(guard);

        page = new PlayerPage(profile, nonce, nullptr);
        page->setBackgroundColor(QColor(0x1e, 0x22, 0x28));
        QWebEngineSettings* s = page->settings();
        s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
        s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
        connect(page, &PlayerPage::PageMessage, this, &flash1::OnPageMessage);
        connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
            if (!ok && pageState == PageState::Loading)
                Fail("The movie player cannot start: its page did not load.");
        });
        connect(page, &QWebEnginePage::renderProcessTerminated, this,
                [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                    if (status == QWebEnginePage::NormalTerminationStatus) return;
                    pageState = PageState::Failed;
                    Fail(QStringLiteral("The movie could not be played: the player stopped "
                                        "(exit code %1).")
                             .arg(code));
                });

        view = new QWebEngineView(this);
        view->setObjectName("flash1_View");
        view->setContextMenuPolicy(Qt::NoContextMenu);
        view->setPage(page);
        stack->addWidget(view);
    }
    pageState = PageState::Loading;
    page->load(QUrl(PlayerSchemeHandler::PageUrl()));
}

void flash1::SendMovie() {
    showing = false;
    clock.Stop();
    if (pageState != PageState::Ready) {
        pending = true;
        EnsurePage();
        return;
    }
    pending = false;
    static quint64 lastToken = 0;
    token = ++lastToken;
    handler->SetMovie(token, served);
    stack->setCurrentWidget(view);
    // The movie's own folder on its site is the base of what it loads (a JSON string: the
    // address goes into the script as data).
    const QUrl site(movieAddress);
    const bool web = site.isValid() && (site.scheme() == QLatin1String("http") ||
                                        site.scheme() == QLatin1String("https"));
    const QByteArray base =
        web ? QJsonDocument(QJsonArray{site.adjusted(QUrl::RemoveFilename | QUrl::RemoveQuery |
                                                     QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                                           .toString(QUrl::FullyEncoded)})
                  .toJson(QJsonDocument::Compact)
            : QByteArray("[null]");
    RunScript(QStringLiteral("qvLoad(\"%1\", %2, %3[0])")
                  .arg(PlayerSchemeHandler::MovieUrl(token))
                  .arg(token)
                  .arg(QString::fromUtf8(base)));
}

void flash1::RunScript(const QString& code) {
    if (page && pageState == PageState::Ready) page->runJavaScript(code);
}

void flash1::OnPageMessage(const QString& text) {
    const QString word = text.section(' ', 0, 0);
    const quint64 about = text.section(' ', 1, 1).toULongLong();
    if (word == QLatin1String("ready")) {
        if (pageState != PageState::Loading) return;
        pageState = PageState::Ready;
        if (pending) SendMovie();
    } else if (word == QLatin1String("loaded")) {
        if (about == 0 || about != token) return;
        showing = true;
        stack->setCurrentWidget(view);
        if (wantPlaying)
            StartClock();
        else
            RunScript("qvPause()");
        emit MovieShown();
    } else if (word == QLatin1String("error")) {
        if (about != 0 && about != token) return;
        if (about == 0) pageState = PageState::Failed;
        Fail("The movie could not be played: " + text.section(' ', 2));
    }
}

void flash1::Fail(const QString& why) {
    lastError = why;
    showing = false;
    pending = false;
    wantPlaying = false;
    clock.Stop();
    wrapTimer->stop();
    if (pageState == PageState::Loading) pageState = PageState::Failed;
    ShowMessage(why);
    emit PlayFailed(why);
}

void flash1::ShowMessage(const QString& text) {
    message->setText(text);
    stack->setCurrentWidget(message);
}
