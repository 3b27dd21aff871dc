#pragma once
// The OK and Cancel buttons every dialog of the program ends with: named cmdOk and cmdCancel,
// right-aligned in one row, Cancel rejecting the dialog. The caller connects OK.

class QDialog;
class QHBoxLayout;
class QPushButton;

class DialogButtons {
public:
    // Which button answers the Enter key.
    enum Default { OkDefault, CancelDefault, NoDefault };

    DialogButtons(QDialog* dialog, Default defaultButton = OkDefault);

    QPushButton* Ok() const { return ok; }
    QPushButton* Cancel() const { return cancel; }
    // The row to add to the dialog's layout.
    QHBoxLayout* Row() const { return row; }

private:
    QPushButton* ok;
    QPushButton* cancel;
    QHBoxLayout* row;
};
