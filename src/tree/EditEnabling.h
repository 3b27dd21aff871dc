#pragma once
// Which Edit menu entries (and the toolbar buttons that follow them) are enabled for the view
// the right pane shows, computed from the rows of that view's list.

#include <QList>

struct ListRowState {
    bool selected = false;
    bool running = false;  // the row's job (search or download) is running
};

struct EditEnabling {
    bool moveTo = false;      // "&Move To..."
    bool comment = false;     // "&Comment..."
    bool outputFile = false;  // "&Output File To..."
    bool copyUrl = false;     // "&Copy URL to Clipboard"
    bool deleteJobs = false;  // "&Delete"
    bool openFile = false;    // "Open Downloaded &File"
    bool openDir = false;     // "Open &Downloaded Directory"
    bool operator==(const EditEnabling&) const = default;
};

// view: 1 search list, 2 now-downloading list, 3 category list (others: all disabled).
// rows: the list's rows in order. currentRow: the list's current row (the one the user chose
// last), -1 when there is none; view 2 deletes only when that row is selected and its job is not
// running (without a current row the first selected row counts).
EditEnabling ComputeEditEnabling(int view, const QList<ListRowState>& rows, int currentRow = -1);
