// SPDX-License-Identifier: MIT
#include "quarvelcli.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return QuarvelCli::run(arguments, stdout, stderr);
}
