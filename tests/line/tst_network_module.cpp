#include <QLibrary>
#include <QTest>

// The network module is loaded into a program that links neither core's library nor the
// network library: it must name every library it needs itself, so that each of its symbols
// binds at load, as the first device server's line binds them.
class TestNetworkModule : public QObject {
    Q_OBJECT

private slots:
    void bindsEverySymbolAtLoad()
    {
        QLibrary module(QStringLiteral(NETWORK_MODULE));
        module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        QVERIFY2(module.load(), qPrintable(module.errorString()));
        QVERIFY2(module.resolve("pwm5MakeServerLine"), qPrintable(module.errorString()));
    }
};

QTEST_GUILESS_MAIN(TestNetworkModule)
#include "tst_network_module.moc"
