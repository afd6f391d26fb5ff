#include "key_filter.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

bool typesNothing(int key)
{
    switch (key) {
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Insert:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        return true;
    default:
        return false;
    }
}

} // namespace

bool keyPasses(
    const QKeyEvent& event, const device::InputRule& rule, int textLength, int selectedLength)
{
    const int key = event.key();
    if (key == Qt::Key_Backspace)
        return false;
    if (typesNothing(key))
        return true;
    // Ctrl with a letter types a control character (Ctrl+V is 0x16): cancelled like the others.
    if ((event.modifiers() & Qt::ControlModifier) && key >= Qt::Key_A && key <= Qt::Key_Z)
        return false;
    const QString text = event.text();
    if (text.isEmpty())
        return true; // function keys, modifiers alone: no character
    for (const QChar c : text)
        if (c.unicode() > 0x7F
            || rule.allowed.find(static_cast<char>(c.unicode())) == std::string_view::npos)
            return false; // Return, Escape and every other character outside the field's set
    return textLength - selectedLength + text.size() <= rule.maxLength;
}

KeyFilter::KeyFilter(device::InputRule rule, QLineEdit* field)
    : QObject(field)
    , rule_(rule)
{
    field->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field)
        return false;
    const auto& key = static_cast<const QKeyEvent&>(*event);
    return !keyPasses(key, rule_, static_cast<int>(field->text().size()),
        static_cast<int>(field->selectedText().size()));
}
