#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

// Reads and dismisses the modal message boxes a window shows, as an operator pressing OK.
class MessageCatcher : public QObject {
    Q_OBJECT

public:
    MessageCatcher();
    QStringList texts;

private:
    void dismiss();
    QTimer poll_;
};
