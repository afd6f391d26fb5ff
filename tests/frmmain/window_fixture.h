#pragma once

#include "frmmain/frmmain.h"
#include "message_catcher.h"
#include "pty_pair.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

// A window started in a folder of its own, which holds its com.txt and COMn links.
struct WindowFixture {
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<frmmain> window;
    std::unique_ptr<MessageCatcher> messages;

    WindowFixture() { QDir::setCurrent(dir.path()); }
    ~WindowFixture()
    {
        window.reset();
        QDir::setCurrent(previousDir);
    }

    void writeSettings(const QByteArray& content) const
    {
        QFile file(dir.filePath(QStringLiteral("com.txt")));
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }

    QByteArray settings() const
    {
        QFile file(dir.filePath(QStringLiteral("com.txt")));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    frmmain& start()
    {
        window = std::make_unique<frmmain>();
        messages = std::make_unique<MessageCatcher>();
        return *window;
    }

    // Starts the window with COM2, the device's pty, chosen and closed.
    bool startOn(const PtyPair& device)
    {
        if (!device.isValid() || !device.linkAs(dir.path(), 2))
            return false;
        writeSettings("2\r\n9600\r\n");
        start();
        return true;
    }

    // The same, with the port then opened as the operator does.
    bool openOn(const PtyPair& device)
    {
        if (!startOn(device))
            return false;
        button("Command1")->click();
        return button("Command1")->text() == QStringLiteral("关闭串口")
            && messages->texts.isEmpty();
    }

    template <typename T> T* get(const char* name) const
    {
        return window->findChild<T*>(QString::fromUtf8(name));
    }
    QComboBox* combo(const char* name) const { return get<QComboBox>(name); }
    QLineEdit* field(const char* name) const { return get<QLineEdit>(name); }
    QPushButton* button(const char* name) const { return get<QPushButton>(name); }

    // The operator picks a list entry, as a click in the list does.
    void pick(const char* comboName, const QString& text) const
    {
        QComboBox* c = combo(comboName);
        const int i = c->findText(text);
        c->setCurrentIndex(i);
        emit c->activated(i);
    }
};
