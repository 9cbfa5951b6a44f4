#include "GuiDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTreeWidget>

namespace korvo::test {

namespace {

// Lets the test compute the option a view's delegate paints a cell with.
struct OptionDelegate : QStyledItemDelegate
{
    using QStyledItemDelegate::initStyleOption;
};

QModelIndex indexOf(QTreeWidget* tree, QTreeWidgetItem* item, int column)
{
    return tree->model()->index(tree->indexOfTopLevelItem(item), column);
}

} // namespace

void clickCheckBox(QTreeWidget* tree, QTreeWidgetItem* item, int column)
{
    const QModelIndex index = indexOf(tree, item, column);
    QStyleOptionViewItem option;
    option.initFrom(tree->viewport());
    option.widget = tree;
    option.rect = tree->visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    OptionDelegate().initStyleOption(&option, index);
    const QRect check = tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, check.center());
}

void clickCell(QTreeWidget* tree, QTreeWidgetItem* item, int column)
{
    const QRect rect = tree->visualRect(indexOf(tree, item, column));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

void whenModal(const char* className, const std::function<void(QWidget*)>& handle)
{
    auto* timer = new QTimer(qApp);
    const QByteArray name(className);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, name, handle] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !modal->inherits(name.constData()))
            return;
        timer->stop();
        timer->deleteLater();
        handle(modal);
    });
    timer->start(20);
}

} // namespace korvo::test
