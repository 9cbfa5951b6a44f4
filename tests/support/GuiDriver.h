#pragma once

#include <functional>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace korvo::test {

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
