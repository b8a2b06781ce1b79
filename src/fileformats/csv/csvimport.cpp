// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvimport.h"

#include "fileformats/csv/csvhelper.h"
#include "fileformats/csv/csvimport_p.h"
#include "fileformats/csv/csvscanner_p.h"
#include "fileformats/csv/csvtableshape.h"
#include "fileformats/fileformatslog.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QFile>

#include <cstring>
#include <optional>
#include <utility>

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
    csvhelper::StrayByteRows stray;
    const QByteArray text = csvhelper::toUtf8Text(raw, &encoding, &stray);
    qCDebug(lcCsv) << "reading" << path << "as" << encoding;

    // An export may put a title, a date or a note above its header.
    const std::optional<csvshape::HeaderRow> below = csvshape::headerBelowOwnRows(text);
    const char delimiter = below ? below->delimiter : csvhelper::detectDelimiter(text);
    const int headerRow = below ? below->number : 1;
    QStringList header;
    QList<qsizetype> rowStarts;
    QList<int> rowNumbers;
    qsizetype pos = below ? below->pos : 0;
    const bool headerEnded = csvhelper::readRow(text, pos, header, delimiter);
    // Read by the names of columns that are a person's values, the rows
    // would fill the wrong fields, and the person would be taken for them.
    if (csvshape::holdsContactValues(header))
        throw Error(QCoreApplication::translate("CSVImport",
                                                "This file has no header row: row 1 holds a contact's values, not the "
                                                "names of columns, so no row was read. Add a first row that names the "
                                                "columns (\"First Name\", \"Last Name\", \"E-mail\", ...) and "
                                                "import the file again."));
    if (headerEnded) {
        // Rows are numbered as a spreadsheet shows them, from the top.
        int number = headerRow;
        // The last row counts even without a final line end.
        while (pos < text.size()) {
            const qsizetype start = pos;
            bool blank = false;
            csvhelper::skipRow(text, pos, &blank);
            ++number;
            // A line with nothing on it holds no contact; counting it would
            // only make the progress total wrong.
            if (!blank) {
                rowStarts.append(start);
                rowNumbers.append(number);
            }
        }
    } else {
        // A header without a line end has no rows below it.
        header.clear();
    }
    QStringList keys;
    keys.reserve(header.size());
    for (const QString& name : std::as_const(header))
        keys.append(CsvColumnDictionary::comparedForm(name));
    const QList<bool> describingOnly
        = csvread::describingColumns(keys, [](const QString& key) { return colInfo(key).entityType; }).describingOnly;
    QList<int> unread;
    for (int i = 0; i < keys.size(); ++i) {
        const QString& key = keys.at(i);
        if (colInfo(key).entityType == 0 && !key.isEmpty() && !describingOnly.at(i))
            unread.append(i);
    }
    if (!header.isEmpty() && unread.size() == header.size())
        throw Error(QCoreApplication::translate("CSVImport", "This program reads none of the columns of this file."));

    m_header = std::move(header);
    m_headerKeys = std::move(keys);
    m_text = text;
    m_rowStarts = std::move(rowStarts);
    m_rowNumbers = std::move(rowNumbers);
    m_cursor = 0;
    m_encoding = encoding;
    m_strayRows.clear();
    for (const qint64 row : std::as_const(stray.rows))
        m_strayRows.add(row);
    m_straySet = stray.set;
    m_delimiter = delimiter;
    m_problems.clear();
    m_headerRow = headerRow;
    if (below && below->textAbove) {
        // Before the header row's own sentences, which go first once the
        // last row is read.
        constexpr qint64 kAboveTheHeader = -1;
        m_problems.add(headerRow == 2
                           ? QCoreApplication::translate("CSVImport",
                                                         "Row 1: the row stands above the header row and was left out.")
                           : QCoreApplication::translate("CSVImport", "Rows 1-%1: the rows stand above the header "
                                                                      "row and were left out.")
                                 .arg(headerRow - 1),
                       kAboveTheHeader);
    }
    m_controlRows.clear();
    m_twiceEncodedRows.clear();
    m_mayHoldControls = pim::mayHoldControlCharacters(m_text);
    // A file with a row that is not UTF-8 was read in a code page, whose
    // controls are the bytes it leaves unassigned.
    m_textFrom = m_encoding == QLatin1String("windows-1252") || m_encoding == QLatin1String("macintosh")
        ? pim::ReadFrom::CodePage
        : pim::ReadFrom::Unicode;
    // One program wrote the file: where its text, taken whole, was encoded
    // twice, so was a row that does not tell.
    m_fileWriting = m_mayHoldControls && m_textFrom == pim::ReadFrom::Unicode
        ? csvhelper::writingOfCells(m_text)
        : pim::Writing::Untold;
    m_unreadEmpty.fill(false, m_header.size());
    for (const int index : std::as_const(unread))
        m_unreadEmpty[index] = true;
    m_unreadColumns = std::move(unread);
    resolveColumns();
}

int CSVImport::total()
{
    return int(m_rowStarts.size());
}

bool CSVImport::hasNext()
{
    return m_cursor < m_rowStarts.size();
}

bool CSVImport::readPlainRow(qsizetype pos, Cells& values, bool& extraCells)
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
        const void* comma = std::memchr(cell, m_delimiter, size_t(rowEnd - cell));
        const char* c = comma ? static_cast<const char*>(comma) : rowEnd;
        const qsizetype size = c - cell;
        if (index >= headerSize) {
            extraCells = extraCells || size > 0;
        } else if (size > 0) {
            if (const int column = m_columnOfIndex.at(index); column >= 0)
                values[column] = QString::fromUtf8(cell, size);
            else if (m_unreadEmpty.at(index))
                noteUnreadCell(index, QString::fromUtf8(cell, size));
        }
        ++index;
        cell = c + 1;
        if (c == rowEnd)
            return true;
    }
}

void CSVImport::readCells(qsizetype pos, int rowNumber, Cells& values)
{
    // Only the cells of known columns are decoded, and those of a column no
    // field takes until one holds something; cells beyond the header are
    // looked at only to tell that something was left out.
    const int headerSize = int(m_header.size());
    bool extraCells = false;
    if (!readPlainRow(pos, values, extraCells)) {
        csvhelper::MemorySource src(m_text, pos, m_delimiter);
        auto sink = csvhelper::decodingSink(
            [&](int index) {
                return index >= headerSize || m_columnOfIndex.at(index) >= 0 || m_unreadEmpty.at(index);
            },
            [&](int index, QString&& text) {
                if (index >= headerSize)
                    extraCells = extraCells || !text.isEmpty();
                else if (const int column = m_columnOfIndex.at(index); column >= 0)
                    values[column] = std::move(text);
                else
                    noteUnreadCell(index, text);
            });
        csvhelper::scanRow(src, sink);
    }
    if (extraCells)
        m_problems.add(QCoreApplication::translate("CSVImport",
                                                   "Row %1: the cells beyond the last named column were left out.")
                           .arg(rowNumber));
    if (!m_mayHoldControls)
        return;
    // One program wrote the row: a cell whose controls tell nothing of how
    // it was written is read as the others tell, and a name holds no line
    // break.
    QVarLengthArray<pim::Writing, 64> writings(values.size(), pim::Writing::Windows1252);
    if (m_textFrom == pim::ReadFrom::Unicode) {
        for (qsizetype c = 0; c < values.size(); ++c)
            writings[c] = pim::writingOf(values[c]);
    }
    pim::Writing shared = pim::sharedWriting(writings.constData(), writings.size());
    if (shared == pim::Writing::Untold)
        shared = m_fileWriting;
    pim::ControlCharacterChanges row;
    for (qsizetype c = 0; c < values.size(); ++c) {
        const auto breaks = m_columns.at(c).info.entityType == pim::ENTITY_NAME ? pim::LineBreaks::Blanks
                                                                                 : pim::LineBreaks::Kept;
        const pim::ControlCharacterChanges changes
            = pim::dropControlCharacters(values[c], writings[c], shared, breaks, m_textFrom);
        row.controls = row.controls || changes.controls;
        row.twiceEncoded = row.twiceEncoded || changes.twiceEncoded;
    }
    if (row.controls)
        m_controlRows.add(rowNumber);
    if (row.twiceEncoded)
        m_twiceEncodedRows.add(rowNumber);
}

pim::_Contact CSVImport::nextContact()
{
    Q_ASSERT(hasNext());
    const int rowNumber = m_rowNumbers.at(m_cursor);
    const qsizetype pos = m_rowStarts.at(m_cursor++);

    Cells values(m_columns.size());
    readCells(pos, rowNumber, values);
    if (!m_spellings.isEmpty())
        keepFirstSpelling(values, rowNumber);
    if (!m_extensions.isEmpty())
        joinExtensions(values);
    noteDateOrders(values, rowNumber);
    csvread::RowEntities row(m_groupTypes.size());
    for (int c = 0; c < m_columns.size(); ++c)
        readCell(c, values, row);
    pim::_Contact contact = contactOf(row);

    // Rows without a name (business cards, bare numbers) would otherwise be
    // dropped.
    if (contact.fullName.isEmpty())
        contact.fullName = standInName(contact);
    if (contact.fullName.isEmpty())
        m_problems.add(QCoreApplication::translate(
                           "CSVImport", "Row %1: no name, company, phone number or e-mail address; the row was left out.")
                           .arg(rowNumber));
    if (!hasNext()) {
        reportUnreadColumns();
        reportDateOrders();
        reportControlRows();
        reportSpellings();
        reportGuessedCharset();
    }
    return contact;
}

void CSVImport::keepFirstSpelling(Cells& values, int rowNumber)
{
    // By spelling, the column whose cell the row's field takes.
    QVarLengthArray<int, 8> taken(m_spellings.size(), -1);
    for (int c = 0; c < m_columns.size(); ++c) {
        const int spelling = m_columns.at(c).spelling;
        if (spelling < 0 || pim::isBlankText(values[c]))
            continue;
        int& first = taken[spelling];
        if (first < 0) {
            first = c;
            continue;
        }
        if (pim::withoutEndBlanks(values[c]) != pim::withoutEndBlanks(values[first]))
            m_spellings[spelling].differingRows.add(rowNumber);
        values[c].clear();
    }
}

void CSVImport::reportSpellings()
{
    for (const Spelling& spelling : std::as_const(m_spellings)) {
        const int rows = spelling.differingRows.count();
        if (rows == 0)
            continue;
        QStringList names;
        for (const QString& name : spelling.names)
            names.append(QLatin1Char('"') + name + QLatin1Char('"'));
        m_problems.add((rows == 1 ? QCoreApplication::translate("CSVImport",
                                                                "Row %1: the columns %2 name one field and their "
                                                                "cells differ; the first filled one was read and "
                                                                "the others were left out.")
                                  : QCoreApplication::translate("CSVImport",
                                                                "Rows %1: the columns %2 name one field and their "
                                                                "cells differ; in each row the first filled one "
                                                                "was read and the others were left out."))
                           .arg(spelling.differingRows.text(), names.join(QLatin1String(", "))));
    }
}

void CSVImport::reportGuessedCharset()
{
    if (m_strayRows.count() > 0) {
        const QString set = m_straySet == legacytext::WesternSet::MacRoman
            ? QCoreApplication::translate("CSVImport", "Mac Roman (Western European, older Macs)")
            : QCoreApplication::translate("CSVImport", "windows-1252 (Western European)");
        m_problems.add((m_strayRows.count() == 1
                            ? QCoreApplication::translate("CSVImport",
                                                          "Row %1: the text is UTF-8 but for a few bytes that are "
                                                          "not; those were read as %2, so check its letters.")
                            : QCoreApplication::translate("CSVImport",
                                                          "Rows %1: the text is UTF-8 but for a few bytes that are "
                                                          "not; those were read as %2, so check their letters."))
                           .arg(m_strayRows.text(), set));
    }
    // Said once for the file, after its rows: the letters of all of them
    // may be wrong, and a UTF-8 or UTF-16 file says nothing here.
    if (m_encoding == QLatin1String("windows-1252"))
        m_problems.add(QCoreApplication::translate("CSVImport",
                                                   "The file names no character set and its text is not UTF-8; it "
                                                   "was read as windows-1252 (Western European), so check its "
                                                   "letters."));
    else if (m_encoding == QLatin1String("macintosh"))
        m_problems.add(QCoreApplication::translate("CSVImport",
                                                   "The file names no character set and its text is not UTF-8; it "
                                                   "was read as Mac Roman (Western European, older Macs), so check "
                                                   "its letters."));
}

void CSVImport::reportControlRows()
{
    const auto add = [this](const NamedPlaces& rows, const char* one, const char* many) {
        if (rows.count() > 0)
            m_problems.add(QCoreApplication::translate("CSVImport", rows.count() == 1 ? one : many).arg(rows.text()));
    };
    add(m_controlRows,
        QT_TRANSLATE_NOOP("CSVImport", "Row %1: a cell held control characters, which no text keeps: those that "
                                       "break a line became line breaks, those that may stand for a letter became "
                                       "the windows-1252 letter of their code, or \"\uFFFD\" where it has none, and "
                                       "the others were left out, so check the text."),
        QT_TRANSLATE_NOOP("CSVImport", "Rows %1: cells held control characters, which no text keeps: those that "
                                       "break a line became line breaks, those that may stand for a letter became "
                                       "the windows-1252 letter of their code, or \"\uFFFD\" where it has none, and "
                                       "the others were left out, so check the text."));
    add(m_twiceEncodedRows,
        QT_TRANSLATE_NOOP("CSVImport", "Row %1: a cell held letters encoded twice (their UTF-8 read as Latin-1 and "
                                       "written as UTF-8 again, with control characters among them); each was read "
                                       "as the letter meant, so check the text."),
        QT_TRANSLATE_NOOP("CSVImport", "Rows %1: cells held letters encoded twice (their UTF-8 read as Latin-1 and "
                                       "written as UTF-8 again, with control characters among them); each was read "
                                       "as the letter meant, so check the text."));
}

void CSVImport::uninitialize()
{
}
