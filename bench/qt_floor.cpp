// SPDX-License-Identifier: MIT
// The floor for quarvel-cli's start: a program that only creates the
// application object quarvel-cli creates, and exits.
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return 0;
}
