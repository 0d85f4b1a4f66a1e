#pragma once

#include <QString>

// Fills a copy of the template books with accounts, two category trees and
// `records` records over the days up to today (denser when there are fewer),
// with every account's totals equal to what its records add up to.
// Returns an empty text on success, else the reason.
QString MakeBooks(const QString &templateFile, const QString &target, int records, quint32 seed);
