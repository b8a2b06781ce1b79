// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/legacytext.h"
#include "model/controlcharacters.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

// The CSV syntax shared by the CSV reader and writer.
//
// Cells are separated by commas; a row ends with LF, CR LF or a lone CR
// (classic Mac files). A cell may be enclosed in double quotes, inside which
// a doubled quote is one quote and commas, CR and LF are content. A double
// quote opens quoting only once per cell, wherever it stands; after the
// quoted section has closed, further quotes of that cell are plain content.
namespace csvhelper {

// Largest file the reader takes into memory.
constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;

// The cell as written in a file: enclosed in double quotes (inner quotes
// doubled) when it holds a comma, a double quote, LF or CR; otherwise as is.
QString formatCell(const QString& cell);

// Spreadsheets evaluate a cell that starts with "=", "@", a tab or a CR.
// Such a cell gets a leading apostrophe. A cell that already starts with an
// apostrophe in front of such a text gets one more, so unguardFormula()
// always restores the original. "+" and "-" are left alone on purpose: they
// begin phone numbers and ordinary text far more often than formulas.
QString guardFormula(const QString& cell);
QString unguardFormula(const QString& cell);

// The rows of a file with a UTF-8 byte-order mark that toUtf8Text() read
// as UTF-8 but for a few stray bytes, numbered from 1 for the row after the
// mark, and the code page those bytes were read in.
struct StrayByteRows {
    QList<qint64> rows;
    legacytext::WesternSet set = legacytext::WesternSet::Windows1252;
};

// Turns the bytes of a whole file into UTF-8 without a byte-order mark:
// UTF-16 (either byte order, with its mark or without, see
// legacytext::utf16Start) is transcoded. Otherwise each row is decided on
// its own: a row that is valid UTF-8 stays so (files that several programs
// appended to mix the two), the others are read rather than turning
// letters into replacement characters, all in the one Western code page
// that legacytext::WesternGuess picks over them. A row valid only by chance
// (legacytext::formsUtf8ByChance()) is read in that code page too where
// the file holds no other row beyond ASCII or others are read wholly in
// it (a table of the code page). A UTF-8 mark is dropped;
// after it, where every row that is not valid UTF-8 is UTF-8 but for a few
// stray bytes (legacytext::isUtf8WithStrayBytes()), those rows keep their
// UTF-8 letters and only the stray bytes are read in that code page
// (named in stray, when given); else the text is read as it would be
// without the mark (web-mail exports put it before text of their code
// page). encoding, when given, receives "UTF-8", "UTF-16LE", "UTF-16BE"
// or, when any row was read wholly in a code page, "windows-1252" or
// "macintosh" (Mac Roman).
QByteArray toUtf8Text(const QByteArray& raw, QString* encoding = nullptr, StrayByteRows* stray = nullptr);

// How the cells of a table of UTF-8, taken together as one program wrote
// them, were written (pim::sharedWriting() of each cell's own
// pim::writingOf()): each stretch between the bytes that separate or quote
// cells taken as one cell, so that a cell cut inside a letter is one.
pim::Writing writingOfCells(QByteArrayView utf8);

// Reads one row out of UTF-8 bytes starting at pos, appending its cells to
// row (never clearing it) and moving pos past the row's line end. Returns
// true when the row ended with a line end, false when the data ended (the
// cells read up to there are appended: one empty cell when pos was already
// at the end).
bool readRow(const QByteArray& data, qsizetype& pos, QStringList& row, char delimiter = ',');

// The cell separator of a file, from its first row: whichever of comma,
// semicolon (spreadsheets of countries with a decimal comma) and TAB comes
// most often outside quotes; a comma when none does or on a tie.
char detectDelimiter(const QByteArray& data);

// Moves pos past one row as readRow() would, without making texts; blank,
// when given, tells whether the row was a line with nothing on it.
bool skipRow(const QByteArray& data, qsizetype& pos, bool* blank = nullptr);

// Reads one row from an open device and leaves the device at the first byte
// after the row's line end; the same result as readRow(). With checkBom a
// UTF-8 byte-order mark in front of the row is skipped, and a device
// already at its end appends nothing. Throws Error with the device's error
// text when a read fails; the cells read before stay.
bool utf8CSVRow(QStringList& row, QIODevice* device, bool checkBom);

// Reads rows (each with the byte-order-mark check) until one has at least
// minCells cells, leaving that row in the list. False when the data ends
// first; the list then holds the last row read.
bool utf8CSVRowSkip(QStringList& row, QIODevice* device, int minCells);

// The number of line ends outside quotes from the device's position to its
// end (a CR LF pair counts once). Leaves the device at its end. Throws
// Error when a read fails.
int totalRecords(QIODevice* device);

// Column name to index; a name that repeats maps to its last column.
QHash<QString, int> toHeader(const QStringList& cols);

// The row's cell of the named column, or defaultValue when the column is
// unknown or the row is too short.
QString getCell(const QHash<QString, int>& header, const QStringList& row, const QString& name,
                const QString& defaultValue);

} // namespace csvhelper
