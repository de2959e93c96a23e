#pragma once
// A QtTest data table over a plain array of rows: one data row per element, holding its index
// in the column "row" for the test to look the element up, and named by its first field
// (an array's first element, or a struct's `name`).

#include <QtTest>
#include <type_traits>

namespace testrows {

template <typename Row, std::size_t N> void addRows(const Row (&rows)[N])
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(N); ++i) {
        if constexpr (std::is_array_v<Row>)
            QTest::newRow(rows[i][0]) << i;
        else
            QTest::newRow(rows[i].name) << i;
    }
}

} // namespace testrows
