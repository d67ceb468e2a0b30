#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <stdexcept>

// Why an Access file cannot be read. what() is the tool's English line;
// userText() the program's Chinese one.
class AccessError : public std::runtime_error
{
public:
    enum class Kind
    {
        // No Jet or ACE signature: some other file.
        NotAccess,
        // The signature is there but the file cannot be read whole.
        Damaged,
        // A table or one of its columns the schedule lives in is missing.
        NoSchedule,
        // This build has no reader for Access files.
        NoReader
    };
    AccessError(Kind kind, const QString &path, const QString &detail);
    Kind kind() const { return m_kind; }
    QString userText() const;

private:
    Kind m_kind;
    QString m_path;
    QString m_detail;
};

// An Access database file (Jet 3/4 .mdb or ACE .accdb), read only. Rows come
// back with Text and Memo columns as QString, Date/Time columns as the OLE
// date's QDateTime (local, to the second), numbers as qint64 or double and
// no value as a null QVariant. The file is opened read-only and never
// changed.
class AccessFile final
{
public:
    enum class Format
    {
        None,
        Jet,
        Ace
    };
    // The engine's signature at offset 4 ("Standard Jet DB" or "Standard
    // ACE DB"); None for anything else, a missing file included.
    static Format format(const QString &path);
    // Whether this build can read such files at all.
    static bool readable();

    // Throws AccessError.
    explicit AccessFile(const QString &path);
    ~AccessFile();
    Q_DISABLE_COPY_MOVE(AccessFile)

    QStringList tables() const;
    // The values of the named columns, in the order they were named.
    using Row = QVariantList;
    // Every row of table with the named columns (matched without regard to
    // case; others are not read), in the order the file holds them. Throws
    // AccessError for a missing table or column, or rows the file cannot
    // give whole.
    QList<Row> rows(const QString &table, const QStringList &columns) const;

private:
    struct Handle;
    QString m_path;
    std::unique_ptr<Handle> m_handle;
};
