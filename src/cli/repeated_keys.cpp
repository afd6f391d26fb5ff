#include "repeated_keys.h"

#include <QSet>
#include <QStringDecoder>

#include <string_view>
#include <vector>

namespace cli {

namespace {

// QJsonDocument refuses a deeper text; the bound also keeps the levels below small.
constexpr std::size_t kNestingLimit = 1024;

struct Level {
    bool object;
    QSet<QString> keys;
    QString key; // object: the key whose value is being read
    int index = 0; // list: the element being read
    bool fresh = true; // nothing of it read yet
};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A walk through the text, one token at a time; every read of a byte is checked against its end.
class Scanner {
public:
    explicit Scanner(QByteArrayView text)
        : text_(text)
    {
    }

    KeyScan scan();

private:
    bool atEnd() const { return at_ >= text_.size(); }
    bool at(char c) const { return !atEnd() && text_[at_] == c; }
    void skipBlanks();
    bool value();
    bool member();
    bool step();
    bool string(QString* decoded);
    bool escape(QString* decoded);
    bool scalar();
    QString place(const QString& key) const;

    QByteArrayView text_;
    qsizetype at_ = 0;
    std::vector<Level> levels_;
    KeyScan found_ { KeyScan::Outcome::Unique, {}, 0 };
};

KeyScan Scanner::scan()
{
    // A UTF-8 byte order mark, skipped where QJsonDocument skips it.
    if (text_.size() > 3 && text_.startsWith(QByteArrayView("\xEF\xBB\xBF")))
        at_ = 3;
    skipBlanks();
    if (!at('{') && !at('['))
        return {};
    if (!value())
        return {};
    while (!levels_.empty())
        if (!step())
            return {};
    skipBlanks();
    return atEnd() ? found_ : KeyScan {};
}

void Scanner::skipBlanks()
{
    while (at(' ') || at('\t') || at('\n') || at('\r'))
        ++at_;
}

// A value: a scalar read whole, or the opening of an object or a list, which step reads on.
bool Scanner::value()
{
    skipBlanks();
    if (at('{') || at('[')) {
        if (levels_.size() >= kNestingLimit)
            return false;
        levels_.push_back({ at('{'), {}, {}, 0, true });
        ++at_;
        return true;
    }
    if (at('"'))
        return string(nullptr);
    return scalar();
}

// The innermost level's end, or its next element: the first, or one after a comma.
bool Scanner::step()
{
    skipBlanks();
    Level& level = levels_.back();
    if (at(level.object ? '}' : ']')) {
        ++at_;
        levels_.pop_back();
        return true;
    }
    if (!level.fresh) {
        if (!at(','))
            return false;
        ++at_;
        ++level.index;
    }
    level.fresh = false;
    // Reading the element may open a level of its own, which moves the levels.
    return level.object ? member() : value();
}

// "key": value, with the key checked against those of its object.
bool Scanner::member()
{
    skipBlanks();
    QString key;
    if (!at('"') || !string(&key))
        return false;
    skipBlanks();
    if (!at(':'))
        return false;
    ++at_;
    ++found_.keys;
    Level& level = levels_.back();
    if (level.keys.contains(key) && found_.outcome == KeyScan::Outcome::Unique)
        found_ = { KeyScan::Outcome::Twice, place(key), found_.keys };
    level.keys.insert(key);
    level.key = key;
    return value();
}

// A string from its opening quote; decoded when asked for, as QJsonDocument decodes it.
bool Scanner::string(QString* decoded)
{
    ++at_;
    qsizetype run = at_;
    // QString::fromUtf8 would drop a byte order mark that begins a run; QJsonDocument keeps it.
    QStringDecoder utf8(QStringConverter::Utf8,
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const auto takeRun = [&] {
        if (decoded)
            decoded->append(QString(utf8(text_.sliced(run, at_ - run))));
    };
    while (!atEnd()) {
        if (at('"')) {
            takeRun();
            ++at_;
            return true;
        }
        if (at('\\')) {
            takeRun();
            if (!escape(decoded))
                return false;
            run = at_;
        } else {
            ++at_;
        }
    }
    return false;
}

// A backslash and what follows it. Like QJsonDocument, an escape it does not know stands for
// the byte after the backslash.
bool Scanner::escape(QString* decoded)
{
    ++at_;
    if (atEnd())
        return false;
    const char escaped = text_[at_++];
    char16_t unit = static_cast<unsigned char>(escaped);
    switch (escaped) {
    case 'b':
        unit = u'\b';
        break;
    case 'f':
        unit = u'\f';
        break;
    case 'n':
        unit = u'\n';
        break;
    case 'r':
        unit = u'\r';
        break;
    case 't':
        unit = u'\t';
        break;
    case 'u':
        unit = 0;
        if (text_.size() - at_ < 4)
            return false;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigit(text_[at_++]);
            if (digit < 0)
                return false;
            unit = static_cast<char16_t>(unit << 4 | digit);
        }
        break;
    default:
        break;
    }
    if (decoded)
        decoded->append(QChar(unit));
    return true;
}

// true, false, null or a number: letters and the characters of numbers, at least one.
bool Scanner::scalar()
{
    for (const char* word : { "true", "false", "null" }) {
        if (text_.sliced(at_).startsWith(QByteArrayView(word))) {
            at_ += QByteArrayView(word).size();
            return true;
        }
    }
    const qsizetype start = at_;
    constexpr std::string_view kNumber = "0123456789+-.eE";
    while (!atEnd() && kNumber.find(text_[at_]) != std::string_view::npos)
        ++at_;
    return at_ > start;
}

// "channels[1].duty": the levels down to the object that holds the key, then the key.
QString Scanner::place(const QString& key) const
{
    QString text;
    for (std::size_t k = 0; k + 1 < levels_.size(); ++k) {
        if (!levels_[k].object)
            text += QStringLiteral("[%1]").arg(levels_[k].index);
        else
            text += (text.isEmpty() ? QString() : QStringLiteral(".")) + levels_[k].key;
    }
    return text.isEmpty() ? key : text + u'.' + key;
}

} // namespace

KeyScan scannedKeys(QByteArrayView json)
{
    return Scanner(json).scan();
}

} // namespace cli
