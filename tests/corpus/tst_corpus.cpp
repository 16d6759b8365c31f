#include "cdbc.h"
#include "dbcnotes.h"
#include "testfiles.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

// Real DBC files, converted whole: every file reads (or is refused for its
// message count, leaving the earlier header as it was), every struct lays its
// members over the payload bits as the bit walk promises, and the header
// compiles as C wherever the names allow it.

namespace
{

const QString HeaderName = QStringLiteral("dbc_2_struct.h");
const QByteArray OldHeader = "/* header of an earlier conversion */\r\n";

// Message lines: lines that start with "BO_ " and are ended by a line feed.
int messageLines(const QByteArray &dbc)
{
    int count = 0;
    for (int at = 0; (at = dbc.indexOf("BO_ ", at)) >= 0; at += 4) {
        if ((at == 0 || dbc.at(at - 1) == '\n') && dbc.indexOf('\n', at) >= 0)
            ++count;
    }
    return count;
}

struct Member {
    QByteArray name;
    int width;
};

struct Struct {
    QByteArray name;
    QVector<Member> members;
};

QVector<Struct> structsOf(const QByteArray &header)
{
    static const QRegularExpression block(QStringLiteral("\\{\\r\\n(.*?) \\}(\\w*)_Type;\\r\\n"),
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression member(QStringLiteral("^    unsigned char (\\w*):(\\d+);\\r$"),
                                           QRegularExpression::MultilineOption);
    QVector<Struct> out;
    auto blocks = block.globalMatch(QString::fromUtf8(header));
    while (blocks.hasNext()) {
        const auto b = blocks.next();
        Struct s{b.captured(2).toUtf8(), {}};
        auto members = member.globalMatch(b.captured(1));
        while (members.hasNext()) {
            const auto m = members.next();
            s.members.append({m.captured(1).toUtf8(), m.captured(2).toInt()});
        }
        out.append(s);
    }
    return out;
}

// The signal the walk writes at `bit`: the first slot that starts there and
// is at least one bit long.
const CanSignalInfo *signalAt(const CanMsgInfo &msg, int bit)
{
    for (int s = 0; s < msg.signalCnt; ++s) {
        if (msg.signalInfo[s].bitStart == bit && msg.signalInfo[s].bitLength > 0)
            return &msg.signalInfo[s];
    }
    return nullptr;
}

// Empty when the struct lays the message out as the bit walk promises, else what
// is wrong: members follow the bits from 0 on, none wider than 8 bits or crossing
// a byte; each signal is written whole at its start bit, in one member or in
// numbered parts; reserves fill exactly the bits at which no signal starts; the
// struct ends at bit 64, or right after the signal that runs past bit 63.
QString layoutFault(const Struct &s, const CanMsgInfo &msg)
{
    int bit = 0;
    int reserve = 0;
    for (int i = 0; i < s.members.size();) {
        const QString at = QStringLiteral("bit %1, %2: ").arg(bit).arg(QString(s.members[i].name));
        if (bit >= DbcLimits::PayloadBits)
            return at + "member after bit 63";
        const int groupStart = i;
        const CanSignalInfo *sig = signalAt(msg, bit);
        if (!sig) {
            if (s.members[i].name != "resev_" + QByteArray::number(reserve++))
                return at + "expected a reserve";
            for (int b = bit + 1; b < bit + s.members[i].width; ++b) {
                if (signalAt(msg, b))
                    return at + "reserve hides a signal";
            }
            ++i;
        } else {
            const QByteArray name(sig->signalName);
            const bool whole = bit % 8 + sig->bitLength <= 8;
            int width = 0;
            for (int part = 0; width < sig->bitLength; ++part, ++i) {
                if (i == s.members.size() ||
                    s.members[i].name != (whole ? name : name + QByteArray::number(part)))
                    return at + "signal not written whole";
                width += s.members[i].width;
            }
            if (width != sig->bitLength)
                return at + "signal written with another width";
        }
        for (int m = groupStart; m < i; ++m) {
            const int width = s.members[m].width;
            if (width < 1 || width > 8 || bit % 8 + width > 8)
                return at + "member wider than its byte";
            bit += width;
        }
    }
    return bit < DbcLimits::PayloadBits ? QStringLiteral("struct ends at bit %1").arg(bit)
                                        : QString();
}

// Every type name and member name is a valid C identifier, unique in its scope.
bool namesFitC(const QVector<Struct> &structs)
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    static const QList<QByteArray> keywords =
        QByteArray("auto break case char const continue default do double else enum extern float "
                   "for goto if inline int long register restrict return short signed sizeof "
                   "static struct switch typedef union unsigned void volatile while _Bool "
                   "_Complex _Imaginary")
            .split(' ');
    const auto fits = [](const QByteArray &name, QSet<QByteArray> &scope) {
        if (!identifier.match(QString::fromLatin1(name)).hasMatch() || keywords.contains(name) ||
            scope.contains(name))
            return false;
        scope.insert(name);
        return true;
    };
    QSet<QByteArray> types;
    for (const Struct &s : structs) {
        QSet<QByteArray> members;
        if (!fits(s.name + "_Type", types))
            return false;
        for (const Member &m : s.members) {
            if (!fits(m.name, members))
                return false;
        }
    }
    return true;
}

} // namespace

class tst_Corpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, false); }
    void cleanupTestCase();
    void convert_data();
    void convert();

private:
    int compiled = 0;
};

void tst_Corpus::cleanupTestCase()
{
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true);
    qInfo("%d headers compiled as C", compiled);
}

void tst_Corpus::convert_data()
{
    addCorpusRows();
}

void tst_Corpus::convert()
{
    QFETCH(QString, path);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString header = tmp.filePath(HeaderName);
    QVERIFY(writeFile(header, OldHeader));

    QStringList notes;
    const CDBC::Notifier previous =
        CDBC::setNotifier([&notes](const QString &, const QString &text) { notes << text; });
    CDBC engine;
    engine.transDbc(path, tmp.path());
    CDBC::setNotifier(previous);

    const int messages = messageLines(readAll(path));
    if (messages > DbcLimits::MaxMessages) {
        QCOMPARE(notes, QStringList{QString::fromUtf8(DbcNotes::TooManyMessages)});
        QCOMPARE(readAll(header), OldHeader);
        return;
    }
    QCOMPARE(notes, QStringList{QString::fromUtf8(DbcNotes::HeaderWritten)});
    QCOMPARE(engine.msgCnt, messages);
    const QVector<Struct> structs = structsOf(readAll(header));
    QCOMPARE(structs.size(), engine.msgCnt);
    for (int i = 0; i < structs.size(); ++i) {
        const QString fault = layoutFault(structs[i], engine.msgTable[i]);
        QVERIFY2(fault.isEmpty(), qPrintable(QString(structs[i].name) + ": " + fault));
    }

#ifdef QUARVEL_C_COMPILER
    if (!namesFitC(structs))
        return;
    // Each struct that stays within bits 0 to 63 takes exactly 8 bytes.
    QByteArray source = "#include \"" + HeaderName.toUtf8() + "\"\n";
    for (const Struct &s : structs) {
        int bits = 0;
        for (const Member &m : s.members)
            bits += m.width;
        if (bits == DbcLimits::PayloadBits)
            source +=
                "typedef char size_of_" + s.name + "[sizeof(" + s.name + "_Type) == 8 ? 1 : -1];\n";
    }
    const QString file = tmp.filePath(QStringLiteral("check.c"));
    QVERIFY(writeFile(file, source));
    QProcess cc;
    cc.setWorkingDirectory(tmp.path());
    cc.setProcessChannelMode(QProcess::MergedChannels);
    cc.start(QStringLiteral(QUARVEL_C_COMPILER),
             {"-std=c99", "-Wall", "-Wextra", "-Werror", "-fsyntax-only", file});
    QVERIFY(cc.waitForFinished(60000));
    QVERIFY2(cc.exitStatus() == QProcess::NormalExit && cc.exitCode() == 0,
             cc.readAll().left(2000).constData());
    ++compiled;
#endif
}

QTEST_GUILESS_MAIN(tst_Corpus)
#include "tst_corpus.moc"
