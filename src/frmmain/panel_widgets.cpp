#include "panel_widgets.h"

#include "panel_layout.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

void Frame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int edge = metrics.height() / 2;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0xA0, 0xA0, 0xA0));
    painter.drawRoundedRect(QRectF(0.5, edge + 0.5, width() - 1, height() - edge - 1), 2, 2);
    const QRect caption(8, 0, metrics.horizontalAdvance(title()) + 2, metrics.height());
    painter.fillRect(caption, palette().window());
    painter.setPen(palette().windowText().color());
    painter.drawText(caption, Qt::AlignCenter, title());
}

void PopupCombo::showPopup()
{
    emit aboutToShowPopup();
    QComboBox::showPopup();
}

Lamp::Lamp(QWidget* parent)
    : QWidget(parent)
{
}

void Lamp::setColour(QColor colour)
{
    colour_ = colour;
    update();
}

void Lamp::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int d = std::min(width(), height()) - 1;
    const QRectF circle((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    painter.setPen(Qt::black);
    painter.setBrush(colour_);
    painter.drawEllipse(circle);
}

Indicator::Indicator(QWidget* parent)
    : QLabel(parent)
{
    setAutoFillBackground(true);
    setColour(Qt::white);
}

void Indicator::setColour(QColor colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, colour);
    setPalette(p);
}

QColor Indicator::colour() const
{
    return palette().color(QPalette::Window);
}

WavePicture::WavePicture(const QString& caption, QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAutoFillBackground(true);
    auto* label = new QLabel(caption, this);
    label->setObjectName(QStringLiteral("Label25"));
    label->setAccessibleDescription(label->objectName());
    label->adjustSize();
    label->move(panel::pixels(180), panel::pixels(600));
}

void WavePicture::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    // A 68 x 39 image: three periods of a square wave with a 50 % duty, on a dark screen.
    const QRect image(2, 2, 68, 39);
    QPainter painter(this);
    painter.fillRect(image, QColor(0, 0, 64));
    painter.setPen(QPen(QColor(0, 255, 0), 2));
    QPainterPath wave;
    const int low = image.bottom() - 8, high = image.top() + 8, step = 11;
    wave.moveTo(image.left() + 2, low);
    for (int x = image.left() + 2; x + 2 * step <= image.right(); x += 2 * step) {
        wave.lineTo(x + step / 2, low);
        wave.lineTo(x + step / 2, high);
        wave.lineTo(x + step / 2 + step, high);
        wave.lineTo(x + step / 2 + step, low);
        wave.lineTo(x + 2 * step, low);
    }
    painter.drawPath(wave);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
