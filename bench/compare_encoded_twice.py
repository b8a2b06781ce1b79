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
  plain     text encoded twice without a C1 control ("Ã©"), which alone stays as written (plain*: the
            same values against the text meant, which the rows of a table encoded twice tell);
and as CSV tables behind a UTF-8 byte-order mark, one table a file:
  bom-western  tables of windows-1252 whose rows hold a capital and a quote that form UTF-8;
  bom-stray    UTF-8 tables with a windows-1252 sign ("…", "€", "–") typed into some rows,
  bom-stray-capitals  the same between words of capitals ("CALL…GRÜSSE").
and, one value a card or row again:
  new-four      text encoded twice beside emoji newer than Qt's tables (Unicode 15 and 16) or the
                mathematical letters of fancy names (four bytes each);
  mixed         a part encoded twice beside letters written once ("Café Lumière â€“ ask for Renée");
  nel           text encoded twice with a next line (U+0085) standing alone, a line break;
  twice-1252    text whose UTF-8 was read as windows-1252 and written again, the five bytes it leaves
                unassigned kept as C1 controls ("Ã\x8forÄ‘e");
and as CSV tables of several columns, one table a file:
  rows          rows one program encoded twice, cells without a C1 control among them ("ZoÃ«"),
                some cut inside a letter, some with a letter written once; names never hold a line
                break;
  western-chance  windows-1252 tables whose only bytes beyond ASCII, a capital and the sign after it,
                form UTF-8 by chance ("SKÅ—", "KOÇ’s", "CAFÉ–Bar"), read in windows-1252;
  caps-sharp-s, ascii-upper, pinyin  UTF-8 tables whose only letters beyond ASCII are "ß" after
                capitals, names upper-cased in ASCII alone ("BRZęK") or pinyin tones ("Xiǎo Lǚ"),
                with a byte-order mark or without; appended: windows-1252 tables with such rows
                appended (only those rows count); each also counts the files whose ending says
                windows-1252 where no row was read so.
Each BUILD_DIR (a build folder, or a source folder with build-rel/ or build-release/) runs
bench/bench_readdump over them; the counts per build and kind say how
many values read as meant, how many kept every letter, how many differ from the first build, how
many the first build read as meant and this one not (worse), and the same against the build before
(<prev); for tables also how many names hold a line break and how many files the ending says were
read in a code page where none was.
"""
import argparse
import os
import random
import shutil
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
        if has_c1(read):
            out.append(("twice", read, meant))
        else:
            # Alone, nothing tells such text; beside rows encoded twice, a table's rows do.
            out.append(("plain", read, read, meant))
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
        for i, (kind, read, meant, *truly) in enumerate(chunk):
            tag = f"V{start + i:06d}"
            expected[tag] = (kind, meant, read)
            if truly:
                expected[tag + "*"] = (kind + "*", truly[0], read)
            card.append(f"BEGIN:VCARD\r\nVERSION:3.0\r\nN:{tag};Card;;;\r\nFN:Card {tag}\r\n"
                        f"NOTE:{vcard_escape(read)}\r\nEND:VCARD\r\n")
            rows.append(f"Card,{tag},{csv_cell(read)}")
        with open(os.path.join(folder, name + ".vcf"), "wb") as f:
            f.write("".join(card).encode("utf-8"))
        with open(os.path.join(folder, name + ".csv"), "wb") as f:
            f.write(("\r\n".join(rows) + "\r\n").encode("utf-8"))
    return expected


NEW_FOUR = ["🩷", "🩵", "🩶", "🫨", "🪿", "🫎", "🫏", "🪼", "🪻", "🫚", "🫛", "🪭", "🪮", "🛜", "🫷", "🫸",
            "🫩", "🫆", "🪾", "🫜", "🪉", "🫟", "𝓘𝓿𝔂", "𝕊𝕒𝕞𝕚", "𝐀𝐧𝐧𝐚", "𝘑𝘶𝘭𝘪𝘢", "𝔐𝔞𝔯𝔦𝔞", "𝒥𝒶𝓃𝑒", "𝙆𝙖𝙩𝙚"]
NEW_FOUR_WORDS = ["Mama", "Papa", "Oma", "Sis", "Best friend", "Tante Eva", "Zoë", "Café", "Straße", "Дом",
                  "it’s me", "“Bae”", "Jürgen", "Chloé"]
ONCE = ["Café", "Lumière", "Renée", "Jürgen", "Müller", "Grüße", "señor", "Zoë", "Åsa", "née", "Gießen",
        "Ibáñez", "Côté", "à", "über", "Søren"]
# Letters whose UTF-8 holds a byte windows-1252 leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D).
UNASSIGNED = ["Đorđe", "Ádám", "Íñigo", "Ýr", "Łukasz", "Čeněk", "Анна", "Наталья", "Ðóra", "Ólafur Árni",
              "Ïrène", "Ōsaka", "Ŏ", "Ő", "Ŝ", "Ёлкин", "Сергей", "Эдуард", "Яна", "Νίκος", "Ήρα", "Ώρα",
              "🙏", "👨‍👩‍👧"]
UNASSIGNED_BESIDE = ["Petrović", "Nagy", "Öztürk", "Kovač", "Иванов", "Παπαδόπουλος", "it’s", "“ok”", "Müller",
                     "office", "Tel. 555 0100", "€20", "—"]


def cp1252_reading(text):
    """UTF-8 read as windows-1252 (its five unassigned bytes as C1 controls) and written again."""
    return "".join(bytes([b]).decode("cp1252") if b not in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else chr(b)
                   for b in text.encode("utf-8"))


def new_values(rng, count):
    """The families that the value-wide decision read worse than the build before it."""
    out = []
    for _ in range(count):
        words = [rng.choice(NEW_FOUR_WORDS + ASCII) for _ in range(rng.randint(1, 3))]
        for _ in range(rng.randint(1, 2)):
            words.insert(rng.randint(0, len(words)), rng.choice(NEW_FOUR))
        meant = rng.choice([" ", " ", ", ", " – "]).join(words)
        out.append(("new-four", latin1_reading(meant), meant))
    for _ in range(count):
        parts = []
        for _ in range(rng.randint(2, 5)):
            if rng.random() < 0.5:
                parts.append(("once", rng.choice(ONCE)))
            else:
                parts.append(("twice", twice_text(rng)))
        if not any(k == "once" for k, _ in parts):
            parts.insert(rng.randint(0, len(parts)), ("once", rng.choice(ONCE)))
        if not any(k == "twice" and has_c1(latin1_reading(t)) for k, t in parts):
            parts.insert(rng.randint(0, len(parts)), ("twice", rng.choice(["–", "’", "…", "Ångström", "Дом"])))
        glue = rng.choice([" ", " – ", ", "])
        meant = glue.join(t for _, t in parts)
        read = glue.join(latin1_reading(t) if k == "twice" else t for k, t in parts)
        out.append(("mixed", read, meant))
    for _ in range(count):
        first, second = twice_text(rng), twice_text(rng)
        glue = rng.choice([" \u0085 ", "\u0085", " \u0085"])
        meant = first + glue.replace("\u0085", "\n") + second
        read = latin1_reading(first) + glue + latin1_reading(second)
        if has_c1(latin1_reading(first) + latin1_reading(second)):
            out.append(("nel", read, meant))
    for _ in range(count):
        words = [rng.choice(UNASSIGNED)]
        for _ in range(rng.randint(0, 3)):
            words.insert(rng.randint(0, len(words)), rng.choice(UNASSIGNED_BESIDE + UNASSIGNED + ASCII))
        meant = rng.choice([" ", ", ", " – "]).join(words)
        if has_c1(cp1252_reading(meant)):
            out.append(("twice-1252", cp1252_reading(meant), meant))
    return out


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


TABLE_HEADER = "First Name,Middle Name,Last Name,Company,Home Street,E-mail Address,Notes"
ROW_GIVEN = ["Zoë", "Åsa", "Jürgen", "Renée", "Paweł", "Дмитрий", "Ελένη", "Sean", "Anna", "Søren", "Ådne",
             "Ørjan", "Çağrı", "Noël"]
ROW_FAMILY = ["Ångström", "Müller", "Côté", "Wąs", "Петров", "Παπαδοπούλου", "Smith", "Åkesson", "Lindqvist",
              "Øvergård", "Şahin", "Nuñez", "Dvořák"]
ROW_COMPANY = ["Müller’s “Café”", "Acme Ltd", "Åhléns", "Boulangerie Côté", "Дом у моря", "", "", "Nordic – Trade"]
ROW_STREET = ["Hauptstraße 5", "1 Main St", "Storgatan 12", "ул. Ленина 5", "Rue d’Orléans 3", ""]
ROW_NOTES = ["It’s her office.", "Mon–Fri 9–5", "", "", "Grüße an Åsa", "Call after 6 …", "Дом"]


def write_row_tables(folder, rng, count):
    """Tables one program encoded twice, cell by cell; the expected reading of each row."""
    expected = {}
    for t in range(count):
        rows = [TABLE_HEADER]
        for r in range(rng.randint(1, 6)):
            tag = f"r{t:05d}x{r:02d}"
            cells = [rng.choice(ROW_GIVEN), rng.choice(ROW_FAMILY), rng.choice(ROW_COMPANY),
                     rng.choice(ROW_STREET), rng.choice(ROW_NOTES)]
            read = [latin1_reading(c) for c in cells]
            meant = list(cells)
            roll = rng.random()
            if roll < 0.3:
                # A cell cut at a width, inside a letter: the letters before it are meant, and the lead
                # of the letter where nothing of it follows (it may be a letter written once).
                i = rng.randrange(5)
                cuts = [k for k in range(1, len(read[i])) if 0x80 <= ord(read[i][k]) < 0xC0]
                if cuts:
                    k = rng.choice(cuts)
                    lead = k - 1
                    while lead > 0 and 0x80 <= ord(read[i][lead]) < 0xC0:
                        lead -= 1
                    read[i] = read[i][:k]
                    meant[i] = latin1_reading_inverse(read[i][:lead]) + (read[i][lead:] if k == lead + 1 else "")
            elif roll < 0.5:
                # One letter of a cell written once.
                i = rng.randrange(5)
                extra = rng.choice(["é", "ü", "ß", "ø", "ñ"])
                read[i] += " " + extra
                meant[i] += " " + extra
            given, family = meant[0], meant[1]
            rows.append(table_row(read, tag))
            expected[tag] = ("rows", {"given": given, "family": family, "company": meant[2], "street": meant[3],
                                      "notes": meant[4]}, None)
        with open(os.path.join(folder, f"rows-{t:05d}.csv"), "wb") as f:
            f.write(("\r\n".join(rows) + "\r\n").encode("utf-8"))
    return expected


def latin1_reading_inverse(text):
    """Text encoded twice read as meant (every character of it one of Latin-1)."""
    return text.encode("latin-1").decode("utf-8")


SHARP_S = ["GROß", "HAUPTSTRAßE 5", "WEIß", "STRAßBURG", "KLAUS GROßMANN", "MEIßNER", "PREUßEN", "FUßWEG 3",
           "GIEßEN", "SCHLOßALLEE 1", "BIRGIT STOß", "MAßMANN"]
ASCII_UPPER_SOURCE = ["Brzęk", "Wałęsa", "Dąbrowski", "Szymański", "Kamiński", "Wiśniewski", "Kozłowski",
                      "Jabłoński", "Stępień", "Zając", "Paweł", "Michał", "Małgorzata", "Bąk", "Dvořák",
                      "Horáček", "Kříž", "Němec", "Procházka", "Čapek", "Łukasz", "Sokołowski", "Włodarczyk",
                      "Mickevičius", "Bērziņš", "Ozoliņš", "Jankauskienė", "Ştefănescu", "Brâncuşi"]
PINYIN = ["Xiǎo Lǚ", "Wáng Xiǎomíng", "Lǐ Nà", "Zhāng Wěi", "Liú Yáng", "Chén Jìng", "Huáng Mǐn", "Zhào Lěi",
          "Wú Tāo", "Zhōu Jié", "Mǎ Chāo", "Zhū Yīng", "Luó Bǐng", "Zhèng Yǒng", "Lǚ Nǚ", "Guō Jìng", "Xiè Lǜ",
          "Běijīng", "Shànghǎi", "Nánjīng Lù 8"]
PLAIN_GIVEN = ["ANNA", "PETER", "KLAUS", "Sean", "Tom", "MARIA", "Li", "Wei"]


def ascii_upper(text):
    return "".join(c.upper() if c.isascii() else c for c in text)


def guess_row(rng, family):
    """One UTF-8 row of the family: its cells as meant."""
    if family == "caps-sharp-s":
        return [rng.choice(PLAIN_GIVEN[:3]), rng.choice(SHARP_S), rng.choice(["", "", "ACME GMBH", "FUßPFLEGE GROß"]),
                rng.choice(["", rng.choice(SHARP_S)]), ""]
    if family == "ascii-upper":
        return [ascii_upper(rng.choice(ASCII_UPPER_SOURCE[10:14] + ["Jan", "Ewa", "Anna"])),
                ascii_upper(rng.choice(ASCII_UPPER_SOURCE)), "", "", ""]
    given, family_name = rng.choice(PINYIN[:17]).split(" ", 1)
    return [family_name, given, "", rng.choice(["", rng.choice(PINYIN[17:])]), ""]


CHANCE_WORDS = ["SKÅ", "MALMÅ", "KÄ", "SPÄ", "KOÇ", "GARÇ", "CAFÉ", "HABLÓ", "MENÚ", "IRMÃ", "FUß", "ANDRÉ",
                "MÜNCHNER KINDL", "BJÖRK"]
# The signs that follow a word in windows-1252 text.
CHANCE_SIGNS = ["’", "”", "“", "‘", "–", "—", "…", "™", "•", "›", "†"]


def chance_row(rng):
    """A row of windows-1252 whose only bytes beyond ASCII, a capital and the sign after it, form UTF-8."""
    word = rng.choice(CHANCE_WORDS)
    sign = rng.choice(CHANCE_SIGNS)
    # Glued to what follows: a dash before a word, an apostrophe or a quote before "s".
    glued = rng.choice(["BAR", "Bar", "2"]) if sign in "–—" else "s" if sign in "’‘”“" else None
    shapes = [word + sign, word + sign + " " + rng.choice(ASCII), rng.choice(ASCII) + " " + word + sign]
    note = rng.choice(shapes + [word + sign + glued] * 2 if glued else shapes)
    return ["Sean", "Smith", "", "", note]


def table_row(cells, tag):
    """A row of the tables' header: the tag is the middle name, so that no two rows merge, and the e-mail."""
    return ",".join([csv_cell(cells[0]), tag.upper()] + [csv_cell(c) for c in cells[1:4]]
                    + [f"{tag}@x.example", csv_cell(cells[4])])


def write_guess_tables(folder, rng, count):
    """UTF-8 tables whose only letters beyond ASCII a code page forms by chance, and windows-1252 tables with
    such rows appended."""
    expected = {}
    families = ["caps-sharp-s", "ascii-upper", "pinyin"]
    for t in range(count):
        family = families[t % 3]
        appended = t % 6 >= 3
        marked = rng.random() < 0.5
        kind = "appended" if appended else family
        rows = [TABLE_HEADER.encode("utf-8")]
        if t % 5 == 4:
            # windows-1252 that forms UTF-8 by chance, with a mark or without: read in windows-1252.
            for r in range(rng.randint(1, 3)):
                tag = f"c{t:05d}x{r:02d}"
                cells = chance_row(rng)
                raw = table_row(cells, tag).encode("cp1252")
                rows.append(raw)
                expected[tag] = ("western-chance", {"given": cells[0], "family": cells[1], "company": cells[2],
                                                    "street": cells[3], "notes": cells[4]}, None)
            body = b"\r\n".join(rows) + b"\r\n"
            if all(b < 0x80 for b in body) or not valid_utf8(body):
                for r in range(3):
                    expected.pop(f"c{t:05d}x{r:02d}", None)
                continue
            with open(os.path.join(folder, f"guess-{t:05d}.csv"), "wb") as f:
                f.write((b"\xef\xbb\xbf" if marked else b"") + body)
            continue
        if appended:
            for r in range(rng.randint(1, 6)):
                tag = f"w{t:05d}x{r:02d}"
                cells = [rng.choice(["Renée", "Jürgen", "Sean", "José"]), rng.choice(["Côté", "Müller", "Peña"]),
                         "", rng.choice(["", "Straße 5", "Rue d’Orléans"]), rng.choice(["", "„Büro“ – 2"])]
                rows.append(table_row(cells, tag).encode("cp1252"))
        for r in range(rng.choice([1, 1, 2, 3, 5, 8])):
            tag = f"g{t:05d}x{r:02d}"
            cells = guess_row(rng, family)
            rows.append(table_row(cells, tag).encode("utf-8"))
            expected[tag] = (kind, {"given": cells[0], "family": cells[1], "company": cells[2], "street": cells[3],
                                    "notes": cells[4]}, f"guess-{t:05d}.csv" if not appended else None)
        body = (b"\xef\xbb\xbf" if marked else b"") + b"\r\n".join(rows) + b"\r\n"
        with open(os.path.join(folder, f"guess-{t:05d}.csv"), "wb") as f:
            f.write(body)
    return expected


def valid_utf8(data):
    try:
        data.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


def read_table_dump(folder):
    """By tag (the e-mail's name), the fields of its contact, and by file whether its ending says it was read
    in a code page."""
    stored, said = {}, {}
    for name in os.listdir(folder):
        if name == "index.txt" or not name.endswith(".csv.txt"):
            continue
        fields = {}
        tags = {}
        for line in open(os.path.join(folder, name), encoding="utf-8"):
            line = line.rstrip("\n")
            if line.startswith("success "):
                said[name.rsplit("_", 1)[-1][:-4]] = "windows-1252" in line or "macintosh" in line \
                    or "Mac Roman" in line
            if not line.startswith("data "):
                continue
            cells = line[5:].split(" | ")
            contact = fields.setdefault(cells[2], {})
            if cells[1] == "1":
                contact["given"], contact["family"] = unescape(cells[5]), unescape(cells[6])
            elif cells[1] == "4" and cells[4].endswith("@x.example"):
                tags[cells[2]] = cells[4][:-len("@x.example")]
            elif cells[1] == "10":
                contact["company"] = unescape(cells[4])
            elif cells[1] == "12":
                contact["street"] = unescape(cells[7])
            elif cells[1] == "9":
                contact["notes"] = unescape(cells[4])
        for contact, tag in tags.items():
            stored[tag] = fields[contact]
    return stored, said


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


def label(build):
    """The last two parts of a build's folder, which tell builds of the same name apart."""
    return "/".join(os.path.normpath(build).split(os.sep)[-2:])[-28:]


def readdump_of(build):
    """A build folder, or a source folder with its Release build in build-rel/ or build-release/."""
    for sub in ("", "build-rel", "build-release"):
        path = os.path.join(build, sub, "bench", "bench_readdump")
        if os.path.exists(path):
            return path
    sys.exit(f"no bench/bench_readdump in {build}")


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
    expected = write_value_files(files, values(rng, args.count) + new_values(random.Random(args.seed + 2), args.count))
    expected.update(write_tables(files, random.Random(args.seed + 1), args.count // 2))
    table_expected = write_row_tables(files, random.Random(args.seed + 3), args.count // 3)
    table_expected.update(write_guess_tables(files, random.Random(args.seed + 4), args.count))
    dumps = []
    table_dumps = []
    for i, build in enumerate(args.builds):
        dump = os.path.join(args.out, f"dump-{i}")
        if os.path.isdir(dump):
            shutil.rmtree(dump)
        subprocess.run([readdump_of(build), dump, files], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        dumps.append(read_dump(dump))
        table_dumps.append(read_table_dump(dump))
    report_values(args, expected, dumps)
    report_tables(args, table_expected, table_dumps)


def report_tables(args, expected, dumps):
    """Rows read whole as meant, rows with a name that holds a line break, and files whose ending says a code
    page where every row is UTF-8, by kind."""
    print(f"\n{'kind':16} {'rows':>7} {'files':>6}" + "".join(f" | {label(b):>32}"
                                                             for b in args.builds))
    print(f"{'':31}" + " | meant  !=1st worse <prev break said" * len(args.builds))
    examples = {}

    def norm(fields):
        return {k: (fields or {}).get(k, "").strip() for k in ("given", "family", "company", "street", "notes")}

    for kind in sorted({e[0] for e in expected.values()}):
        tags = [t for t, e in expected.items() if e[0] == kind]
        files = sorted({expected[t][2] for t in tags if expected[t][2]})
        line = f"{kind:16} {len(tags):7} {len(files):6}"
        for i, (stored, said) in enumerate(dumps):
            meant = differ = worse = below = breaks = 0
            for tag in tags:
                got, want, first = norm(stored.get(tag)), norm(expected[tag][1]), norm(dumps[0][0].get(tag))
                meant += got == want
                differ += got != first
                worse += got != want and first == want
                below += i > 0 and got != want and norm(dumps[i - 1][0].get(tag)) == want
                breaks += "\n" in got["given"] + got["family"]
                if got != want and i == len(dumps) - 1:
                    examples.setdefault(kind, []).append((got, want, first == want))
            wrongly = sum(1 for f in files if said.get(f))
            line += f" | {meant:5} {differ:5} {worse:5} {below:5} {breaks:5} {wrongly:4}"
        print(line)
    print("\nrows the last build reads otherwise than meant (stored, meant), a few of each, and every one the first"
          " build read as meant:")
    for kind, rows in sorted(examples.items()):
        for got, want, _ in rows[:4]:
            print(f"  {kind}: {got} meant {want}")
        if len(rows) > 4:
            print(f"  {kind}: ... {len(rows)} in all")
        for got, want, first_right in rows:
            if first_right:
                print(f"  WORSE {kind}: {got} meant {want}")


def report_values(args, expected, dumps):
    kinds = sorted({k for k, _, _ in expected.values()})
    print(f"{'kind':16} {'source':6} {'values':>7}" + "".join(f" | {label(b):>28}" for b in args.builds))
    print(f"{'':31}" + " | meant letters  !=1st worse <prev" * len(args.builds))
    examples = {}
    for kind in kinds:
        for source in ("vcf", "csv"):
            tags = [t for t, e in expected.items() if e[0] == kind and (source == "csv" or t.startswith("V"))]
            # The text meant where nothing tells it: counted, never examples.
            stored_as = (lambda t: t.rstrip("*")) if kind.endswith("*") else (lambda t: t)
            if not tags:
                continue
            line = f"{kind:16} {source:6} {len(tags):7}"
            for i, dump in enumerate(dumps):
                meant = kept = differ = worse = below = 0
                for tag in tags:
                    got = dump.get((source, stored_as(tag)))
                    want = expected[tag][1]
                    first = dumps[0].get((source, stored_as(tag)))
                    meant += got == want
                    kept += letters(got) == letters(want)
                    differ += got != first
                    worse += got != want and first == want
                    below += i > 0 and got != want and dumps[i - 1].get((source, stored_as(tag))) == want
                    if got != want and i == len(dumps) - 1 and not kind.endswith("*"):
                        examples.setdefault((kind, source), []).append((expected[tag][2], got, want, first))
                line += f" | {meant:5} {kept:7} {differ:5} {worse:5} {below:5}"
            print(line)
    print("\nvalues the last build reads otherwise than meant (read, stored, meant), a few of each,"
          " and every one the first build read as meant:")
    for (kind, source), rows in sorted(examples.items()):
        for read, got, want, first in rows[:6]:
            print(f"  {kind}/{source}: {read!r} -> {got!r}, meant {want!r}")
        if len(rows) > 6:
            print(f"  {kind}/{source}: ... {len(rows)} in all")
        worse = [row for row in rows if row[3] == row[2]]
        for read, got, want, first in worse[:6]:
            print(f"  WORSE {kind}/{source}: {read!r} -> {got!r}, meant {want!r}")
        if len(worse) > 6:
            print(f"  WORSE {kind}/{source}: ... {len(worse)} in all")


if __name__ == "__main__":
    sys.exit(main())
