// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csvimport.h"

#include "fileformats/csvhelper.h"
#include "fileformats/csvscanner_p.h"
#include "fileformats/fileformatslog.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QFile>
#include <QVarLengthArray>

#include <cstring>

CSVImport::_ColInfo CSVImport::colInfo(const QString& headerName)
{
    return CsvColumnDictionary::lookup(headerName);
}

void CSVImport::initialize(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(file.errorString());
    const auto tooLarge = [] {
        throw Error(QCoreApplication::translate("CSVImport", "The file is larger than %1 MB and cannot be imported.")
                        .arg(csvhelper::kMaxFileBytes / (1024 * 1024)));
    };
    if (file.size() > csvhelper::kMaxFileBytes)
        tooLarge();
    // Read in pieces so the bound also holds for a file that grows or does
    // not know its size, without reserving the whole bound up front.
    QByteArray raw;
    raw.reserve(file.size());
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0)
            throw Error(file.errorString());
        if (n == 0)
            break;
        raw.append(chunk.constData(), n);
        if (raw.size() > csvhelper::kMaxFileBytes)
            tooLarge();
    }
    file.close();

    QString encoding;
    const QByteArray text = csvhelper::toUtf8Text(raw, &encoding);
    qCDebug(lcCsv) << "reading" << path << "as" << encoding;

    QStringList header;
    QList<qsizetype> rowStarts;
    qsizetype pos = 0;
    if (csvhelper::readRow(text, pos, header)) {
        // The last row counts even without a final line end.
        while (pos < text.size()) {
            const qsizetype start = pos;
            bool blank = false;
            csvhelper::skipRow(text, pos, &blank);
            // A line with nothing on it holds no contact; counting it would
            // only make the progress total wrong.
            if (!blank)
                rowStarts.append(start);
        }
    } else {
        // A header without a line end has no rows below it.
        header.clear();
    }

    m_header = std::move(header);
    m_text = text;
    m_rowStarts = std::move(rowStarts);
    m_cursor = 0;
    m_encoding = encoding;
    resolveColumns();
}

void CSVImport::resolveColumns()
{
    m_columns.clear();
    m_groupTypes.clear();
    m_columnOfIndex.fill(-1, m_header.size());

    // Entities come out of a row in the text order of their "type-subtype"
    // keys, as the files written so far have always been read.
    QMap<QString, int> groupTypeByKey;
    for (int i = 0; i < m_header.size(); ++i) {
        const _ColInfo info = colInfo(m_header.at(i));
        if (info.entityType == 0)
            continue;
        groupTypeByKey.insert(QStringLiteral("%1-%2").arg(info.entityType).arg(info.subType), info.entityType);
    }
    QMap<QString, int> groupIndex;
    for (auto it = groupTypeByKey.cbegin(); it != groupTypeByKey.cend(); ++it) {
        groupIndex.insert(it.key(), int(m_groupTypes.size()));
        m_groupTypes.append(it.value());
    }
    for (int i = 0; i < m_header.size(); ++i) {
        const _ColInfo info = colInfo(m_header.at(i));
        if (info.entityType == 0)
            continue;
        Column col;
        col.index = i;
        col.info = info;
        col.group = groupIndex.value(QStringLiteral("%1-%2").arg(info.entityType).arg(info.subType));
        col.multiValued = pim::isMultiValued(info.entityType);
        m_columnOfIndex[i] = int(m_columns.size());
        m_columns.append(col);
    }
}

int CSVImport::total()
{
    return int(m_rowStarts.size());
}

bool CSVImport::hasNext()
{
    return m_cursor < m_rowStarts.size();
}

bool CSVImport::readPlainRow(qsizetype pos, QVarLengthArray<QString, 64>& values, bool& extraCells) const
{
    const char* const begin = m_text.constData() + pos;
    const char* const end = m_text.constData() + m_text.size();
    const char* const rowEnd = csvhelper::plainRowEnd(begin, end);
    if (!rowEnd)
        return false;
    const int headerSize = int(m_header.size());
    int index = 0;
    const char* cell = begin;
    for (;;) {
        const void* comma = std::memchr(cell, ',', size_t(rowEnd - cell));
        const char* c = comma ? static_cast<const char*>(comma) : rowEnd;
        const qsizetype size = c - cell;
        if (index >= headerSize)
            extraCells = extraCells || size > 0;
        else if (size > 0 && m_columnOfIndex.at(index) >= 0)
            values[m_columnOfIndex.at(index)] = QString::fromUtf8(cell, size);
        ++index;
        cell = c + 1;
        if (c == rowEnd)
            return true;
    }
}

pim::_Contact CSVImport::nextContact()
{
    Q_ASSERT(hasNext());
    qsizetype pos = m_rowStarts.at(m_cursor++);

    // Only the cells of known columns are decoded; cells beyond the header
    // are looked at only to tell that something was left out.
    const int headerSize = int(m_header.size());
    QVarLengthArray<QString, 64> values(m_columns.size());
    bool extraCells = false;
    if (!readPlainRow(pos, values, extraCells)) {
        csvhelper::MemorySource src(m_text, pos);
        auto sink = csvhelper::decodingSink(
            [&](int index) { return index >= headerSize || m_columnOfIndex.at(index) >= 0; },
            [&](int index, QString&& text) {
                if (index >= headerSize)
                    extraCells = extraCells || !text.isEmpty();
                else
                    values[m_columnOfIndex.at(index)] = std::move(text);
            });
        csvhelper::scanRow(src, sink);
    }
    if (extraCells)
        qCWarning(lcCsv) << "data row" << m_cursor << "has cells beyond the header; they are ignored";

    QVarLengthArray<QList<pim::Entity>, 64> groups(m_groupTypes.size());
    for (int c = 0; c < m_columns.size(); ++c) {
        const Column& col = m_columns.at(c);
        const QString& cell = values[c];
        if (cell.isEmpty())
            continue;
        const QString value = cell.startsWith(QLatin1Char('\'')) ? csvhelper::unguardFormula(cell) : cell;
        QList<pim::Entity>& list = groups[col.group];
        // Every column of a multi-valued group fills "data1", so a group
        // that holds an entity already has its value.
        if (list.isEmpty() || col.multiValued)
            list.append(pim::Entity());
        pim::Entity& entity = list.last();
        if (!col.info.typeKey.isEmpty() && col.info.subType != 0) {
            // The columns of a group share their sub-type: a lookup is
            // cheaper than writing the same number again.
            const auto type = entity.fields.constFind(col.info.typeKey);
            if (type == entity.fields.constEnd() || type->typeId() != QMetaType::Int || type->toInt() != col.info.subType)
                entity.fields.insert(col.info.typeKey, col.info.subType);
        }
        auto field = entity.fields.find(col.info.valueKey);
        if (field == entity.fields.end() || field->toString().isEmpty())
            entity.fields.insert(col.info.valueKey, value);
        else
            *field = field->toString() + QLatin1Char(' ') + value;
    }

    pim::_Contact contact;
    for (int g = 0; g < m_groupTypes.size(); ++g) {
        QList<pim::Entity>& list = groups[g];
        if (list.isEmpty())
            continue;
        const int type = m_groupTypes.at(g);
        for (pim::Entity& entity : list) {
            switch (type) {
            case pim::ENTITY_ADDR:
                entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
                break;
            case pim::ENTITY_IM:
                entity.fields.insert(QStringLiteral("data2"), 1);
                break;
            case pim::ENTITY_NAME:
                contact.fullName = entity.fullName();
                entity.fields.insert(QStringLiteral("data1"), contact.fullName);
                break;
            default:
                break;
            }
        }
        QList<pim::Entity>& ofType = contact.entities[type];
        if (ofType.isEmpty())
            ofType = std::move(list);
        else
            ofType.append(list);
    }

    if (contact.fullName.isEmpty()) {
        // Company-only rows (business cards) would otherwise be dropped.
        for (const pim::Entity& org : contact.entities.value(pim::ENTITY_ORG)) {
            const QString company = org.fields.value(QStringLiteral("data1")).toString().trimmed();
            if (!company.isEmpty()) {
                contact.fullName = company;
                break;
            }
        }
    }
    return contact;
}

void CSVImport::uninitialize()
{
}
