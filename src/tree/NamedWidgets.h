#pragma once
// The small widgets the dialogs are built from, each named for the code and tests that find it:
// line edits, buttons that never take the Enter key, combo boxes that never add typed entries,
// and captions tied to the box they describe.

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class NamedWidgets {
public:
    static QLineEdit* LineEdit(const QString& name, QWidget* parent = nullptr,
                               bool readOnly = false);
    static QPushButton* Button(const QString& text, const QString& name, QWidget* parent = nullptr);
    static QComboBox* Combo(const QString& name, bool editable, QWidget* parent = nullptr);
    // A caption; with a buddy its "&" shortcut moves the focus there.
    static QLabel* Caption(const QString& text, QWidget* buddy = nullptr,
                           QWidget* parent = nullptr);
};
