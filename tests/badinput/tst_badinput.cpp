#include "cdbc.h"
#include "dbcnotes.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QtTest>

// Whole conversions of inputs a user can hand the program by mistake: each
// shows exactly the expected note, loses nothing that the rules keep, leaves
// an earlier header alone when it fails, and ends within its time bound.

namespace
{

const QString HeaderName = QStringLiteral("dbc_2_struct.h");
const QByteArray OldHeader = "/* header of an earlier conversion */\r\n";

enum class Input { Bytes, Directory };
enum class Output { ExistingDir, DeepMissingDir, RegularFile };

QString note(const char *text)
{
    return QString::fromUtf8(text);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

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

QByteArray messages(int count)
{
    QByteArray text = "VERSION \"\"\n\nBU_: ECU\n";
    for (int i = 0; i < count; ++i)
        text += message(i, signalLine("Sig" + QByteArray::number(i), 7, 8));
    return text;
}

// 10 MB: 300 messages spread evenly, comment lines in between.
QByteArray tenMegabytes()
{
    const int total = 10 * 1024 * 1024;
    const QByteArray comment = "CM_ SG_ 1 Sig0 \"" + QByteArray(200, 'c') + "\";\n";
    QByteArray text = "VERSION \"\"\n\nBU_: ECU\n";
    text.reserve(total + 4096);
    for (int i = 0; i < DbcLimits::MaxMessages; ++i) {
        text += message(i, signalLine("Sig" + QByteArray::number(i), 7, 8));
        while (text.size() < qint64(total) * (i + 1) / DbcLimits::MaxMessages)
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

// Little-endian UTF-16, with or without its byte-order mark.
QByteArray utf16(const QByteArray &utf8, bool byteOrderMark)
{
    QByteArray bytes = byteOrderMark ? QByteArray("\xFF\xFE") : QByteArray();
    for (const QChar c : QString::fromUtf8(utf8))
        bytes += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
    return bytes;
}

QByteArray example()
{
    return readAll(QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc"));
}

// Collects the notes the engine shows while it lives.
struct NoteRecorder {
    QStringList texts;
    CDBC::Notifier previous;
    NoteRecorder()
    {
        previous = CDBC::setNotifier([this](const QString &title, const QString &text) {
            texts << (title == QLatin1String(DbcNotes::Title) ? text : title + ": " + text);
        });
    }
    ~NoteRecorder() { CDBC::setNotifier(previous); }
};

} // namespace

Q_DECLARE_METATYPE(Input)
Q_DECLARE_METATYPE(Output)

class tst_BadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void convert_data();
    void convert();
};

void tst_BadInput::initTestCase()
{
    // The engine's step lines would only slow the large rows down.
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false);
}

void tst_BadInput::cleanupTestCase()
{
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true);
}

void tst_BadInput::convert_data()
{
    QTest::addColumn<Input>("input");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Output>("output");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<int>("messageCount");      // read failures: -1
    QTest::addColumn<QByteArray>("headerPart"); // the written header holds it
    QTest::addColumn<int>("seconds");           // bound of the whole conversion

    const QStringList written{note(DbcNotes::HeaderWritten)};
    const QStringList notRead{note(DbcNotes::DbcNotRead)};
    const Input bytes = Input::Bytes;
    const Output here = Output::ExistingDir;

    QTest::newRow("empty file") << bytes << QByteArray() << here << written << 0 << QByteArray()
                                << 5;
    QTest::newRow("binary garbage")
        << bytes << garbage(64 * 1024) << here << written << 0 << QByteArray() << 5;
    QTest::newRow("10 MB, 300 messages")
        << bytes << tenMegabytes() << here << written << 300
        << QByteArray("{\r\n    unsigned char Sig299:8;\r\n") << 30;
    // A carriage return alone does not end a line: no message line is found.
    QTest::newRow("CR-only line ends")
        << bytes << messages(3).replace('\n', '\r') << here << written << 0 << QByteArray() << 5;
    QTest::newRow("UTF-16 with byte-order mark")
        << bytes << utf16(example(), true) << here << written << 7
        << readAll(QStringLiteral(QUARVEL_TEST_DATA "/converter/vehicle.expected.h")) << 5;
    // Without a mark the bytes are taken as 8-bit text, every other one a NUL,
    // so no line starts with "BO_ ".
    QTest::newRow("UTF-16 without byte-order mark")
        << bytes << utf16(example(), false) << here << written << 0 << QByteArray() << 5;
    // A receiver list of 1 MB on one signal line; the signal after it is kept.
    const QByteArray receivers = "ECU" + QByteArray(",ECU").repeated(256 * 1024);
    QTest::newRow("1 MB single line")
        << bytes
        << "BU_: ECU\n" +
               message(0, signalLine("Wide", 7, 8, receivers) + signalLine("Next", 11, 4))
        << here << written << 1
        << QByteArray("{\r\n    unsigned char Wide:8;\r\n    unsigned char resev_0:4;\r\n"
                      "    unsigned char Next:4;\r\n")
        << 30;
    // The same after a comment holding a character beyond U+FFFF, with the
    // receivers on a line of their own shape: commas and no closing parenthesis.
    QTest::newRow("1 MB single line, character beyond U+FFFF")
        << bytes
        << "\xEF\xBB\xBF"
           "BU_: ECU\nCM_ \"\xF0\x9F\x9A\x97\";\n" +
               message(0, " SG_ Wide : 7|8@0+ [0|255] \"\" " + receivers + '\n' +
                              signalLine("Next", 11, 4))
        << here << written << 1
        << QByteArray("{\r\n    unsigned char Wide:8;\r\n    unsigned char resev_0:4;\r\n"
                      "    unsigned char Next:4;\r\n")
        << 30;
    QTest::newRow("directory as DBC path")
        << Input::Directory << QByteArray() << here << notRead << -1 << QByteArray() << 5;
    QTest::newRow("301 messages") << bytes << messages(301) << here
                                  << QStringList{note(DbcNotes::TooManyMessages)} << -1
                                  << QByteArray() << 10;
    // Of 65 signal lines the first 64 are kept: the 65th, alone at its bit,
    // is not written.
    QByteArray signalLines;
    for (int i = 0; i < 64; ++i)
        signalLines += signalLine("S" + QByteArray::number(i), 0, 1);
    signalLines += signalLine("S64", 8, 1);
    QTest::newRow("65 signals")
        << bytes << "BU_: ECU\n" + message(0, signalLines) << here << written << 1
        << QByteArray("{\r\n    unsigned char resev_0:7;\r\n    unsigned char S0:1;\r\n"
                      "    unsigned char resev_1:8;\r\n")
        << 5;
    QTest::newRow("output path is a file")
        << bytes << messages(2) << Output::RegularFile
        << QStringList{note(DbcNotes::HeaderNotWritten)} << 2 << QByteArray() << 5;
    QTest::newRow("deep output directory not existing yet")
        << bytes << messages(2) << Output::DeepMissingDir << written << 2
        << QByteArray("    unsigned char Sig1:8;\r\n") << 5;
}

void tst_BadInput::convert()
{
    QFETCH(Input, input);
    QFETCH(QByteArray, bytes);
    QFETCH(Output, output);
    QFETCH(QStringList, notes);
    QFETCH(int, messageCount);
    QFETCH(QByteArray, headerPart);
    QFETCH(int, seconds);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QString dbc = tmp.filePath(QStringLiteral("input.dbc"));
    if (input == Input::Directory)
        QVERIFY(QDir().mkdir(dbc));
    else
        QVERIFY(writeFile(dbc, bytes));

    QString outDir = tmp.filePath(QStringLiteral("out"));
    if (output == Output::DeepMissingDir)
        outDir += QStringLiteral("/a/b/c/d/e");
    else
        QVERIFY(QDir().mkdir(outDir));
    const QString header = outDir + QLatin1Char('/') + HeaderName;
    const QByteArray blocker = "a file, not a directory";
    if (output == Output::RegularFile) {
        outDir = tmp.filePath(QStringLiteral("blocker"));
        QVERIFY(writeFile(outDir, blocker));
    } else if (output == Output::ExistingDir) {
        QVERIFY(writeFile(header, OldHeader));
    }
    const QString cwd = QDir::currentPath();

    NoteRecorder recorder;
    CDBC engine;
    QElapsedTimer timer;
    timer.start();
    engine.transDbc(dbc, outDir);
    const qint64 elapsed = timer.elapsed();

    QCOMPARE(recorder.texts, notes);
    QVERIFY2(elapsed < seconds * 1000, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
    QCOMPARE(QDir::currentPath(), cwd);
    if (input == Input::Bytes)
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
