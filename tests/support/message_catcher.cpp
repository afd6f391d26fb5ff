#include "message_catcher.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

MessageCatcher::MessageCatcher()
{
    poll_.setInterval(5);
    connect(&poll_, &QTimer::timeout, this, &MessageCatcher::dismiss);
    poll_.start();
}

void MessageCatcher::dismiss()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    texts << box->text();
    box->button(QMessageBox::Ok)->click();
}
