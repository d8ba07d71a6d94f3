// The settings file's text in memory: where parsing stops, values as they stand, escapes both
// ways, names, and edits that keep every byte they do not change.

#include "runtime/IniDocument.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using vb::IniDocument;

TEST(IniDocument, ParseStopsAtTheFirstBadLine)
{
    // One line a kind: invalid UTF-8; raw control characters; sections; entries; escapes; twins.
    const struct { QByteArray bytes; int line; } rows[] = {
        {"[M]\nk=\xFF\n", 2}, {"k=\xE0\x80\xAF\n", 1}, {"[M]\nk=\xED\xA0\x80\n", 2}, {"k=\xF4\x90\x80\x80\n", 1}, {"[M]\nk=\xE6\x9Cx\n", 2}, {"k=\xF0\x9F\x8C", 1},
        {QByteArray("[M]\nk=\0\n", 7), 2}, {"; \x7F\n", 1}, {"[M]\nk=a\rb\n", 2}, {"[M]\n\xEF\xBB\xBF[N]\n", 2}, {"\t\x01\n", 1},
        {"[Main\nk=x\n", 1}, {"[Main] x\n", 1}, {"[\n", 1},
        {"[Main]\nZPFormat\n", 2}, {"[Main]\n = v\n", 2},
        {"[Main]\nk=C:\\Users\n", 2}, {"[M]\nk=a\\\n", 2}, {"[M]\nk=\\u12\n", 2}, {"[M]\nk=\\u12G4\n", 2},
        {"[A]\n[B]\n[A]\n", 3}, {"[Main]\nk=1\nk =2\n", 3}, {"k=1\nk=2\n", 2},
    };
    for (const auto& r : rows) {
        int line = 0;
        EXPECT_FALSE(IniDocument::parse(r.bytes, &line)) << r.bytes.toStdString();
        EXPECT_EQ(line, r.line) << r.bytes.toStdString();
    }
}

TEST(IniDocument, ValuesAsTheyStandAndTheBytesBackUnchanged)
{
    const QByteArray text = "\xEF\xBB\xBF; note\nearly=1\n  [Main]  \r\nZPFormat = %h:nn% \r\n\t# c\nHex=\\u00e9\\u00C9\\s\n"
                            "a b=c=d\nempty=\n[ Plug in ]\nZPFormat=other\n[a]b]\nk=\xE6\x9C\x88\xEF\xBB\xBF";
    const std::optional<IniDocument> document = IniDocument::parse(text);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->serialize(), text);
    const struct { QString section, key; std::optional<QString> value; } rows[] = {
        {u"Main"_s, u"ZPFormat"_s, u"%h:nn%"_s}, {u"Main"_s, u"Hex"_s, u"éÉ "_s}, {u"Main"_s, u"a b"_s, u"c=d"_s},
        {u"Main"_s, u"empty"_s, u""_s}, {u" Plug in "_s, u"ZPFormat"_s, u"other"_s}, {u"a]b"_s, u"k"_s, u"月\uFEFF"_s},
        {u"Main"_s, u"early"_s, std::nullopt}, {u"main"_s, u"ZPFormat"_s, std::nullopt}, {u"Main"_s, u"zpformat"_s, std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(document->value(r.section, r.key), r.value) << r.section.toStdString() << "/" << r.key.toStdString();
}

TEST(IniDocument, EscapesBothWaysAndNames)
{
    const struct { QString value, text; } rows[] = {
        {u"  a  b  "_s, u"\\s\\sa  b\\s\\s"_s}, {u"   "_s, u"\\s\\s\\s"_s}, {u"a\\\t\n\r\n\u0001"_s, u"a\\\\\\t\\n\\r\\n\\u0001"_s},
        {u"\\s\\u0041\\"_s, u"\\\\s\\\\u0041\\\\"_s}, {u"月齢🌕　;#=,\"%[Main]"_s, u"月齢🌕　;#=,\"%[Main]"_s},
        {u"\uFEFFx\xD800x\xDC00\xDC00\xD800"_s, u"\\uFEFFx\\uD800x\\uDC00\\uDC00\\uD800"_s},
        {QString(QChar(0)) + u"\u007F\u0085\u2028\u2029\uFFFE"_s, u"\\u0000\\u007F\\u0085\\u2028\\u2029\\uFFFE"_s},
    };
    for (const auto& r : rows)
        EXPECT_TRUE(vb::escapeIniValue(r.value) == r.text && vb::unescapeIniValue(r.text) == r.value) << r.text.toStdString();
    // Names are never escaped: what a value escapes may not be in one, nor (in a key) what
    // would read as another kind of line or be taken for blanks around "=".
    for (const QString& name : {u"k;#["_s, u"名前 2"_s})
        EXPECT_TRUE(vb::isWritableIniName(name) && vb::isWritableIniKey(name)) << name.toStdString();
    for (const QString& name : {u" [x] ; # = "_s, u"a=b"_s, u"[a"_s, u";a"_s, u"#a"_s, u" a"_s, u"a "_s})
        EXPECT_TRUE(vb::isWritableIniName(name) && !vb::isWritableIniKey(name)) << name.toStdString();
    for (const QString& name : {u""_s, u"a\xDC00"_s, u"a\u2028"_s, u"a\tb"_s, u"\uFEFF"_s, u"\u0085"_s})
        EXPECT_FALSE(vb::isWritableIniName(name) || vb::isWritableIniKey(name)) << name.toStdString();
}

TEST(IniDocument, EditsMoveOnlyTheirLine)
{
    const QByteArray head = "\xEF\xBB\xBF; Tamo\n[Main]\nLeft = 120 \n";
    const QByteArray middle = "\n  # the plug-in\n[Plug in]\r\n";
    const QByteArray all = head + "ZPFormat=old\n" + middle + "Other = x\r\n\n[Window]\nTop=5"; // no final LF
    // A null value removes the key.
    const struct { const char* name; QByteArray before; QString section, key; const char16_t* value; QByteArray after; } rows[] = {
        {"replace", all, u"Main"_s, u"ZPFormat"_s, u" new", head + "ZPFormat=\\snew\n" + middle + "Other = x\r\n\n[Window]\nTop=5"},
        {"add after the section's last key", all, u"Main"_s, u"Added"_s, u"v", head + "ZPFormat=old\nAdded=v\n" + middle + "Other = x\r\n\n[Window]\nTop=5"},
        {"add after a last line without LF", all, u"Window"_s, u"Left"_s, u"1", all + "\nLeft=1\n"},
        {"add a section at the end", all, u"Extra"_s, u"k"_s, u"v", all + "\n\n[Extra]\nk=v\n"},
        {"add a section after a blank line", "[A]\n\n", u"B"_s, u"k"_s, u"v", "[A]\n\n[B]\nk=v\n"},
        {"add a section to an empty file", "", u"B"_s, u"k"_s, u"v", "[B]\nk=v\n"},
        {"add names that look like other lines", "", u" [x] ; # = "_s, u"k;#["_s, u"=", "[ [x] ; # = ]\nk;#[==\n"},
        {"remove the only key: the section stays", all, u"Plug in"_s, u"Other"_s, nullptr, head + "ZPFormat=old\n" + middle + "\n[Window]\nTop=5"},
        {"remove the last line", all, u"Window"_s, u"Top"_s, nullptr, head + "ZPFormat=old\n" + middle + "Other = x\r\n\n[Window]\n"},
    };
    for (const auto& r : rows) {
        std::optional<IniDocument> document = IniDocument::parse(r.before);
        ASSERT_TRUE(document) << r.name;
        EXPECT_FALSE(document->remove(u"Main"_s, u"absent"_s)) << r.name;
        if (r.value)
            document->setValue(r.section, r.key, QString::fromUtf16(r.value));
        else
            EXPECT_TRUE(document->remove(r.section, r.key)) << r.name;
        EXPECT_EQ(document->serialize(), r.after) << r.name;
        const std::optional<QString> value = r.value ? std::optional(QString::fromUtf16(r.value)) : std::nullopt;
        EXPECT_EQ(IniDocument::parse(r.after)->value(r.section, r.key), value) << r.name << ": read back";
    }
}
