#pragma once
// A QtTest data table over a plain array of rows, each an array of texts: one data row per
// element, holding its index in the column "row" for the test to look the element up, and
// named by its first text.

#include <QtTest>

namespace testrows {

template <typename Row, std::size_t N> void addRows(const Row (&rows)[N])
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(N); ++i)
        QTest::newRow(rows[i][0]) << i;
}

} // namespace testrows
