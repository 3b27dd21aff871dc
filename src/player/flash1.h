#pragma once
// The movie player control: loads a Flash movie, plays, stops keeping the frame, goes to a frame,
// and tells the current and total frames. Movies are checked and measured by our own SWF reader
// and drawn by the web renderer in a web view, made the first time a movie is loaded. The frame
// position is our own clock at the movie's rate; going to a frame loads a copy of the movie whose
// first frame is that frame.

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>

#include "player/FrameClock.h"
#include "player/SwfMovie.h"

class PlayerPage;
class PlayerRequestGuard;
class PlayerSchemeHandler;
class QLabel;
class QTimer;
class QStackedLayout;
class QWebEngineProfile;
class QWebEngineView;

// Answers a file the movie asks for: found with its bytes, or not found.
using MovieFileAnswer = std::function<void(bool found, const QByteArray& bytes)>;
// Gives the file at an http or https address a movie loads; answers at once or later.
using MovieFileSource = std::function<void(const QString& address, MovieFileAnswer answer)>;

class flash1 : public QWidget {
    Q_OBJECT
public:
    explicit flash1(QWidget* parent = nullptr);
    ~flash1() override;

    // The player's URL scheme must be known before the application object is made.
    static void RegisterScheme();
    // Where the renderer's files are; the folder "ruffle" beside the program unless set.
    static void SetWebFolder(const QString& folder);
    static QString WebFolder();

    // Loads the movie at `path` and plays it from frame 1. An empty path unloads the movie and
    // clears the picture. A file that is not a sound movie is not loaded (the movie playing goes
    // on) and false is returned with the reason in LastError(). `address` is where the movie came
    // from: the files it loads by relative addresses are asked of the file source as addresses
    // against it. Without a source (or an address) the movie loads nothing.
    bool LoadMovie(const QString& path, const QString& address = QString());
    void SetFileSource(MovieFileSource source);
    void Play();
    void StopPlay();  // keeps the frame
    // Shows frame n (1 .. total) and plays on from it; with play false it stays on that frame.
    void GotoFrame(int n, bool play = true);
    int CurrentFrame() const;
    int TotalFrames() const;

    QString Movie() const { return moviePath; }
    bool IsPlaying() const { return wantPlaying; }
    // The movie moves its own timeline by script: its frame position is the timeline's.
    bool ScriptDriven() const { return movie.scriptDriven; }
    const SwfMovie& MovieInfo() const { return movie; }
    QString LastError() const { return lastError; }
    // The text shown in place of a picture ("No movie loaded", why a movie could not play).
    QString Message() const;
    // The renderer has the current movie on screen.
    bool Showing() const { return showing; }

signals:
    // The renderer shows the movie just loaded or sought to.
    void MovieShown();
    // The renderer could not start or could not play the movie.
    void PlayFailed(const QString& why);

private:
    enum class PageState { None, Loading, Ready, Failed };

    void EnsurePage();
    void SendMovie();
    void RunScript(const QString& code);
    void OnPageMessage(const QString& message);
    void Fail(const QString& why);
    void ShowMessage(const QString& text);

    QStackedLayout* stack = nullptr;
    QLabel* message = nullptr;
    QWebEngineProfile* profile = nullptr;
    PlayerSchemeHandler* handler = nullptr;
    PlayerRequestGuard* guard = nullptr;
    PlayerPage* page = nullptr;
    QWebEngineView* view = nullptr;
    QString nonce;
    PageState pageState = PageState::None;

    QString moviePath;
    QString movieAddress;
    MovieFileSource fileSource;
    SwfMovie movie;
    QByteArray served;     // the bytes of the movie or of its copy for a sought frame
    quint64 token = 0;     // the renderer's current load; 0 for none
    bool pending = false;  // a load waits for the page
    bool showing = false;
    bool wantPlaying = false;
    int servedFrom = 1;  // the frame the served copy starts with
    // A copy that starts at a sought frame would start its next pass there: the movie itself is
    // loaded again when the timeline wraps.
    QTimer* wrapTimer = nullptr;
    void StartClock();
    FrameClock clock;
    QString lastError;
};
