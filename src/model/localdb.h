// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"
#include "platform/error.h"
#include "platform/sqlite/sqlite3db.h"

#include <QDir>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QSharedPointer>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QTemporaryDir;

class AbsContactCombineRule;

// Thrown at once, without waiting, by a call on a database whose connection
// another thread holds: a call in progress there, or an edit it has begun
// and not yet ended. Nothing was read or changed; the caller tries again
// later (the main window refreshes once the operation is over).
class DatabaseBusy : public Error {
public:
    using Error::Error;
};

// combineContact stopped because the cancel check said so.
class MergeCancelled : public Error {
public:
    using Error::Error;
};

// The statements LocalDb::contactsById() runs for every page of a walk:
// made on the walk's own connection with its first page, for `ids` ids.
struct ContactPageQuery {
    Sqlite3Statement rows;
    Sqlite3Statement contacts;
    qsizetype ids = 0;
};

// One contact database: a SQLite file made from the embedded template, and
// the duplicate rule that decides how incoming contacts merge into it.
//
// The file is opened on first use and reopened on the first use after
// close(). Every failure throws Error (as a rule with the SQLite wrapper's
// text); only a merge rule's own non-standard exception passes through
// unchanged. Operations return
// no status: a statement that touches no row is no error, a read that finds
// nothing returns an empty value.
//
// One thread holds the connection at a time: the thread running a call for
// the length of that call, and the thread that began an edit from
// beginEdit() until its outermost endEdit() (or close()). A call from
// another thread waits for a call in progress to finish, but while an edit
// is open it throws DatabaseBusy at once: it never waits for the edit and
// never sees rows the edit has not committed. An edit therefore belongs to
// one thread: the thread that writes inside it begins and ends it.
class LocalDb {
public:
    enum Access { ReadWrite, ReadOnly };

    // Stores the path, the rule and the access; touches no file. A ReadOnly
    // database opens its file read-only, and every call that would change
    // it throws Error before running anything.
    LocalDb(const QString& path, QSharedPointer<AbsContactCombineRule> rule, Access access = ReadWrite);
    // The program's way to get a database: the file at `path` with the local
    // duplicate rule, opened on first use.
    static QSharedPointer<LocalDb> openLocal(const QString& path, Access access = ReadWrite);
    virtual ~LocalDb();
    LocalDb(const LocalDb&) = delete;
    LocalDb& operator=(const LocalDb&) = delete;

    // The duplicate rule this database merges with (never null when the
    // constructor got one); the edit dialog compares entities through it.
    QSharedPointer<AbsContactCombineRule> rule() const { return m_rule; }
    // Full path of the database file.
    QString path() const { return m_path; }
    // The file a connection of its own should read: the file itself, or for
    // a read-only one left with a journal by a crash, the rolled-back copy
    // this database reads (made here when not yet made). Call it off the GUI
    // thread: making the copy copies the file.
    QString readPath();
    bool isReadOnly() const { return m_access == ReadOnly; }

    // The folder of the user's local databases ("data" in the data folder),
    // created when missing; a failed creation shows at the next file use.
    static QDir dbDir();
    // Whether the database file `name` is listed before `other` wherever
    // the user sees the local databases (the tree, the dialog that picks
    // one): by name, letter case aside, then with it, so no two names tie
    // and the order never depends on when a file was last written.
    static bool listsBefore(const QString& name, const QString& other);
    // The LIKE pattern (with ESCAPE '\\') that finds `keyword` as a literal
    // substring: its own "%", "_" and "\" act as no wildcards, so "50%"
    // finds "50%", not "500".
    static QString likeSubstringPattern(const QString& keyword);

    // --- life cycle -------------------------------------------------------

    // Replaces whatever is at path() by a fresh, empty database from the
    // template (mode 0600). A stale journal of an older file at that path is
    // removed first so that it cannot be replayed into the new one.
    // Throws Error with the file error text when the copy
    // fails (missing folder, no permission); then no file is left behind.
    // Call before anything has opened the database (or after close()).
    void create();
    // Opens the file (read-write, never creating it) unless open already.
    // Throws the wrapper's error for a missing or unreadable file, or one
    // that is not a database; the handle then stays closed.
    void open_check();
    // Starts an edit (transactions nest; combineContact opens its own level
    // inside). Throws when the file cannot be opened or BEGIN fails.
    void beginEdit();
    // Begins the outermost edit of a bulk import of about `incomingContacts`
    // contacts that is kept whole or not at all: the caller ends it with
    // endEdit(false) after any failure. combineContact then opens no
    // transaction level of its own (a failed contact leaves its partial
    // writes for that rollback, and endEdit(true) refuses to commit them).
    // When the database holds no more than half as many contacts as are
    // coming, the indexes the merge never reads are dropped here and made
    // again from their stored definitions just before the commit, so the
    // committed file has its schema unchanged and a crash or rollback at
    // any point restores the old one. When it holds no more than four times
    // as many, every stored name is read here once; else each incoming name
    // is looked up through the case-insensitive name index (findNameKey()),
    // so a small import into a large database reads no more than it finds.
    // Throws like beginEdit(), and Error when an edit is already open.
    void beginImport(qsizetype incomingContacts);
    // Ends the innermost edit level: commit when true, roll back when false.
    // A failing commit is rolled back and rethrown, so nothing is claimed as
    // stored that is not. endEdit(false) with no edit open does nothing.
    void endEdit(bool commit);
    // Closes the connection; an edit still open is discarded. Harmless when
    // closed.
    void close();
    // Closes the connection and deletes the file; true when it was deleted.
    // Allowed on a read-only database: the file goes, nothing is written.
    bool removeDB();
    // Whether the connection is open (for tests and diagnostics).
    bool isOpen() const;

    // --- entity rows ------------------------------------------------------

    // Inserts the entity as a data row of the given contact and type and
    // sets entity.id to the new row id. Only the type's columns are stored
    // (a photo's hash is computed from "data15"). Throws Error
    // for a type outside 1..13 before running anything (entity.id is then
    // unchanged), or the wrapper's error.
    void insertEntity(unsigned long long contactId, int type, pim::Entity& entity);
    // Rewrites src_id and the type's columns of the row entity.id; other
    // columns keep their values. An id with no row changes nothing. Throws
    // Error for a type outside 1..13, or the wrapper's error.
    void updateEntity(int type, const pim::Entity& entity);

    // --- reading ----------------------------------------------------------

    // Loads one contact with all its entities; an unknown id gives the
    // empty contact (id 0). Every
    // value is text except a photo's "data15" (bytes). Throws the wrapper's
    // error.
    pim::_Contact contact(unsigned long long id);
    // contact() with every column a row stores (an address's country code
    // too): what a caller needs to put the rows back as they were.
    pim::_Contact wholeContact(unsigned long long id) { return loadContact(id, true); }
    // Fills entity.fields from the cursor's current data row for that type
    // (nothing for a type outside 1..13). Does not touch the database.
    void fill_entity(Sqlite3Cursor& cursor, int type, pim::Entity& entity);

    // --- contact, group and source-id edits -------------------------------

    // The _id of the first (lowest id) contact whose full name equals the
    // given one ignoring the case of A-Z, or 0. The text is never a
    // pattern; an empty name matches nothing.
    unsigned long long isContactBaseExist(const QString& fullName);
    // Inserts a contact row (srcId, fullName) and sets contact.id.
    void insertContactBase(pim::_Contact& contact);
    // Rewrites src_id and full_name of the row contact.id.
    void updateContactBase(const pim::_Contact& contact);
    // The id of the first group whose name equals the given one ignoring
    // the case of A-Z; adds a group of exactly that name when none does.
    unsigned long long getGroupIdOrAdd(const QString& name);
    // Makes the contact a member of exactly this group (old memberships are
    // deleted) and returns the new membership entity (its row id, no
    // source id, "data1" the group id, "data2" the name).
    pim::Entity setGroup(unsigned long long contactId, unsigned long long groupId, const QString& groupName);
    // Deletes every group membership of the contact.
    void ungroup(unsigned long long contactId);
    // Deletes one data row.
    void removeEntity(unsigned long long entityId);
    // Deletes the contact's data rows, then its contact row (no transaction
    // of its own: call inside an edit).
    void removeContact(unsigned long long contactId);
    // Deletes the group row only; memberships naming it stay.
    void removeGroupOnly(unsigned long long groupId);
    // Source-id write-back of a contact row, by row id ...
    void updateContactBaseSrcId(unsigned long long contactId, const QString& srcId);
    // ... or of every contact row whose src_id equals oldSrcId exactly.
    void updateContactBaseSrcId(const QString& oldSrcId, const QString& newSrcId);
    // The same for data rows.
    void updateEntitySrcId(unsigned long long entityId, const QString& srcId);
    void updateEntitySrcId(const QString& oldSrcId, const QString& newSrcId);

    // --- duplicate merge --------------------------------------------------

    // Stores one incoming contact, merging it into the stored contact with
    // the same full name (ignoring the case of A-Z; inside beginImport()
    // also the blanks at its ends and the length of a run of them, see
    // nameKey(), and a name of Chinese, Japanese or Korean letters stored
    // with the blanks of its parts, see partsNameKey()) under this
    // database's rule, or creating a new contact (always for an empty full
    // name). A contact listed under its company, number or e-mail merges
    // only into one of the same title alone (sameTitleContact()).
    // Runs in its own nested transaction; call inside beginEdit/endEdit
    // (inside beginImport/endEdit it opens none, see there).
    // On return `existed` says whether a stored contact was found and
    // `stored` holds the contact merged into. Only rows whose stored values
    // change are written: merging a contact that brings nothing new writes
    // nothing and returns just the map `stored` held. Returns the entities written,
    // by type, each with its row id, in write order (the entities `stored`
    // held on entry start the map). On failure the contact's writes are
    // rolled back, `stored` and `existed` are untouched and
    // Error is thrown with the cause's text.
    // A stored contact never grows past kMaxEntitiesPerContact rows, however
    // many contacts merge into it: incoming entities that would add a row
    // beyond it are left out (changes to existing rows still apply), and
    // lastMergeLeftOut() counts them.
    QMap<int, QList<pim::Entity>> combineContact(const pim::_Contact& incoming, pim::_Contact& stored, bool& existed);
    // combineContact for a caller that keeps neither the merged contact nor
    // what was written (imports of files, backups and databases): a stored
    // duplicate is read only in the columns the rule matches on or takes
    // over, and a changed row is rewritten in the columns the rule takes
    // over, so every other column keeps what it holds. The database ends as
    // combineContact would leave it; failures are the same.
    void mergeContact(const pim::_Contact& incoming, bool& existed);
    static constexpr qsizetype kMaxEntitiesPerContact = 10000;
    // The entities the last combineContact() or mergeContact() call left out for the limit.
    qsizetype lastMergeLeftOut() const { return m_lastMergeLeftOut; }
    // The hash (pim::Entity::photoHash()) of the stored photo the last such
    // call put the incoming one in the place of; empty when it replaced none.
    const QString& lastMergeReplacedPhoto() const { return m_lastMergeReplacedPhoto; }
    // Whether the last such call merged into a stored contact found by the
    // name alone: each holds a phone number or e-mail address of its own
    // (an assistant's number is none), and the two share none of them, as
    // the merge compares values. Two people of one name may be such.
    bool lastMergeByNameAlone() const { return m_lastMergeByNameAlone; }
    // What the user is told of a contact stored with only the first
    // kMaxEntitiesPerContact of its entries (name, then the count left out).
    static QString leftOutEntriesText(const QString& name, qsizetype leftOut);
    // Merges one incoming entity into `list` (the stored entities of that
    // type) under the rule; `merged` receives the entity to write (insert
    // when its id is 0, else update). Returns false when nothing is to be
    // written: also when the incoming values, laid over the stored entity,
    // leave every column of its row as it reads back (an absent incoming
    // key never changes a stored value, even empty text).
    struct EntityKeys;
    // With `byKey` (an index of list's comparison keys, see the source) the
    // stored entity is found by one look-up instead of a pass over the list;
    // `at` receives the place in list of the entity merged into or added.
    // An incoming entity that matches none may join one of the first
    // `joinable` entries of list (see
    // AbsContactCombineRule::joinsFirstWithoutKeys): the first that already
    // holds its values, else the very first.
    bool combine_entity(int type, QList<pim::Entity>& list, const pim::Entity& incoming, pim::Entity& merged,
                        EntityKeys* byKey = nullptr, qsizetype* at = nullptr, qsizetype joinable = 0);

    // Asked between the entities of a contact that combineContact merges:
    // when it answers true the merge stops with MergeCancelled (rolled back
    // like any failure). The import passes its reporter's cancel flag.
    void setCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }

    // --- lists ------------------------------------------------------------

    // Every contact that has at least one data row, whole, sorted by full
    // name (UTF-16 code units, case-sensitive). groupId 0 means all groups;
    // a non-empty keyword keeps contacts with an entity (other than group
    // membership and photo) whose "data1" contains it, ASCII case ignored,
    // taken literally (no wildcards).
    QList<pim::_Contact> contacts(unsigned long long groupId = 0, const QString& keyword = QString());
    // Every group, ordered by name (byte-wise, case-sensitive).
    QList<pim::_Group> groups();

    // --- paged reading (a whole database in bounded memory) ----------------
    // Over a connection of the caller's own to the file (a read-only one, so
    // that a walk neither holds this object's connection nor fills its page
    // cache); they see what is committed.

    // The ids of the contacts contacts(groupId) lists, in its order (ties
    // by ascending id). Reads ids and names only. `second`, a connection to
    // the same file that nothing else uses meanwhile, lets a part of the
    // reading run on a thread of its own at the same time.
    static std::vector<unsigned long long> contactOrder(Sqlite3DB& connection, unsigned long long groupId,
                                                        Sqlite3DB* second = nullptr);
    // The contacts with the given ids, whole as contacts() gives them, in
    // the order given; an id without a contact row or data rows is left
    // out. One read of the data rows and one of the contacts for the lot,
    // both in one read transaction: callers pass a page, not a database.
    // `query` keeps those statements for the next page on the connection.
    static QList<pim::_Contact> contactsById(Sqlite3DB& connection, ContactPageQuery& query,
                                             const unsigned long long* ids, qsizetype count);

private:
    // The page cache of a connection (see connection()), set again after an
    // import's end made it small.
    static constexpr char kCacheSizeSql[] = "PRAGMA cache_size=-65536";
    // Makes the calling thread the connection's holder for its lifetime,
    // after another thread's call in progress has finished; throws
    // DatabaseBusy when another thread has an edit open. Nests on one thread.
    class Hold {
    public:
        explicit Hold(LocalDb& db);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        LocalDb& m_db;
    };

    // The helpers below assume the calling thread holds the connection.
    // The open connection (opened here when closed).
    Sqlite3DB& connection();
    // Runs a statement that changes the file; throws for a read-only one.
    void write(const Sqlite3Sql& sql);
    // The same, returning the new row's id.
    unsigned long long insert(const Sqlite3Sql& sql);
    void requireWritable(const char* operation) const;
    // Keeps the edit's own hold exactly while a transaction is open.
    void syncEditHold();
    void ensureNameIndex();
    // Binds the type's columns from position `first` on; returns the next.
    int bindColumns(Sqlite3Statement& stmt, int first, int type, const pim::Entity& entity) const;
    // Whether writing `merged` over the row that `stored` was loaded from
    // changes any column the type stores.
    static bool rowChanges(int type, const pim::Entity& stored, const pim::Entity& merged);
    // contact(), with an address's country code too when `everyColumn`.
    pim::_Contact loadContact(unsigned long long id, bool everyColumn);
    // The rule's answers for one type, asked once per database: a merge
    // needs them for every incoming entity. `compared` lists the stored
    // columns a merge looks at, `keptColumns` those it may change.
    struct MergeKeys {
        bool known = false;
        QStringList min;
        // min without the sub-type and label, when it holds either: what a
        // value of no given kind is matched on. Else empty.
        QStringList values;
        // AbsContactCombineRule::noKindCodes, when `values` is not empty.
        QStringList noKindCodes;
        QStringList kept;
        // AbsContactCombineRule::wholeValueKeys among `kept`.
        QStringList whole;
        bool single = false;
        bool joinsFirst = false;
        QStringList compared;
        QList<int> comparedNumbers;
        QStringList keptColumns;
        // min and keptColumns as column numbers, for holdsAlready(); empty
        // `numbered` when a key is no text column it can read in place.
        bool numbered = false;
        QList<int> minNumbers;
        QList<int> keptNumbers;
    };
    const MergeKeys& mergeKeys(int type);
    // How combine_entity() looks for the stored entity an incoming one
    // goes into: equal on every minimal key, on MergeKeys::values alone,
    // or on those alone among the entities of no particular kind.
    enum class Match { Whole, Value, NoKind };
    // The place in list of the first such entity (by the index `byKey`
    // when given), or list.size().
    static qsizetype storedPlace(int type, const QList<pim::Entity>& list, const pim::Entity& incoming,
                                 const MergeKeys& keys, Match match, EntityKeys* byKey);
    QMap<int, QList<pim::Entity>> combineInto(const pim::_Contact& incoming, pim::_Contact* stored, bool& existed);
    // The contact's rows in the columns a merge compares only, without
    // the rows of types the rule never merges; for mergeContact.
    // `rowCount` receives the number of the contact's rows of every type.
    pim::_Contact loadCompared(unsigned long long id, qsizetype* rowCount = nullptr);
    // Whether merging `incoming` into stored contact `id` would write
    // nothing: each entity the rule merges finds the row it would go into,
    // and that row already holds every value it fills. Read in place, with
    // nothing built for the stored rows; false whenever that cannot be told
    // this way, and the whole merge decides.
    bool holdsAlready(unsigned long long id, const pim::_Contact& incoming);
    // Rewrites the source id and the columns the rule takes over of a row
    // that loadCompared() read.
    void updateKeptColumns(int type, const pim::Entity& entity);
    Sqlite3Statement& rowStatement(bool insert, int type);
    // Inserts the rows of one contact, in order, with as few statements as
    // possible, and sets each entity's id (consecutive, as one by one).
    void insertRows(unsigned long long contactId, QList<std::pair<int, pim::Entity>>& rows);
    // fill_entity() by position: "dataN" stands at firstData + N - 1; with
    // everyColumn also the columns a merge compares but a reader leaves out.
    static void fillEntityAt(const Sqlite3Cursor& cur, int firstData, int type, bool everyColumn,
                             pim::Entity& entity);
    static void fillEntityAt(const Sqlite3Statement::Row& row, int firstData, int type, bool everyColumn,
                             pim::Entity& entity);
    void dropImportIndexes();
    void restoreImportIndexes();
    void loadImportNames();
    // A contact the import stored anew under this name: its keys join
    // those read at once, as the lookup through the index finds them;
    // `parts` its first name row, when it has one.
    void addImportName(unsigned long long id, const QString& fullName, const pim::Entity* parts);
    void forgetImportNames();
    // forgetImportNames() for a write of a row of this type: the parts of a
    // name give its stored contact a key.
    void forgetNameParts(int type)
    {
        if (type == pim::ENTITY_NAME)
            forgetImportNames();
    }
    // A name as an import compares it: its UTF-8 bytes with A-Z folded, as
    // the case-insensitive index folds them, and without the blanks and tabs
    // at its ends, a run of them inside one blank. The file readers store a
    // name's parts without such blanks (pim::withoutEndBlanks), so a contact
    // that earlier builds stored with them ("Ann  Lead" of " Lead") is the
    // one the same file's contact now merges into.
    static QByteArray nameKey(QByteArray utf8);
    // The second key of a stored name of Chinese, Japanese or Korean
    // letters that an earlier build made from name parts with end blanks:
    // such a name reads "山田 太郎" where its parts without them read
    // "山田太郎", or in the order of a Latin name where a blank before a
    // part hid its script ("明 李" for "李明", "Dr 明 李"): partsKeyOf()
    // of the contact's first name row, empty without one.
    QByteArray partsNameKey(unsigned long long id, QByteArrayView fullName);
    // The one definition of that key, which both ways of finding a name
    // ask: the nameKey() of the name the parts make without their end
    // blanks, when the name is the one the parts make, that key differs
    // from the name's own, holds no blank and the name is the key with one
    // blank put in, as its parts make it, where the name index is searched
    // for it (see the source); after the key of the title the name starts
    // with and a NUL (prefixedNameKey()) when the name has the order of a
    // Latin name; empty otherwise.
    static QByteArray partsKeyOf(QByteArrayView fullName, const pim::Entity& parts);
    // The key of an incoming name of such letters as partsNameKey() gives
    // it to a stored name of its parts that starts with their title; empty
    // without a title.
    static QByteArray prefixedNameKey(const pim::_Contact& incoming, const QByteArray& key);
    // Adds the keys a stored name answers to, its nameKey() and its
    // partsNameKey(), to `keys`, each with the lowest id that has it: what
    // both ways of finding a name read of a stored one.
    void addKeys(QHash<QByteArray, unsigned long long>& keys, unsigned long long id, QByteArrayView fullName);
    // The reading of ranges of the name index that findNameKey() asks for,
    // each told where it is defined (localdb_names.cpp).
    void scanNames(QByteArrayView from, QByteArrayView to,
                   const std::function<void(unsigned long long, QByteArrayView)>& name, QByteArray* next = nullptr);
    bool knownEmpty(const QByteArray& from, const QByteArray& to, bool noAsciiLetter = false) const;
    void readNames(const QByteArray& from, const QByteArray& to, QHash<QByteArray, unsigned long long>* keys);
    unsigned long long wordNames(QByteArrayView word, bool run, const QByteArray& key);
    unsigned long long runNamesHolder(const QByteArray& key, qsizetype first);
    bool scanFromLastPlace(const QByteArray& key, const std::function<void(unsigned long long, QByteArrayView)>& name);
    void askNamesOf(const QByteArray& name);
    unsigned long long partsKeyHolder(const QByteArray& wanted, bool lastPlaceEmpty = false);
    // Inside an import whose names were not read (loadImportNames): the
    // lowest id of a stored contact with this nameKey() or partsNameKey(),
    // or with the prefixedNameKey() when given, from the names the
    // case-insensitive index finds that could have them.
    unsigned long long findNameKey(const QByteArray& key, const QByteArray& prefixed);
    // The stored contact the incoming one merges into: inside an import by
    // its keys, else isContactBaseExist().
    unsigned long long storedContactOf(const pim::_Contact& incoming);
    // The stored contact of the name of `incoming` that it merges into,
    // given `found`, the one the name lookup gave: that one, where the
    // incoming contact has a name of its own; else the first of them,
    // `found` first, whose name gives the same title alone as the incoming
    // one's ("Mr."), or as the incoming one's gives none; 0 for none.
    unsigned long long sameTitleContact(const pim::_Contact& incoming, unsigned long long found);
    void forgetEditState();
    // Opens a private copy of the file and of its leftover journal, in which
    // SQLite may roll the unfinished write back: the only way to read what
    // was last committed without writing to the file itself.
    void openRolledBackCopy(const Error& cause);

    QSharedPointer<AbsContactCombineRule> m_rule;
    // Where a read-only database with a leftover journal is read from; it
    // outlives the connection to it.
    std::unique_ptr<QTemporaryDir> m_rolledBack;
    Sqlite3DB m_db;
    QString m_path;
    Access m_access = ReadWrite;
    // Guards the members up to m_editHeld only, never held while SQL runs.
    mutable std::mutex m_holdMutex;
    std::condition_variable m_released;
    std::thread::id m_holder;
    int m_holds = 0;
    bool m_editHeld = false;
    std::atomic<bool> m_open { false };
    // Whether the case-insensitive name index is known to exist on the open
    // connection; a rollback may take a freshly made one away again.
    bool m_nameIndexReady = false;
    // Per type, the prepared data-row insert and update (0 unused).
    std::array<Sqlite3Statement, pim::ENTITY_TYPE_LAST + 1> m_insertRow;
    std::array<Sqlite3Statement, pim::ENTITY_TYPE_LAST + 1> m_updateRow;
    std::array<Sqlite3Statement, pim::ENTITY_TYPE_LAST + 1> m_updateKept;
    std::array<MergeKeys, pim::ENTITY_TYPE_LAST + 1> m_mergeKeys;
    Sqlite3Statement m_findName;
    Sqlite3Statement m_findNameRange;
    Sqlite3Statement m_findNameCaseRange;
    Sqlite3Statement m_findNameFrom;
    Sqlite3Statement m_findNameSeek;
    // Inside an import that looks names up: the template's case-sensitive
    // name index is there (not dropped), so a range of text without ASCII
    // letters is read through it.
    bool m_caseOrderNames = false;
    Sqlite3Statement m_nameParts;
    std::array<Sqlite3Statement, 2> m_namesWithParts;
    // For sameTitleContact(): a contact's first name row, the contacts of a name.
    Sqlite3Statement m_nameOfContact;
    Sqlite3Statement m_sameNames;
    Sqlite3Statement m_comparedRows;
    Sqlite3Statement m_insertContact;
    // Inserts of whole data rows, by the sequence of their types.
    QHash<QByteArray, Sqlite3Statement> m_insertShapes;
    // The open edit came from beginImport(): no level per contact.
    bool m_wholeImport = false;
    // A contact failed inside such an edit; only a rollback may end it.
    bool m_importBroken = false;
    // Definitions of the indexes dropped by beginImport(), to make again.
    QStringList m_droppedIndexes;
    // Inside beginImport(): the stored contacts merged into so far, as they
    // read back, with the key indexes of their entities. A contact that many
    // incoming ones merge into is then neither read back nor searched whole
    // for each of them. Only this edit writes meanwhile; dropped with it.
    struct MergeTarget;
    QHash<unsigned long long, std::shared_ptr<MergeTarget>> m_mergeTargets;
    // Inside beginImport(), when the import is large next to what is
    // stored: every stored name's addKeys(), the import's new contacts
    // added as they are stored, so that a lookup costs no descent of the
    // name index. Any other change of names or of a name's row drops it:
    // findNameKey() takes over.
    QHash<QByteArray, unsigned long long> m_importNames;
    bool m_importNamesLoaded = false;
    // Inside beginImport(), when names are looked up: wordNames() by word,
    // without and with `run`, the names asked with their name rows
    // (askNamesOf()), the names read that may have a parts key, by
    // their letters, until a lookup asks, with their ids, the parts keys
    // asked and the import's new ones, each with its lowest id, and the
    // stretches of the case-sensitive name index found to hold no name,
    // each by the name that ends it to where it starts, in byte order; a
    // stored name splits them. Dropped with m_importNames.
    QHash<QByteArray, QHash<QByteArray, unsigned long long>> m_wordNames;
    QHash<QByteArray, QHash<QByteArray, unsigned long long>> m_runNames;
    QSet<QByteArray> m_namesAsked;
    QHash<quint64, QList<std::pair<unsigned long long, QByteArray>>> m_partsToAsk;
    QSet<unsigned long long> m_partsAsked;
    QHash<QByteArray, unsigned long long> m_partsKeys;
    struct ByteOrder {
        bool operator()(const QByteArray& a, const QByteArray& b) const noexcept;
    };
    std::map<QByteArray, QByteArray, ByteOrder> m_emptyNames;
    std::function<bool()> m_cancelled;
    qsizetype m_lastMergeLeftOut = 0;
    QString m_lastMergeReplacedPhoto;
    bool m_lastMergeByNameAlone = false;
};
