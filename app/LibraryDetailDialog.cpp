#include "LibraryDetailDialog.h"

#include "WidgetFit.h"
#include "ui_LibraryDetailDialog.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QtGlobal>

namespace korvo {

LibraryDetailDialog::LibraryDetailDialog(QWidget* parent) : QDialog(parent), ui(new Ui::LibraryDetailDialog)
{
    ui->setupUi(this);
    setFixedSize(size());
}

LibraryDetailDialog::~LibraryDetailDialog() = default;

void LibraryDetailDialog::updateText()
{
    const LibraryInfo info = libraryInfo(libraryIndex);
    // One pass over the template: a value that happens to hold "%2" is not
    // substituted again.
    const QString text =
        QStringLiteral("<html><body><h1>%1</h1><br><br>Version: %2<br><br>Home: <a href=\"%3\">%3</a><br><br>"
                       "License: %4<br><br>License Url: <a href=\"%5\">%5</a><br><br>%6</body></html>")
            .arg(info.name.toHtmlEscaped(), info.version.toHtmlEscaped(), info.homePage.toHtmlEscaped(),
                 info.licence.toHtmlEscaped(), info.licenceUrl.toHtmlEscaped(), info.copyright.toHtmlEscaped());
    ui->textBrowser->setHtml(text);
    fitTextHeight();
}

void LibraryDetailDialog::fitTextHeight()
{
    // The whole text shows without scrolling: where the font needs more room
    // than the form has, the text and the dialog grow by what is missing and
    // the buttons move down, as far as the screen has room.
    int room = 0;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        room = screen->availableGeometry().height() - height() - style()->pixelMetric(QStyle::PM_TitleBarHeight);
    growToDocument(ui->textBrowser, qMax(0, room));
}

} // namespace korvo
