#include "rtu/line_timing.h"

#include <QTest>

using namespace std::chrono_literals;
using line::PortSettings;

Q_DECLARE_METATYPE(PortSettings)
Q_DECLARE_METATYPE(std::chrono::nanoseconds)

// How long the master waits: a character by its framing, the silence that ends a frame, and
// when a reply is given up.
class TestLineTiming : public QObject {
    Q_OBJECT

private slots:
    void characters_data()
    {
        QTest::addColumn<PortSettings>("settings");
        QTest::addColumn<std::chrono::nanoseconds>("character");
        QTest::addColumn<std::chrono::nanoseconds>("gap");

        // 10 bits at 9600 baud; 3.5 characters are less than a USB adapter's 16 ms.
        QTest::newRow("9600 8N1") << PortSettings { 9600, 'N', 8, 1 }
                                  << std::chrono::nanoseconds(1'041'666)
                                  << std::chrono::nanoseconds(16ms);
        // The parity bit counts.
        QTest::newRow("19200 8E1")
            << PortSettings { 19200, 'E', 8, 1 } << std::chrono::nanoseconds(572'916)
            << std::chrono::nanoseconds(16ms);
        QTest::newRow("4800 7O2") << PortSettings { 4800, 'O', 7, 2 }
                                  << std::chrono::nanoseconds(2'291'666)
                                  << std::chrono::nanoseconds(16ms);
        // Slow enough for 3.5 characters to pass 16 ms.
        QTest::newRow("1200 8N1") << PortSettings { 1200, 'N', 8, 1 }
                                  << std::chrono::nanoseconds(8'333'333)
                                  << std::chrono::nanoseconds(29'166'665);
    }

    void characters()
    {
        QFETCH(PortSettings, settings);
        QFETCH(std::chrono::nanoseconds, character);
        QFETCH(std::chrono::nanoseconds, gap);
        QCOMPARE(line::characterTime(settings).count(), character.count());
        QCOMPARE(line::transferTime(settings, 57).count(), (character * 57).count());
        QCOMPARE(line::interFrameGap(settings).count(), gap.count());
    }

    void deadline_data()
    {
        QTest::addColumn<std::optional<std::chrono::nanoseconds>>("firstByteAt");
        QTest::addColumn<std::chrono::nanoseconds>("deadline");

        // Written after 1 ms, the 8-byte request leaves 8.33 ms later; 200 ms from then.
        const std::chrono::nanoseconds silent = 1ms + 8 * 1'041'666ns + 200ms;
        QTest::newRow("nothing yet") << std::optional<std::chrono::nanoseconds>() << silent;
        QTest::newRow("a reply begun early ends within the timeout")
            << std::optional<std::chrono::nanoseconds>(100ms) << silent;
        // 57 bytes take 59.4 ms, and an adapter may hold them back 20 ms more.
        QTest::newRow("a reply begun late gets its transfer time")
            << std::optional<std::chrono::nanoseconds>(190ms)
            << std::chrono::nanoseconds(190ms + 57 * 1'041'666ns + 20ms);
    }

    void deadline()
    {
        QFETCH(std::optional<std::chrono::nanoseconds>, firstByteAt);
        QFETCH(std::chrono::nanoseconds, deadline);
        const line::ReplyWait wait { 1ms, 8, 200ms, firstByteAt, 57 };
        QCOMPARE(line::replyDeadline({ 9600, 'N', 8, 1 }, wait).count(), deadline.count());
    }
};

QTEST_APPLESS_MAIN(TestLineTiming)
#include "tst_line_timing.moc"
