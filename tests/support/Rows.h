#pragma once
// Rows of reference data kept in a text file beside a suite: UTF-8, one row a line, fields
// separated by tabs and taken as written; empty lines and lines that start with '#' are comments.

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

// Each row's `fields` fields, after one more, "<path>:<line>", for messages.
inline QList<QStringList> dataRows(const QString& path, int fields)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QList<QStringList> rows;
    for (int line = 1; !file.atEnd(); ++line) {
        const QString text = QString::fromUtf8(file.readLine()).remove(u'\n');
        if (!text.isEmpty() && !text.startsWith(u'#'))
            rows.append(QStringList(path.section(u'/', -1) + u':' + QString::number(line)) + text.split(u'\t'));
        EXPECT_TRUE(rows.isEmpty() || rows.back().size() == fields + 1) << rows.back().front().toStdString();
    }
    EXPECT_FALSE(rows.isEmpty()) << path.toStdString();
    return rows;
}
