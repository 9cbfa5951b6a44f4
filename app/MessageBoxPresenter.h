#pragma once

#include "PackageMoveSession.h"

#include <QMessageBox>

namespace korvo {

// A move session's boxes as message boxes of `parent`.
inline PackageMoveSession::Presenter messageBoxPresenter(QWidget* parent)
{
    PackageMoveSession::Presenter presenter;
    presenter.inform = [parent](const QString& title, const QString& text) {
        QMessageBox::information(parent, title, text, QMessageBox::Ok);
    };
    presenter.warn = [parent](const QString& title, const QString& text) {
        QMessageBox::warning(parent, title, text, QMessageBox::Ok);
    };
    presenter.ask = [parent](const QString& title, const QString& text) {
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               == QMessageBox::Yes;
    };
    return presenter;
}

} // namespace korvo
