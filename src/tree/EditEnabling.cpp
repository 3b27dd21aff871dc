#include "tree/EditEnabling.h"

EditEnabling ComputeEditEnabling(int view, const QList<ListRowState>& rows, int currentRow) {
    EditEnabling e;
    if (rows.isEmpty()) return e;
    qsizetype selected = 0;
    for (const ListRowState& r : rows) selected += r.selected ? 1 : 0;
    switch (view) {
        case 1:
            e.copyUrl = selected < 2;
            // A selected idle search job must come before any selected running one.
            for (const ListRowState& r : rows) {
                if (!r.selected) continue;
                e.deleteJobs = !r.running;
                break;
            }
            break;
        case 2: {
            e.copyUrl = selected < 2;
            int row = currentRow >= 0 && currentRow < rows.size() && rows[currentRow].selected
                          ? currentRow
                          : -1;
            for (int i = 0; row < 0 && i < rows.size(); ++i)
                if (rows[i].selected) row = i;
            e.deleteJobs = row >= 0 && !rows[row].running;
            break;
        }
        case 3:
            e.moveTo = e.outputFile = e.deleteJobs = true;
            if (selected < 2) e.comment = e.copyUrl = e.openFile = e.openDir = true;
            break;
        default:
            break;
    }
    return e;
}
