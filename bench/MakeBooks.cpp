// Makes a set of books for trying the program out or measuring it.
// Usage: makebooks TEMPLATE TARGET RECORDS [SEED]

#include "BenchBooks.h"

#include <QString>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s TEMPLATE TARGET RECORDS [SEED]\n", argv[0]);
        return 2;
    }
    const QString reason
        = MakeBooks(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                    QByteArray(argv[3]).toInt(), argc > 4 ? QByteArray(argv[4]).toUInt() : 1);
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "makebooks: %s\n", qUtf8Printable(reason));
        return 1;
    }
    return 0;
}
