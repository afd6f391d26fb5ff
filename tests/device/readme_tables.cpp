// Prints the README's tables from the module's parameter table and the request builders, so
// that the README says what the code does: `readme_tables fields` (what each parameter field
// takes) or `readme_tables register-map` (the registers for another master).
// scripts/readme-tables puts the output into the pages beside the README (docs/window.md,
// docs/register-map.md); the test readme_tables_current fails when a page holds other text.

#include "device/parameter_value.h"
#include "device/requests.h"
#include "text/quoted_text.h"

#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <utility>

namespace {

using namespace device;
using quoting::latin1;

QString hex(std::uint32_t value, int digits)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, u'0');
}

QString registerText(std::uint32_t address)
{
    return hex(address, 4);
}

// The byte at i of a request, as a Modbus function code or address is written.
int byteAt(const QByteArray& request, qsizetype i)
{
    return static_cast<std::uint8_t>(request.at(i));
}

// The 16-bit field at i of a request, high byte first: a register address or count.
std::uint32_t wordAt(const QByteArray& request, qsizetype i)
{
    return static_cast<std::uint32_t>(byteAt(request, i) << 8 | byteAt(request, i + 1));
}

QString withUnit(const QString& value, const Parameter& p)
{
    return p.unit.empty() ? value : value + u' ' + latin1(p.unit);
}

// "0–9 and `.`": a run of three or more consecutive characters as a span, others one by one.
QString charactersText(std::string_view allowed)
{
    QStringList parts;
    for (std::size_t i = 0; i < allowed.size();) {
        std::size_t end = i + 1;
        while (end < allowed.size() && allowed[end] == allowed[end - 1] + 1)
            ++end;
        if (end - i < 3)
            end = i + 1;
        const QString run = latin1(allowed.substr(i, end - i));
        parts << (run.size() > 1 ? run.front() + QStringLiteral("–") + run.back()
                                 : QStringLiteral("`%1`").arg(run));
        i = end;
    }
    const QString last = parts.takeLast();
    return parts.isEmpty() ? last
                           : parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

using Row = QStringList;

// Consecutive rows that differ only in their first keys cells become one, whose key cells name
// the first and the last: "`ch1.duty` to `ch5.duty`".
void printTable(QTextStream& out, const Row& header, const QList<Row>& rows, qsizetype keys)
{
    out << "| " << header.join(QStringLiteral(" | ")) << " |\n|";
    for (qsizetype i = 0; i < header.size(); ++i)
        out << "---|";
    out << '\n';
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype end = i + 1;
        while (end < rows.size() && rows[end].sliced(keys) == rows[i].sliced(keys))
            ++end;
        Row row = rows[i];
        for (qsizetype k = 0; end - i > 1 && k < keys; ++k)
            row[k] += QStringLiteral(" to ") + rows[end - 1][k];
        out << "| " << row.join(QStringLiteral(" | ")) << " |\n";
        i = end;
    }
}

void printFields(QTextStream& out)
{
    QList<Row> rows;
    for (const ParameterId id : kFields) {
        const Parameter& p = parameter(id);
        const TypedValue byDefault = typedValue(p, latin1(p.writeAllDefault), Bounds::Clamp);
        rows << Row { QStringLiteral("`%1`").arg(latin1(p.name)), charactersText(p.input.allowed),
            QString::number(p.input.maxLength), rangeText(p),
            withUnit(valueText(p, byDefault.units), p) };
    }
    printTable(out,
        { QStringLiteral("field"), QStringLiteral("characters"), QStringLiteral("max. length"),
            QStringLiteral("range"), QStringLiteral("write-all default") },
        rows, 1);
}

QString encodingText(const Parameter& p)
{
    switch (p.kind) {
    case Kind::Switch:
        return p.id == ParameterId::KeyLock ? QStringLiteral("1 = locked, any other value unlocked")
                                            : QStringLiteral("1 = on, any other value off");
    case Kind::BaudCode: {
        QStringList codes;
        for (std::size_t code = 0; code < kBaudRates.size(); ++code)
            codes << QStringLiteral("%1 = %2").arg(code).arg(kBaudRates[code]);
        return codes.join(QStringLiteral(", "));
    }
    case Kind::Number:
        break;
    }
    QString encoding = p.unit.empty() ? QStringLiteral("whole number")
        : p.scale == Scale::Whole     ? latin1(p.unit)
                                      : QStringLiteral("1 = %1").arg(withUnit(valueText(p, 1), p));
    if (!p.settable)
        encoding += QStringLiteral(" when read");
    if (p.registerCount == 2)
        encoding += QStringLiteral(", 32 bits: high word in %1, low word in %2")
                        .arg(registerText(p.address), registerText(p.address + 1U));
    return encoding;
}

QString writeText(const Parameter& p)
{
    if (p.address == kSlaveAddressRegister) {
        const QByteArray change = addressChangeRequest(1);
        return QStringLiteral("%1 to address %2 (broadcast), as the module's new slave address")
            .arg(hex(static_cast<std::uint32_t>(byteAt(change, 1)), 2))
            .arg(byteAt(change, 0));
    }
    const int function = byteAt(writeRequest(1, p, 0), 1);
    QString text = hex(static_cast<std::uint32_t>(function), 2);
    if (p.registerCount > 1)
        text += QStringLiteral(", both registers in one request");
    if (p.kind == Kind::BaudCode)
        text += QStringLiteral(": the module then talks at the new rate");
    return text;
}

// mbpoll lines for the same requests: read everything, write one value and then a frequency.
void printMbpollExamples(QTextStream& out, const QByteArray& readAll)
{
    const QString mbpoll = QStringLiteral("mbpoll -m rtu -a 1 -b 9600 -P none -t 4 -0 -r");
    const QString port = QStringLiteral("/dev/ttyUSB0");
    QList<std::pair<QString, QString>> lines;
    lines.append({ QStringLiteral("%1 %2 -c %3 -1 %4")
                       .arg(mbpoll)
                       .arg(wordAt(readAll, 2))
                       .arg(wordAt(readAll, 4))
                       .arg(port),
        QStringLiteral("read all") });
    for (const auto& [id, text] : { std::pair { ParameterId::Ch1Duty, "25.5" },
             std::pair { ParameterId::Ch3Frequency, "2000" } }) {
        const Parameter& p = parameter(id);
        const auto words
            = wordsOf(p, typedValue(p, QString::fromLatin1(text), Bounds::Strict).units);
        QStringList values;
        for (std::uint16_t r = 0; r < p.registerCount; ++r)
            values << QString::number(words[r]);
        lines.append(
            { QStringLiteral("%1 %2 %3 %4").arg(mbpoll).arg(p.address).arg(port, values.join(u' ')),
                QStringLiteral("%1 %2").arg(latin1(p.name), withUnit(QLatin1String(text), p)) });
    }
    qsizetype width = 0;
    for (const auto& line : lines)
        width = std::max(width, line.first.size());
    out << "\n```sh\n";
    for (const auto& [command, comment] : lines)
        out << command.leftJustified(width) << "   # " << comment << '\n';
    out << "```\n";
}

void printRegisterMap(QTextStream& out)
{
    QList<Row> rows;
    for (const Parameter& p : kParameters) {
        QString address = registerText(p.address);
        if (p.registerCount > 1)
            address += QStringLiteral("–") + registerText(p.address + p.registerCount - 1U);
        QString range = QStringLiteral("%1 to %2").arg(p.lowest).arg(p.highest);
        if (!p.settable)
            range = QStringLiteral("measured");
        else if (p.kind == Kind::Number && p.scale != Scale::Whole)
            range += QStringLiteral(" (%1)").arg(rangeText(p));
        rows << Row { address, QStringLiteral("`%1`").arg(latin1(p.name)), encodingText(p), range,
            writeText(p) };
    }
    const Parameter& last = kParameters.back();
    for (std::uint32_t unused = last.address + last.registerCount; unused < kRegisterCount;
         ++unused)
        rows << Row { registerText(unused), QStringLiteral("–"),
            QStringLiteral("read with the others, means nothing"), QStringLiteral("–"),
            QStringLiteral("never written") };
    printTable(out,
        { QStringLiteral("register"), QStringLiteral("name"), QStringLiteral("value"),
            QStringLiteral("range (register value)"), QStringLiteral("written with") },
        rows, 2);

    const QByteArray readAll = readAllRequest(1);
    const QByteArray writeAll = writeAllRequest(1, {});
    out << '\n'
        << QStringLiteral("Function codes: %1 reads (读 取 reads %2 registers from %3 in one "
                          "request), %4 writes one register, %5 writes several (设 置 writes "
                          "%6 to %7 in one request).")
               .arg(hex(static_cast<std::uint32_t>(byteAt(readAll, 1)), 2))
               .arg(wordAt(readAll, 4))
               .arg(registerText(wordAt(readAll, 2)))
               .arg(hex(kWriteSingleRegister, 2), hex(kWriteMultipleRegisters, 2))
               .arg(registerText(wordAt(writeAll, 2)))
               .arg(registerText(wordAt(writeAll, 2) + wordAt(writeAll, 4) - 1U))
        << '\n';
    printMbpollExamples(out, readAll);
}

} // namespace

int main(int argc, char* argv[])
{
    QTextStream out(stdout);
    const QString block = argc == 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (block == QLatin1String("fields"))
        printFields(out);
    else if (block == QLatin1String("register-map"))
        printRegisterMap(out);
    else {
        QTextStream(stderr) << "usage: readme_tables fields|register-map\n";
        return 2;
    }
    return 0;
}
