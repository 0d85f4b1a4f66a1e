// Makes a set of books for trying the program out or measuring it.
// Usage: makebooks TEMPLATE TARGET RECORDS [SEED] [--random] [--trees PER_KIND]
//   --random          the records stored in shuffled order (IDs not by date)
//   --trees PER_KIND  PER_KIND income and PER_KIND expense categories

#include "BenchBooks.h"

#include <QString>
#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    QStringList positional;
    TRecordOrder order = TRecordOrder::ByDate;
    int trees = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--random") == 0)
            order = TRecordOrder::Random;
        else if (std::strcmp(argv[i], "--trees") == 0 && i + 1 < argc)
            trees = QByteArray(argv[++i]).toInt();
        else
            positional << QString::fromLocal8Bit(argv[i]);
    }
    if (positional.size() < 3 || positional.size() > 4) {
        std::fprintf(stderr,
                     "usage: %s TEMPLATE TARGET RECORDS [SEED] [--random] [--trees PER_KIND]\n",
                     argv[0]);
        return 2;
    }
    bool ok = false;
    const int records = positional[2].toInt(&ok);
    const quint32 seed = positional.size() > 3 ? positional[3].toUInt() : 1;
    QString reason = ok ? MakeBooks(positional[0], positional[1], records, seed, order)
                        : QStringLiteral("not a number of records: %1").arg(positional[2]);
    if (reason.isEmpty() && trees > 0)
        reason = MakeLargeTrees(positional[1], trees);
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "makebooks: %s\n", qUtf8Printable(reason));
        return 1;
    }
    return 0;
}
