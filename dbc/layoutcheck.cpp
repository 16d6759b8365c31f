// SPDX-License-Identifier: MIT
// The layout check written beside the header, "dbc_2_struct_check.c". The C
// standard leaves the order of bit-fields within a byte to the compiler; the
// check lets the compiler that builds the firmware prove that it puts every
// member where the header means it: in the bits of the bit walk, counted
// from bit 0 of byte 0, each struct as many bytes as its members fill.
//
// The C it writes is plain C89 that also compiles as C++: one function per
// struct sets a member by its number, and a table gives each member's struct,
// first bit, width and name. That keeps a large file's check to two short
// lines per member, quick to compile even for a small target.
#include <quarvel/cdbc.h>

#include "bitwalk.h"

namespace
{

using BitWalk::MemberName;

template <int N> void appendLiteral(QByteArray &out, const char (&literal)[N])
{
    out.append(literal, N - 1);
}

// A name inside a C string literal: quotes and backslashes escaped. A name
// the header cannot use as an identifier makes both files fail to compile,
// but never breaks the literal apart.
void appendQuoted(QByteArray &out, const char *bytes, int length)
{
    out.append('"');
    for (int i = 0; i < length; ++i) {
        if (bytes[i] == '"' || bytes[i] == '\\')
            out.append('\\');
        out.append(bytes[i]);
    }
    out.append('"');
}

// The part of the check that is the same for every header, after the tables:
// the check of one member, the three public functions and the program.
const char CheckCode[] =
    "/* Sets member `number` alone to all ones in an otherwise zeroed struct and\r\n"
    " * compares the struct's bytes with those of the member's bits. True when\r\n"
    " * they are equal and the struct has the size its members fill. */\r\n"
    "static int dbc_check_one(int number, unsigned char *bytes, size_t *size)\r\n"
    "{\r\n"
    "    const struct dbc_check_member *member = &dbc_check_members[number - 1];\r\n"
    "    const struct dbc_check_struct *type = &dbc_check_structs[member->type];\r\n"
    "    unsigned char expected[DBC_CHECK_BYTES];\r\n"
    "    int bit;\r\n"
    "\r\n"
    "    memset(bytes, 0, DBC_CHECK_BYTES);\r\n"
    "    memset(expected, 0, DBC_CHECK_BYTES);\r\n"
    "    *size = type->set(bytes, number, 0xFF);\r\n"
    "    for (bit = member->first_bit; bit < member->first_bit + member->width; ++bit)\r\n"
    "        expected[bit / 8] |= (unsigned char)(1u << (bit % 8));\r\n"
    "    return *size == type->bytes && memcmp(bytes, expected, type->bytes) == 0;\r\n"
    "}\r\n"
    "\r\n"
    "int dbc_2_struct_check(void)\r\n"
    "{\r\n"
    "    unsigned char bytes[DBC_CHECK_BYTES];\r\n"
    "    size_t size;\r\n"
    "    int number;\r\n"
    "\r\n"
    "    for (number = 1; number <= DBC_2_STRUCT_CHECK_MEMBERS; ++number) {\r\n"
    "        if (!dbc_check_one(number, bytes, &size))\r\n"
    "            return number;\r\n"
    "    }\r\n"
    "    return 0;\r\n"
    "}\r\n"
    "\r\n"
    "const char *dbc_2_struct_check_type(int number)\r\n"
    "{\r\n"
    "    if (number < 1 || number > DBC_2_STRUCT_CHECK_MEMBERS)\r\n"
    "        return \"\";\r\n"
    "    return dbc_check_structs[dbc_check_members[number - 1].type].name;\r\n"
    "}\r\n"
    "\r\n"
    "const char *dbc_2_struct_check_member(int number)\r\n"
    "{\r\n"
    "    if (number < 1 || number > DBC_2_STRUCT_CHECK_MEMBERS)\r\n"
    "        return \"\";\r\n"
    "    return dbc_check_members[number - 1].name;\r\n"
    "}\r\n"
    "\r\n"
    "#ifdef DBC_2_STRUCT_CHECK_MAIN\r\n"
    "#include <stdio.h>\r\n"
    "\r\n"
    "/* Prints the bits set in the first `size` bytes as \"bit 5\", \"bits 16 to 23\",\r\n"
    " * \"bits 0 to 2, 5 to 7\", or \"no bit\". */\r\n"
    "static void dbc_check_print_bits(const unsigned char *bytes, size_t size)\r\n"
    "{\r\n"
    "    int bits = (int)size * 8;\r\n"
    "    int bit = 0;\r\n"
    "    int ranges = 0;\r\n"
    "    int count = 0;\r\n"
    "\r\n"
    "    for (bit = 0; bit < bits; ++bit)\r\n"
    "        count += (bytes[bit / 8] >> (bit % 8)) & 1;\r\n"
    "    fputs(count == 0 ? \"no bit\" : count == 1 ? \"bit \" : \"bits \", stdout);\r\n"
    "    for (bit = 0; bit < bits; ++bit) {\r\n"
    "        int last = bit;\r\n"
    "\r\n"
    "        if (!((bytes[bit / 8] >> (bit % 8)) & 1))\r\n"
    "            continue;\r\n"
    "        while (last + 1 < bits && ((bytes[(last + 1) / 8] >> ((last + 1) % 8)) & 1))\r\n"
    "            ++last;\r\n"
    "        printf(ranges++ ? \", %d\" : \"%d\", bit);\r\n"
    "        if (last > bit)\r\n"
    "            printf(\" to %d\", last);\r\n"
    "        bit = last;\r\n"
    "    }\r\n"
    "}\r\n"
    "\r\n"
    "/* Prints every member out of place and their count, exit status 1; or how\r\n"
    " * many members were checked, exit status 0. */\r\n"
    "int main(void)\r\n"
    "{\r\n"
    "    unsigned char bytes[DBC_CHECK_BYTES];\r\n"
    "    unsigned char expected[DBC_CHECK_BYTES];\r\n"
    "    size_t size;\r\n"
    "    int number;\r\n"
    "    int wrong = 0;\r\n"
    "\r\n"
    "    for (number = 1; number <= DBC_2_STRUCT_CHECK_MEMBERS; ++number) {\r\n"
    "        const struct dbc_check_member *member = &dbc_check_members[number - 1];\r\n"
    "        const struct dbc_check_struct *type = &dbc_check_structs[member->type];\r\n"
    "        int bit;\r\n"
    "\r\n"
    "        if (dbc_check_one(number, bytes, &size))\r\n"
    "            continue;\r\n"
    "        ++wrong;\r\n"
    "        memset(expected, 0, DBC_CHECK_BYTES);\r\n"
    "        for (bit = member->first_bit; bit < member->first_bit + member->width; ++bit)\r\n"
    "            expected[bit / 8] |= (unsigned char)(1u << (bit % 8));\r\n"
    "        printf(\"%s.%s: should occupy \", type->name, member->name);\r\n"
    "        dbc_check_print_bits(expected, type->bytes);\r\n"
    "        printf(\", occupies \");\r\n"
    "        dbc_check_print_bits(bytes, size < DBC_CHECK_BYTES ? size : DBC_CHECK_BYTES);\r\n"
    "        if (size != type->bytes)\r\n"
    "            printf(\" of a struct of %lu bytes, not %lu\", (unsigned long)size,\r\n"
    "                   (unsigned long)type->bytes);\r\n"
    "        printf(\"\\n\");\r\n"
    "    }\r\n"
    "    if (wrong > 0) {\r\n"
    "        printf(\"%d of %d members out of place\\n\", wrong, DBC_2_STRUCT_CHECK_MEMBERS);\r\n"
    "        return 1;\r\n"
    "    }\r\n"
    "    printf(\"%d members checked, all in place\\n\", DBC_2_STRUCT_CHECK_MEMBERS);\r\n"
    "    return 0;\r\n"
    "}\r\n"
    "#endif\r\n";

// For a header without a named member: nothing to check.
const char EmptyCheckCode[] = "int dbc_2_struct_check(void)\r\n"
                              "{\r\n"
                              "    return 0;\r\n"
                              "}\r\n"
                              "\r\n"
                              "const char *dbc_2_struct_check_type(int number)\r\n"
                              "{\r\n"
                              "    (void)number;\r\n"
                              "    return \"\";\r\n"
                              "}\r\n"
                              "\r\n"
                              "const char *dbc_2_struct_check_member(int number)\r\n"
                              "{\r\n"
                              "    (void)number;\r\n"
                              "    return \"\";\r\n"
                              "}\r\n"
                              "\r\n"
                              "#ifdef DBC_2_STRUCT_CHECK_MAIN\r\n"
                              "#include <stdio.h>\r\n"
                              "\r\n"
                              "int main(void)\r\n"
                              "{\r\n"
                              "    printf(\"0 members checked, all in place\\n\");\r\n"
                              "    return 0;\r\n"
                              "}\r\n"
                              "#endif\r\n";

const char Preamble[] =
    "/*\r\n"
    " * Layout check of dbc_2_struct.h, written with it.\r\n"
    " *\r\n"
    " * Proves that the compiler that builds it lays out every member of every\r\n"
    " * struct in the bits the header means, counted from bit 0 of byte 0, and\r\n"
    " * each struct in as many bytes as its members fill.\r\n"
    " *\r\n"
    " * dbc_2_struct_check() returns 0 when every member is in place, otherwise\r\n"
    " * the number (from 1) of the first member that is not, or whose struct has\r\n"
    " * another size; dbc_2_struct_check_type() and dbc_2_struct_check_member()\r\n"
    " * give its struct's type name and its own name.\r\n"
    " *\r\n"
    " * Built with -DDBC_2_STRUCT_CHECK_MAIN it is a program: it prints each\r\n"
    " * member out of place as TYPE.member with the bits it should occupy and\r\n"
    " * those it does, then their count, and exits with status 1; or it prints\r\n"
    " * how many members it checked and exits with status 0.\r\n"
    " */\r\n"
    "#include \"dbc_2_struct.h\"\r\n"
    "\r\n"
    "#include <string.h>\r\n"
    "\r\n"
    "int dbc_2_struct_check(void);\r\n"
    "const char *dbc_2_struct_check_type(int number);\r\n"
    "const char *dbc_2_struct_check_member(int number);\r\n"
    "\r\n";

// A named member of the walk, as the check's table holds it.
struct CheckedMember {
    int type;     // index of its struct in the check's table
    int firstBit; // counted from bit 0 of byte 0
    int width;
    MemberName name;
};

} // namespace

QByteArray CDBC::buildLayoutCheck(const CanMsgInfo *table, int count)
{
    QByteArray setters;
    QByteArray structRows;
    QVector<CheckedMember> members;
    int types = 0;
    int largestBytes = 1;
    for (int i = 0; table != nullptr && i < count; ++i) {
        const CanMsgInfo &msg = table[i];
        const int firstMember = members.size();
        int bits = 0;
        BitWalk::walkWithBits(
            msg, [&](const MemberName &name, int firstBit, int width, const CanSignalInfo *) {
                bits = firstBit + width;
                // A nameless member cannot be set; the members around it are checked.
                if (name.length > 0)
                    members.append({types, firstBit, width, name});
            });
        if (members.size() == firstMember)
            continue;
        const QByteArray typeName =
            QByteArray(msg.msgName, int(qstrnlen(msg.msgName, DbcLimits::NameSize))) + "_Type";
        const QByteArray index = QByteArray::number(types);
        const int bytes = (bits + 7) / 8;
        largestBytes = qMax(largestBytes, bytes);

        // static size_t dbc_check_set_N(unsigned char *bytes, int number, unsigned char value)
        setters += "static size_t dbc_check_set_" + index +
                   "(unsigned char *bytes, int number, unsigned char value)\r\n{\r\n    " +
                   typeName +
                   " s;\r\n\r\n    memset(&s, 0, sizeof s);\r\n    switch (number) {\r\n";
        for (int m = firstMember; m < members.size(); ++m) {
            setters += "    case " + QByteArray::number(m + 1) + ": s.";
            setters.append(members[m].name.bytes, members[m].name.length);
            setters += " = value; break;\r\n";
        }
        setters += "    }\r\n    memcpy(bytes, &s, sizeof s < DBC_CHECK_BYTES ? sizeof s : "
                   "DBC_CHECK_BYTES);\r\n    return sizeof s;\r\n}\r\n\r\n";
        structRows += "    {";
        appendQuoted(structRows, typeName.constData(), typeName.size());
        structRows += ", " + QByteArray::number(bytes) + ", dbc_check_set_" + index + "},\r\n";
        ++types;
    }

    QByteArray out = Preamble;
    out.reserve(out.size() + setters.size() + structRows.size() + members.size() * 40 +
                int(sizeof CheckCode));
    out += "#define DBC_2_STRUCT_CHECK_MEMBERS " + QByteArray::number(members.size()) + "\r\n\r\n";
    if (members.isEmpty())
        return out + EmptyCheckCode;

    appendLiteral(out, "/* The largest struct's size in bytes. */\r\n#define DBC_CHECK_BYTES ");
    out += QByteArray::number(largestBytes) + "u\r\n\r\n";
    out += setters;
    appendLiteral(out, "/* Each struct: its type name, the bytes its members fill, and the "
                       "function\r\n * that sets one of its members by number. */\r\n"
                       "static const struct dbc_check_struct {\r\n"
                       "    const char *name;\r\n"
                       "    size_t bytes;\r\n"
                       "    size_t (*set)(unsigned char *bytes, int number, unsigned char "
                       "value);\r\n"
                       "} dbc_check_structs[] = {\r\n");
    out += structRows;
    appendLiteral(out, "};\r\n\r\n/* Each member, numbered from 1: its struct, its first bit, "
                       "its width, its name. */\r\n"
                       "static const struct dbc_check_member {\r\n"
                       "    unsigned short type;\r\n"
                       "    unsigned short first_bit;\r\n"
                       "    unsigned char width;\r\n"
                       "    const char *name;\r\n"
                       "} dbc_check_members[] = {\r\n");
    for (const CheckedMember &member : members) {
        out += "    {" + QByteArray::number(member.type) + ", " +
               QByteArray::number(member.firstBit) + ", " + QByteArray::number(member.width) + ", ";
        appendQuoted(out, member.name.bytes, member.name.length);
        appendLiteral(out, "},\r\n");
    }
    appendLiteral(out, "};\r\n\r\n");
    appendLiteral(out, CheckCode);
    return out;
}
