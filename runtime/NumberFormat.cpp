#include "runtime/NumberFormat.h"

#include <algorithm>
#include <vector>

namespace vb {

namespace {

struct Item {
    enum Kind : quint8 { Zero, Hash, Point, Literal } kind;
    QStringView text; // Literal only
};

// Digit placeholders, the decimal point and literals ("quoted", \escaped, or any other
// character), in the order written.
std::vector<Item> readNumberCode(QStringView code)
{
    std::vector<Item> items;
    const qsizetype n = code.size();
    for (qsizetype i = 0; i < n; ++i) {
        switch (code[i].unicode()) {
        case u'0': items.push_back({Item::Zero, {}}); break;
        case u'#': items.push_back({Item::Hash, {}}); break;
        case u'.': items.push_back({Item::Point, {}}); break;
        case u'\\':
            if (i + 1 < n) {
                items.push_back({Item::Literal, code.mid(i + 1, 1)});
                ++i;
            }
            break;
        case u'"': {
            qsizetype close = i + 1;
            while (close < n && code[close] != u'"')
                ++close;
            items.push_back({Item::Literal, code.mid(i + 1, close - i - 1)});
            i = close;
            break;
        }
        default: items.push_back({Item::Literal, code.mid(i, 1)}); break;
        }
    }
    return items;
}

} // namespace

QString FormatNumber(qint64 value, QStringView code)
{
    const std::vector<Item> items = readNumberCode(code);

    // The integer part's placeholders are those before the first decimal point.
    const auto point = std::find_if(items.begin(), items.end(),
                                    [](const Item& it) { return it.kind == Item::Point; });
    int placeholders = 0;
    int firstZero = -1; // index among the integer placeholders of the leftmost 0
    for (auto it = items.begin(); it != point; ++it) {
        if (it->kind == Item::Zero && firstZero < 0)
            firstZero = placeholders;
        if (it->kind == Item::Zero || it->kind == Item::Hash)
            ++placeholders;
    }

    // The magnitude's digits, none for zero: a # shows no digit where a 0 shows one.
    char16_t digits[24];
    int count = 0;
    for (quint64 m = value < 0 ? 0 - quint64(value) : quint64(value); m != 0; m /= 10)
        digits[count++] = char16_t(u'0' + m % 10); // least significant first
    const int shown = std::max(count, firstZero < 0 ? 0 : placeholders - firstZero);
    auto digitAt = [&](int fromRight) { return fromRight < count ? digits[fromRight] : u'0'; };

    QString out;
    out.reserve(code.size() + count + 1);
    if (value < 0)
        out.append(u'-');
    // Integer placeholder `slot` (counted from the right) shows the digit of its place; the
    // leftmost one also shows every digit the others have no room for.
    auto putIntegerDigits = [&](int slot) {
        const int top = slot == placeholders - 1 ? shown - 1 : slot;
        for (int r = top; r >= slot && r < shown; --r)
            out.append(QChar(digitAt(r)));
    };
    // Without integer placeholders the digits stand before the point, or last when there is
    // none, rather than nowhere.
    bool looseDigits = placeholders == 0 && count > 0;
    auto putLooseDigits = [&] {
        for (int r = count - 1; r >= 0; --r)
            out.append(QChar(digits[r]));
        looseDigits = false;
    };

    int slot = placeholders;
    bool inFraction = false;
    for (const Item& it : items) {
        switch (it.kind) {
        case Item::Zero:
        case Item::Hash:
            if (!inFraction)
                putIntegerDigits(--slot);
            else if (it.kind == Item::Zero) // an integer's fraction is zeros; # shows none
                out.append(u'0');
            break;
        case Item::Point:
            if (looseDigits)
                putLooseDigits();
            out.append(u'.'); // a second point is a literal
            inFraction = true;
            break;
        case Item::Literal: out.append(it.text); break;
        }
    }
    if (looseDigits)
        putLooseDigits();
    return out;
}

} // namespace vb
