#pragma once
// Names of files a movie may load, found in its code: the strings of ActionScript 1 and 2
// (action constant pools, pushed strings, getURL targets, in the main timeline, in sprites and
// in init actions) and the string constants of ActionScript 3 code. A name counts when its path
// ends in one of the endings movies load (".swf", ".xml", ".txt", ".jpg", ".jpeg", ".png",
// ".gif", ".mp3", ".flv", ".json"); it is returned as written, relative or absolute, each once.

#include <QStringList>

#include "player/SwfMovie.h"

class SwfNames {
public:
    static constexpr int kMaxNames = 500;
    static QStringList Find(const SwfMovie& movie);
    // Reads the file first; an empty list for a file that is no movie.
    static QStringList FindInFile(const QString& path);
    static bool LoadableName(const QString& text);
};
