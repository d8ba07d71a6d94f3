// tamo-format(5) against the program it describes: every example (docs/man/examples.tsv) is
// what tamo-clock prints, the built page holds each of them, and the page's tables of date
// codes, eras and moon pictures are what the date format and the engine give. A code added to
// the date format without a row fails here, and so does a row that the program contradicts.

#include "engine/ZPModule.h"
#include "runtime/DateFormat.h"
#include "support/QtPrinters.h"
#include "support/Rows.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <set>

using namespace Qt::StringLiterals;

namespace {

const QString kSource = QStringLiteral(TAMO_MAN_SOURCE_DIR "/tamo-format.5.scd");

struct Table {
    QString argument;         // what follows the name on the "; table:" line
    QList<QStringList> rows;  // without the heading row
};

// A cell's text as it shows: bold and underline marks dropped, "\c" read as c.
QString shown(QStringView cell)
{
    QString text;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        if (cell[i] == u'\\' && i + 1 < cell.size())
            text += cell[++i];
        else if (cell[i] != u'*' && cell[i] != u'_')
            text += cell[i];
    }
    return text.trimmed();
}

// The scdoc table after the comment "; table: <name>": rows start with "|", cells with ":",
// a line that starts with a space goes on with the cell before it.
Table table(const QString& name)
{
    QFile file(kSource);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << kSource.toStdString();
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    const QString tag = QStringLiteral("; table: ") + name;
    Table result;
    qsizetype at = 0;
    while (at < lines.size() && !(lines[at] == tag || lines[at].startsWith(tag + u' ')))
        ++at;
    EXPECT_LT(at, lines.size()) << "no table " << name.toStdString();
    if (at == lines.size())
        return result;
    result.argument = lines[at].mid(tag.size()).trimmed();
    QList<QStringList> rows;
    QStringList raw; // the current row's cells, as written
    for (++at; at < lines.size() && !lines[at].isEmpty(); ++at) {
        const QString& line = lines[at];
        if (line.startsWith(u'|') || line.startsWith(u'[')) {
            if (!raw.isEmpty())
                rows.append(raw);
            raw = {line.mid(3)};
        } else if (line.startsWith(u':')) {
            raw.append(line.mid(3));
        } else {
            raw.back() += u' ' + line.trimmed();
        }
    }
    rows.append(raw);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        QStringList cells;
        for (const QString& cell : rows[r])
            cells.append(shown(cell));
        result.rows.append(cells);
    }
    EXPECT_FALSE(result.rows.isEmpty()) << name.toStdString();
    return result;
}

vb::DateValue instant(const QString& text)
{
    return vb::parseDateText(QString(text).replace(u'T', u' '));
}

vb::DateValue dayBefore(const vb::DateValue& date)
{
    if (date.day() > 1)
        return vb::DateValue(date.year(), date.month(), date.day() - 1);
    const int year = date.month() > 1 ? date.year() : date.year() - 1;
    const int month = date.month() > 1 ? date.month() - 1 : 12;
    int last = 31;
    while (!vb::isValidDateTime(year, month, last))
        --last;
    return vb::DateValue(year, month, last);
}

} // namespace

TEST(ManPage, EveryExampleIsWhatTamoClockPrints)
{
    TestEnv env;
    for (const QStringList& row : dataRows(QStringLiteral(TAMO_MAN_SOURCE_DIR "/examples.tsv"), 3)) {
        QProcess clock;
        clock.start(QStringLiteral(TAMO_CLOCK_PROGRAM), {u"--at"_s, row[2], u"--format"_s, row[1]});
        ASSERT_TRUE(clock.waitForFinished(10000)) << row[0].toStdString();
        EXPECT_EQ(clock.exitCode(), 0) << row[0].toStdString();
        EXPECT_EQ(clock.readAllStandardOutput(), row[3].toUtf8() + '\n') << row[0].toStdString();
        EXPECT_EQ(clock.readAllStandardError(), QByteArray()) << row[0].toStdString();
    }
}

// tamo-clock(1)'s examples that show their output ("$ tamo-clock ARGS" and the lines it prints,
// in one literal block) are what it prints.
TEST(ManPage, TamoClockExamplesPrintWhatThePageShows)
{
    QFile file(QStringLiteral(TAMO_MAN_SOURCE_DIR "/tamo-clock.1.scd"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList blocks = QString::fromUtf8(file.readAll()).split(u"```\n"_s);
    int examples = 0;
    TestEnv env;
    for (qsizetype i = 1; i < blocks.size(); i += 2) { // the odd parts are inside the fences
        if (!blocks[i].startsWith(u"$ tamo-clock "_s))
            continue;
        const QString command = blocks[i].section(u'\n', 0, 0);
        QProcess clock;
        clock.start(QStringLiteral(TAMO_CLOCK_PROGRAM), command.mid(13).split(u' '));
        ASSERT_TRUE(clock.waitForFinished(10000)) << command.toStdString();
        EXPECT_EQ(clock.readAllStandardOutput(), blocks[i].section(u'\n', 1).toUtf8()) << command.toStdString();
        ++examples;
    }
    EXPECT_GT(examples, 0);
}

// The page as built: one command for each example, so none was lost on the way in.
TEST(ManPage, TheBuiltPageHoldsEveryExample)
{
    QFile page(QStringLiteral(TAMO_MAN_DIR "/tamo-format.5"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    const auto examples = dataRows(QStringLiteral(TAMO_MAN_SOURCE_DIR "/examples.tsv"), 3);
    EXPECT_EQ(text.count(u"$ tamo-clock --at "_s), examples.size());
    EXPECT_FALSE(text.contains(u"@EXAMPLES@"_s));
    EXPECT_FALSE(text.contains(u"@VERSION@"_s));
}

TEST(ManPage, EachDateCodeShowsWhatItsRowSays)
{
    const Table codes = table(u"date-codes"_s);
    const vb::DateValue at = instant(codes.argument);
    for (const QStringList& row : codes.rows) {
        ASSERT_EQ(row.size(), 3) << row.join(u'|').toStdString();
        EXPECT_EQ(vb::Format(at, row[0]), row[2]) << "code " << row[0].toStdString();
        // Any case: the designators print the case they are written in, so only their length.
        EXPECT_EQ(vb::Format(at, row[0].toUpper()).size(), row[2].size()) << "code " << row[0].toStdString();
    }
}

// A letter that begins no documented code is copied, and so is every run of a letter shorter
// than its shortest code (a, aa; o to ooo; t to tttt).
TEST(ManPage, LettersWithoutARowAreLiteral)
{
    std::set<QString> documented;
    for (const QStringList& row : table(u"date-codes"_s).rows)
        documented.insert(row[0].toLower());
    const vb::DateValue at(2001, 3, 29, 13, 5, 9);
    for (char16_t letter = u'a'; letter <= u'z'; ++letter) {
        qsizetype shortest = 0;
        for (qsizetype n = 1; n <= 6 && shortest == 0; ++n)
            if (documented.count(QString(n, QChar(letter))))
                shortest = n;
        if (shortest == 0) {
            const bool beginsACode = std::any_of(documented.begin(), documented.end(),
                                                 [&](const QString& c) { return c.front() == letter; });
            if (!beginsACode)
                shortest = 7;
        }
        for (qsizetype n = 1; n < shortest && n <= 4; ++n) {
            const QString run(n, QChar(letter));
            EXPECT_EQ(vb::Format(at, run), run);
            EXPECT_EQ(vb::Format(at, run.toUpper()), run.toUpper());
        }
    }
}

TEST(ManPage, EachEraRowIsWhatTheCalendarGives)
{
    for (const QStringList& row : table(u"eras"_s).rows) {
        ASSERT_EQ(row.size(), 3);
        const vb::DateValue first = instant(row[0]);
        EXPECT_EQ(vb::Format(first, u"ggge"), row[1]) << row[0].toStdString();
        EXPECT_EQ(vb::Format(first, u"g"), row[2]) << row[0].toStdString();
        // The day before belongs to the era before.
        const vb::DateValue before = dayBefore(first);
        EXPECT_NE(vb::Format(before, u"ggg"), vb::Format(first, u"ggg")) << row[0].toStdString();
    }
}

// The rows cover the ages 0 to 29 in order, each age with its row's picture.
TEST(ManPage, EachMoonPictureIsTheGlyphOfItsAges)
{
    const QRegularExpression range(u"^(\\d+) to (\\d+)$"_s);
    int next = 0;
    for (const QStringList& row : table(u"moon-glyphs"_s).rows) {
        ASSERT_EQ(row.size(), 2);
        const auto match = range.match(row[0]);
        ASSERT_TRUE(match.hasMatch()) << row[0].toStdString();
        EXPECT_EQ(match.captured(1).toInt(), next) << row[0].toStdString();
        ASSERT_TRUE(row[1].startsWith(u'"') && row[1].endsWith(u'"')) << row[1].toStdString();
        const QString picture = row[1].mid(1, row[1].size() - 2);
        for (int age = match.captured(1).toInt(); age <= match.captured(2).toInt(); ++age)
            EXPECT_EQ(zp::MoonGraphic(qint16(age)), picture) << "age " << age;
        next = match.captured(2).toInt() + 1;
    }
    EXPECT_EQ(next, 30);
}
