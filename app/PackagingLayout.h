#pragma once

namespace Ui {
class PackagingDialog;
}

namespace korvo {

// How the packaging dialog's form fits its texts and its package list to
// the font and the style in use: labels and buttons as wide as their texts
// need, the note as tall as its lines, the size columns sharing the width,
// and the move's progress bar between its buttons.
namespace PackagingLayout {

void fitTextsToFont(Ui::PackagingDialog& form);
void fitPackageColumns(Ui::PackagingDialog& form);
void placeMoveProgress(Ui::PackagingDialog& form);

} // namespace PackagingLayout
} // namespace korvo
