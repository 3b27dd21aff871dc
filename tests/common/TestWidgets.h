#pragma once
// Finding the widgets a test drives: named children and shown windows.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTreeWidget>
#include <QWidget>

#include "common/TestEnv.h"

namespace TestEnv {

// The child of parent with this object name; a missing one fails the test.
template <typename T>
T* Child(const QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// The visible window (a dialog or message box included) with this object name, or nullptr.
template <typename T = QWidget>
T* Shown(const QString& name) {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == name && top->isVisible()) return qobject_cast<T*>(top);
    return nullptr;
}

// Waits up to ms for the message box with this object name to show; nullptr if it did not.
inline QMessageBox* ShownBox(const QString& name, int ms = 5000) {
    QMessageBox* box = nullptr;
    WaitFor([&] { return (box = Shown<QMessageBox>(name)) != nullptr; }, ms);
    return box;
}

// A mouse click on the row of its list, as the user makes it.
inline void ClickRow(QTreeWidgetItem* row, Qt::KeyboardModifiers mod = Qt::NoModifier) {
    ASSERT_TRUE(row);
    QTreeWidget* list = row->treeWidget();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, mod, list->visualItemRect(row).center());
}

}  // namespace TestEnv
