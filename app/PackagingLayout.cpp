#include "PackagingLayout.h"

#include "ImageFormat.h"
#include "WidgetFit.h"
#include "ui_PackagingDialog.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTextBrowser>
#include <QTreeWidget>

namespace korvo::PackagingLayout {

namespace {

// The image check box sits beside the second option, right of its text;
// it is hidden where this build cannot write images.
void placeImageCheckBox(Ui::PackagingDialog& form)
{
    QCheckBox* image = form.checkBoxImage;
    if (!ImageFormats::available()) {
        image->hide();
        image->setChecked(false);
        return;
    }
    const QCheckBox* explorer = form.checkBoxOpenExplorer;
    const int left = qMax(image->x(), explorer->x() + explorer->sizeHint().width() + 10);
    image->setGeometry(left, image->y(), form.groupBox->width() - 10 - left, image->height());
    image->setToolTip(image->sizeHint().width() > image->width() ? image->text() : QString());
}

// The size editor's button beside the preset list keeps its right edge and
// takes from the list what its text lacks.
void fitEditButton(Ui::PackagingDialog& form)
{
    QPushButton* edit = form.pushButtonOrderEdit;
    const QStyle* style = edit->style();
    const int needed = edit->fontMetrics().horizontalAdvance(edit->text())
                       + 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, edit)
                              + style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit));
    const int lacking = needed - edit->width();
    if (lacking <= 0)
        return;
    edit->setGeometry(edit->x() - lacking, edit->y(), edit->width() + lacking, edit->height());
    for (QWidget* field : {static_cast<QWidget*>(form.comboBoxOrder), static_cast<QWidget*>(form.labelOrderSize)})
        field->resize(qMin(field->width(), edit->x() - 9 - field->x()), field->height());
}

} // namespace

void fitPackageColumns(Ui::PackagingDialog& form)
{
    // Package rows unfold to their items, and the row of the items left
    // out, below them, shows its items unfolded. The number column is as narrow as its texts and the two size columns share
    // the rest of the width, also when a scroll bar takes some of it. A size
    // text too wide for its column is drawn as its size alone, without the
    // byte count, and is whole in its tooltip (FittedTextDelegate).
    QTreeWidget* tree = form.treeWidgetPackage;
    // Rows of one line each: the tree need not measure every row of a long
    // list to lay it out, which kept the window from answering for seconds.
    tree->setUniformRowHeights(true);
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    auto* sizes = new FittedTextDelegate(tree);
    tree->setItemDelegateForColumn(1, sizes);
    tree->setItemDelegateForColumn(2, sizes);
}

void fitTextsToFont(Ui::PackagingDialog& form)
{
    // The labels before the combo boxes take the room their texts need; the
    // combo boxes, and the split option below them, then start further right.
    fitLabelColumn({form.label_2, form.label, form.label_3},
                   {form.comboBoxOrder, form.labelOrderSize, form.comboBoxLabel, form.comboBoxSort, form.checkBoxSplit});
    growToTextHeight(form.checkBoxSplit);
    // The pack button may take the margin to its left, and the note beside
    // it gives what the button still lacks, up to half its width: the note
    // grows taller below for the lines it needs then.
    QPushButton* pack = form.pushButtonPack;
    QTextBrowser* note = form.textBrowser;
    if (pack->sizeHint().width() > pack->width()) {
        const int shift = qBound(0, pack->sizeHint().width() - (note->x() - 4 - 10), note->width() / 2);
        note->setGeometry(note->x() + shift, note->y(), note->width() - shift, note->height());
        pack->move(10, pack->y());
        widenToText(pack, note->x() - 4);
    }
    // The note shows all its lines: where the font needs more lines or taller
    // ones than the form has room for, the note, and the dialog with it, grow
    // by what is missing, and what is below moves down.
    growToDocument(note);
    widenToText(form.pushButtonMove, form.pushButtonAllCheck->x() - 10);
    widenToText(form.checkBoxSave, form.groupBox->width() - 10);
    widenToText(form.checkBoxOpenExplorer, form.groupBox->width() - 10);
    placeImageCheckBox(form);
    fitEditButton(form);
}

// The progress bar sits between the move button, which may have grown to
// its text, and the check buttons.
void placeMoveProgress(Ui::PackagingDialog& form)
{
    QProgressBar* bar = form.progressBarMove;
    const int left = form.pushButtonMove->geometry().right() + 10;
    const int right = form.pushButtonAllCheck->x() - 10;
    bar->setGeometry(left, bar->y(), qMax(0, right - left), bar->height());
    bar->hide();
}

} // namespace korvo::PackagingLayout
