// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a generated vCard file: the parse alone (every card converted, no
// database), then the whole import into an empty local database through the
// real import thread. Prints cards per second, contacts per second and the
// peak resident memory of the process.
//
// usage: bench_vcard_import [parse|import|both|again] [contacts-N.vcf] [--count] [--passes N]
//        bench_vcard_import fill DB [n] [latin|cyrillic|cjk|japanese|korean|emoji|emojijoined|mark|cjkblank|onefamily|marks]
//        bench_vcard_import one DB [new|stored]
//        bench_vcard_import reimport DB [k] [joined]
//        bench_vcard_import longnames DB [n] [words] [latin|cjk]
//        bench_vcard_import departments [n]
//        bench_vcard_import photos DIR [n]
// --passes N parses the file N times in the one process and prints the
// best pass too: the figure that compares two builds without the noise of
// the first pass's page faults.
// "again" imports the file into an empty database and then once more into
// the filled one; --count adds a trigger that counts the rows the second
// import updates and inserts (it costs time: leave it off for timings).
// The file comes from gen_contacts.py; by default
// bench-data/contacts-100000.vcf. Run each mode in its own process to read
// its own peak memory.
// "fill" writes a database of n contacts (84,000 by default) into DB,
// each of a name, two numbers, an e-mail address and every third an
// address, stored outside any import thread; "one" copies DB and imports
// one card into the copy through the real import thread, of a person not
// stored ("new", the default) or of one stored ("stored"). Run "one" in a
// process of its own to read its peak memory; under callgrind count the
// import alone:
// valgrind --tool=callgrind --toggle-collect='ImportContactsToLocalThread::run*' ./bench_vcard_import one DB
// With another kind than "latin" the n contacts (100,000 by default) have
// names of that kind, their family names as often as among their bearers:
// "cyrillic" as the Latin ones; "cjk" Chinese names, family name first
// without a blank, as the readers store a card "N:王;小明": the database in
// which every lookup of such a name finds others that start with its
// letters; "japanese" and "korean" family name, blank, given name
// ("山田 太郎", "김 민수"); "emoji" a Chinese name after one of eight emoji
// and a blank ("🌸 王明"), "emojijoined" without it ("🌸王明"), "mark" after
// the one mark "★" and a blank;
// "cjkblank" the Chinese names with a blank after the family name
// ("王 小明"), "onefamily" given names of one, two or three letters, each
// another, after the one family name "王" and a blank; "marks" names of
// marks only, two, a blank and two ("★♪ ・〆"). Those
// with a blank are stored as a given name alone, as a phone or a card of
// an FN alone stores them. "reimport" copies
// DB and imports the cards of k of its contacts (5,000 by default, every
// n/k-th by id), each of its stored name, parts and first number, through
// the real import thread: a re-import that finds every contact and changes
// nothing; count it under callgrind as "one". With "joined" the cards'
// names are written without their blanks ("王小明"): where the database holds
// the name only with a blank, each card is a new contact.
// "longnames" copies DB and imports n cards (50 by default) of a damaged
// file into the copy, each named by a text of `words` words (4,000 by
// default: about 1 MB for the 50) of four letters, or with "cjk" of as
// many Chinese letters without a blank, then the same file again into the
// same copy; it prints the time and peak memory of each: the memory must
// grow with the length of the names, not with its square.
// "departments" reads one card of n and of 16n department lines, each of
// another value (n = 12,500 by default), and prints both times and their
// ratio: the cost must grow with the card, not with its square.
// "photos" writes three files of n cards each (2,000 by default) into DIR,
// every card with a real JPEG photo of its own, for "parse" to read:
// photos-30.vcf in 3.0 as phones write it, photos-21.vcf in 2.1 with the
// base64 lines indented, photos-21-flush.vcf the same with the base64 lines
// written at the start of the line. Under callgrind, count the parse alone:
// valgrind --tool=callgrind --toggle-collect='*benchParse*' ./bench_vcard_import parse DIR/photos-30.vcf
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "peakmemory.h"
#include "common/sqlprobe.h"
#include "support/recordingreporter.h"
#include "fileformats/vcard/vcardimport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <algorithm>
#include <iterator>
#include <numeric>
#include <vector>

namespace {

long peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// The time of one parse in ms, or -1 for a file without a card.
qint64 benchParse(const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    VCardImport reader;
    reader.initialize(path);
    const qint64 scanned = timer.elapsed();
    int named = 0;
    while (reader.hasNext())
        named += reader.nextContact().fullName.isEmpty() ? 0 : 1;
    const qint64 ms = qMax<qint64>(1, timer.elapsed());
    std::printf("parse:  %d cards (%d named) in %lld ms (scan %lld ms): %.0f cards/s, %d lines skipped, peak %ld MB\n",
                reader.total(), named, static_cast<long long>(ms), static_cast<long long>(scanned),
                reader.total() * 1000.0 / double(ms), reader.skippedCount(), peakMegabytes());
    return reader.total() > 0 ? ms : -1;
}

// The best of three reads of one card of `lines` department lines, each
// of another value, in milliseconds.
double readDepartmentsCard(const QTemporaryDir& dir, int lines)
{
    QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Dora Wirth\r\nN:Wirth;Dora;;;\r\nORG:Beispiel AG\r\n";
    for (int i = 0; i < lines; ++i)
        card += "X-KADDRESSBOOK-X-Department:Abteilung " + QByteArray::number(i) + "\r\n";
    card += "END:VCARD\r\n";
    const QString path = dir.filePath(QStringLiteral("departments-%1.vcf").arg(lines));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(card) != card.size())
        return -1;
    file.close();
    double best = -1;
    for (int pass = 0; pass < 3; ++pass) {
        QElapsedTimer timer;
        timer.start();
        VCardImport reader;
        reader.initialize(path);
        while (reader.hasNext())
            reader.nextContact();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        best = best < 0 ? ms : qMin(best, ms);
    }
    return best;
}

bool benchDepartments(int n)
{
    QTemporaryDir dir;
    const double small = readDepartmentsCard(dir, n);
    const double large = readDepartmentsCard(dir, 16 * n);
    if (small <= 0 || large <= 0)
        return false;
    std::printf("departments: %d lines in %.1f ms, %d lines in %.1f ms: %.1fx for 16x the lines\n", n, small,
                16 * n, large, large / small);
    return true;
}

// A photo-like JPEG of about 13 KB, of its own for each seed: a lit
// gradient with some grain, as a phone's contact photo compresses.
QByteArray photoJpeg(int seed)
{
    QImage image(192, 192, QImage::Format_RGB32);
    quint32 grain = 2463534242u + quint32(seed);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            grain ^= grain << 13;
            grain ^= grain >> 17;
            grain ^= grain << 5;
            const int noise = int(grain % 24);
            image.setPixel(x, y, qRgb((x + seed * 7 + noise) % 256, (y * 2 + noise) % 256, (x + y + seed) % 256));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    writer.write(image);
    return bytes;
}

// The base64 of a photo in lines of `width`, each led by `indent`.
QByteArray base64Lines(const QByteArray& photo, int width, const QByteArray& indent)
{
    const QByteArray text = photo.toBase64();
    QByteArray lines;
    for (qsizetype at = 0; at < text.size(); at += width)
        lines += (at == 0 ? QByteArray() : indent) + text.mid(at, width) + "\r\n";
    return lines;
}

bool writePhotoFiles(const QString& dirPath, int n)
{
    QByteArray v30;
    QByteArray v21;
    QByteArray flush;
    for (int i = 0; i < n; ++i) {
        const QByteArray number = QByteArray::number(i);
        const QByteArray photo = photoJpeg(i);
        const QByteArray head = "N:Lindqvist" + number + ";Maja;;;\r\nFN:Maja Lindqvist" + number
            + "\r\nTEL;TYPE=CELL:+46 70 555 " + number.rightJustified(4, '0') + "\r\n";
        v30 += "BEGIN:VCARD\r\nVERSION:3.0\r\n" + head + "EMAIL;TYPE=INTERNET:maja" + number
            + "@example.se\r\nPHOTO;ENCODING=b;TYPE=JPEG:" + base64Lines(photo, 74, " ") + "END:VCARD\r\n";
        const QByteArray card21 = "BEGIN:VCARD\r\nVERSION:2.1\r\n" + head + "PHOTO;ENCODING=BASE64;JPEG:";
        v21 += card21 + base64Lines(photo, 76, "  ") + "\r\nEND:VCARD\r\n";
        flush += card21 + base64Lines(photo, 76, QByteArray()) + "\r\nEND:VCARD\r\n";
    }
    const QDir dir(dirPath);
    for (const auto& [name, bytes] : { std::pair { "photos-30.vcf", &v30 }, std::pair { "photos-21.vcf", &v21 },
                                       std::pair { "photos-21-flush.vcf", &flush } }) {
        QFile file(dir.filePath(QLatin1String(name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size())
            return false;
        std::printf("%s: %d cards, %lld bytes\n", qPrintable(file.fileName()), n, static_cast<long long>(bytes->size()));
    }
    return true;
}

qint64 importOnce(const QString& path, LocalDb* db, const char* what, int total)
{
    RecordingReporter reporter;
    ImportContactsToLocalThread thread(path, ImportContactsToLocalThread::TYPE_VCARD, db, &reporter);
    QElapsedTimer timer;
    timer.start();
    thread.start();
    thread.wait();
    const qint64 ms = qMax<qint64>(1, timer.elapsed());
    if (!reporter.errors().isEmpty()) {
        std::fprintf(stderr, "import failed: %s\n", qPrintable(reporter.errors().first()));
        return -1;
    }
    std::printf("%s: %d contacts in %lld ms: %.0f contacts/s, %lld progress reports, peak %ld MB\n  %s\n", what,
                total, static_cast<long long>(ms), total * 1000.0 / double(ms),
                static_cast<long long>(reporter.progressCount()), peakMegabytes(),
                qPrintable(reporter.successes().value(0).replace(u'\n', u' ')));
    std::fflush(stdout);
    return ms;
}

bool benchImport(const QString& path, bool again, bool count)
{
    // The cards of the file, counted outside the timings.
    int total = 0;
    {
        VCardImport counter;
        counter.initialize(path);
        total = counter.total();
    }
    QTemporaryDir dir;
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(dir.filePath(QStringLiteral("bench.db")));
    db->create();
    if (importOnce(path, db.data(), "import", total) < 0)
        return false;
    if (!again)
        return true;
    db->close();
    if (count) {
        SqlProbe probe(db->path());
        probe.exec(QStringLiteral("create table bench_writes(updates integer, inserts integer)"));
        probe.exec(QStringLiteral("insert into bench_writes values(0,0)"));
        probe.exec(QStringLiteral("create trigger bench_u after update on data begin"
                                  " update bench_writes set updates=updates+1; end"));
        probe.exec(QStringLiteral("create trigger bench_i after insert on data begin"
                                  " update bench_writes set inserts=inserts+1; end"));
    }
    if (importOnce(path, db.data(), "again", total) < 0)
        return false;
    db->close();
    if (count) {
        SqlProbe probe(db->path());
        const QVariantList row = probe.rows(QStringLiteral("select updates, inserts from bench_writes")).value(0);
        std::printf("again: %lld data rows updated, %lld inserted\n", row.value(0).toLongLong(),
                    row.value(1).toLongLong());
    }
    return true;
}

const char* const kGiven[] = { "Anna", "Ben", "Chloe", "David", "Emma", "Felix", "Grace", "Hugo", "Ida", "Jonas",
                               "Karin", "Leo", "Maria", "Nils", "Olga", "Paul" };
const char* const kFamily[] = { "Berg", "Costa", "Dubois", "Eriksen", "Fischer", "Garcia", "Hansen", "Ito",
                                "Jensen", "Kowalski", "Larsen", "Meyer", "Novak", "Olsen", "Petrov", "Rossi" };

// The name of the n-th filled contact: sixteen given names, as a real
// address book repeats them, family names made distinct by a number.
QString filledName(int n)
{
    return QStringLiteral("%1 %2%3").arg(QLatin1String(kGiven[n % 16]), QLatin1String(kFamily[n / 16 % 16])).arg(n / 256);
}

// The family names of the Chinese contacts, the most common first, each
// with its share: about how many of ten thousand people in China bear it.
const char* const kSurnames[] = {
    "王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐", "孙", "马", "朱", "胡", "郭", "何", "高", "林", "罗",
    "郑", "梁", "谢", "宋", "唐", "许", "韩", "冯", "邓", "曹", "彭", "曾", "肖", "田", "董", "袁", "潘", "于", "蒋", "蔡",
    "余", "杜", "叶", "程", "苏", "魏", "吕", "丁", "任", "沈", "姚", "卢", "姜", "崔", "钟", "谭", "陆", "汪", "范", "金",
    "石", "廖", "贾", "夏", "韦", "付", "方", "白", "邹", "孟", "熊", "秦", "邱", "江", "尹", "薛", "闫", "段", "雷", "侯",
    "龙", "史", "陶", "黎", "贺", "顾", "毛", "郝", "龚", "邵", "万", "钱", "严", "覃", "武", "戴", "莫", "孔", "向", "汤" };
const int kSurnameShare[] = {
    710, 700, 670, 540, 450, 310, 220, 200, 180, 170, 150, 140, 140, 130, 130, 120, 120, 120, 110, 110,
    100, 100, 90, 90, 80, 80, 80, 80, 70, 70, 70, 70, 60, 60, 60, 60, 60, 50, 50, 50,
    50, 50, 50, 50, 50, 50, 50, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40,
    40, 40, 40, 40, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30,
    30, 30, 30, 30, 30, 30, 30, 30, 30, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20 };
// Letters of given names: one or two of them make one.
const char16_t kGivenLetters[] = u"明华伟芳娜敏静丽强磊军洋勇艳杰娟涛超秀霞平刚桂英玉兰文辉建国志红海燕鹏云飞宇婷欣"
                                 u"晨浩然子轩梓涵一诺思雨佳琪嘉怡博俊宏泽雪梅春兴秋菊冬德成林峰波斌坤鑫晓慧颖琳萍倩"
                                 u"凯亮瑞宁安康乐天佩珊莉蓉娇晶妍茜梦露瑶璐婉清淑惠珍贞凤洁琴素昊翔皓";

struct FilledName {
    QString family;
    QString given;
    QString full;
};

// The kinds of names "fill" stores. Those written with a blank after their
// first word are stored as one given name, as a phone or a card with only
// an FN stores them: a card of the stored name and parts reads back as it.
enum class NameKind { Latin, Cyrillic, Chinese, Japanese, Korean, Emoji, Mark, ChineseBlank, OneFamily, Marks, EmojiJoined };
const std::pair<const char*, NameKind> kNameKinds[] = {
    { "latin", NameKind::Latin },       { "cyrillic", NameKind::Cyrillic }, { "cjk", NameKind::Chinese },
    { "japanese", NameKind::Japanese }, { "korean", NameKind::Korean },     { "emoji", NameKind::Emoji },
    { "mark", NameKind::Mark },         { "cjkblank", NameKind::ChineseBlank }, { "onefamily", NameKind::OneFamily },
    { "marks", NameKind::Marks },       { "emojijoined", NameKind::EmojiJoined } };

const char* const kCyrillicGiven[] = { "Анна", "Борис", "Вера", "Глеб", "Дарья", "Егор", "Жанна", "Зоя",
                                       "Игорь", "Кира", "Лев", "Мария", "Никита", "Ольга", "Павел", "Раиса" };
const char* const kCyrillicFamily[] = { "Иванов", "Смирнов", "Кузнецов", "Попов", "Васильев", "Петров",
                                        "Соколов", "Михайлов", "Новиков", "Фёдоров", "Морозов", "Волков",
                                        "Алексеев", "Лебедев", "Семёнов", "Егоров" };
// Japanese and Korean family names, the most common first, each with about
// how many of ten thousand people bear it, and letters of given names.
const char* const kJapaneseFamilies[] = { "佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤",
                                          "吉田", "山田", "佐々木", "山口", "松本", "井上", "木村", "林", "斎藤", "清水",
                                          "山崎", "森", "池田", "橋本", "阿部", "石川", "山下", "中島", "石井", "小川" };
const int kJapaneseShares[] = { 150, 140, 110, 105, 90, 90, 85, 85, 80, 70, 65, 65, 55, 50, 50,
                                48,  46,  42,  40,  40, 35, 35, 34, 34, 34, 33, 33, 32, 31, 31 };
const char16_t kJapaneseLetters[] = u"太郎花子健一翔大輝美咲陽菜結愛蓮悠真奈優斗和也直樹恵理香彩明誠浩亮拓海智裕勇翼春夏秋光晴";
const char* const kKoreanFamilies[] = { "김", "이", "박", "최", "정", "강", "조", "윤", "장", "임", "한", "오", "서",
                                        "신", "권", "황", "안", "송", "류", "전", "홍", "고", "문", "양", "손" };
const int kKoreanShares[] = { 2150, 1470, 840, 470, 430, 230, 210, 200, 190, 160, 150, 150, 140,
                              140,  130,  130, 130, 120, 110, 110, 110, 90,  90,  90,  90 };
const char* const kLeads[] = { "🌸", "😀", "⭐", "💼", "🏠", "❤", "🍀", "🐱" };

// The given name of the k-th bearer of a family name: two of the letters
// for the first L * L, three after them.
QString givenOf(int k, const QStringList& letters)
{
    const int l = int(letters.size());
    QString given = letters.at(k % l) + letters.at((k / l + k + 1) % l);
    if (k >= l * l)
        given += letters.at(k / (l * l) % l);
    return given;
}

// The names of n people of family names drawn by their shares, the given
// names of each family distinct, written family name, blank, given name.
std::vector<FilledName> drawnNames(int n, const char* const* families, const int* shares, size_t count,
                                   const QStringList& letters)
{
    std::vector<FilledName> names;
    std::vector<int> bearers(count, 0);
    const int total = std::accumulate(shares, shares + count, 0);
    quint32 draw = 88172645u;
    for (int i = 0; i < n; ++i) {
        draw ^= draw << 13;
        draw ^= draw >> 17;
        draw ^= draw << 5;
        int share = int(draw % quint32(total));
        size_t s = 0;
        while (s + 1 < count && share >= shares[s])
            share -= shares[s++];
        const QString full = QString::fromUtf8(families[s]) + u' ' + givenOf(bearers[s]++, letters);
        names.push_back({ QString(), full, full });
    }
    return names;
}

QStringList syllables()
{
    // Hangul syllables of common initials, vowels and finals.
    QStringList out;
    for (const int initial : { 0, 2, 3, 5, 6, 7, 9, 11, 12, 14, 18 })
        for (const int vowel : { 0, 1, 4, 6, 8, 12, 13, 18, 20 })
            for (const int final : { 0, 4, 8, 16, 21 })
                out.append(QChar(char16_t(0xAC00 + (initial * 21 + vowel) * 28 + final)));
    return out;
}

// Marks people put in names, a few of them letters of Chinese script
// (〆 々 〇): two, a blank and two.
const char16_t kMarks[] = u"★☆♪♫♬♥♡◆◇■□●○◎▲△▼▽※・〆々〇〃♠♣♦✿❀✩✪☀☁☂☃☎✉✈";
std::vector<FilledName> markNames(int n)
{
    std::vector<FilledName> names;
    const int count = int(std::size(kMarks)) - 1;
    for (int i = 0; i < n; ++i) {
        // Every name another: the digits in base `count` of i times a
        // number prime to count^4, modulo count^4.
        qint64 j = qint64(i) * 611953 % (qint64(count) * count * count * count);
        QString full;
        for (int digit = 0; digit < 4; ++digit, j /= count) {
            if (digit == 2)
                full += u' ';
            full += QChar(kMarks[j % count]);
        }
        names.push_back({ QString(), full, full });
    }
    return names;
}

// The names of the first n filled contacts. Latin ones as filledName(),
// Cyrillic ones alike; Chinese ones of a family name drawn by its share
// and a given name of one letter or, nine times in ten, two: the next
// unused one of that family name, so all are distinct. Emoji and a mark
// lead Chinese names, with a blank.
std::vector<FilledName> filledNames(int n, NameKind kind)
{
    if (kind == NameKind::Japanese)
        return drawnNames(n, kJapaneseFamilies, kJapaneseShares, std::size(kJapaneseFamilies),
                          QString::fromUtf16(kJapaneseLetters).split(QString(), Qt::SkipEmptyParts));
    if (kind == NameKind::Korean)
        return drawnNames(n, kKoreanFamilies, kKoreanShares, std::size(kKoreanFamilies), syllables());
    if (kind == NameKind::Marks)
        return markNames(n);
    if (kind == NameKind::OneFamily) {
        const char* const wang[] = { "王" };
        const int one[] = { 1 };
        return drawnNames(n, wang, one, 1, QString::fromUtf16(kGivenLetters).split(QString(), Qt::SkipEmptyParts));
    }
    static_assert(std::size(kSurnames) == std::size(kSurnameShare));
    std::vector<FilledName> names;
    names.reserve(size_t(n));
    std::vector<int> bearers(std::size(kSurnames), 0);
    const int letters = int(std::size(kGivenLetters)) - 1;
    int shares = 0;
    for (const int share : kSurnameShare)
        shares += share;
    quint32 draw = 2463534242u;
    const auto next = [&draw] {
        draw ^= draw << 13;
        draw ^= draw >> 17;
        draw ^= draw << 5;
        return draw;
    };
    for (int i = 0; i < n; ++i) {
        if (kind == NameKind::Latin) {
            const QString name = filledName(i);
            names.push_back({ name.section(QLatin1Char(' '), 1), name.section(QLatin1Char(' '), 0, 0), name });
            continue;
        }
        if (kind == NameKind::Cyrillic) {
            const QString given = QString::fromUtf8(kCyrillicGiven[i % 16]);
            const QString family = QString::fromUtf8(kCyrillicFamily[i / 16 % 16]) + QString::number(i / 256);
            names.push_back({ family, given, given + u' ' + family });
            continue;
        }
        int share = int(next() % quint32(shares));
        size_t s = 0;
        while (s + 1 < std::size(kSurnameShare) && share >= kSurnameShare[s])
            share -= kSurnameShare[s++];
        // The k-th name of a family: one letter for every tenth while
        // they last, else two.
        const int k = bearers[s]++;
        QString given;
        if (k % 10 == 0 && k / 10 < letters) {
            given += QChar(kGivenLetters[k / 10]);
        } else {
            const int two = k - qMin(k / 10 + 1, letters);
            given += QChar(kGivenLetters[two % letters]);
            given += QChar(kGivenLetters[(two / letters + two % letters) % letters]);
        }
        const QString family = QString::fromUtf8(kSurnames[s]);
        if (kind == NameKind::Chinese) {
            names.push_back({ family, given, family + given });
            continue;
        }
        if (kind == NameKind::ChineseBlank) {
            const QString full = family + u' ' + given;
            names.push_back({ QString(), full, full });
            continue;
        }
        const QString full = (kind == NameKind::Mark ? QStringLiteral("\u2605") : QString::fromUtf8(kLeads[i % 8]))
            + (kind == NameKind::EmojiJoined ? QString() : QStringLiteral(" ")) + family + given;
        names.push_back({ QString(), full, full });
    }
    return names;
}

bool fillDatabase(const QString& path, int n, const char* kindName, NameKind kind)
{
    QFile::remove(path);
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
    db->create();
    const std::vector<FilledName> names = filledNames(n, kind);
    db->beginImport(n);
    for (int i = 0; i < n; ++i) {
        const FilledName& name = names[size_t(i)];
        pim::_Contact contact(0, QString(), name.full);
        pim::Entity person;
        person.fields.insert(QStringLiteral("data1"), name.full);
        person.fields.insert(QStringLiteral("data2"), name.given);
        if (!name.family.isEmpty())
            person.fields.insert(QStringLiteral("data3"), name.family);
        contact.entities[pim::ENTITY_NAME].append(person);
        for (const int kind : { 2, 3 }) {
            pim::Entity phone;
            phone.fields.insert(QStringLiteral("data1"), QStringLiteral("+49 30 %1%2").arg(kind).arg(i, 7, 10, QLatin1Char('0')));
            phone.fields.insert(QStringLiteral("data2"), kind);
            contact.entities[pim::ENTITY_PHONE].append(phone);
        }
        pim::Entity mail;
        mail.fields.insert(QStringLiteral("data1"), QStringLiteral("person%1@example.org").arg(i));
        mail.fields.insert(QStringLiteral("data2"), 1);
        contact.entities[pim::ENTITY_EMAIL].append(mail);
        if (i % 3 == 0) {
            pim::Entity address;
            address.fields.insert(QStringLiteral("data2"), 1);
            address.fields.insert(QStringLiteral("data4"), QStringLiteral("%1 Hauptstrasse").arg(i % 200 + 1));
            address.fields.insert(QStringLiteral("data7"), QStringLiteral("Berlin"));
            address.fields.insert(QStringLiteral("data9"), QStringLiteral("10%1").arg(i % 1000, 3, 10, QLatin1Char('0')));
            address.fields.insert(QStringLiteral("data1"), address.formattedAddr());
            contact.entities[pim::ENTITY_ADDR].append(address);
        }
        bool existed = false;
        db->mergeContact(contact, existed);
    }
    db->endEdit(true);
    db->close();
    std::printf("fill: %d contacts of %s names in %s\n", n, kindName, qPrintable(path));
    return true;
}

// The cards written to a file of `dir` and imported through the real
// import thread into the database at `path`: the time of the import in
// ms, or -1 when it failed. `ending` receives its message, `before` the
// peak memory before it.
double importInto(const QTemporaryDir& dir, const QString& path, const QByteArray& cards, QString& ending, long& before)
{
    const QString cardPath = dir.filePath(QStringLiteral("cards.vcf"));
    QFile file(cardPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(cards) != cards.size())
        return -1;
    file.close();
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
    db->open_check();
    before = peakMegabytes();
    RecordingReporter reporter;
    ImportContactsToLocalThread thread(cardPath, ImportContactsToLocalThread::TYPE_VCARD, db.data(), &reporter);
    QElapsedTimer timer;
    timer.start();
    thread.start();
    thread.wait();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (!reporter.errors().isEmpty()) {
        std::fprintf(stderr, "import failed: %s\n", qPrintable(reporter.errors().first()));
        return -1;
    }
    ending = reporter.successes().value(0);
    return ms;
}

// One card into a copy of the filled database: the time of its import.
bool benchOneCard(const QString& filled, bool stored)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("one.db"));
    if (!QFile::copy(filled, path))
        return false;
    const QString name = stored ? filledName(41999) : QStringLiteral("Ann Example");
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + name.section(QLatin1Char(' '), 1).toUtf8() + ";"
        + name.section(QLatin1Char(' '), 0, 0).toUtf8() + ";;;\r\nFN:" + name.toUtf8()
        + "\r\nTEL;TYPE=CELL:+49 170 5550100\r\nEMAIL;TYPE=INTERNET:ann@example.org\r\n"
          "ADR;TYPE=HOME:;;1 Main St;Springfield;;12345;\r\nEND:VCARD\r\n";
    QString ending;
    long before = 0;
    const double ms = importInto(dir, path, card, ending, before);
    if (ms < 0)
        return false;
    std::printf("one %s card: %.1f ms, peak %ld MB (%ld MB before the import)\n  %s\n", stored ? "stored" : "new", ms,
                peakMegabytes(), before, qPrintable(ending));
    return true;
}

// The cards of k stored contacts into a copy of the filled database: the
// time of their import, which finds every one and changes nothing.
// With `joined`, each card's names are written without their blanks
// ("王 小明" as "王小明"): cards of people the database holds only under
// another name.
bool benchReimport(const QString& filled, int k, bool joined)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("again.db"));
    if (!QFile::copy(filled, path) || k < 1)
        return false;
    QByteArray cards;
    {
        SqlProbe probe(path);
        const int stored = probe.value(QStringLiteral("select count(*) from contact")).toInt();
        // Read by id, so that the cards cost the bench little beside the
        // import it measures.
        QStringList ids;
        for (int i = 0; i < k && i * qMax(1, stored / k) < stored; ++i)
            ids << QString::number(1 + i * qMax(1, stored / k));
        const QList<QVariantList> rows = probe.rows(QStringLiteral(
            "select c.full_name, (select data3 from data n where n.contact_id = c._id and n.type = 1),"
            " (select data2 from data n where n.contact_id = c._id and n.type = 1),"
            " (select data1 from data p where p.contact_id = c._id and p.type = 3 order by p._id limit 1)"
            " from contact c where c._id in (%1) order by c._id").arg(ids.join(u',')));
        const auto text = [joined](const QVariant& value) {
            return (joined ? value.toString().remove(u' ') : value.toString()).toUtf8();
        };
        for (const QVariantList& row : rows) {
            cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + text(row.at(1)) + ";" + text(row.at(2)) + ";;;\r\nFN:"
                + text(row.at(0)) + "\r\nTEL;TYPE=CELL:" + row.at(3).toString().toUtf8() + "\r\nEND:VCARD\r\n";
        }
        k = int(rows.size());
    }
    QString ending;
    long before = 0;
    const double ms = importInto(dir, path, cards, ending, before);
    if (ms < 0)
        return false;
    std::printf("reimport of %d stored cards%s: %.1f ms, peak %ld MB\n  %s\n", k, joined ? " without blanks" : "", ms,
                peakMegabytes(), qPrintable(ending));
    return true;
}

// The cards of a damaged file: n cards, each named by a text of `words`
// words of four letters ("Latin"), or of as many Chinese letters without a
// blank ("cjk"), every card's text another from its first word on.
QByteArray longNameCards(int n, int words, bool cjk)
{
    QByteArray cards;
    quint32 draw = 2654435761u;
    for (int c = 0; c < n; ++c) {
        QString name;
        for (int w = 0; w < words; ++w) {
            draw ^= draw << 13;
            draw ^= draw >> 17;
            draw ^= draw << 5;
            if (cjk) {
                name += QChar(kGivenLetters[draw % (std::size(kGivenLetters) - 1)]);
                continue;
            }
            if (w > 0)
                name += u' ';
            for (int l = 0; l < 4; ++l)
                name += QChar(u'a' + int(draw >> (l * 5) & 15));
        }
        const QByteArray text = name.toUtf8();
        cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + text + "\r\nTEL;TYPE=CELL:+1 555 01"
            + QByteArray::number(10 + c) + "\r\nEND:VCARD\r\n";
    }
    return cards;
}

// The cards of longNameCards() into a copy of the filled database, twice:
// a file of names no one holds, then the same again, which finds them.
bool benchLongNames(const QString& filled, int n, int words, bool cjk)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.db"));
    if (!QFile::copy(filled, path))
        return false;
    const QByteArray cards = longNameCards(n, words, cjk);
    for (const char* pass : { "first", "again" }) {
        QString ending;
        long before = 0;
        const long long stageStart = peakmemory::startStage();
        const double ms = importInto(dir, path, cards, ending, before);
        if (ms < 0)
            return false;
        std::printf("%s import of %d cards of %d-%s names (%lld bytes): %.1f ms, peak %ld MB, of it %lld MB in this "
                    "import (%lld MB before)\n  %s\n",
                    pass, n, words, cjk ? "letter" : "word", static_cast<long long>(cards.size()), ms, peakMegabytes(),
                    peakmemory::stagePeak() / 1024, stageStart / 1024, qPrintable(ending.replace(u'\n', u' ')));
        std::fflush(stdout);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool count = args.removeAll(QStringLiteral("--count")) > 0;
    int passes = 1;
    if (const qsizetype at = args.indexOf(QStringLiteral("--passes")); at >= 0) {
        passes = qMax(1, args.value(at + 1).toInt());
        args.remove(at, qMin<qsizetype>(2, args.size() - at));
    }
    const QString mode = args.value(0, QStringLiteral("both"));
    if (mode == QLatin1String("departments"))
        return benchDepartments(args.value(1, QStringLiteral("12500")).toInt()) ? 0 : 1;
    if (mode == QLatin1String("fill") && args.size() >= 2) {
        const QString kindName = args.value(3, QStringLiteral("latin"));
        const auto kind = std::find_if(std::begin(kNameKinds), std::end(kNameKinds),
                                       [&](const auto& k) { return kindName == QLatin1String(k.first); });
        if (kind == std::end(kNameKinds)) {
            std::fprintf(stderr, "unknown kind of names: %s\n", qPrintable(kindName));
            return 1;
        }
        const int n = args.value(2, kind->second == NameKind::Latin ? QStringLiteral("84000") : QStringLiteral("100000")).toInt();
        return fillDatabase(args.at(1), n, kind->first, kind->second) ? 0 : 1;
    }
    if (mode == QLatin1String("reimport") && args.size() >= 2)
        return benchReimport(args.at(1), args.value(2, QStringLiteral("5000")).toInt(),
                             args.value(3) == QLatin1String("joined"))
            ? 0
            : 1;
    if (mode == QLatin1String("longnames") && args.size() >= 2)
        return benchLongNames(args.at(1), args.value(2, QStringLiteral("50")).toInt(),
                              args.value(3, QStringLiteral("4000")).toInt(), args.value(4) == QLatin1String("cjk"))
            ? 0
            : 1;
    if (mode == QLatin1String("one") && args.size() >= 2)
        return benchOneCard(args.at(1), args.value(2) == QLatin1String("stored")) ? 0 : 1;
    if (mode == QLatin1String("photos") && args.size() >= 2)
        return writePhotoFiles(args.at(1), args.value(2, QStringLiteral("2000")).toInt()) ? 0 : 1;
    const QString path = args.value(1, QStringLiteral(MARROWLINK_BENCH_DATA "/contacts-100000.vcf"));
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "%s is missing: run gen_contacts.py first\n", qPrintable(path));
        return 1;
    }
    bool ok = true;
    try {
        if (mode == QLatin1String("parse") || mode == QLatin1String("both")) {
            qint64 best = -1;
            for (int pass = 0; pass < passes && ok; ++pass) {
                const qint64 ms = benchParse(path);
                ok = ms >= 0;
                best = best < 0 ? ms : qMin(best, ms);
            }
            if (ok && passes > 1)
                std::printf("parse:  best of %d passes %lld ms\n", passes, static_cast<long long>(best));
        }
        if (mode == QLatin1String("import") || mode == QLatin1String("both") || mode == QLatin1String("again"))
            ok = benchImport(path, mode == QLatin1String("again"), count) && ok;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return ok ? 0 : 1;
}
