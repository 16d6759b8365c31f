#include "cdbc.h"
#include "dbcnotes.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QtTest>

// Whole conversions of inputs a user can hand the program by mistake: each
// shows exactly the expected note, loses nothing that the rules keep, leaves
// an earlier header alone when it fails, and ends within its time bound.

namespace
{

const QByteArray OldHeader = "/* header of an earlier conversion */\r\n";

enum class Output { ExistingDir, DeepMissingDir, RegularFile };

QByteArray message(int index, const QByteArray &signalLines)
{
    return "\nBO_ " + QByteArray::number(index + 1) + " Msg" + QByteArray::number(index) +
           ": 8 ECU\n" + signalLines;
}

QByteArray signalLine(const QByteArray &name, int start, int length,
                      const QByteArray &receivers = "ECU")
{
    return " SG_ " + name + " : " + QByteArray::number(start) + '|' + QByteArray::number(length) +
           "@0+ (1,0) [0|255] \"\" " + receivers + '\n';
}

// `count` messages, each with one signal; comment lines after each up to `size` bytes in all.
QByteArray messages(int count, int size = 0)
{
    const QByteArray comment = "CM_ SG_ 1 Sig0 \"" + QByteArray(200, 'c') + "\";\n";
    QByteArray text = "VERSION \"\"\n\nBU_: ECU\n";
    text.reserve(size + 4096);
    for (int i = 0; i < count; ++i) {
        text += message(i, signalLine("Sig" + QByteArray::number(i), 7, 8));
        while (text.size() < qint64(size) * (i + 1) / count)
            text += comment;
    }
    return text;
}

// Deterministic noise over every byte value, NULs and high bytes included.
QByteArray garbage(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 0x2545F491u;
    for (char &byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = char(state >> 24);
    }
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(Output)

class tst_BadInput : public QObject
{
    Q_OBJECT

private slots:
    // The engine's step lines would only slow the large rows down.
    void initTestCase() { QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false); }
    void cleanupTestCase() { QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true); }
    void convert_data();
    void convert();
};

void tst_BadInput::convert_data()
{
    QTest::addColumn<QByteArray>("bytes"); // null: the DBC path is a directory
    QTest::addColumn<Output>("output");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("messageCount");      // read failures: -1
    QTest::addColumn<QByteArray>("headerPart"); // the written header holds it
    QTest::addColumn<int>("seconds");           // bound of the whole conversion

    const QString written = QString::fromUtf8(DbcNotes::HeaderWritten);
    const Output here = Output::ExistingDir;

    // No message line is found: an empty header, as for a file without messages.
    QTest::newRow("empty file") << QByteArray("") << here << written << 0 << QByteArray() << 5;
    QTest::newRow("CR-only line ends")
        << messages(3).replace('\n', '\r') << here << written << 0 << QByteArray() << 5;
    QTest::newRow("binary garbage")
        << garbage(64 * 1024) << here << written << 0 << QByteArray() << 5;
    QTest::newRow("10 MB, 300 messages")
        << messages(DbcLimits::MaxMessages, 10 * 1024 * 1024) << here << written << 300
        << QByteArray("{\r\n    unsigned char Sig299:8;\r\n") << 30;
    // The byte-order mark selects UTF-16: the header is the reviewed one of the example.
    QByteArray utf16("\xFF\xFE");
    for (const QChar c : QString::fromUtf8(readAll(QUARVEL_EXAMPLES "/vehicle.dbc")))
        utf16 += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
    QTest::newRow("UTF-16 with byte-order mark")
        << utf16 << here << written << 7
        << readAll(QStringLiteral(QUARVEL_TEST_DATA "/converter/vehicle.expected.h")) << 5;
    // Without the mark the bytes are read as 8-bit text, a NUL after every character.
    QTest::newRow("UTF-16 without byte-order mark")
        << utf16.mid(2) << here << written << 0 << QByteArray() << 5;
    // A receiver list of 1 MB on one signal line; the signal after it is kept. Again
    // after a character beyond U+FFFF, with commas and no closing parenthesis on the line.
    const QByteArray receivers = "ECU" + QByteArray(",ECU").repeated(256 * 1024);
    const QByteArray wideThenNext =
        "{\r\n    unsigned char Wide:8;\r\n    unsigned char resev_0:4;\r\n"
        "    unsigned char Next:4;\r\n";
    QTest::newRow("1 MB single line")
        << "BU_: ECU\n" +
               message(0, signalLine("Wide", 7, 8, receivers) + signalLine("Next", 11, 4))
        << here << written << 1 << wideThenNext << 30;
    QTest::newRow("1 MB single line, character beyond U+FFFF")
        << "\xEF\xBB\xBF"
           "BU_: ECU\nCM_ \"\xF0\x9F\x9A\x97\";\n" +
               message(0, " SG_ Wide : 7|8@0+ [0|255] \"\" " + receivers + '\n' +
                              signalLine("Next", 11, 4))
        << here << written << 1 << wideThenNext << 30;
    QTest::newRow("directory as DBC path")
        << QByteArray() << here << QString::fromUtf8(DbcNotes::DbcNotRead) << -1 << QByteArray()
        << 5;
    QTest::newRow("301 messages") << messages(301) << here
                                  << QString::fromUtf8(DbcNotes::TooManyMessages) << -1
                                  << QByteArray() << 10;
    // Of 65 signal lines the first 64 are kept: the 65th, alone at its bit, is not written.
    QByteArray signalLines;
    for (int i = 0; i < 64; ++i)
        signalLines += signalLine("S" + QByteArray::number(i), 0, 1);
    QTest::newRow("65 signals")
        << "BU_: ECU\n" + message(0, signalLines + signalLine("S64", 8, 1)) << here << written << 1
        << QByteArray("{\r\n    unsigned char resev_0:7;\r\n    unsigned char S0:1;\r\n"
                      "    unsigned char resev_1:8;\r\n")
        << 5;
    QTest::newRow("output path is a file")
        << messages(2) << Output::RegularFile << QString::fromUtf8(DbcNotes::HeaderNotWritten) << 2
        << QByteArray() << 5;
    QTest::newRow("deep output directory not existing yet")
        << messages(2) << Output::DeepMissingDir << written << 2
        << QByteArray("    unsigned char Sig1:8;\r\n") << 5;
}

void tst_BadInput::convert()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Output, output);
    QFETCH(QString, note);
    QFETCH(int, messageCount);
    QFETCH(QByteArray, headerPart);
    QFETCH(int, seconds);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dbc = tmp.filePath(QStringLiteral("input.dbc"));
    QVERIFY(bytes.isNull() ? QDir().mkdir(dbc) : writeFile(dbc, bytes));
    QString outDir = tmp.filePath(output == Output::DeepMissingDir ? "out/a/b/c/d/e" : "out");
    const QString header = outDir + QStringLiteral("/dbc_2_struct.h");
    const QByteArray blocker = "a file, not a directory";
    if (output != Output::DeepMissingDir) {
        QVERIFY(QDir().mkdir(outDir));
        QVERIFY(writeFile(header, OldHeader));
    }
    if (output == Output::RegularFile) {
        outDir = tmp.filePath(QStringLiteral("blocker"));
        QVERIFY(writeFile(outDir, blocker));
    }
    const QString cwd = QDir::currentPath();

    QStringList notes;
    const CDBC::Notifier previous =
        CDBC::setNotifier([&notes](const QString &title, const QString &text) {
            notes << (title == QLatin1String(DbcNotes::Title) ? text : title + ": " + text);
        });
    CDBC engine;
    QElapsedTimer timer;
    timer.start();
    engine.transDbc(dbc, outDir);
    const qint64 elapsed = timer.elapsed();
    CDBC::setNotifier(previous);

    QCOMPARE(notes, QStringList{note});
    QVERIFY2(elapsed < seconds * 1000, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
    QCOMPARE(QDir::currentPath(), cwd);
    if (!bytes.isNull())
        QCOMPARE(readAll(dbc), bytes);
    if (messageCount < 0) { // refused: the old header stays byte for byte
        QCOMPARE(engine.msgCnt, 0);
        QCOMPARE(readAll(header), OldHeader);
        return;
    }
    QCOMPARE(engine.msgCnt, messageCount);
    if (output == Output::RegularFile) {
        QCOMPARE(readAll(outDir), blocker);
        return;
    }
    const QByteArray written = readAll(header);
    QCOMPARE(written, CDBC::buildStructHeader(engine.msgTable, engine.msgCnt));
    QVERIFY(written.contains(headerPart));
    QCOMPARE(written.count("_Type;\r\n"), messageCount);
}

QTEST_GUILESS_MAIN(tst_BadInput)
#include "tst_badinput.moc"
