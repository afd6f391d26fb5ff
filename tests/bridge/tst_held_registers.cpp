#include "bridge/held_registers.h"

#include <QTest>

using namespace std::chrono_literals;
using Instant = bridge::HeldRegisters::Instant;

class TestHeldRegisters : public QObject {
    Q_OBJECT

private slots:
    void answer_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("askedAt"); // ms after the read of 0x0002 to 0x0005 at 1000
        QTest::addColumn<bool>("afterWrite");
        QTest::addColumn<QByteArray>("data"); // empty: to the line
        const QByteArray held = QByteArray::fromHex("0002000300040005");
        QTest::newRow("all it holds") << 2 << 4 << 0 << false << held;
        QTest::newRow("inside") << 3 << 2 << 500 << false << QByteArray::fromHex("00030004");
        QTest::newRow("as old as allowed")
            << 5 << 1 << 1000 << false << QByteArray::fromHex("0005");
        QTest::newRow("older") << 2 << 4 << 1001 << false << QByteArray();
        QTest::newRow("one register before") << 1 << 2 << 0 << false << QByteArray();
        QTest::newRow("one register beyond") << 4 << 3 << 0 << false << QByteArray();
        QTest::newRow("after a write") << 2 << 4 << 0 << true << QByteArray();
    }

    void answer()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(int, askedAt);
        QFETCH(bool, afterWrite);
        QFETCH(QByteArray, data);
        bridge::HeldRegisters held;
        held.read(7, 2, QByteArray::fromHex("0002000300040005"), Instant(1000));
        if (afterWrite)
            held.written(7);
        const auto answer = held.answer(7, static_cast<std::uint16_t>(first),
            static_cast<std::uint16_t>(count), Instant(1000 + askedAt), 1000ms);
        QCOMPARE(answer.value_or(QByteArray()), data);
        QVERIFY(!held.answer(8, 2, 1, Instant(1000), 1000ms)); // another module: nothing held
    }
};

QTEST_APPLESS_MAIN(TestHeldRegisters)
#include "tst_held_registers.moc"
