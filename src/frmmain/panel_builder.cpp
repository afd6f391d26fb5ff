#include "panel_builder.h"

#include "panel_layout.h"
#include "panel_widgets.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPushButton>

namespace {

QFont fontFor(panel::Font role)
{
    QFont font(panelFontFamily());
    // Set explicitly, or a control would inherit the bold caption font of its frame.
    font.setBold(false);
    switch (role) {
    case panel::Font::Default:
        font.setPointSizeF(9);
        break;
    case panel::Font::Label:
    case panel::Font::Status:
        font.setPointSizeF(10.5);
        break;
    case panel::Font::FrameCaption:
        font.setPointSizeF(12);
        font.setBold(true);
        break;
    case panel::Font::ChannelLabel:
        font.setPointSizeF(12);
        break;
    case panel::Font::Button:
        font.setPointSizeF(15);
        break;
    case panel::Font::Field:
        font.setPointSizeF(14.25);
        break;
    }
    return font;
}

QWidget* makeControl(const panel::Control& c, QWidget* parent)
{
    const QString caption = QString::fromUtf8(c.caption ? c.caption : "");
    switch (c.kind) {
    case panel::Kind::Frame:
        return new Frame(caption, parent);
    case panel::Kind::Label:
        if (QLatin1String(c.name) == QLatin1String("Label9")) {
            auto* link = new ClickableLabel(caption, parent);
            link->setCursor(Qt::PointingHandCursor);
            return link;
        }
        return new QLabel(caption, parent);
    case panel::Kind::Combo: {
        // The port list finds out which device stands behind each number when it opens.
        auto* combo = QLatin1String(c.name) == QLatin1String("Combo1") ? new PopupCombo(parent)
                                                                       : new QComboBox(parent);
        combo->setInsertPolicy(QComboBox::NoInsert);
        return combo;
    }
    case panel::Kind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        return button;
    }
    case panel::Kind::Field: {
        auto* field = new QLineEdit(parent);
        QPalette p = field->palette();
        p.setColor(QPalette::Base, Qt::black);
        p.setColor(QPalette::Text, QColor::fromRgb(c.colour));
        field->setPalette(p);
        // Every typed character must pass the key filter; an input method would bypass it.
        field->setAttribute(Qt::WA_InputMethodEnabled, false);
        return field;
    }
    case panel::Kind::Trace: {
        auto* trace = new QLineEdit(parent);
        trace->setReadOnly(true);
        return trace;
    }
    case panel::Kind::Lamp:
        return new Lamp(parent);
    case panel::Kind::Indicator:
        return new Indicator(parent);
    case panel::Kind::Picture:
        return new WavePicture(caption, parent);
    case panel::Kind::Line: {
        auto* line = new QWidget(parent);
        line->setAutoFillBackground(true);
        QPalette p = line->palette();
        p.setColor(QPalette::Window, QColor::fromRgb(c.colour));
        line->setPalette(p);
        return line;
    }
    }
    return nullptr;
}

QRect geometryFor(const panel::Control& c, QWidget* w)
{
    using panel::pixels;
    if (c.kind == panel::Kind::Line)
        return { pixels(c.left), pixels(c.top), std::max(1, pixels(c.width)),
            std::max(1, pixels(c.height)) };
    if (c.kind == panel::Kind::Label) {
        const QSize size = w->sizeHint();
        const int top
            = c.height > 0 ? pixels(c.top) + (pixels(c.height) - size.height()) / 2 : pixels(c.top);
        return { QPoint(pixels(c.left), top), size };
    }
    return { pixels(c.left), pixels(c.top), pixels(c.width), pixels(c.height) };
}

} // namespace

QString panelFontFamily()
{
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const char* candidate : { "宋体", "SimSun", "WenQuanYi Zen Hei", "Noto Sans CJK SC" })
            if (families.contains(QString::fromUtf8(candidate)))
                return QString::fromUtf8(candidate);
        return QFont().family();
    }();
    return family;
}

QHash<QString, QWidget*> buildPanel(QWidget* window)
{
    QHash<QString, QWidget*> built;
    for (const panel::Control& c : panel::controls()) {
        QWidget* parent = c.parent ? built.value(QString::fromUtf8(c.parent)) : window;
        QWidget* w = makeControl(c, parent);
        const QString name = QString::fromUtf8(c.name);
        w->setObjectName(name);
        // UI automation finds controls by this; the accessible name stays the caption.
        w->setAccessibleDescription(name);
        w->setFont(fontFor(c.font));
        w->setGeometry(geometryFor(c, w));
        built.insert(name, w);
    }
    for (const panel::ComboList& list : panel::comboLists()) {
        auto* combo = qobject_cast<QComboBox*>(built.value(QString::fromUtf8(list.name)));
        combo->addItems(panel::comboItems(list));
    }
    return built;
}
