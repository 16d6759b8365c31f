// SPDX-License-Identifier: MIT
#ifndef LAYOUTCOMPARE_H
#define LAYOUTCOMPARE_H

#include <quarvel/cdbc.h>

#include <QString>
#include <QStringList>
#include <QVector>

// What code built against the header of one version of a DBC file meets in
// the header of a newer version, at the BO_ or SG_ line concerned. Struct
// types and members are matched by name; a member's bits are those of the
// walk that writes the header.
struct LayoutChange {
    enum Kind {
        MemberMoved,       // its first bit differs: at the new file's SG_ line
        MemberResized,     // its width differs: at the new file's SG_ line
        MemberGone,        // at the old file's SG_ line
        StructGone,        // at the old file's BO_ line
        IdentifierChanged, // at the new file's BO_ line
    };
    static constexpr int KindCount = IdentifierChanged + 1;

    Kind kind;
    bool inNewFile; // whether `line` is a line of the new file or of the old one
    int line;
    QString text;
};

struct LayoutComparison {
    QVector<LayoutChange> changes; // in the order of the old header's structs and members
    int structsAdded = 0;          // struct types only the new header has
    int membersAdded = 0;          // members only the new header has, in any struct type
};

// Compares the headers of two loaded files (CDBC::loadDbc), both in the form
// given: in the frame form a member's bit is the lowest frame bit it
// occupies, whatever the bit order. Reserve members of the old header are
// left aside; a name that occurs twice in a header is compared at its first
// occurrence.
LayoutComparison compareLayouts(const CDBC &oldDbc, const CDBC &newDbc,
                                const DbcHeaderForm &form = DbcHeaderForm());

// The changes as compilers write their warnings, one line each,
// "FILE:LINE: warning: TEXT" with the file each line belongs to; then their
// total, how many there are of each kind and what the new file adds. Empty
// when the layouts are the same.
QStringList layoutChangesReport(const QString &program, const QString &oldFile,
                                const QString &newFile, const LayoutComparison &comparison);

#endif // LAYOUTCOMPARE_H
