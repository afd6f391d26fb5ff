#include "reading_output.h"

#include "device/parameter_value.h"
#include "text/quoted_text.h"

#include <QDateTime>
#include <QJsonArray>

#include <cstdlib>

namespace cli {

const std::array<device::ParameterId, device::kParameterCount>& printOrder()
{
    static const auto order = [] {
        std::array<device::ParameterId, device::kParameterCount> ids {};
        std::size_t n = 0;
        ids[n++] = device::ParameterId::BaudRate;
        for (const device::Parameter& p : device::kParameters)
            if (p.channel == 0 && p.id != device::ParameterId::BaudRate)
                ids[n++] = p.id;
        for (int channel = 1; channel <= static_cast<int>(device::kChannelCount); ++channel)
            for (const device::Parameter& p : device::kParameters)
                if (p.channel == channel)
                    ids[n++] = p.id;
        return ids;
    }();
    return order;
}

QString shownValue(const device::Parameter& p, device::Units units)
{
    switch (p.kind) {
    case device::Kind::Switch:
        return units == 1 ? QStringLiteral("on") : QStringLiteral("off");
    case device::Kind::BaudCode:
        if (units < device::kBaudRates.size())
            return QString::number(device::kBaudRates[units]);
        return QStringLiteral("unknown (code %1)").arg(units);
    case device::Kind::Number:
        break;
    }
    const QString value = device::valueText(p, units);
    return p.unit.empty() ? value : value + u' ' + quoting::latin1(p.unit);
}

QJsonValue jsonValue(const device::Parameter& p, device::Units units)
{
    switch (p.kind) {
    case device::Kind::Switch:
        return units == 1;
    case device::Kind::BaudCode:
        if (units < device::kBaudRates.size())
            return device::kBaudRates[units];
        return QJsonValue::Null;
    case device::Kind::Number:
        break;
    }
    if (p.scale == device::Scale::Whole)
        return static_cast<qint64>(units);
    // Tenths and hundredths as the nearest double, which JSON writes back as the same decimal.
    return device::valueText(p, units).toDouble();
}

QString line(const QString& name, const QString& value)
{
    return name.leftJustified(16) + value;
}

QStringList readingLines(int address, const device::Reading& reading)
{
    QStringList lines { line(QStringLiteral("address"), QString::number(address)) };
    for (const device::ParameterId id : printOrder()) {
        const device::Parameter& p = device::parameter(id);
        if (reading.carries(id))
            lines << line(
                quoting::latin1(p.name), shownValue(p, reading.values[device::indexOf(id)]));
    }
    return lines;
}

QStringList readingColumns(const std::vector<ModuleReading>& readings)
{
    constexpr int kColumn = 15;
    QString addresses;
    for (const ModuleReading& m : readings)
        addresses += QString::number(m.address).leftJustified(kColumn);
    QStringList lines { line(QStringLiteral("address"), addresses.trimmed()) };
    for (const device::ParameterId id : printOrder()) {
        const device::Parameter& p = device::parameter(id);
        QString values;
        for (const ModuleReading& m : readings)
            values += (m.reading.carries(id) ? shownValue(p, m.reading.values[device::indexOf(id)])
                                             : QStringLiteral("-"))
                          .leftJustified(kColumn - 1)
                + u' ';
        lines << line(quoting::latin1(p.name), values.trimmed());
    }
    return lines;
}

JsonPlace jsonPlace(const device::Parameter& p)
{
    return { p.channel - 1, quoting::latin1(device::nameInChannel(p)) };
}

QJsonObject readingJson(int address, const device::Reading& reading)
{
    QJsonObject object { { QStringLiteral("address"), address } };
    std::array<QJsonObject, device::kChannelCount> channels;
    for (const device::Parameter& p : device::kParameters) {
        if (!reading.carries(p.id))
            continue;
        const device::Units units = reading.values[device::indexOf(p.id)];
        const JsonPlace place = jsonPlace(p);
        if (place.channel >= 0)
            channels[static_cast<std::size_t>(place.channel)].insert(
                place.key, jsonValue(p, units));
        else
            object.insert(place.key, jsonValue(p, units));
        if (p.kind == device::Kind::BaudCode)
            object.insert(QStringLiteral("baud_code"), static_cast<qint64>(units));
    }
    QJsonArray array;
    for (const QJsonObject& channel : channels)
        array.append(channel);
    object.insert(QStringLiteral("channels"), array);
    return object;
}

QString timeNow()
{
    // Qt writes "Z" for UTC; the offset is written out in every zone alike.
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    return now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
        + QStringLiteral("%1%2:%3")
              .arg(QLatin1Char(offset < 0 ? '-' : '+'))
              .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
              .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
}

QJsonObject stateJson(int address, const device::Reading& reading)
{
    QJsonObject object = readingJson(address, reading);
    object.insert(QStringLiteral("ok"), true);
    object.insert(QStringLiteral("time"), timeNow());
    return object;
}

} // namespace cli
