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

// Collects the findings of one message.
class MessageFindings
{
public:
    MessageFindings(const CanMsgInfo &msg, const DbcSourceMessage &source,
                    QVector<DbcFinding> &found)
        : msg(msg), source(source), found(found),
          label(QStringLiteral("message %1: ").arg(text(msg.msgName)))
    {
    }

    void signalsOfTheWalk();

private:
    int lineOf(const CanSignalInfo *sig) const
    {
        return sig ? source.signalLines[sig - msg.signalInfo] : source.line;
    }
    void add(const CanSignalInfo *sig, const QString &what)
    {
        found.append({lineOf(sig), label + what});
    }
    void member(const QByteArray &name, const CanSignalInfo *sig);
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
    if (sig && !nameReported[sig - msg.signalInfo] && (!isCIdentifier(name) || isCKeyword(name))) {
        nameReported[sig - msg.signalInfo] = true;
        add(sig, QStringLiteral("member %1 is %2")
                     .arg(QString::fromUtf8(name),
                          isCKeyword(name) ? text("a C keyword") : text("no C identifier")));
    }
    for (const auto &earlier : members) {
        if (earlier.first == name) {
            add(sig ? sig : earlier.second, QStringLiteral("member %1 appears twice in %2_Type")
                                                .arg(QString::fromUtf8(name), text(msg.msgName)));
            return;
        }
    }
    members.append({name, sig});
}

// Why the walk passed over a signal, told by the signals it wrote: it reached
// the start bit and took an earlier slot there, or it never stopped there
// because a written signal covers it, or the start lies beyond bit 63.
QString MessageFindings::notWrittenReason(const CanSignalInfo &sig) const
{
    if (sig.bitLength == 0)
        return QStringLiteral("its length is 0");
    for (const CanSignalInfo *other : written) {
        if (other->bitStart == sig.bitStart)
            return QStringLiteral("it shares its start bit with signal %1")
                .arg(text(other->signalName));
        if (other->bitStart < sig.bitStart && sig.bitStart < other->bitStart + other->bitLength)
            return QStringLiteral("it starts inside signal %1").arg(text(other->signalName));
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
        if (!written.contains(&sig))
            add(&sig, QStringLiteral("signal %1 is not written: %2")
                          .arg(text(sig.signalName), notWrittenReason(sig)));
        else if (sig.bitStart + sig.bitLength > DbcLimits::PayloadBits)
            add(&sig, QStringLiteral("signal %1 runs past bit 63: %2_Type is wider than 64 bits "
                                     "and ends there")
                          .arg(text(sig.signalName), text(msg.msgName)));
    }
}

// What the reader could not keep, and the struct's name and identifier.
void messageFindings(const CanMsgInfo &msg, const DbcSourceMessage &source,
                     QHash<QByteArray, int> &structs, QHash<qint32, int> &identifiers,
                     QVector<DbcFinding> &found)
{
    const QString label = QStringLiteral("message %1: ").arg(text(msg.msgName));
    if (!source.fullName.isNull())
        found.append(
            {source.line, QStringLiteral("message name cut to 39 bytes: ") + source.fullName});
    const QByteArray structName = QByteArray(msg.msgName) + "_Type";
    if (!isCIdentifier(structName))
        found.append(
            {source.line,
             label + QStringLiteral("%1 is no C identifier").arg(QString::fromLatin1(structName))});
    if (structs.contains(structName))
        found.append({source.line, label + QStringLiteral("%1 is defined already at line %2")
                                               .arg(QString::fromLatin1(structName))
                                               .arg(structs.value(structName))});
    else
        structs.insert(structName, source.line);
    if (identifiers.contains(msg.msgId))
        found.append({source.line, label + QStringLiteral("identifier 0x%1 is that of the message "
                                                          "at line %2 too")
                                               .arg(quint32(msg.msgId), 0, 16)
                                               .arg(identifiers.value(msg.msgId))});
    else
        identifiers.insert(msg.msgId, source.line);
    if (source.droppedLines > 0)
        found.append({source.firstDroppedLine,
                      label + QStringLiteral("%1 signal lines after the 64th are dropped")
                                  .arg(source.droppedLines)});
    for (const auto &cut : source.fullSignalNames)
        found.append({source.signalLines[cut.first],
                      label + QStringLiteral("signal name cut to 39 bytes: ") + cut.second});
}

} // namespace

QVector<DbcFinding> CDBC::findings() const
{
    QVector<DbcFinding> found;
    if (msgTable == nullptr || msgCnt < 1) {
        found.append({0, QStringLiteral("no message found")});
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
