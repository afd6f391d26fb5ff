#include "bridge/allow_list.h"

#include <QTest>

using namespace std::chrono_literals;

class TestAllowList : public QObject {
    Q_OBJECT

private slots:
    void allows_data()
    {
        QTest::addColumn<QString>("allow"); // empty: the default
        QTest::addColumn<QString>("client");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("default, loopback") << ""
                                           << "127.0.0.1" << true;
        QTest::newRow("default, loopback 127.1.2.3") << ""
                                                     << "127.1.2.3" << true;
        QTest::newRow("default, IPv6 loopback") << ""
                                                << "::1" << true;
        QTest::newRow("default, mapped loopback") << ""
                                                  << "::ffff:127.0.0.1" << true;
        QTest::newRow("default, LAN") << ""
                                      << "192.168.1.20" << false;
        QTest::newRow("LAN block") << "192.168.1.0/24"
                                   << "192.168.1.20" << true;
        QTest::newRow("LAN block, mapped") << "192.168.1.0/24"
                                           << "::ffff:192.168.1.20" << true;
        QTest::newRow("LAN block, other LAN") << "192.168.1.0/24"
                                              << "192.168.2.20" << false;
        QTest::newRow("LAN block replaces the default") << "192.168.1.0/24"
                                                        << "127.0.0.1" << false;
        QTest::newRow("two blocks") << "10.0.0.0/8, 127.0.0.1"
                                    << "127.0.0.1" << true;
        QTest::newRow("a bare address") << "10.1.2.3"
                                        << "10.1.2.4" << false;
        QTest::newRow("IPv6 block") << "fd00::/8"
                                    << "fd12::5" << true;
    }

    void allows()
    {
        QFETCH(QString, allow);
        QFETCH(QString, client);
        QFETCH(bool, allowed);
        QString why;
        const auto list
            = allow.isEmpty() ? bridge::AllowList() : bridge::AllowList::parsed(allow, &why);
        QVERIFY2(list, qPrintable(why));
        QCOMPARE(list->allows(QHostAddress(client)), allowed);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("allow");
        QTest::newRow("empty") << "";
        QTest::newRow("a name") << "plant-lan";
        QTest::newRow("prefix too long") << "10.0.0.0/33";
        QTest::newRow("an empty item") << "10.0.0.0/8,";
        QTest::newRow("control character") << "10.0.0.0/8\x1b[2J";
    }

    void refused()
    {
        QFETCH(QString, allow);
        QString why;
        QVERIFY(!bridge::AllowList::parsed(allow, &why));
        QVERIFY(why.startsWith(QLatin1String("--allow: ")));
        QVERIFY(!why.contains(u'\x1b'));
    }

    void oneNotePerAddressAndMinute()
    {
        bridge::RefusalNotes notes;
        const QHostAddress a(QStringLiteral("192.168.1.20"));
        const QHostAddress b(QStringLiteral("192.168.1.21"));
        using Instant = bridge::RefusalNotes::Instant;
        QVERIFY(notes.shouldSay(a, Instant(0)));
        QVERIFY(!notes.shouldSay(a, Instant(59'999)));
        QVERIFY(notes.shouldSay(b, Instant(59'999)));
        QVERIFY(notes.shouldSay(a, Instant(60'000)));
    }
};

QTEST_APPLESS_MAIN(TestAllowList)
#include "tst_allow_list.moc"
