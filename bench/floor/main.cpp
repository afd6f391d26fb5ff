// The floor of the start-up benchmark: a bare Qt window of the tool's size holding the same
// widgets as the tool's panel (read from the same layout table: group boxes, labels, combo
// boxes with their lists, buttons, line edits, frames), with the same captions and fonts, and
// none of the tool's logic: no settings file, no serial port, no style sheets, no connections.

#include "panel_layout.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace {

// The tool lets the operator type into these; an editable combo box holds a line edit.
constexpr const char* kEditableCombos[]
    = { "Combo1", "Combo2", "Combo6", "Combo_Addr(0)", "Combo_Addr(2)" };

QFont fontFor(panel::Font role)
{
    QFont font;
    font.setFamilies({ QStringLiteral("宋体"), QStringLiteral("SimSun"),
        QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC") });
    font.setBold(role == panel::Font::FrameCaption);
    switch (role) {
    case panel::Font::Default:
        font.setPointSizeF(9);
        break;
    case panel::Font::Label:
    case panel::Font::Status:
        font.setPointSizeF(10.5);
        break;
    case panel::Font::FrameCaption:
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

QWidget* make(const panel::Control& c, QWidget* parent)
{
    const QString caption = QString::fromUtf8(c.caption ? c.caption : "");
    switch (c.kind) {
    case panel::Kind::Frame:
        return new QGroupBox(caption, parent);
    case panel::Kind::Label:
    case panel::Kind::Indicator:
        return new QLabel(caption, parent);
    case panel::Kind::Combo:
        return new QComboBox(parent);
    case panel::Kind::Button:
        return new QPushButton(caption, parent);
    case panel::Kind::Field:
        return new QLineEdit(parent);
    case panel::Kind::Trace: {
        auto* trace = new QLineEdit(parent);
        trace->setReadOnly(true);
        return trace;
    }
    case panel::Kind::Picture: {
        auto* picture = new QFrame(parent);
        (new QLabel(caption, picture))->adjustSize();
        return picture;
    }
    case panel::Kind::Lamp:
    case panel::Kind::Line:
        return new QWidget(parent);
    }
    return nullptr;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(panel::kWindowWidth, panel::kWindowHeight);

    QHash<QString, QWidget*> built;
    for (const panel::Control& c : panel::controls()) {
        QWidget* parent = c.parent ? built.value(QString::fromUtf8(c.parent)) : &window;
        QWidget* w = make(c, parent);
        w->setFont(fontFor(c.font));
        if (c.kind == panel::Kind::Label) {
            w->move(panel::pixels(c.left), panel::pixels(c.top));
            w->adjustSize();
        } else
            w->setGeometry(panel::pixels(c.left), panel::pixels(c.top),
                std::max(1, panel::pixels(c.width)), std::max(1, panel::pixels(c.height)));
        built.insert(QString::fromUtf8(c.name), w);
    }
    for (const panel::ComboList& list : panel::comboLists())
        qobject_cast<QComboBox*>(built.value(QString::fromUtf8(list.name)))
            ->addItems(panel::comboItems(list));
    for (const char* name : kEditableCombos)
        qobject_cast<QComboBox*>(built.value(QString::fromUtf8(name)))->setEditable(true);
    for (int a = 1; a <= 255; ++a) {
        if (a <= 254)
            qobject_cast<QComboBox*>(built.value(QStringLiteral("Combo_Addr(0)")))
                ->addItem(QString::number(a));
        qobject_cast<QComboBox*>(built.value(QStringLiteral("Combo_Addr(2)")))
            ->addItem(QString::number(a));
    }

    window.show();
    return QApplication::exec();
}
