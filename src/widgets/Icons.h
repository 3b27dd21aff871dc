#pragma once
// The program's one icon table: icons by the image-list keys the program uses ("Start", "Pause",
// "Waitfor", "Error", "Ok", "Info1", "Request", "Response", "PicChart", tree images "1".."7",
// "History", "History1", tool bar keys such as "AddNewJob" or "FullS"), and the colours and
// icons of the connections in the block picture and the part tree.
//
// For a key, our own small picture is taken first and the desktop's icon theme may replace it;
// a key with neither is drawn when it is a state of the job and log lists (so the lists never
// show the same placeholder for every state), and gets the program's icon otherwise. Every key
// always gives an icon.

#include <QColor>
#include <QIcon>
#include <QString>

class Icons {
public:
    static QIcon Get(const QString& key);

    // The colour that stands for connection 1..10 (grey for any other number).
    static QColor PartColor(int part);

    // A part node's icon: the connection symbol in that connection's colour.
    static QIcon PartIcon(int part);
};
