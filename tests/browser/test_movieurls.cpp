// The scanned page's bases and the movie address of each element: root-relative and bare names,
// capitals, "flash" in the HTML, OBJECT movies before EMBED ones, APPLETs and non-movies skipped,
// a movie named by both its OBJECT and the EMBED inside it listed once.

#include <gtest/gtest.h>

#include "browser/MovieUrls.h"

namespace {

PageElement Element(const QString& tag, const QString& movie, const QString& src,
                    const QString& html = QString()) {
    return PageElement{tag, movie, src, QString(), html.isEmpty() ? "<" + tag + ">" : html};
}

TEST(MovieUrls, BasesAndRelativeAddressesOfAPageInAFolder) {
    SetPageBases("http://127.0.0.1:8080/games/page.htm");
    EXPECT_EQ(PageBase, "http://127.0.0.1:8080/games/");
    EXPECT_EQ(SiteRoot, "http://127.0.0.1:8080/");
    EXPECT_EQ(GetMovieUrl(Element("EMBED", "", "/swf/root.swf")),
              "http://127.0.0.1:8080/swf/root.swf");
    EXPECT_EQ(GetMovieUrl(Element("EMBED", "", "bare.swf")),
              "http://127.0.0.1:8080/games/bare.swf");
    // movie comes before src; an absolute address stays as it is, in either scheme.
    EXPECT_EQ(GetMovieUrl(Element("OBJECT", "HTTP://127.0.0.1/A.swf", "other.swf")),
              "HTTP://127.0.0.1/A.swf");
    EXPECT_EQ(GetMovieUrl(Element("OBJECT", "https://127.0.0.1/s.swf", "")),
              "https://127.0.0.1/s.swf");

    // A page that is a folder is its own base; a bare host gets its "/".
    SetPageBases("http://127.0.0.1:8080/games/");
    EXPECT_EQ(PageBase, "http://127.0.0.1:8080/games/");
    // A secure page's host is not cut at the scheme's second "/"; a bare host gets its "/"; a
    // "/" in the query does not move the base.
    SetPageBases("https://127.0.0.1:8443/x/y.php?next=/z/w");
    EXPECT_EQ(SiteRoot, "https://127.0.0.1:8443/");
    EXPECT_EQ(PageBase, "https://127.0.0.1:8443/x/");
    SetPageBases("https://127.0.0.1");
    EXPECT_EQ(SiteRoot, "https://127.0.0.1/");
    EXPECT_EQ(PageBase, "https://127.0.0.1/");
}

TEST(MovieUrls, CapitalsAndFlashInTheHtmlAreMoviesOtherElementsAreNot) {
    SetPageBases("http://127.0.0.1/a/b.html");
    EXPECT_EQ(GetMovieUrl(Element("OBJECT", "BIG.SWF", "")), "http://127.0.0.1/a/BIG.SWF");
    EXPECT_EQ(GetMovieUrl(Element("OBJECT", "play.cgi?id=4", "",
                                  "<object type=\"application/x-shockwave-FLASH\"></object>")),
              "http://127.0.0.1/a/play.cgi?id=4");
    EXPECT_EQ(GetMovieUrl(Element("EMBED", "", "clip.mp4", "<embed src=\"clip.mp4\">")), "");
    EXPECT_EQ(GetMovieUrl(Element("EMBED", "", "", "<embed flash>")), "");
}

TEST(MovieUrls, ObjectMoviesComeBeforeEmbedMoviesAndAppletsAreSkipped) {
    const QList<PageElement> page = {
        Element("EMBED", "", "third.swf"),    Element("APPLET", "", "applet.swf"),
        Element("object", "first.swf", ""),   Element("EMBED", "", "not-a-movie.png"),
        Element("OBJECT", "", "/second.swf"),
    };
    EXPECT_EQ(MoviesOfPage("http://127.0.0.1:81/p/index.html", page),
              QStringList({"http://127.0.0.1:81/p/first.swf", "http://127.0.0.1:81/second.swf",
                           "http://127.0.0.1:81/p/third.swf"}));
    EXPECT_EQ(SiteRoot, "http://127.0.0.1:81/");
    EXPECT_TRUE(IsWebPage("HTTPS://127.0.0.1/"));
    EXPECT_FALSE(IsWebPage("file:///home/user/"));
    EXPECT_FALSE(IsWebPage("chrome://newtab/"));
}

TEST(MovieUrls, AMovieNamedTwiceIsListedOnceAtItsFirstPlace) {
    // The classic markup: an EMBED inside its OBJECT, by another spelling of the same address.
    const QList<PageElement> page = {
        Element("EMBED", "", "solo.swf"),
        Element("OBJECT", "one.swf", ""),
        Element("EMBED", "", "/p/one.swf"),
        Element("OBJECT", "", "http://127.0.0.1:81/p/two.swf"),
        Element("EMBED", "", "../p/./two.swf"),
    };
    EXPECT_EQ(MoviesOfPage("http://127.0.0.1:81/p/index.html", page),
              QStringList({"http://127.0.0.1:81/p/one.swf", "http://127.0.0.1:81/p/two.swf",
                           "http://127.0.0.1:81/p/solo.swf"}));
}

}  // namespace
