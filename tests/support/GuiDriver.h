#pragma once

#include <QWidget>

#include <functional>

class QTreeWidget;
class QTreeWidgetItem;

namespace korvo::test {

// The dialog's child of the given class and object name; stops the test
// program when it is missing, since every later step would depend on it.
template <typename T>
T* child(QWidget* dialog, const char* name)
{
    T* widget = dialog->findChild<T*>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

// Clicks the check box of a tree row's column as a user would: on the
// indicator itself, where the view toggles it.
void clickCheckBox(QTreeWidget* tree, QTreeWidgetItem* item, int column = 0);
// Clicks the middle of a row's cell.
void clickCell(QTreeWidget* tree, QTreeWidgetItem* item, int column);

// Once a modal window of the given class becomes the active modal widget,
// calls `handle` with it (once). Runs from the event loop, so it also reaches
// dialogs opened by exec() after this call.
void whenModal(const char* className, const std::function<void(QWidget*)>& handle);

} // namespace korvo::test
