// SPDX-License-Identifier: MIT
// What the header leaves out or gets wrong, line by line of the DBC file.
//
// Every finding about signals is read off the bit walk that writes the
// header: which signals it visits and the member names it gives them. A
// signal the walk passes over is explained by the signals it did visit.
//
// The findings are worked out on every conversion, so they are built without
// a temporary string per member: member names are compared as the bytes the
// header writes, and a text is put together only for a finding.

#include "bitwalk.h"
#include <quarvel/cdbc.h>

#include <QByteArray>
#include <QFileInfo>
#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace
{

using BitWalk::MemberName;

bool isCIdentifier(const char *name, int length)
{
    if (length == 0 || (name[0] >= '0' && name[0] <= '9'))
        return false;
    return std::all_of(name, name + length, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

// The keywords of C99 and C11.
bool isCKeyword(const char *name, int length)
{
    static const char *const keywords[] = {
        "auto",           "break",        "case",     "char",    "const",    "continue",
        "default",        "do",           "double",   "else",    "enum",     "extern",
        "float",          "for",          "goto",     "if",      "inline",   "int",
        "long",           "register",     "restrict", "return",  "short",    "signed",
        "sizeof",         "static",       "struct",   "switch",  "typedef",  "union",
        "unsigned",       "void",         "volatile", "while",   "_Bool",    "_Complex",
        "_Imaginary",     "_Alignas",     "_Alignof", "_Atomic", "_Generic", "_Noreturn",
        "_Static_assert", "_Thread_local"};
    // Every keyword starts with a lower-case letter or an underscore, as few
    // signal names do.
    if (length == 0 || !((name[0] >= 'a' && name[0] <= 'z') || name[0] == '_'))
        return false;
    for (const char *keyword : keywords) {
        if (int(std::strlen(keyword)) == length && std::memcmp(keyword, name, size_t(length)) == 0)
            return true;
    }
    return false;
}

// A finding's text, put together piece by piece into room for a text of any
// usual length, so that it is allocated once. Names are the bytes of the
// record, each taken as a Latin-1 character.
class Text
{
public:
    Text() { text.reserve(200); }
    Text &operator<<(const char *latin1)
    {
        text.append(QLatin1String(latin1));
        return *this;
    }
    Text &operator<<(const QString &part)
    {
        text.append(part);
        return *this;
    }
    Text &operator<<(int value)
    {
        char digits[12];
        int at = 0;
        if (value < 0)
            digits[at++] = '-', value = -value;
        const char *end = BitWalk::putDecimal(digits + at, quint32(value));
        text.append(QLatin1String(digits, int(end - digits)));
        return *this;
    }
    operator QString() const { return text; }

private:
    QString text;
};

// How findings name a message or a signal whose line gave no name: not with
// an empty one.
Text &messageLabel(Text &out, const CanMsgInfo &msg)
{
    if (msg.msgName[0] == '\0')
        return out << "message without a name: ";
    return out << "message " << msg.msgName << ": ";
}

Text &signalLabel(Text &out, const CanSignalInfo &sig)
{
    if (sig.signalName[0] == '\0')
        return out << "signal without a name";
    return out << "signal " << sig.signalName;
}

Text &memberLabel(Text &out, const MemberName &name)
{
    if (name.length == 0)
        return out << "member without a name";
    return out << "member " << QString::fromUtf8(name.bytes, name.length);
}

// Why no name is found on a BO_ line. The name is a word of ASCII letters,
// digits and underscores with white space before it and the colon right
// after it, so a blank before the colon (BO_ 869 DSU_CRUISE : 7 DSU) loses it.
const char *namelessReason(const QString &line)
{
    const int colon = line.indexOf(QLatin1Char(':'));
    if (colon < 1)
        return "no colon";
    const QChar before = line.at(colon - 1);
    if (before == QLatin1Char(' '))
        return "a blank before its colon";
    if (before.isSpace())
        return "white space before its colon";
    return "a character other than A-Z, a-z, 0-9 and _ in its name";
}

// The bits a signal covers in the header, from its start bit as laid out.
Text &bitsLaidOut(Text &out, const CanSignalInfo &sig)
{
    if (sig.bitLength == 1)
        return out << "laid out at bit " << sig.bitStart;
    return out << "laid out over bits " << sig.bitStart << " to "
               << sig.bitStart + sig.bitLength - 1;
}

// Collects the findings of one message.
class MessageFindings
{
public:
    MessageFindings(const CanMsgInfo &msg, const DbcSourceMessage &source,
                    QVector<DbcFinding> &found)
        : msg(msg), source(source), found(found)
    {
    }

    void signalsOfTheWalk();

private:
    int slotOf(const CanSignalInfo &sig) const { return int(&sig - msg.signalInfo); }
    int lineOf(const CanSignalInfo *sig) const
    {
        return sig ? source.signalLines[slotOf(*sig)] : source.line;
    }
    // A new text, opened with the message's label.
    Text about() const
    {
        Text text;
        messageLabel(text, msg);
        return text;
    }
    void add(DbcFinding::Kind kind, const CanSignalInfo *sig, const QString &text)
    {
        found.append({kind, lineOf(sig), text});
    }
    void member(const MemberName &name, const CanSignalInfo *sig);
    // The start bit and the length as the DBC file writes them; without the
    // file's lines, the record's (its start bit mirrored back).
    int fileStartBit(const CanSignalInfo &sig) const
    {
        return source.line > 0 ? source.startBits[slotOf(sig)] : sig.bitStart ^ 7;
    }
    int fileLength(const CanSignalInfo &sig) const
    {
        return source.line > 0 ? source.bitLengths[slotOf(sig)] : sig.bitLength;
    }
    Text &placed(Text &out, const CanSignalInfo &sig) const;
    Text &notWrittenReason(Text &out, const CanSignalInfo &sig) const;

    const CanMsgInfo &msg;
    const DbcSourceMessage &source;
    QVector<DbcFinding> &found;
    QVarLengthArray<const CanSignalInfo *, DbcLimits::MaxSignals> written; // in walk order
    bool writtenSlot[DbcLimits::MaxSignals] = {};
    // Member names with their signals (null: a reserve). Reserves are only
    // kept when a signal's name could be one of theirs.
    QVarLengthArray<QPair<MemberName, const CanSignalInfo *>, 2 * DbcLimits::MaxSignals> members;
    bool reserveNames = false;
    bool nameReported[DbcLimits::MaxSignals] = {}; // by slot
};

// A member line's name: no C identifier or a keyword (once per signal), or
// the same as an earlier member of the struct (once, however often it recurs).
void MessageFindings::member(const MemberName &name, const CanSignalInfo *sig)
{
    if (sig && !nameReported[slotOf(*sig)]) {
        const bool keyword = isCKeyword(name.bytes, name.length);
        if (keyword || !isCIdentifier(name.bytes, name.length)) {
            nameReported[slotOf(*sig)] = true;
            Text text = about();
            memberLabel(text, name) << (keyword ? " is a C keyword" : " is no C identifier");
            add(DbcFinding::NoCName, sig, text);
        }
    }
    for (const auto &earlier : members) {
        if (earlier.first == name) {
            Text text = about();
            memberLabel(text, name) << " appears twice in " << msg.msgName << "_Type";
            add(DbcFinding::MemberTwice, sig ? sig : earlier.second, text);
            return;
        }
    }
    members.append({name, sig});
}

// A signal with its start bit as the DBC file writes it and the bit the
// header lays it out at. The header mirrors every start bit within its byte
// (bit k becomes 7 - k), so the two always differ.
Text &MessageFindings::placed(Text &out, const CanSignalInfo &sig) const
{
    return signalLabel(out, sig) << " (start bit " << fileStartBit(sig) << ", laid out at "
                                 << sig.bitStart << ")";
}

// Why the walk passed over a signal, told by the signals it wrote: it reached
// the start bit and took an earlier slot there, or it never stopped there
// because a written signal covers it, or the start lies beyond bit 63.
Text &MessageFindings::notWrittenReason(Text &out, const CanSignalInfo &sig) const
{
    for (const CanSignalInfo *other : written) {
        if (other->bitStart == sig.bitStart)
            return bitsLaidOut(signalLabel(out << "it shares its start bit with ", *other) << " (",
                               *other)
                   << ")";
        if (other->bitStart < sig.bitStart && sig.bitStart < other->bitStart + other->bitLength)
            return bitsLaidOut(signalLabel(out << "it starts inside ", *other) << " (", *other)
                   << ")";
    }
    return out << "it starts after bit 63";
}

void MessageFindings::signalsOfTheWalk()
{
    const int slotsInUse = qMin<int>(msg.signalCnt, DbcLimits::MaxSignals);
    for (int slot = 0; slot < slotsInUse; ++slot)
        reserveNames = reserveNames || qstrncmp(msg.signalInfo[slot].signalName, "resev_", 6) == 0;
    BitWalk::walk(msg, [this](const MemberName &walked, int part, int, const CanSignalInfo *sig) {
        if (sig && part <= 0) {
            written.append(sig);
            writtenSlot[slotOf(*sig)] = true;
        }
        if (!sig && !reserveNames)
            return;
        member(BitWalk::withPart(walked, part), sig);
    });
    for (int slot = 0; slot < slotsInUse; ++slot) {
        const CanSignalInfo &sig = msg.signalInfo[slot];
        const int end = sig.bitStart + sig.bitLength;
        if (writtenSlot[slot] && end <= DbcLimits::PayloadBits)
            continue;
        Text text = about();
        if (fileStartBit(sig) > DbcLimits::MaxBitNumber) {
            // Kept out of the walk by the reader: the record cannot hold the number.
            signalLabel(text, sig) << " (start bit " << fileStartBit(sig)
                                   << ") is not written: it starts after bit 63";
            add(DbcFinding::SignalNotWritten, &sig, text);
        } else if (fileLength(sig) > DbcLimits::MaxBitNumber) {
            signalLabel(text, sig)
                << " (start bit " << fileStartBit(sig) << ") is not written: its length "
                << fileLength(sig) << " is more than the header can hold";
            add(DbcFinding::SignalNotWritten, &sig, text);
        } else if (sig.bitLength == 0) {
            signalLabel(text, sig) << " is not written: its length is 0";
            add(DbcFinding::SignalNotWritten, &sig, text);
        } else if (!writtenSlot[slot]) {
            notWrittenReason(placed(text, sig) << " is not written: ", sig);
            add(DbcFinding::SignalNotWritten, &sig, text);
        } else {
            placed(text, sig) << " runs past bit 63 to bit " << end - 1 << ": " << msg.msgName
                              << "_Type is wider than 64 bits";
            add(DbcFinding::SignalPastBit63, &sig, text);
        }
    }
}

// What the reader could not keep, and the struct's name and identifier.
void messageFindings(const CanMsgInfo &msg, const DbcSourceMessage &source,
                     QHash<QByteArray, int> &structs, QHash<qint32, int> &identifiers,
                     QVector<DbcFinding> &found)
{
    const auto add = [&](DbcFinding::Kind kind, int line, const QString &what) {
        found.append({kind, line, what});
    };
    const auto about = [&msg] {
        Text text;
        messageLabel(text, msg);
        return text;
    };
    if (!source.fullName.isNull())
        add(DbcFinding::NameCut, source.line,
            Text() << "message name cut to 39 bytes: " << source.fullName);
    if (msg.msgName[0] == '\0')
        add(DbcFinding::MessageWithoutName, source.line,
            Text() << "message without a name (" << namelessReason(source.namelessLine)
                   << "): its struct is called _Type");
    const QByteArray structName = QByteArray(msg.msgName) + "_Type";
    if (!isCIdentifier(structName.constData(), structName.size()))
        add(DbcFinding::NoCName, source.line,
            about() << structName.constData() << " is no C identifier");
    const auto structAt = structs.constFind(structName);
    if (structAt != structs.constEnd())
        add(DbcFinding::StructTwice, source.line,
            about() << structName.constData() << " is defined already at line "
                    << structAt.value());
    else
        structs.insert(structName, source.line);
    const auto identifierAt = identifiers.constFind(msg.msgId);
    if (identifierAt != identifiers.constEnd())
        add(DbcFinding::IdentifierTwice, source.line,
            about() << "identifier 0x" << QString::number(quint32(msg.msgId), 16)
                    << " is that of the message at line " << identifierAt.value() << " too");
    else
        identifiers.insert(msg.msgId, source.line);
    if (source.droppedLines == 1)
        add(DbcFinding::SignalLinesDropped, source.firstDroppedLine,
            about() << "1 signal line after the 64th is dropped");
    else if (source.droppedLines > 1)
        add(DbcFinding::SignalLinesDropped, source.firstDroppedLine,
            about() << source.droppedLines << " signal lines after the 64th are dropped");
    for (const auto &cut : source.fullSignalNames)
        add(DbcFinding::NameCut, source.signalLines[cut.first],
            about() << "signal name cut to 39 bytes: " << cut.second);
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
    structs.reserve(msgCnt);
    identifiers.reserve(msgCnt);
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

namespace
{

// "1 warning", "2 warnings".
QString counted(int count, const char *singular, const char *plural)
{
    return Text() << count << " " << (count == 1 ? singular : plural);
}

// The line after a file's findings: their total and how many of each kind,
// such as "FILE: 3 warnings: 2 signals not written, 1 running past bit 63".
QString closingLine(const QString &dbcFile, const QVector<DbcFinding> &findings)
{
    static const char *const kinds[][2] = {
        {"signal not written", "signals not written"},
        {"running past bit 63", "running past bit 63"},
        {"message over 64 signals", "messages over 64 signals"},
        {"name cut to 39 bytes", "names cut to 39 bytes"},
        {"name invalid in C", "names invalid in C"},
        {"member twice in its struct", "members twice in their struct"},
        {"struct name twice", "struct names twice"},
        {"identifier twice", "identifiers twice"},
        {"message without a name", "messages without a name"},
        {"file without messages", "files without messages"},
    };
    static_assert(std::size(kinds) == DbcFinding::KindCount, "a wording for every kind");
    int perKind[DbcFinding::KindCount] = {};
    for (const DbcFinding &finding : findings)
        ++perKind[finding.kind];
    Text line;
    line << dbcFile << ": " << counted(findings.size(), "warning", "warnings") << ": ";
    const char *separator = "";
    for (int kind = 0; kind < DbcFinding::KindCount; ++kind) {
        if (perKind[kind] > 0) {
            line << separator << counted(perKind[kind], kinds[kind][0], kinds[kind][1]);
            separator = ", ";
        }
    }
    return line;
}

} // namespace

QStringList CDBC::findingsReport(const QString &program, const QString &dbcFile,
                                 const QVector<DbcFinding> &findings)
{
    QStringList lines;
    if (findings.isEmpty())
        return lines;
    lines.reserve(findings.size() + 1);
    for (const DbcFinding &finding : findings) {
        if (finding.line == 0)
            lines << (Text() << program << ": warning: " << finding.text << " in " << dbcFile);
        else
            lines << (Text() << dbcFile << ":" << finding.line << ": warning: " << finding.text);
    }
    lines << closingLine(dbcFile, findings);
    return lines;
}

// For a reader who has the file in front of them: its name once, with the
// totals, and each finding by its line alone, so that the message and the
// signal come first on every line.
QStringList CDBC::findingsDetails(const QString &dbcFile, const QVector<DbcFinding> &findings)
{
    QStringList lines;
    if (findings.isEmpty())
        return lines;
    lines.reserve(findings.size() + 1);
    lines << closingLine(QFileInfo(dbcFile).fileName(), findings);
    for (const DbcFinding &finding : findings) {
        if (finding.line == 0)
            lines << finding.text;
        else
            lines << (Text() << "line " << finding.line << ": " << finding.text);
    }
    return lines;
}
