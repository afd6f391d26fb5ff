#pragma once

#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

// A frame with its caption on the top edge. Drawn by hand: a style sheet would put every
// child widget on Qt's slower style-sheet path.
class Frame : public QGroupBox {
    Q_OBJECT

public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A combo box that says when its list is about to open, so the list can be brought up to date.
class PopupCombo : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;
    void showPopup() override;

signals:
    void aboutToShowPopup();
};

// The port lamp: a filled circle in the middle of its box.
class Lamp : public QWidget {
    Q_OBJECT

public:
    explicit Lamp(QWidget* parent = nullptr);
    void setColour(QColor colour);
    QColor colour() const { return colour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_ { Qt::black };
};

// A box whose background colour shows the state of the button that lies on it.
class Indicator : public QLabel {
    Q_OBJECT

public:
    explicit Indicator(QWidget* parent = nullptr);
    void setColour(QColor colour);
    QColor colour() const;
};

// The decorative picture: a PWM square wave above a one-word caption.
class WavePicture : public QFrame {
    Q_OBJECT

public:
    WavePicture(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A label that reacts to a click like a link.
class ClickableLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
