// SPDX-License-Identifier: MIT
// What the header leaves out or gets wrong, line by line of the DBC file.
//
// Every finding about signals is read off the bit walk that writes the
// header: which signals it visits and the member names it gives them. A
// signal the walk passes over is explained by the signals it did visit.

#include "bitwalk.h"
#include <quarvel/cdbc.h>

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QVarLengthArray>

#include <algorithm>

namespace
{

bool isCIdentifier(const QByteArray &name)
{
    if (name.isEmpty() || (name.at(0) >= '0' && name.at(0) <= '9'))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

// The keywords of C99 and C11.
bool isCKeyword(const QByteArray &name)
{
    static const QSet<QByteArray> keywords = {
        "auto",           "break",        "case",     "char",    "const",    "continue",
        "default",        "do",           "double",   "else",    "enum",     "extern",
        "float",          "for",          "goto",     "if",      "inline",   "int",
        "long",           "register",     "restrict", "return",  "short",    "signed",
        "sizeof",         "static",       "struct",   "switch",  "typedef",  "union",
        "unsigned",       "void",         "volatile", "while",   "_Bool",    "_Complex",
        "_Imaginary",     "_Alignas",     "_Alignof", "_Atomic", "_Generic", "_Noreturn",
        "_Static_assert", "_Thread_local"};
    return keywords.contains(name);
}

QString text(const char *name)
{
    return QString::fromLatin1(name);
}

// How findings name a message; a message on whose BO_ line no name was found
// is not shown with an empty one.
QString messageLabel(const CanMsgInfo &msg)
{
    if (msg.msgName[0] == '\0')
        return QStringLiteral("message without a name: ");
    return QStringLiteral("message %1: ").arg(text(msg.msgName));
}

// Why no name is found on a BO_ line. The name is a word of ASCII letters,
// digits and underscores with white space before it and the colon right
// after it, so a blank before the colon (BO_ 869 DSU_CRUISE : 7 DSU) loses it.
QString namelessReason(const QString &line)
{
    const int colon = line.indexOf(QLatin1Char(':'));
    if (colon < 1)
        return QStringLiteral("no colon");
    const QChar before = line.at(colon - 1);
    if (before == QLatin1Char(' '))
        return QStringLiteral("a blank before its colon");
    if (before.isSpace())
        return QStringLiteral("white space before its colon");
    return QStringLiteral("a character other than A-Z, a-z, 0-9 and _ in its name");
}

// The bits a signal covers in the header, from its start bit as laid out.
QString bitsLaidOut(const CanSignalInfo &sig)
{
    if (sig.bitLength == 1)
        return QStringLiteral("laid out at bit %1").arg(sig.bitStart);
    return QStringLiteral("laid out over bits %1 to %2")
        .arg(sig.bitStart)
        .arg(sig.bitStart + sig.bitLength - 1);
}

// Collects the findings of one message.
class MessageFindings
{
public:
    MessageFindings(const CanMsgInfo &msg, const DbcSourceMessage &source,
                    QVector<DbcFinding> &found)
        : msg(msg), source(source), found(found), label(messageLabel(msg))
    {
    }

    void signalsOfTheWalk();

private:
    int slotOf(const CanSignalInfo &sig) const { return int(&sig - msg.signalInfo); }
    int lineOf(const CanSignalInfo *sig) const
    {
        return sig ? source.signalLines[slotOf(*sig)] : source.line;
    }
    void add(DbcFinding::Kind kind, const CanSignalInfo *sig, const QString &what)
    {
        found.append({kind, lineOf(sig), label + what});
    }
    void member(const QByteArray &name, const CanSignalInfo *sig);
    QString placed(const CanSignalInfo &sig) const;
    QString notWrittenReason(const CanSignalInfo &sig) const;

    const CanMsgInfo &msg;
    const DbcSourceMessage &source;
    QVector<DbcFinding> &found;
    const QString label;
    QVarLengthArray<const CanSignalInfo *, DbcLimits::MaxSignals> written; // in walk order
    // Member names with their signals (null: a reserve). Reserves are only
    // kept when a signal's name could be one of theirs.
    QVarLengthArray<QPair<QByteArray, const CanSignalInfo *>, 2 * DbcLimits::MaxSignals> members;
    bool reserveNames = false;
    bool nameReported[DbcLimits::MaxSignals] = {}; // by slot
};

// A member line's name: no C identifier or a keyword (once per signal), or
// the same as an earlier member of the struct.
void MessageFindings::member(const QByteArray &name, const CanSignalInfo *sig)
{
    if (sig && !nameReported[slotOf(*sig)] && (!isCIdentifier(name) || isCKeyword(name))) {
        nameReported[slotOf(*sig)] = true;
        add(DbcFinding::NoCName, sig,
            QStringLiteral("member %1 is %2")
                .arg(QString::fromUtf8(name),
                     isCKeyword(name) ? text("a C keyword") : text("no C identifier")));
    }
    for (const auto &earlier : members) {
        if (earlier.first == name) {
            add(DbcFinding::MemberTwice, sig ? sig : earlier.second,
                QStringLiteral("member %1 appears twice in %2_Type")
                    .arg(QString::fromUtf8(name), text(msg.msgName)));
            return;
        }
    }
    members.append({name, sig});
}

// A signal with its start bit as the DBC file writes it and the bit the
// header lays it out at. The header mirrors every start bit within its byte
// (bit k becomes 7 - k), so the two always differ. Without the file's lines
// the file's bit is the mirror of the table's.
QString MessageFindings::placed(const CanSignalInfo &sig) const
{
    const int fileStartBit = source.line > 0 ? source.startBits[slotOf(sig)] : sig.bitStart ^ 7;
    return QStringLiteral("signal %1 (start bit %2, laid out at %3)")
        .arg(text(sig.signalName))
        .arg(fileStartBit)
        .arg(sig.bitStart);
}

// Why the walk passed over a signal, told by the signals it wrote: it reached
// the start bit and took an earlier slot there, or it never stopped there
// because a written signal covers it, or the start lies beyond bit 63.
QString MessageFindings::notWrittenReason(const CanSignalInfo &sig) const
{
    for (const CanSignalInfo *other : written) {
        if (other->bitStart == sig.bitStart)
            return QStringLiteral("it shares its start bit with signal %1 (%2)")
                .arg(text(other->signalName), bitsLaidOut(*other));
        if (other->bitStart < sig.bitStart && sig.bitStart < other->bitStart + other->bitLength)
            return QStringLiteral("it starts inside signal %1 (%2)")
                .arg(text(other->signalName), bitsLaidOut(*other));
    }
    return QStringLiteral("it starts after bit 63");
}

void MessageFindings::signalsOfTheWalk()
{
    const int slotsInUse = qMin<int>(msg.signalCnt, DbcLimits::MaxSignals);
    for (int slot = 0; slot < slotsInUse; ++slot)
        reserveNames = reserveNames || qstrncmp(msg.signalInfo[slot].signalName, "resev_", 6) == 0;
    BitWalk::walk(msg,
                  [this](const BitWalk::MemberName &name, int part, int, const CanSignalInfo *sig) {
                      if (sig && part <= 0)
                          written.append(sig);
                      if (sig || reserveNames)
                          member(QByteArray(name.bytes, name.length) +
                                     (part >= 0 ? QByteArray::number(part) : QByteArray()),
                                 sig);
                  });
    for (int slot = 0; slot < slotsInUse; ++slot) {
        const CanSignalInfo &sig = msg.signalInfo[slot];
        const int end = sig.bitStart + sig.bitLength;
        if (sig.bitLength == 0)
            add(DbcFinding::SignalNotWritten, &sig,
                QStringLiteral("signal %1 is not written: its length is 0")
                    .arg(text(sig.signalName)));
        else if (!written.contains(&sig))
            add(DbcFinding::SignalNotWritten, &sig,
                QStringLiteral("%1 is not written: %2").arg(placed(sig), notWrittenReason(sig)));
        else if (end > DbcLimits::PayloadBits)
            add(DbcFinding::SignalPastBit63, &sig,
                QStringLiteral("%1 runs past bit 63 to bit %2: %3_Type is wider than 64 bits")
                    .arg(placed(sig))
                    .arg(end - 1)
                    .arg(text(msg.msgName)));
    }
}

// What the reader could not keep, and the struct's name and identifier.
void messageFindings(const CanMsgInfo &msg, const DbcSourceMessage &source,
                     QHash<QByteArray, int> &structs, QHash<qint32, int> &identifiers,
                     QVector<DbcFinding> &found)
{
    const QString label = messageLabel(msg);
    const auto add = [&](DbcFinding::Kind kind, int line, const QString &what) {
        found.append({kind, line, what});
    };
    if (!source.fullName.isNull())
        add(DbcFinding::NameCut, source.line,
            QStringLiteral("message name cut to 39 bytes: ") + source.fullName);
    if (msg.msgName[0] == '\0')
        add(DbcFinding::MessageWithoutName, source.line,
            QStringLiteral("message without a name (%1): its struct is called _Type")
                .arg(namelessReason(source.namelessLine)));
    const QByteArray structName = QByteArray(msg.msgName) + "_Type";
    if (!isCIdentifier(structName))
        add(DbcFinding::NoCName, source.line,
            label + QStringLiteral("%1 is no C identifier").arg(QString::fromLatin1(structName)));
    if (structs.contains(structName))
        add(DbcFinding::StructTwice, source.line,
            label + QStringLiteral("%1 is defined already at line %2")
                        .arg(QString::fromLatin1(structName))
                        .arg(structs.value(structName)));
    else
        structs.insert(structName, source.line);
    if (identifiers.contains(msg.msgId))
        add(DbcFinding::IdentifierTwice, source.line,
            label + QStringLiteral("identifier 0x%1 is that of the message at line %2 too")
                        .arg(quint32(msg.msgId), 0, 16)
                        .arg(identifiers.value(msg.msgId)));
    else
        identifiers.insert(msg.msgId, source.line);
    if (source.droppedLines > 0)
        add(DbcFinding::SignalLinesDropped, source.firstDroppedLine,
            label + (source.droppedLines == 1
                         ? QStringLiteral("1 signal line after the 64th is dropped")
                         : QStringLiteral("%1 signal lines after the 64th are dropped")
                               .arg(source.droppedLines)));
    for (const auto &cut : source.fullSignalNames)
        add(DbcFinding::NameCut, source.signalLines[cut.first],
            label + QStringLiteral("signal name cut to 39 bytes: ") + cut.second);
}

} // namespace

QVector<DbcFinding> CDBC::findings() const
{
    QVector<DbcFinding> found;
    if (msgTable == nullptr || msgCnt < 1) {
        found.append({DbcFinding::NoMessage, 0, QStringLiteral("no message found")});
        return found;
    }
    QHash<QByteArray, int> structs;
    QHash<qint32, int> identifiers;
    const DbcSourceMessage unknown;
    for (int i = 0; i < msgCnt; ++i) {
        const DbcSourceMessage &source = i < sourceMessages.size() ? sourceMessages.at(i) : unknown;
        messageFindings(msgTable[i], source, structs, identifiers, found);
        MessageFindings(msgTable[i], source, found).signalsOfTheWalk();
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const DbcFinding &a, const DbcFinding &b) { return a.line < b.line; });
    return found;
}
