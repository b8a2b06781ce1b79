// SPDX-License-Identifier: GPL-3.0-or-later
// Columns a table writes beside others of the same field: a field's columns
// repeated in the very same words for its next value or line, and a phone's
// extension right after its phone.
#include "fileformats/csv/csvimport_p.h"

#include "model/pimlabels.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// The words a table heads a phone's extension with ("Extension",
// "Business Extension", "Phone Ext."), in the compared form of a name.
bool namesAnExtension(const QString& key)
{
    const QString loose = CsvColumnDictionary::looseForm(key);
    if (loose.endsWith(QLatin1String("extension")))
        return true;
    const qsizetype blank = key.lastIndexOf(QLatin1Char(' '));
    const QStringView last = QStringView(key).mid(blank + 1);
    return last == u"ext" || last == u"ext.";
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

namespace csvread {

QList<int> extensionColumnsOf(const QStringList& header, const std::function<int(const QString&)>& typeOf)
{
    QList<int> result(header.size(), -1);
    for (int i = 1; i < header.size(); ++i) {
        // A phone suite names an address's extended part "Home extension"
        // among the address's columns: that one stays the address's.
        const int type = typeOf(header.at(i));
        if ((type == 0 || type == pim::ENTITY_ADDR) && typeOf(header.at(i - 1)) == pim::ENTITY_PHONE
            && namesAnExtension(header.at(i)))
            result[i - 1] = i;
    }
    return result;
}

QString phoneWithExtension(const QString& phone, const QString& extension)
{
    QString ext = pim::withoutEndBlanks(extension);
    // A spreadsheet writes the number 214 it holds as "214.0".
    if (const qsizetype dot = ext.indexOf(u'.'); dot > 0 && dot + 1 < ext.size()
        && std::all_of(ext.cbegin(), ext.cbegin() + dot, [](QChar c) { return isAsciiDigit(c); })
        && std::all_of(ext.cbegin() + dot + 1, ext.cend(), [](QChar c) { return c == u'0'; }))
        ext.truncate(dot);
    // "-", "N/A", "none" say there is none, and so do zeros alone, which a
    // sheet puts where a number column is empty.
    if (std::none_of(ext.cbegin(), ext.cend(), [](QChar c) { return c.isDigit() && c.digitValue() != 0; }))
        return phone;
    // Inside the company the extension alone is the number to dial.
    if (pim::isBlankText(phone))
        return ext;
    // As a tel: link of a card gives a number's extension ("+1-555-0100;ext=12");
    // one written with its own word ("x12", "ext. 12") keeps it.
    return pim::withoutEndBlanks(phone) + (ext.front().isDigit() ? QLatin1String(";ext=") : QLatin1String(" "))
        + ext;
}

QList<int> numberRepeatedBlocks(const QStringList& header, QList<CsvColumnDictionary::_ColInfo>& infos)
{
    // A header of thousands of repeats is no user's table: past this many
    // blocks a repeat joins the last, as a name headed twice always did.
    constexpr int kMaxBlocks = 32;
    // A block of one field as the dictionary gives it: the names of its
    // current block and the instance that block fills.
    struct Block {
        QSet<QString> names;
        int instance = 0;
        int count = 1;
    };
    using KindKey = std::pair<int, int>;
    const auto kindKey = [](const CsvColumnDictionary::_ColInfo& info) {
        return KindKey(info.entityType, info.subType);
    };
    const auto fieldKey = [&](const CsvColumnDictionary::_ColInfo& info) {
        return std::pair<KindKey, int>(kindKey(info), info.instance);
    };
    const auto repeats = [](int type) { return type == pim::ENTITY_ADDR || type == pim::ENTITY_ORG; };
    // A new block's instance follows every instance the header's names give.
    QHash<KindKey, int> nextInstance;
    for (const CsvColumnDictionary::_ColInfo& info : std::as_const(infos)) {
        if (repeats(info.entityType)) {
            int& next = nextInstance[kindKey(info)];
            next = std::max(next, info.instance + 1);
        }
    }
    QList<int> firstOfBlocks;
    if (nextInstance.isEmpty())
        return firstOfBlocks;
    QHash<std::pair<KindKey, int>, Block> blocks;
    for (int i = 0; i < infos.size(); ++i) {
        CsvColumnDictionary::_ColInfo& info = infos[i];
        if (!repeats(info.entityType))
            continue;
        const QString& name = header.at(i);
        auto block = blocks.find(fieldKey(info));
        if (block == blocks.end())
            block = blocks.insert(fieldKey(info), Block { {}, info.instance, 1 });
        if (block->names.contains(name)) {
            // "Street","Street": the street's next line, joined as the
            // lines of a street are.
            const bool nextLine = header.at(i - 1) == name && info.valueKey == QLatin1String("data4");
            int& next = nextInstance[kindKey(info)];
            if (!nextLine && block->count < kMaxBlocks && next < std::numeric_limits<int>::max()) {
                block->names.clear();
                block->instance = next++;
                ++block->count;
                firstOfBlocks.append(i);
            }
        }
        block->names.insert(name);
        info.instance = block->instance;
    }
    return firstOfBlocks;
}

} // namespace csvread
