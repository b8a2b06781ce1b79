#!/usr/bin/env python3
"""Reads generated text of two wrong readings through several builds and counts, value by value,
what each build stored (Python 3 standard library only).

usage: compare_encoded_twice.py OUT_DIR BUILD_DIR [BUILD_DIR ...] [--seed S] [--count N]

Writes into OUT_DIR/files, as vCard 3.0 notes and as CSV notes (one value a card or row):
  twice     text of many scripts (Cyrillic, Greek, Latin with accents, punctuation, emoji,
            Chinese, Japanese, Korean, Hebrew, Arabic, Armenian) whose UTF-8 was read as Latin-1
            and written as UTF-8 again; its reading is the text meant;
  western   German, French and Spanish text of windows-1252 ("„“–’…", line breaks as NEL)
            read as Latin-1 and written as UTF-8; its reading is the windows-1252 text, a NEL
            (the byte of "…") a line break;
  hostile   both kinds in shapes that tell little: one letter encoded twice, capitals before a
            sign, a small letter before two signs, rare letters, glued scripts, either joined to
            text of the file's own UTF-8 beyond Latin-1;
  plain     text encoded twice without a C1 control ("Ã©"), which stays as written;
and as CSV tables behind a UTF-8 byte-order mark, one table a file:
  bom-western  tables of windows-1252 whose rows hold a capital and a quote that form UTF-8;
  bom-stray    UTF-8 tables with a windows-1252 sign ("…", "€", "–") typed into some rows,
  bom-stray-capitals  the same between words of capitals ("CALL…GRÜSSE").
Each BUILD_DIR/build-rel/bench/bench_readdump reads them; the counts per build and kind say how
many values read as meant, how many kept every letter, and how many differ from the first build.
"""
import argparse
import os
import random
import subprocess
import sys

TWICE = {
    "cyrillic": ["Дом у моря", "Иван Петров", "Мария Сергеевна Иванова", "ул. Ленина, д. 5, кв. 12",
                 "Позвонить после обеда", "Санкт-Петербург", "Екатерина", "Щукин", "Жуков", "Ёлкин",
                 "Юлия", "Эдуард", "Чебоксары", "Ярослав", "Київ", "Ґалаґан", "Олександр Шевченко",
                 "Львів", "Євген", "София", "Әлихан Бөкейхан", "Қарағанды", "Нұр-Сұлтан", "Дмитрий"],
    "greek": ["Ελληνικά", "Γιώργος Παπαδόπουλος", "Οδός Ερμού 12", "Αθήνα", "Θεσσαλονίκη", "Καλημέρα",
              "Ψυχικό", "Ωραιόκαστρο", "Ελένη", "Χανιά"],
    "latin": ["Jürgen Müller", "Straße", "Größe", "Äpfel", "Österreich", "Übung", "Renée Côté", "Hélène",
              "Élodie", "François", "Noël", "Œuvre", "À bientôt", "Ça va", "Peña", "Ñandú", "José Martínez",
              "¿Qué tal?", "¡Hola!", "Ávila", "Paweł Wąs", "Łódź", "Zażółć gęślą jaźń", "Dvořák", "Říčany",
              "Šťastný", "Žďár", "Zoë Ångström", "Åsa", "Øystein", "Bjørn", "Ærø", "İstanbul", "Şişli",
              "Gülşen", "Çağrı", "Ștefan Țepeș", "București", "Nguyễn Văn Đức", "Hà Nội", "Phạm Thị Hương",
              "Erdős Pál", "Győr", "Əliyev", "Müller’s “Café”"],
    "punctuation": ["it’s", "“quoted”", "Mon–Fri", "9–5", "wait…", "€20", "Acme™", "• item", "a — b",
                    "‘single’", "« Paris »", "½ price", "20 °C", "© 2020", "N° 5", "10\u00a0000", "§ 3",
                    "don’t", "„Anführung“", "±2", "×3", "→ next"],
    "emoji": ["😀", "🎉", "❤️", "👍🏽", "👨‍👩‍👧", "🇩🇪", "☕", "✈️", "🌸", "📞", "✉️", "🙂"],
    "east-asian": ["山田 太郎", "東京都港区", "王小明", "北京市海淀区", "김민수", "서울특별시", "こんにちは",
                   "ドコモ", "陳大文", "台北市信義區"],
    "rtl": ["דוד כהן", "תל אביב", "محمد علي", "القاهرة", "شارع التحرير"],
    "armenian": ["Երևան", "Արամ"],
}
ASCII = ["Call", "office", "Tel. 555 0100", "ask for", "room 12", "and", "see", "at 9", "Tom", "Ltd", "home"]

# windows-1252 text; "…" is the byte 0x85, a line break when read as Latin-1.
WESTERN = {
    "german": ["„Spaß“ – heiß", "Fuß–Pflege", "Grüße an Jürgen", "Straße 5", "„Hausmeister“ rufen",
               "Größe: 42", "Büro – Zimmer 12", "Maße", "Weiß", "GROß", "SPAß", "FUß", "ÄRZTIN", "Öl",
               "Über", "Schlüssel beim Nachbarn", "Geburtstag am 4. März", "Müller’s", "Rückruf — dringend"],
    "french": ["CAFÉ’s", "l’été", "“café”", "Rendez-vous à 9 h", "Chez “Le Café”", "Réunion – salle 2", "ÉTÉ",
               "CAFÉ", "HÉLÈNE", "« Paris »", "Noël", "Où ?", "PRÉ–VENTE", "Appeler après l’été", "Côté",
               "Prix : 250 €", "Thérèse", "déjà"],
    "spanish": ["¿Mañana?", "¡Urgente!", "HABLÓ", "MENÚ", "PERÚ", "AQUÍ", "“Calle Mayor”",
                "Cumpleaños – 12 de abril", "Peña", "ESPAÑA", "Núñez", "Oficina en el 3.º piso", "José",
                "Ibáñez", "Cádiz", "León"],
}
SIGNS = ["–", "—", "’", "“", "”", "„", "…", "•", "™", "€", "\u0085", "‹", "›", "‚", "‘"]

# Shapes that tell little, each with the text it is meant to read as.
HOSTILE_TWICE = ["Paweł", "Wąs", "Åsa", "Ølund", "Ștefan", "Əli", "Ñ", "Ð", "Ú", "Ö", "É", "Ē", "č", "ő",
                 "€", "…", "’", "🙂", "iモード", "Ça", "ÉTÉ", "Ūla", "a\u00a0b", "Ä", "Zoë"]
HOSTILE_WESTERN_WORDS = ["CAFÉ", "FUß", "SPAß", "HABLÓ", "MENÚ", "PERÚ", "AQUÍ", "PRÉ", "ÉTÉ", "GRÜß", "café",
                         "sí", "Ça", "señor", "IRMÃ", "ÄRGER", "NAÏ", "OÙ", "ÉLAN", "SÃ", "BÖ", "MÄ", "DÉJÀ"]


def latin1_reading(text):
    """What a program that reads UTF-8 as Latin-1 and writes UTF-8 stores."""
    return text.encode("utf-8").decode("latin-1")


def western_reading(text):
    """windows-1252 bytes read as Latin-1."""
    return text.replace("\u0085", "…").encode("cp1252").decode("latin-1")


def western_meant(text):
    """What windows-1252 text read as Latin-1 can at best be read as: 0x85 is a line break."""
    return text.replace("\u0085", "\n").replace("…", "\n")


def has_c1(text):
    return any(0x80 <= ord(c) < 0xA0 for c in text)


def twice_text(rng):
    groups = rng.sample(list(TWICE), rng.choice([1, 1, 2]))
    words = []
    for _ in range(rng.randint(1, 5)):
        pool = rng.choice([TWICE[g] for g in groups] + [ASCII])
        words.append(rng.choice(pool))
    return rng.choice([" ", ", ", " – ", "; ", "\n"]).join(words)


def western_text(rng):
    pool = WESTERN[rng.choice(list(WESTERN))]
    text = rng.choice(pool)
    for _ in range(rng.randint(0, 4)):
        text += rng.choice([" ", " ", "\u0085", rng.choice(SIGNS), " " + rng.choice(SIGNS) + " "])
        text += rng.choice(pool + ASCII)
    return text


def hostile(rng):
    roll = rng.random()
    if roll < 0.2:
        # Text encoded twice, then joined to text of the file's own UTF-8 (a sign or a letter beyond
        # Latin-1): the part encoded twice is read as meant, the other stays.
        meant = twice_text(rng)
        own = rng.choice(["’", "🙂", "—", "東京", "Дом", "€"])
        return "hostile-twice", latin1_reading(meant) + " " + own, meant + " " + own
    if roll < 0.3:
        text = western_text(rng)
        own = rng.choice(["’", "🙂", "—", "東京", "€"])
        return "hostile-western", western_reading(text) + " " + own, western_meant(text) + " " + own
    if roll < 0.6:
        meant = rng.choice(HOSTILE_TWICE)
        if rng.random() < 0.5:
            meant = rng.choice(ASCII) + " " + meant
        return "hostile-twice", latin1_reading(meant), meant
    word = rng.choice(HOSTILE_WESTERN_WORDS)
    signs = rng.choice(["’s", "“", "”", "–", "—", "…", "\u0085", "–”", "…”", "’", "“ –", "™"])
    text = word + signs
    if rng.random() < 0.5:
        text = rng.choice(ASCII) + " " + text
    if rng.random() < 0.3:
        text += " " + rng.choice(ASCII)
    return "hostile-western", western_reading(text), western_meant(text)


def values(rng, count):
    out = []
    for _ in range(count):
        meant = twice_text(rng)
        read = latin1_reading(meant)
        out.append(("twice" if has_c1(read) else "plain", read, meant if has_c1(read) else read))
    for _ in range(count):
        text = western_text(rng)
        read = western_reading(text)
        if has_c1(read):
            out.append(("western", read, western_meant(text)))
    for _ in range(count):
        kind, read, meant = hostile(rng)
        if has_c1(read):
            out.append((kind, read, meant))
    return out


def vcard_escape(text):
    return text.replace("\\", "\\\\").replace(",", "\\,").replace(";", "\\;").replace("\n", "\\n")


def csv_cell(text):
    return '"' + text.replace('"', '""') + '"'


def write_value_files(folder, vals):
    per_file = 500
    expected = {}
    for start in range(0, len(vals), per_file):
        chunk = vals[start:start + per_file]
        name = f"values-{start // per_file:03d}"
        card = []
        rows = ["First Name,Last Name,Notes"]
        for i, (kind, read, meant) in enumerate(chunk):
            tag = f"V{start + i:06d}"
            expected[tag] = (kind, meant, read)
            card.append(f"BEGIN:VCARD\r\nVERSION:3.0\r\nN:{tag};Card;;;\r\nFN:Card {tag}\r\n"
                        f"NOTE:{vcard_escape(read)}\r\nEND:VCARD\r\n")
            rows.append(f"Card,{tag},{csv_cell(read)}")
        with open(os.path.join(folder, name + ".vcf"), "wb") as f:
            f.write("".join(card).encode("utf-8"))
        with open(os.path.join(folder, name + ".csv"), "wb") as f:
            f.write(("\r\n".join(rows) + "\r\n").encode("utf-8"))
    return expected


PEOPLE = ["Anna", "Jörg", "Renée", "José", "Sean", "Åsa", "Zoë", "Núñez", "Côté", "Weiß", "Peña", "Björn"]
NOTES_1252 = ["“CAFÉ”", "Bar “CAFÉ”", "CAFÉ–Bar", "„FUß“", "HABLÓ”", "Büro – 2", "Grüße", "l’été", "ÉTÉ’s",
              "Straße 5", "Prix : 250 €", "Voir…", "«\u00a0CAFÉ\u00a0»", "MENÚ–"]
NOTES_UTF8 = ["Grüße", "Müller", "Zoë", "Café", "Дом", "Όλα", "東京", "Ørsted", "Łódź", "Peña"]
STRAY = ["…", "€", "–", "—", "’", "“", "”", "•", "™"]


def write_tables(folder, rng, count):
    expected = {}
    for t in range(count):
        western = t % 2 == 0
        # Half the UTF-8 tables have their signs typed between capitals, without blanks.
        capitals = t % 4 == 1
        kind = "bom-western" if western else "bom-stray-capitals" if capitals else "bom-stray"
        rows = []
        for r in range(rng.randint(1, 8)):
            tag = f"T{t:05d}R{r:02d}"
            given = rng.choice(PEOPLE)
            if western:
                # Most rows ASCII; the rest of windows-1252, one at least with a note of the hostile kind.
                note = rng.choice(NOTES_1252) if r == 0 or rng.random() < 0.3 else rng.choice(ASCII)
                if rng.random() < 0.5 and r > 0:
                    given = "Sean"
                raw = f"{given},{tag},{csv_cell(note)}".encode("cp1252")
            else:
                note = rng.choice(NOTES_UTF8[:4] + NOTES_UTF8[7:] if capitals else NOTES_UTF8)
                if rng.random() < 0.6:
                    sign = rng.choice(STRAY)
                    if capitals:
                        note = rng.choice(ASCII).upper() + sign + note.upper()
                    else:
                        note = rng.choice([note + " " + sign, note + sign, sign + note,
                                           note + sign + " " + rng.choice(ASCII), note + " " + sign + " " + note])
                    raw = f"{given},{tag},".encode("utf-8") + csv_cell(note).encode("utf-8")
                    # The sign alone in windows-1252.
                    raw = raw.replace(sign.encode("utf-8"), sign.encode("cp1252"))
                else:
                    raw = f"{given},{tag},{csv_cell(note)}".encode("utf-8")
            rows.append(raw)
            expected[tag] = (kind, note, None)
        body = b"\xef\xbb\xbf" + b"First Name,Last Name,Notes\r\n" + b"\r\n".join(rows) + b"\r\n"
        with open(os.path.join(folder, f"table-{t:05d}.csv"), "wb") as f:
            f.write(body)
    return expected


def unescape(cell):
    out, i = [], 0
    while i < len(cell):
        c = cell[i]
        if c == "\\" and i + 1 < len(cell):
            out.append({"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}.get(cell[i + 1], cell[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read_dump(folder):
    """Note by tag, over every dump file of the folder."""
    stored = {}
    for name in os.listdir(folder):
        if name == "index.txt":
            continue
        source = "vcf" if name.endswith(".vcf.txt") else "csv"
        names, notes = {}, {}
        for line in open(os.path.join(folder, name), encoding="utf-8"):
            line = line.rstrip("\n")
            if line.startswith("data "):
                cells = line[5:].split(" | ")
                if cells[1] == "1":
                    names[cells[2]] = unescape(cells[6]) or unescape(cells[5])
                elif cells[1] == "9":
                    notes[cells[2]] = unescape(cells[4])
        for contact, tag in names.items():
            stored[(source, tag)] = notes.get(contact)
    return stored


def letters(text):
    return [c for c in (text or "") if c.isalpha()]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("builds", nargs="+")
    parser.add_argument("--seed", type=int, default=85)
    parser.add_argument("--count", type=int, default=1500)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    files = os.path.join(args.out, "files")
    os.makedirs(files, exist_ok=True)
    for name in os.listdir(files):
        os.remove(os.path.join(files, name))
    expected = write_value_files(files, values(rng, args.count))
    expected.update(write_tables(files, random.Random(args.seed + 1), args.count // 2))
    dumps = []
    for i, build in enumerate(args.builds):
        dump = os.path.join(args.out, f"dump-{i}")
        subprocess.run([os.path.join(build, "build-rel", "bench", "bench_readdump"), dump, files], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        dumps.append(read_dump(dump))
    kinds = sorted({k for k, _, _ in expected.values()})
    print(f"{'kind':16} {'source':6} {'values':>7}" + "".join(f" | {os.path.basename(b.rstrip('/')):>22}" for b in args.builds))
    print(f"{'':31}" + " | meant letters  !=1st worse" * len(args.builds))
    examples = {}
    for kind in kinds:
        for source in ("vcf", "csv"):
            tags = [t for t, e in expected.items() if e[0] == kind and (source == "csv" or t.startswith("V"))]
            if not tags:
                continue
            line = f"{kind:16} {source:6} {len(tags):7}"
            for i, dump in enumerate(dumps):
                meant = kept = differ = worse = 0
                for tag in tags:
                    got = dump.get((source, tag))
                    want = expected[tag][1]
                    first = dumps[0].get((source, tag))
                    meant += got == want
                    kept += letters(got) == letters(want)
                    differ += got != first
                    worse += got != want and first == want
                    if got != want and i == len(dumps) - 1:
                        examples.setdefault((kind, source), []).append((expected[tag][2], got, want, first))
                line += f" | {meant:5} {kept:7} {differ:5} {worse:5}"
            print(line)
    print("\nvalues the last build reads otherwise than meant (read, stored, meant), a few of each,"
          " and every one the first build read as meant:")
    for (kind, source), rows in sorted(examples.items()):
        for read, got, want, first in rows[:6]:
            print(f"  {kind}/{source}: {read!r} -> {got!r}, meant {want!r}")
        if len(rows) > 6:
            print(f"  {kind}/{source}: ... {len(rows)} in all")
        for read, got, want, first in rows:
            if first == want:
                print(f"  WORSE {kind}/{source}: {read!r} -> {got!r}, meant {want!r}")


if __name__ == "__main__":
    sys.exit(main())
