#include "data/AccessFile.h"

#include <QFile>
#include <QFileInfo>

#if TESSIVOX_ACCESS_READER
#include <mdbtools.h>
#endif

AccessError::AccessError(Kind kind, const QString &path, const QString &detail)
    : std::runtime_error((path + QStringLiteral(": ") + detail).toStdString()), m_kind(kind),
      m_path(path), m_detail(detail)
{}

QString AccessError::userText() const
{
    switch (m_kind) {
    case Kind::NotAccess:
        return QStringLiteral("%1 不是 Access 数据库文件。").arg(m_path);
    case Kind::Damaged:
        return QStringLiteral("Access 数据库文件 %1 已损坏或不完整，无法读取。\n%2")
            .arg(m_path, m_detail);
    case Kind::NoSchedule:
        return QStringLiteral(
                   "Access 数据库文件 %1 中没有考试安排（需要 var、test、sound 三个表）。\n%2")
            .arg(m_path, m_detail);
    case Kind::NoReader:
        break;
    }
    return QStringLiteral("此版本的 Tessivox 不能读取 Access 数据库文件 %1。\n%2")
        .arg(m_path, m_detail);
}

AccessFile::Format AccessFile::format(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Format::None;
    const QByteArray head = file.read(4 + 16);
    if (head.mid(4, 16) == QByteArrayLiteral("Standard Jet DB\0"))
        return Format::Jet;
    if (head.mid(4, 16) == QByteArrayLiteral("Standard ACE DB\0"))
        return Format::Ace;
    return Format::None;
}

#if TESSIVOX_ACCESS_READER

namespace {

// A memo longer than this is cut by the library; explanations are a few
// lines.
constexpr size_t BindSize = 64 * 1024;

// The library's text of a Date/Time value; parsed back below, so that the
// value keeps its seconds whatever the file's display format says.
constexpr char DateFormat[] = "%Y-%m-%d %H:%M:%S";

// DateFormat's text, read without QDateTime's parser: a large table has
// thousands.
QDateTime dateTime(const QByteArray &text)
{
    const auto number = [&](int from, int length) { return text.mid(from, length).toInt(); };
    if (text.size() != 19)
        return {};
    return QDateTime(QDate(number(0, 4), number(5, 2), number(8, 2)),
                     QTime(number(11, 2), number(14, 2), number(17, 2)));
}

QVariant value(int type, const QByteArray &text)
{
    switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
        return text.toLongLong();
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
    case MDB_MONEY:
        return text.toDouble();
    case MDB_DATETIME:
        return dateTime(text);
    default:
        return QString::fromUtf8(text);
    }
}

} // namespace

struct AccessFile::Handle
{
    MdbHandle *mdb = nullptr;
    ~Handle()
    {
        if (mdb)
            mdb_close(mdb);
    }
};

bool AccessFile::readable()
{
    return true;
}

AccessFile::AccessFile(const QString &path) : m_path(path), m_handle(std::make_unique<Handle>())
{
    if (!QFileInfo(path).isFile())
        throw AccessError(AccessError::Kind::NotAccess, path, QStringLiteral("no such file"));
    if (format(path) == Format::None)
        throw AccessError(AccessError::Kind::NotAccess, path,
                          QStringLiteral("not an Access database file (no Jet or ACE signature)"));
    // Pages are 2 KiB (Jet 3) or 4 KiB; a file cut anywhere else is not whole.
    if (QFileInfo(path).size() % 2048 != 0)
        throw AccessError(AccessError::Kind::Damaged, path,
                          QStringLiteral("the file is cut short (its size is not whole pages)"));
    m_handle->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!m_handle->mdb || !mdb_read_catalog(m_handle->mdb, MDB_TABLE))
        throw AccessError(AccessError::Kind::Damaged, path,
                          QStringLiteral("the file's table catalogue cannot be read"));
    mdb_set_bind_size(m_handle->mdb, BindSize);
    mdb_set_date_fmt(m_handle->mdb, DateFormat);
    mdb_set_shortdate_fmt(m_handle->mdb, DateFormat);
}

AccessFile::~AccessFile() = default;

QStringList AccessFile::tables() const
{
    QStringList names;
    for (guint i = 0; i < m_handle->mdb->num_catalog; ++i) {
        const auto *entry =
            static_cast<MdbCatalogEntry *>(g_ptr_array_index(m_handle->mdb->catalog, i));
        if (entry->object_type == MDB_TABLE &&
            mdb_is_user_table(const_cast<MdbCatalogEntry *>(entry)))
            names << QString::fromUtf8(entry->object_name);
    }
    return names;
}

QList<AccessFile::Row> AccessFile::rows(const QString &table, const QStringList &columns) const
{
    QByteArray name;
    for (const QString &present : tables())
        if (present.compare(table, Qt::CaseInsensitive) == 0)
            name = present.toUtf8();
    if (name.isEmpty())
        throw AccessError(AccessError::Kind::NoSchedule, m_path,
                          QStringLiteral("no table %1").arg(table));
    MdbTableDef *def = mdb_read_table_by_name(m_handle->mdb, name.data(), MDB_TABLE);
    if (!def || !mdb_read_columns(def)) {
        if (def)
            mdb_free_tabledef(def);
        throw AccessError(AccessError::Kind::Damaged, m_path,
                          QStringLiteral("table %1 cannot be read").arg(table));
    }
    const std::unique_ptr<MdbTableDef, void (*)(MdbTableDef *)> owned(def, mdb_free_tabledef);

    struct Bound
    {
        int number = 0;
        int type = 0;
        QByteArray buffer;
        int length = 0;
    };
    QList<Bound> bound;
    for (const QString &column : columns) {
        Bound b;
        for (guint i = 0; i < def->num_cols; ++i) {
            const auto *col = static_cast<MdbColumn *>(g_ptr_array_index(def->columns, i));
            if (QString::fromUtf8(col->name).compare(column, Qt::CaseInsensitive) == 0) {
                b.number = int(i) + 1;
                b.type = col->col_type;
            }
        }
        if (b.number == 0)
            throw AccessError(AccessError::Kind::NoSchedule, m_path,
                              QStringLiteral("table %1 has no column %2").arg(table, column));
        b.buffer.fill('\0', qsizetype(BindSize));
        bound.append(b);
    }
    for (Bound &b : bound)
        mdb_bind_column(def, b.number, b.buffer.data(), &b.length);

    QList<Row> rows;
    mdb_rewind_table(def);
    while (mdb_fetch_row(def)) {
        Row row;
        row.reserve(bound.size());
        for (const Bound &b : bound)
            row.append(b.length == 0
                           ? QVariant()
                           : value(b.type, QByteArray(b.buffer.constData(),
                                                      qstrnlen(b.buffer.constData(), b.length))));
        rows.append(row);
    }
    // A page missing from the file ends the rows early without an error of
    // the library's own; the table's count of rows tells.
    if (rows.size() != qsizetype(def->num_rows))
        throw AccessError(AccessError::Kind::Damaged, m_path,
                          QStringLiteral("table %1 gave %2 of its %3 rows")
                              .arg(table)
                              .arg(rows.size())
                              .arg(def->num_rows));
    return rows;
}

#else

// The Windows build made without the library: every file is refused with
// the way to import it on another computer.
struct AccessFile::Handle
{};

bool AccessFile::readable()
{
    return false;
}

AccessFile::AccessFile(const QString &path) : m_path(path)
{
    throw AccessError(AccessError::Kind::NoReader, path,
                      QStringLiteral("this build cannot read Access files; import it with "
                                     "tessivox-db on a PC with the Linux build and copy the "
                                     "database file here"));
}

AccessFile::~AccessFile() = default;

QStringList AccessFile::tables() const
{
    return {};
}

QList<AccessFile::Row> AccessFile::rows(const QString &, const QStringList &) const
{
    return {};
}

#endif
