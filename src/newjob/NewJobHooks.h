#pragma once
// What the new-job dialog needs from the main window. Every hook may be left empty; the dialog
// then skips that step (tests set only what they look at).

#include <QString>
#include <QStringList>
#include <functional>

struct NewJobHooks {
    // The job manager's add step for a new download job (index into Jobs).
    std::function<void(int jobIndex)> AddToNowDownList;
    // The search list's add-and-start step for a new search job (index into Searches).
    std::function<void(int searchIndex)> AddToSearchList;
    // Opens the options dialog modally (OptionPage is already set to the "Proxy" tab) and
    // returns when it is closed; the proxy boxes are refilled afterwards.
    std::function<void()> openOptions;
    // Opens the new-category dialog (modal; it may return before the dialog closes); the
    // category boxes follow the category tree by themselves. When empty, frmClassNew opens
    // below the category chosen in the box and its new category becomes that box's choice.
    std::function<void()> openNewCategory;
    // Reads the links of a web page (mode 4) and calls done once with them, or with an error
    // text. When empty, the page analyser's own link reader is used.
    using LinksDone = std::function<void(const QStringList& links, const QString& error)>;
    std::function<void(const QString& pageUrl, LinksDone done)> fetchPageLinks;
};
