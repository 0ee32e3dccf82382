#pragma once

#include <QTest>

#include <initializer_list>
#include <utility>

// The cases of a data-driven test as one column, "row", each holding a case's inputs and
// expectations under the case's name; the test takes it apart with a structured binding.
template <typename Row> void addRows(std::initializer_list<std::pair<const char *, Row>> rows)
{
    QTest::addColumn<Row>("row");
    for (const auto &[name, row] : rows)
        QTest::addRow("%s", name) << row;
}
