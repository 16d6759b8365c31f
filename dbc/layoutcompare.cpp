// SPDX-License-Identifier: MIT
// What a new version of a DBC file changes for code built against the header
// of the old one: struct types and members gone, members moved or resized,
// identifiers changed. Both headers are read off the bit walk that writes
// them, so the bits compared are the bits the code uses.

#include <quarvel/layoutcompare.h>

#include "bitwalk.h"
#include "reporttext.h"
#include <quarvel/cdbc.h>

#include <QByteArray>
#include <QHash>

#include <iterator>
#include <vector>

namespace
{

using ReportText::Text;

// One member of a struct type at its first occurrence; `sig` is null for a
// reserve.
struct Member {
    QString name;
    int firstBit;
    int width;
    const CanSignalInfo *sig;
};

// One struct type of a header, with where its message stands in the file.
struct StructLayout {
    StructLayout(const CanMsgInfo &msg, const DbcSourceMessage &source, bool frames)
        : msg(msg), source(source)
    {
        // A member's bit is where the walk puts it: the frame form's lowest
        // frame bit is the same for either bit order.
        BitWalk::Form form;
        form.frames = frames;
        form.littleEndianSlots = source.littleEndianSlots;
        BitWalk::walkWithBits(msg, form,
                              [this](const BitWalk::MemberName &name, int firstBit, int width,
                                     const CanSignalInfo *sig) {
                                  const QString member = QString::fromUtf8(name.bytes, name.length);
                                  if (!byName.contains(member)) {
                                      byName.insert(member, members.size());
                                      members.append({member, firstBit, width, sig});
                                  }
                              });
    }
    const Member *find(const QString &name) const
    {
        const auto at = byName.constFind(name);
        return at == byName.constEnd() ? nullptr : &members.at(at.value());
    }
    // A member's SG_ line; a reserve's is the BO_ line.
    int lineOf(const Member &member) const
    {
        return member.sig ? source.signalLines[member.sig - msg.signalInfo] : source.line;
    }

    const CanMsgInfo &msg;
    const DbcSourceMessage &source;
    QVector<Member> members; // in the order of the walk
    QHash<QString, int> byName;
};

// The struct types of a loaded file, each at its first occurrence, by name.
struct HeaderLayout {
    HeaderLayout(const CDBC &dbc, bool frames)
    {
        const QVector<DbcSourceMessage> &sources = dbc.messageSources();
        structs.reserve(size_t(qMax(dbc.msgCnt, 0)));
        for (int i = 0; i < dbc.msgCnt; ++i) {
            const CanMsgInfo &msg = dbc.msgTable[i];
            const QByteArray name = BitWalk::messageName(msg.msgName);
            if (byName.contains(name))
                continue;
            byName.insert(name, int(structs.size()));
            structs.emplace_back(msg, i < sources.size() ? sources.at(i) : unknown, frames);
        }
    }
    const StructLayout *find(const char (&msgName)[DbcLimits::NameSize]) const
    {
        const auto at = byName.constFind(BitWalk::messageName(msgName));
        return at == byName.constEnd() ? nullptr : &structs[size_t(at.value())];
    }

    const DbcSourceMessage unknown;
    // In the order of the file; a std::vector, as it moves a struct type
    // (which refers to its record) without assigning it.
    std::vector<StructLayout> structs;
    QHash<QByteArray, int> byName;
};

// A text about a member, opened with its name as code writes it.
Text aboutMember(const StructLayout &type, const Member &member)
{
    Text text;
    text << "member " << type.msg.msgName << "_Type." << member.name;
    return text;
}

// The identifier as the header's comment writes it: its 32-bit pattern in
// lower-case hex.
QString identifier(const CanMsgInfo &msg)
{
    return QStringLiteral("0x") + QString::number(quint32(msg.msgId), 16);
}

// What code built against `before` meets in `after`, one struct type.
void compareStruct(const StructLayout &before, const StructLayout &after,
                   LayoutComparison &comparison)
{
    QVector<LayoutChange> &changes = comparison.changes;
    if (before.msg.msgId != after.msg.msgId)
        changes.append({LayoutChange::IdentifierChanged, true, after.source.line,
                        Text() << "identifier of " << after.msg.msgName << "_Type changed from "
                               << identifier(before.msg) << " to " << identifier(after.msg)});
    for (const Member &old : before.members) {
        if (!old.sig)
            continue;
        const Member *now = after.find(old.name);
        if (!now) {
            changes.append({LayoutChange::MemberGone, false, before.lineOf(old),
                            aboutMember(before, old) << " is gone"});
            continue;
        }
        if (now->firstBit != old.firstBit)
            changes.append({LayoutChange::MemberMoved, true, after.lineOf(*now),
                            aboutMember(before, old) << " moved from bit " << old.firstBit
                                                     << " to bit " << now->firstBit});
        if (now->width != old.width)
            changes.append({LayoutChange::MemberResized, true, after.lineOf(*now),
                            aboutMember(before, old) << " resized from " << old.width << " to "
                                                     << now->width << " bits"});
    }
}

// The signal members of `type` that `before` lacks (all of them without it).
int membersAdded(const StructLayout &type, const StructLayout *before)
{
    int added = 0;
    for (const Member &member : type.members)
        added += member.sig && (!before || !before->find(member.name));
    return added;
}

} // namespace

LayoutComparison compareLayouts(const CDBC &oldDbc, const CDBC &newDbc, const DbcHeaderForm &form)
{
    LayoutComparison comparison;
    const HeaderLayout before(oldDbc, form.frames);
    const HeaderLayout after(newDbc, form.frames);
    for (const StructLayout &old : before.structs) {
        if (const StructLayout *now = after.find(old.msg.msgName))
            compareStruct(old, *now, comparison);
        else
            comparison.changes.append(
                {LayoutChange::StructGone, false, old.source.line,
                 Text() << "struct type " << old.msg.msgName << "_Type is gone"});
    }
    for (const StructLayout &now : after.structs) {
        const StructLayout *old = before.find(now.msg.msgName);
        comparison.structsAdded += old == nullptr;
        comparison.membersAdded += membersAdded(now, old);
    }
    return comparison;
}

QStringList layoutChangesReport(const QString &program, const QString &oldFile,
                                const QString &newFile, const LayoutComparison &comparison)
{
    QStringList lines;
    if (comparison.changes.isEmpty() && comparison.structsAdded == 0 &&
        comparison.membersAdded == 0)
        return lines;
    static const char *const kinds[][2] = {
        {"member moved", "members moved"},
        {"member resized", "members resized"},
        {"member gone", "members gone"},
        {"struct type gone", "struct types gone"},
        {"identifier changed", "identifiers changed"},
    };
    static_assert(std::size(kinds) == LayoutChange::KindCount, "a wording for every kind");
    int perKind[LayoutChange::KindCount] = {};
    lines.reserve(comparison.changes.size() + 1);
    for (const LayoutChange &change : comparison.changes) {
        ++perKind[change.kind];
        lines << ReportText::warningLine(program, change.inNewFile ? newFile : oldFile, change.line,
                                         change.text);
    }
    // "NEW: 2 changes from OLD: 1 member moved, 1 member gone; it adds ...".
    Text closing;
    closing << newFile << ": "
            << ReportText::counted(comparison.changes.size(), "change", "changes") << " from "
            << oldFile;
    if (!comparison.changes.isEmpty())
        ReportText::kindCounts(closing << ": ", perKind, kinds);
    lines << (closing << "; it adds "
                      << ReportText::counted(comparison.structsAdded, "struct type", "struct types")
                      << " and "
                      << ReportText::counted(comparison.membersAdded, "member", "members"));
    return lines;
}
