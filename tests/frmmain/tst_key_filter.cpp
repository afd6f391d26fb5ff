#include "window_fixture.h"

#include <QTest>

// Keys as Qt Test types them into the window's parameter fields. A key is a character, or
// one of: <BS> <DEL> <LEFT> <HOME> <END> <RET> <ESC> <C-V> <C-A> <SELALL> (select all without
// a keystroke, as a mouse drag does).
class TestKeyFilter : public QObject {
    Q_OBJECT

private:
    static void type(QLineEdit* field, const QStringList& keys)
    {
        for (const QString& k : keys) {
            if (k == "<BS>")
                QTest::keyClick(field, Qt::Key_Backspace);
            else if (k == "<DEL>")
                QTest::keyClick(field, Qt::Key_Delete);
            else if (k == "<LEFT>")
                QTest::keyClick(field, Qt::Key_Left);
            else if (k == "<HOME>")
                QTest::keyClick(field, Qt::Key_Home);
            else if (k == "<END>")
                QTest::keyClick(field, Qt::Key_End);
            else if (k == "<RET>")
                QTest::keyClick(field, Qt::Key_Return);
            else if (k == "<ESC>")
                QTest::keyClick(field, Qt::Key_Escape);
            else if (k == "<C-V>")
                QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
            else if (k == "<C-A>")
                QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            else if (k == "<SELALL>")
                field->selectAll();
            else
                QTest::keyClicks(field, k);
        }
    }

private slots:
    void typing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("after");

        // Voltage: digits and points, four characters.
        QTest::newRow("volt 1 2 a . 5") << "Text3"
                                        << "" << QStringList { "1", "2", "a", ".", "5" } << "12.5";
        QTest::newRow("volt fifth char refused") << "Text3"
                                                 << "" << QStringList { "12.55" } << "12.5";
        QTest::newRow("volt slash") << "Text3"
                                    << "" << QStringList { "/" } << "";
        QTest::newRow("volt many points") << "Text3"
                                          << "" << QStringList { "1..." } << "1...";
        // Channel: 1 to 5, one character.
        QTest::newRow("channel 7") << "Text12"
                                   << "" << QStringList { "7" } << "";
        QTest::newRow("channel 3") << "Text12"
                                   << "" << QStringList { "3" } << "3";
        QTest::newRow("channel second digit") << "Text12"
                                              << "" << QStringList { "3", "4" } << "3";
        QTest::newRow("channel 0") << "Text12"
                                   << "" << QStringList { "0" } << "";
        // Frequencies: digits, six.
        for (const char* f : { "Text4", "Text5", "Text10", "Text11", "Text13" }) {
            QTest::addRow("%s 150000", f) << f << "" << QStringList { "150000" } << "150000";
            QTest::addRow("%s seventh digit", f)
                << f << "" << QStringList { "1500001" } << "150000";
            QTest::addRow("%s point and slash", f) << f << "" << QStringList { ".", "/" } << "";
        }
        // Duties: digits, five.
        for (const char* f : { "Text6", "Text7", "Text8", "Text9", "Text14" }) {
            QTest::addRow("%s 100", f) << f << "" << QStringList { "100" } << "100";
            QTest::addRow("%s point", f) << f << "" << QStringList { "." } << "";
            QTest::addRow("%s sixth digit", f) << f << "" << QStringList { "123456" } << "12345";
            QTest::addRow("%s keeps the start-up point", f)
                << f << "50.0" << QStringList { "<END>", "5" } << "50.05";
        }
        // Keys that type no character work as usual; control characters do not.
        QTest::newRow("backspace") << "Text4"
                                   << "1000" << QStringList { "<END>", "<BS>" } << "1000";
        QTest::newRow("delete") << "Text4"
                                << "1000" << QStringList { "<HOME>", "<DEL>" } << "000";
        QTest::newRow("left then type")
            << "Text4"
            << "100" << QStringList { "<END>", "<LEFT>", "9" } << "1090";
        QTest::newRow("ctrl+v") << "Text4"
                                << "" << QStringList { "<C-V>" } << "";
        QTest::newRow("return and escape") << "Text4"
                                           << "12" << QStringList { "<RET>", "<ESC>" } << "12";
        QTest::newRow("blank") << "Text4"
                               << "12" << QStringList { " " } << "12";
        // Length counts the selection as removed; program-written text is never cut.
        QTest::newRow("replace a selection at the limit")
            << "Text4"
            << "150000" << QStringList { "<SELALL>", "4" } << "4";
        QTest::newRow("long text from the module")
            << "Text4"
            << "1000000" << QStringList { "<END>", "5" } << "1000000";
        QTest::newRow("long text, delete, type")
            << "Text4"
            << "1000000" << QStringList { "<HOME>", "<DEL>", "<DEL>", "7" } << "700000";
    }

    void typing()
    {
        QFETCH(QString, field);
        QFETCH(QString, before);
        QFETCH(QStringList, keys);
        QFETCH(QString, after);
        WindowFixture f;
        f.start();
        QLineEdit* edit = f.field(qPrintable(field));
        edit->setText(before);
        edit->setFocus();
        type(edit, keys);
        QCOMPARE(edit->text(), after);
    }

    void pasteFromTheMenuStays()
    {
        WindowFixture f;
        f.start();
        QLineEdit* edit = f.field("Text4");
        edit->clear();
        edit->insert(QStringLiteral("12abc3456789")); // what the context menu's paste does
        QCOMPARE(edit->text(), QStringLiteral("12abc3456789"));
        QVERIFY(!edit->testAttribute(Qt::WA_InputMethodEnabled));
    }
};

QTEST_MAIN(TestKeyFilter)
#include "tst_key_filter.moc"
