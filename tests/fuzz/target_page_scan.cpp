// A page as a page search analyses it: the OBJECT and EMBED block scans, the pass over today's
// markup and the link scan, run by the analyser's own timer; and the markup pass on its own.

#include <QEventLoop>
#include <QTimer>

#include "fuzz/FuzzSupport.h"
#include "pages/ModernMarkup.h"
#include "pages/PageHttp.h"
#include "pages/clsDownHtml.h"

QV_FUZZ_ENTRY(page_scan) {
    Fuzz::NeedApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    clsDownHtml page;
    page.CollectOnly = true;
    SearchRecord search;
    search.PageUrl = QStringLiteral("http://127.0.0.1:8080/dir/page.html");
    search.Depth = 1;
    QV_FUZZ_CHECK(page.CreateFrom(search));
    page.PageBytes = bytes;
    QEventLoop loop;
    bool done = false;
    QObject::connect(&page, &clsDownHtml::FenXiComplete, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    page.Fenxi();
    if (!done) loop.exec();
    QV_FUZZ_CHECK(done);
    for (const QString& url : page.Collected) QV_FUZZ_CHECK(!url.isEmpty());

    const QString text = QString::fromUtf8(bytes);
    ModernMarkup markup(text, PageHttp::AsciiLower(text),
                        QStringLiteral("http://127.0.0.1/a/b.html"));
    int steps = 0;
    while (markup.Step()) QV_FUZZ_CHECK(++steps <= text.size() + 1);
    for (const QString& movie : markup.Movies()) QV_FUZZ_CHECK(!movie.isEmpty());
    return 0;
}
