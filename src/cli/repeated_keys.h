#pragma once

#include <QByteArrayView>
#include <QString>

// Keys given twice in one object of a JSON text. QJsonDocument keeps the last of two equal keys
// without a word, so a profile that gives a value twice is found here, apart from it.
namespace cli {

struct KeyScan {
    enum class Outcome {
        Unique, // every object gives each key once
        Twice, // place names the first key given twice
        Malformed, // no JSON object or list that QJsonDocument would read
    };
    Outcome outcome = Outcome::Malformed;
    QString place; // "channels[1].duty", "pwm_voltage": as given, to be quoted by the caller
    qsizetype keys = 0; // every key of every object, each repeat counted
};

// Reads the text as QJsonDocument does, and never past its end: one object or list, blanks
// around it, strings with their escapes decoded as QJsonDocument decodes them, at most 1024
// levels deep. Numbers and literals are taken loosely; QJsonDocument is the one that checks
// them, and whatever it reads this reads too.
KeyScan scannedKeys(QByteArrayView json);

} // namespace cli
