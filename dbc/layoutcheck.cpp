// SPDX-License-Identifier: MIT
// The layout check written beside the header, "dbc_2_struct_check.c". The C
// standard leaves the order of bit-fields within a byte to the compiler; the
// check lets the compiler that builds the firmware prove that it puts every
// member where the header means it: in the bits of the bit walk, counted
// from bit 0 of byte 0, each struct as many bytes as its members fill.
//
// The C it writes is plain C89 that also compiles as C++: one function per
// struct sets a member by its number, and a table gives each member's struct,
// first bit, width and name. Both are expanded from one line per member, which
// keeps a large file's check about as large as its header and quick to
// compile, even for a small target.
#include <quarvel/cdbc.h>

#include "bitwalk.h"

namespace
{

using BitWalk::appendLiteral;
using BitWalk::MemberName;

// How the struct of each index sets a member by number: DBC_CHECK_SETTER(N)
// defines dbc_check_set_N, whose switch holds a case per member of
// DBC_CHECK_N.
const char SetterCode[] =
    "/* DBC_CHECK_<struct>(APPLY) applies APPLY to each of the struct's members:\r\n"
    " * APPLY(struct, number from 1, first bit, width, name). DBC_CHECK_SETTER(N, T)\r\n"
    " * defines the function that sets member `number` of struct N, of type T,\r\n"
    " * to `value` in an otherwise zeroed struct, copies the struct's bytes into\r\n"
    " * `bytes` and returns its size. */\r\n"
    "#define DBC_CHECK_CASE(type, number, first_bit, width, name) \\\r\n"
    "    case number: s.name = value; break;\r\n"
    "#define DBC_CHECK_SETTER(type, type_name) \\\r\n"
    "    static size_t dbc_check_set_##type(unsigned char *bytes, int number, \\\r\n"
    "                                       unsigned char value) \\\r\n"
    "    { \\\r\n"
    "        type_name s; \\\r\n"
    "        memset(&s, 0, sizeof s); \\\r\n"
    "        switch (number) { \\\r\n"
    "            DBC_CHECK_##type(DBC_CHECK_CASE) \\\r\n"
    "        } \\\r\n"
    "        memcpy(bytes, &s, sizeof s < DBC_CHECK_BYTES ? sizeof s : DBC_CHECK_BYTES); \\\r\n"
    "        return sizeof s; \\\r\n"
    "    }\r\n"
    "\r\n";

// The two tables: each struct, then each member.
const char TablesStart[] =
    "/* Each struct: its type name, the bytes its members fill, and its setter. */\r\n"
    "#define DBC_CHECK_STRUCT(type, type_name, bytes) {#type_name, bytes, "
    "dbc_check_set_##type},\r\n"
    "static const struct dbc_check_struct {\r\n"
    "    const char *name;\r\n"
    "    size_t bytes;\r\n"
    "    size_t (*set)(unsigned char *bytes, int number, unsigned char value);\r\n"
    "} dbc_check_structs[] = {\r\n";
const char TablesMiddle[] =
    "};\r\n"
    "\r\n"
    "/* Each member, in the order of its number: its struct, its first bit, its\r\n"
    " * width and its name. */\r\n"
    "#define DBC_CHECK_ROW(type, number, first_bit, width, name) {type, first_bit, width, "
    "#name},\r\n"
    "static const struct dbc_check_member {\r\n"
    "    unsigned short type;\r\n"
    "    unsigned short first_bit;\r\n"
    "    unsigned char width;\r\n"
    "    const char *name;\r\n"
    "} dbc_check_members[] = {\r\n";

// The part of the check that is the same for every header, after the tables:
// the check of one member, the three public functions and the program.
const char CheckCode[] =
    "/* Sets member `number` alone to all ones in an otherwise zeroed struct and\r\n"
    " * compares the struct's bytes with those of the member's bits: true when\r\n"
    " * they are equal. `size` gets the struct's size. */\r\n"
    "static int dbc_check_one(int number, unsigned char *bytes, size_t *size)\r\n"
    "{\r\n"
    "    const struct dbc_check_member *member = &dbc_check_members[number - 1];\r\n"
    "    unsigned char expected[DBC_CHECK_BYTES];\r\n"
    "    int bit;\r\n"
    "\r\n"
    "    memset(bytes, 0, DBC_CHECK_BYTES);\r\n"
    "    memset(expected, 0, DBC_CHECK_BYTES);\r\n"
    "    *size = dbc_check_structs[member->type].set(bytes, number, 0xFF);\r\n"
    "    for (bit = member->first_bit; bit < member->first_bit + member->width; ++bit)\r\n"
    "        expected[bit / 8] |= (unsigned char)(1u << (bit % 8));\r\n"
    "    return memcmp(bytes, expected, DBC_CHECK_BYTES) == 0;\r\n"
    "}\r\n"
    "\r\n"
    "int dbc_2_struct_check(void)\r\n"
    "{\r\n"
    "    unsigned char bytes[DBC_CHECK_BYTES];\r\n"
    "    size_t size;\r\n"
    "    int number;\r\n"
    "\r\n"
    "    for (number = 1; number <= DBC_2_STRUCT_CHECK_MEMBERS; ++number) {\r\n"
    "        if (!dbc_check_one(number, bytes, &size) ||\r\n"
    "            size != dbc_check_structs[dbc_check_members[number - 1].type].bytes)\r\n"
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
    "/* Prints the bits set in `bytes` as \"bit 5\", \"bits 16 to 23\",\r\n"
    " * \"bits 0 to 2, 5 to 7\", or \"no bit\". */\r\n"
    "static void dbc_check_print_bits(const unsigned char *bytes)\r\n"
    "{\r\n"
    "    int bits = DBC_CHECK_BYTES * 8;\r\n"
    "    int bit;\r\n"
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
    "/* Prints every struct of another size and every member out of place, then\r\n"
    " * their count, exit status 1; or how many members were checked, exit\r\n"
    " * status 0. */\r\n"
    "int main(void)\r\n"
    "{\r\n"
    "    unsigned char bytes[DBC_CHECK_BYTES];\r\n"
    "    unsigned char expected[DBC_CHECK_BYTES];\r\n"
    "    size_t size;\r\n"
    "    int number;\r\n"
    "    int wrong = 0;\r\n"
    "    int wrong_size = 0;\r\n"
    "\r\n"
    "    for (number = 1; number <= DBC_2_STRUCT_CHECK_MEMBERS; ++number) {\r\n"
    "        const struct dbc_check_member *member = &dbc_check_members[number - 1];\r\n"
    "        const struct dbc_check_struct *type = &dbc_check_structs[member->type];\r\n"
    "        int bit;\r\n"
    "        int in_place = dbc_check_one(number, bytes, &size);\r\n"
    "\r\n"
    "        if (size != type->bytes &&\r\n"
    "            (number == 1 || dbc_check_members[number - 2].type != member->type)) {\r\n"
    "            printf(\"%s: a struct of %lu bytes, should be %lu\\n\", type->name,\r\n"
    "                   (unsigned long)size, (unsigned long)type->bytes);\r\n"
    "            ++wrong_size;\r\n"
    "        }\r\n"
    "        if (in_place)\r\n"
    "            continue;\r\n"
    "        ++wrong;\r\n"
    "        memset(expected, 0, DBC_CHECK_BYTES);\r\n"
    "        for (bit = member->first_bit; bit < member->first_bit + member->width; ++bit)\r\n"
    "            expected[bit / 8] |= (unsigned char)(1u << (bit % 8));\r\n"
    "        printf(\"%s.%s: should occupy \", type->name, member->name);\r\n"
    "        dbc_check_print_bits(expected);\r\n"
    "        fputs(\", occupies \", stdout);\r\n"
    "        dbc_check_print_bits(bytes);\r\n"
    "        fputs(\"\\n\", stdout);\r\n"
    "    }\r\n"
    "    if (wrong > 0 || wrong_size > 0) {\r\n"
    "        printf(\"%d of %d members out of place\", wrong, DBC_2_STRUCT_CHECK_MEMBERS);\r\n"
    "        if (wrong_size > 0)\r\n"
    "            printf(\", %d of %d structs of another size\", wrong_size, DBC_CHECK_STRUCTS);\r\n"
    "        fputs(\"\\n\", stdout);\r\n"
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

} // namespace

// Each struct's named members become one macro, DBC_CHECK_<index>(APPLY),
// that applies APPLY to every member: APPLY(struct, number, first bit, width,
// name). The struct's setter expands it into the cases of its switch, the
// member table into its rows, so that each member is written once. The
// parameter has a name no signal is likely to have: a member named like it
// would be replaced too.
QByteArray CDBC::buildLayoutCheck(const CanMsgInfo *table, int count)
{
    QByteArray lists;
    QByteArray structRows;
    QByteArray memberRows;
    int members = 0;
    int types = 0;
    int largestBytes = 1;
    for (int i = 0; table != nullptr && i < count; ++i) {
        const CanMsgInfo &msg = table[i];
        const QByteArray index = QByteArray::number(types);
        QByteArray list;
        int bits = 0;
        BitWalk::walkWithBits(msg, [&](const MemberName &name, int firstBit, int width,
                                       const CanSignalInfo *) {
            bits = firstBit + width;
            // A nameless member cannot be set; the members around it are checked.
            if (name.length == 0)
                return;
            list += " \\\r\n    DBC_CHECK_APPLY(" + index + ", " + QByteArray::number(++members) +
                    ", " + QByteArray::number(firstBit) + ", " + QByteArray::number(width) + ", ";
            list.append(name.bytes, name.length);
            list += ')';
        });
        if (list.isEmpty())
            continue;
        const int bytes = (bits + 7) / 8;
        largestBytes = qMax(largestBytes, bytes);
        const QByteArray typeName = BitWalk::messageName(msg.msgName) + "_Type";
        lists += "#define DBC_CHECK_" + index + "(DBC_CHECK_APPLY)" + list +
                 "\r\nDBC_CHECK_SETTER(" + index + ", " + typeName + ")\r\n\r\n";
        structRows += "    DBC_CHECK_STRUCT(" + index + ", " + typeName + ", " +
                      QByteArray::number(bytes) + ")\r\n";
        memberRows += "    DBC_CHECK_" + index + "(DBC_CHECK_ROW)\r\n";
        ++types;
    }

    QByteArray out = Preamble;
    out += "#define DBC_2_STRUCT_CHECK_MEMBERS " + QByteArray::number(members) + "\r\n\r\n";
    if (members == 0)
        return out + EmptyCheckCode;

    out.reserve(out.size() + lists.size() + structRows.size() + memberRows.size() +
                int(sizeof SetterCode + sizeof CheckCode));
    appendLiteral(out, "/* The structs checked, and the largest one's size in bytes. */\r\n"
                       "#define DBC_CHECK_STRUCTS ");
    out += QByteArray::number(types) + "\r\n#define DBC_CHECK_BYTES " +
           QByteArray::number(largestBytes) + "u\r\n\r\n";
    appendLiteral(out, SetterCode);
    out += lists;
    appendLiteral(out, TablesStart);
    out += structRows;
    appendLiteral(out, TablesMiddle);
    out += memberRows;
    appendLiteral(out, "};\r\n\r\n");
    appendLiteral(out, CheckCode);
    return out;
}
