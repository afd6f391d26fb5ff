#include "bridge/face_desk.h"
#include "bridge/line_owner.h"
#include "modbus/crc16.h"
#include "modbus/tcp_frame.h"
#include "scripted_line.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <array>
#include <map>

using namespace std::chrono_literals;

namespace {

std::uint16_t wordAt(const QByteArray& bytes, qsizetype i)
{
    return static_cast<std::uint16_t>((std::uint8_t(bytes[i]) << 8) | std::uint8_t(bytes[i + 1]));
}

// Modules 1 and 2 on the scripted line: 26 registers each, register r holding r + 100 times the
// address at first (the rate code 3 at 0x0018); any other address stays silent.
struct Modules {
    std::map<int, std::array<std::uint16_t, 26>> registers;

    Modules()
    {
        for (const int a : { 1, 2 }) {
            for (std::uint16_t r = 0; r < 26; ++r)
                registers[a][r] = static_cast<std::uint16_t>(r + 100 * a);
            registers[a][0x18] = 3;
        }
    }

    QByteArray answer(const QByteArray& frame)
    {
        const int a = std::uint8_t(frame[0]);
        if (!registers.contains(a))
            return {};
        auto& regs = registers[a];
        const std::uint8_t function = std::uint8_t(frame[1]);
        const std::uint16_t first = wordAt(frame, 2);
        QByteArray reply = frame.first(2);
        if (function == 0x03) {
            reply += char(2 * wordAt(frame, 4));
            for (int i = 0; i < wordAt(frame, 4); ++i)
                reply += QByteArray(1, char(regs[first + i] >> 8)) + char(regs[first + i] & 0xFF);
        } else if (function == 0x06) {
            regs[first] = wordAt(frame, 4);
            reply = frame.first(6);
        } else {
            for (int i = 0; i < wordAt(frame, 4); ++i)
                regs[first + i] = wordAt(frame, 7 + 2 * i);
            reply = frame.first(6);
        }
        return modbus::framed(reply);
    }
};

// An owner of a scripted line with modules 1, 2 and 3 (3 never answers), and a Modbus TCP face.
struct Bench {
    explicit Bench(bridge::DeskSettings desk = {})
        : master(30)
        , face(bridge::FaceSettings {})
    {
        auto scripted = std::make_unique<ScriptedLine>(
            [this](const QByteArray& frame) { return modules.answer(frame); });
        line = scripted.get();
        master.useLine(std::move(scripted));
        owner = std::make_unique<bridge::LineOwner>(master, ScriptedLine::address(),
            line::PortSettings { 115200 },
            bridge::OwnerSettings { "scripted", { 1, 2, 3 }, 200ms });
        desk_ = std::make_unique<bridge::FaceDesk>(*owner, face, desk);
        QVERIFY(!face.listen());
        QVERIFY(!owner->start());
        client.connectToHost(QHostAddress::LocalHost, face.port());
        QVERIFY(client.waitForConnected(5000));
    }

    // The first round is over once module 3 has been found offline.
    void awaitFirstRound() { QTRY_VERIFY(owner->offline(3)); }

    QByteArray ask(std::uint16_t transactionId, std::uint8_t unit, const QByteArray& pdu)
    {
        client.write(modbus::tcpFrame(transactionId, unit, pdu));
        QByteArray got;
        QSignalSpy arrived(&client, &QTcpSocket::readyRead);
        while (modbus::tcpFrameAt(got).state != modbus::TcpFrameState::Complete) {
            if (client.bytesAvailable() == 0 && !arrived.wait(5000))
                return {};
            got += client.readAll();
        }
        return modbus::tcpFrameAt(got).pdu;
    }

    // The PDUs of the next n answers, for requests the client sends all at once.
    QList<QByteArray> askAtOnce(const QByteArray& requests, int n)
    {
        client.write(requests);
        QList<QByteArray> pdus;
        QByteArray got;
        QSignalSpy arrived(&client, &QTcpSocket::readyRead);
        while (pdus.size() < n) {
            const modbus::TcpFrame frame = modbus::tcpFrameAt(got);
            if (frame.state == modbus::TcpFrameState::Complete) {
                pdus.append(frame.pdu);
                got.remove(0, modbus::kMbapHeaderSize + frame.pdu.size());
            } else if (client.bytesAvailable() == 0 && !arrived.wait(5000)) {
                break;
            } else {
                got += client.readAll();
            }
        }
        return pdus;
    }

    std::size_t framesOnTheLine() const { return line->written().size(); }

    Modules modules;
    line::Master master;
    ScriptedLine* line = nullptr;
    bridge::FaceServer face;
    std::unique_ptr<bridge::LineOwner> owner;
    std::unique_ptr<bridge::FaceDesk> desk_;
    QTcpSocket client;
};

} // namespace

class TestLineOwner : public QObject {
    Q_OBJECT

private slots:
    void pollFindsWhoAnswers()
    {
        Bench bench;
        QSignalSpy online(bench.owner.get(), &bridge::LineOwner::availabilityChanged);
        bench.awaitFirstRound();
        QCOMPARE(online.size(), 2);
        QVERIFY(bench.owner->module(1)->last && bench.owner->module(2)->last);
        QVERIFY(!bench.owner->module(3)->online);
    }

    void faceAnswers_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<QByteArray>("pdu");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("reachesTheLine");
        const auto hex = [](const char* text) { return QByteArray::fromHex(text); };
        QTest::newRow("a read") << 2 << hex("0300010002")
                                << hex("0304"
                                       "00c9"
                                       "00ca")
                                << true;
        QTest::newRow("a write") << 1 << hex("0600070064") << hex("0600070064") << true;
        QTest::newRow("the rate kept") << 1 << hex("0600180003") << hex("0600180003") << true;
        QTest::newRow("another rate") << 1 << hex("0600180005") << hex("8603") << false;
        QTest::newRow("the address") << 1 << hex("0600000009") << hex("8603") << false;
        QTest::newRow("not on the list") << 4 << hex("0300000001") << hex("830a") << false;
        QTest::newRow("the broadcast") << 0 << hex("0600070064") << hex("860a") << false;
        QTest::newRow("offline") << 3 << hex("0300000001") << hex("830b") << false;
        QTest::newRow("another function") << 1 << hex("0400000001") << hex("8401") << false;
    }

    void faceAnswers()
    {
        QFETCH(int, unit);
        QFETCH(QByteArray, pdu);
        QFETCH(QByteArray, answer);
        QFETCH(bool, reachesTheLine);
        Bench bench;
        bench.awaitFirstRound();
        const std::size_t before = bench.framesOnTheLine();
        QCOMPARE(bench.ask(0x4242, std::uint8_t(unit), pdu).toHex(), answer.toHex());
        const bool reached = std::ranges::any_of(bench.line->written(),
            [&](const QByteArray& f) { return f.sliced(1, f.size() - 3) == pdu; });
        QCOMPARE(reached, reachesTheLine);
        QVERIFY(bench.framesOnTheLine() >= before);
    }

    void writtenModuleReadNext()
    {
        Bench bench;
        bench.awaitFirstRound();
        QSignalSpy changed(bench.owner.get(), &bridge::LineOwner::readingChanged);
        QCOMPARE(
            bench.ask(1, 2, QByteArray::fromHex("06000c0064")).toHex(), QByteArray("06000c0064"));
        // The next exchange reads module 2 again, and its state shows the new duty.
        QTRY_VERIFY(!changed.isEmpty());
        QCOMPARE(changed.first().first().toInt(), 2);
        const auto& frames = bench.line->written();
        const auto write
            = std::ranges::find(frames, modbus::framed(QByteArray::fromHex("0206000c0064")));
        QVERIFY(write != frames.end() && write + 1 != frames.end());
        QCOMPARE(*(write + 1), modbus::framed(QByteArray::fromHex("02030000001a")));
        QCOMPARE(
            bench.owner->module(2)->last->values[device::indexOf(device::ParameterId::Ch1Duty)],
            100u);
    }

    void heldReadsWithinTheirAge()
    {
        Bench bench(bridge::DeskSettings { {}, 60s });
        bench.awaitFirstRound();
        const std::size_t before = bench.framesOnTheLine();
        QCOMPARE(
            bench.ask(1, 1, QByteArray::fromHex("0300180001")).toHex(), QByteArray("03020003"));
        QCOMPARE(bench.framesOnTheLine(), before);
        // After a write, what was held before it never answers: the module's new value does,
        // from the line or from the read that follows the write.
        bench.ask(2, 1, QByteArray::fromHex("0600070064"));
        QCOMPARE(
            bench.ask(3, 1, QByteArray::fromHex("0300070001")).toHex(), QByteArray("03020064"));
    }

    // A read that the client sends behind its own write, before the write's answer has come,
    // sees what the write put there: held registers of before never answer it.
    void heldReadBehindAPipelinedWrite()
    {
        Bench bench(bridge::DeskSettings { {}, 60s });
        bench.awaitFirstRound();
        const QByteArray read = QByteArray::fromHex("0300070001");
        QCOMPARE(bench.ask(1, 1, read).toHex(), QByteArray("0302006b"));
        const QList<QByteArray> answers
            = bench.askAtOnce(modbus::tcpFrame(2, 1, QByteArray::fromHex("0600070064"))
                    + modbus::tcpFrame(3, 1, read),
                2);
        QCOMPARE(answers.size(), 2);
        QCOMPARE(answers.back().toHex(), QByteArray("03020064"));
    }

    void lostLineSaidOnce()
    {
        Bench bench;
        bench.awaitFirstRound();
        QSignalSpy notes(bench.owner.get(), &bridge::LineOwner::note);
        QSignalSpy offline(bench.owner.get(), &bridge::LineOwner::availabilityChanged);
        bench.line->unplug();
        // A face's read meanwhile hears that the path is gone.
        QCOMPARE(bench.ask(9, 1, QByteArray::fromHex("0300000001")).toHex(), QByteArray("830a"));
        QCOMPARE(notes.size(), 1);
        QCOMPARE(notes.first().first().toString(),
            QStringLiteral("scripted: the device went away; opening it again every 2 s"));
        QCOMPARE(offline.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestLineOwner)
#include "tst_line_owner.moc"
