#include "DatabaseTool.h"

#include "AnnounceCommand.h"
#include "Arguments.h"
#include "CheckCommand.h"
#include "CommandInput.h"
#include "DelayCommand.h"
#include "DemoSounds.h"
#include "ImportCommand.h"
#include "OfficeCommands.h"
#include "RehearseCommand.h"
#include "StatusCommand.h"
#include "UploadCommand.h"
#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Schema.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/StoredTime.h"
#include "data/TDataModule1.h"
#include "office/OfficeSchema.h"
#include "schedule/DataScheduleRepository.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QTemporaryFile>
#include <algorithm>
#include <functional>

namespace {

const QString DemoSubject = QStringLiteral("演示科目");

struct DemoInstruction
{
    QString fileName;
    QString explain;
    int secondsAhead;
    double toneHz;
};

const QList<DemoInstruction> &demoInstructions()
{
    static const QList<DemoInstruction> instructions{
        {QStringLiteral("demo-1.wav"), QStringLiteral("考生请注意：请将手机关机，放在指定位置。"),
         60, 440.0},
        {QStringLiteral("demo-2.wav"), QStringLiteral("现在分发试卷，请先填写姓名和准考证号。"),
         120, 587.33},
        {QStringLiteral("demo-3.wav"), QStringLiteral("考试开始，请考生开始答题。"), 180, 783.99},
    };
    return instructions;
}

// Builds the tables in db, a new file or a server's database. Returns the
// tables of the program it found there already, when it found any, and then
// changes nothing.
QStringList buildDatabase(QSqlDatabase db)
{
    // A server also gets the exam office's tables, which only a server has.
    const bool server = Dialect::of(db) == Dialect::Engine::PostgreSQL;
    QStringList ours{"var", "test", "sound"};
    if (server)
        ours << QStringLiteral("room") << QStringLiteral("room_event")
             << QStringLiteral("sound_file") << QStringLiteral("sound_file_chunk");
    QStringList present;
    for (const QString &table : Schema::tables(db)) {
        if (ours.contains(table, Qt::CaseInsensitive))
            present.append(table);
    }
    if (present.isEmpty()) {
        Schema::createSchema(db, Schema::DefaultTitle);
        if (server)
            OfficeSchema::create(db);
    }
    return present;
}

QStringList buildFile(const QString &path)
{
    const QString name = QStringLiteral("tessivox-db-create");
    const auto remove = qScopeGuard([&] { QSqlDatabase::removeDatabase(name); });
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    if (!db.open())
        throw Dialect::error(Dialect::Engine::SQLite, db.lastError()).concerning(path);
    const QStringList present = buildDatabase(db);
    db.close();
    return present;
}

QStringList buildServer(const QString &uri)
{
    QStringList present;
    ServerLink(uri).run([&](Session &session) { present = buildDatabase(session.db()); },
                        CommandInput::ServerDeadline);
    return present;
}

} // namespace

int DatabaseTool::run(const QStringList &arguments)
{
    struct Command
    {
        QString name;
        Arguments::Grammar grammar;
        std::function<int(const Arguments &)> run;
    };
    const QList<Command> commands{
        {QStringLiteral("create"),
         {1, {}, {}},
         [this](const Arguments &a) { return create(a.positional().at(0)); }},
        {QStringLiteral("demo"),
         {1, {QStringLiteral("sound-dir")}, {}},
         [this](const Arguments &a) {
             return demo(a.positional().at(0), CommandInput::soundFolder(a));
         }},
        {QStringLiteral("check"),
         {1, {QStringLiteral("subject"), QStringLiteral("sound-dir")}, {QStringLiteral("json")}},
         [this](const Arguments &a) { return CheckCommand(m_out, m_err, m_clockHealth).run(a); }},
        {QStringLiteral("rehearse"),
         {2, {QStringLiteral("from"), QStringLiteral("sound-dir")}, {QStringLiteral("json")}},
         [this](const Arguments &a) { return RehearseCommand(m_out, m_err).run(a); }},
        {QStringLiteral("status"),
         {1, {QStringLiteral("watch")}, {QStringLiteral("json")}},
         [this](const Arguments &a) { return StatusCommand(m_out, m_err).run(a); }},
        {QStringLiteral("upgrade"),
         {1, {}, {}},
         [this](const Arguments &a) {
             return OfficeCommands(m_out, m_err).upgrade(a.positional().at(0));
         }},
        {QStringLiteral("upload"),
         {1, {QStringLiteral("sound-dir")}, {}},
         [this](const Arguments &a) { return UploadCommand(m_out, m_err).run(a); }},
        {QStringLiteral("import"),
         {1,
          {QStringLiteral("sound-dir")},
          {QStringLiteral("dry-run"), QStringLiteral("replace")},
          1},
         [this](const Arguments &a) { return ImportCommand(m_out, m_err).run(a); }},
        {QStringLiteral("delay"),
         {3, {}, {}},
         [this](const Arguments &a) { return DelayCommand(m_out, m_err).run(a); }},
        {QStringLiteral("announce"),
         {2, {QStringLiteral("at"), QStringLiteral("rooms"), QStringLiteral("text")}, {}},
         [this](const Arguments &a) { return AnnounceCommand(m_out, m_err).run(a); }},
        {QStringLiteral("grants"),
         {0, {}, {}},
         [this](const Arguments &) { return OfficeCommands(m_out, m_err).grants(); }},
    };
    const QString name = arguments.value(0);
    const auto command = std::find_if(commands.cbegin(), commands.cend(),
                                      [&](const Command &c) { return c.name == name; });
    if (command == commands.cend())
        return usage(name.isEmpty() ? QString() : QStringLiteral("no command %1").arg(name));
    QString error;
    const std::optional<Arguments> parsed =
        Arguments::parse(arguments.mid(1), command->grammar, error);
    if (!parsed)
        return usage(error);
    // Every command's first word names a database, where it takes one.
    if (const QString unusable = parsed->positional().isEmpty()
                                     ? QString()
                                     : CommandInput::unusableLocation(parsed->positional().at(0));
        !unusable.isEmpty())
        return usage(unusable);
    try {
        return command->run(*parsed);
    } catch (const std::exception &failure) {
        return fail(CommandInput::reason(failure));
    }
}

int DatabaseTool::create(const QString &path)
{
    if (ServerAddress::isServer(path)) {
        const QStringList present = buildServer(path);
        if (!present.isEmpty())
            return fail(QStringLiteral("%1 already has the tables %2; it was left untouched.")
                            .arg(ServerAddress::shown(path), present.join(QStringLiteral(", "))));
        m_out << "Created the tables in " << ServerAddress::shown(path) << "\n";
        return 0;
    }
    const QFileInfo target(path);
    if (target.exists() || target.isSymLink())
        return fail(path + QStringLiteral(" already exists; it was left untouched."));
    if (!QDir().mkpath(target.absolutePath()))
        return fail(target.absolutePath() + QStringLiteral(": cannot create the folder"));

    // The tables are built in a file beside the target and renamed into place
    // when complete, so an interruption never leaves half a database at path.
    QString stagingPath;
    {
        // Let go of before the rename: Windows renames no file a handle is
        // still open on, and Qt's copy in its place then removes both.
        QTemporaryFile staging(target.absoluteFilePath() + QStringLiteral(".XXXXXX"));
        if (!staging.open())
            return fail(staging.fileTemplate() + QStringLiteral(": ") + staging.errorString());
        staging.setAutoRemove(false);
        stagingPath = staging.fileName();
    }
    const auto removeStaging = qScopeGuard([&] { QFile::remove(stagingPath); });
    buildFile(stagingPath);
    // A temporary file is private to its owner; a database is not.
    QFile::setPermissions(stagingPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                           QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    // Unlike a plain rename, this one never replaces a file that appeared
    // at path in the meantime.
    if (!QFile::rename(stagingPath, target.absoluteFilePath()))
        return fail(path + QStringLiteral(": cannot create the file (it appeared meanwhile or "
                                          "the folder refuses it)"));
    m_out << "Created " << path << "\n";
    return 0;
}

int DatabaseTool::demo(const QString &path, const QString &soundDir)
{
    TDataModule1 module(path);
    // Refuse a missing or broken database before any sound is written.
    module.use(TDataModule1::Access::Read, [](Session &) {});

    DemoSounds sounds(soundDir);
    for (const DemoInstruction &instruction : demoInstructions())
        sounds.write(instruction.fileName, instruction.explain, instruction.toneHz);

    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    QStringList times;
    Subject demo{DemoSubject, true, {}, {}, now, now.addSecs(7200), {}};
    for (const DemoInstruction &instruction : demoInstructions()) {
        Instruction added;
        added.filename = instruction.fileName;
        added.explain = instruction.explain;
        added.time = now.addSecs(instruction.secondsAhead).time();
        demo.instructions.append(added);
        times.append(StoredTime::fromTime(added.time));
    }
    // A demo made before is replaced whole.
    DataScheduleRepository(module).store({{}, {demo}}, true);

    m_out << "Demo subject \"" << DemoSubject << "\" in " << path << ": instructions at "
          << times.join(QStringLiteral(", ")) << "\n"
          << "Sound files ("
          << (sounds.spoken() ? "spoken by espeak-ng" : "tones; espeak-ng is not available")
          << ") in " << sounds.folder() << "\n";
    return 0;
}

int DatabaseTool::usage(const QString &error)
{
    m_err
        << "Usage: tessivox-db create PATH   create a new exam database at PATH\n"
           "                                 (a new file, or an empty PostgreSQL database)\n"
           "       tessivox-db demo PATH [--sound-dir DIR]\n"
           "                                 add a demo subject to the database at PATH,\n"
           "                                 its instructions one, two and three minutes "
           "from now;\n"
           "                                 their WAV files go to DIR\n"
           "       tessivox-db check PATH [--subject NAME] [--sound-dir DIR] [--json]\n"
           "                                 what the run will make of every subject: each\n"
           "                                 instruction's sound, errors and warnings\n"
           "       tessivox-db rehearse PATH SUBJECT [--from HH:MM:SS] [--sound-dir DIR] "
           "[--json]\n"
           "                                 the run of SUBJECT through the program's own\n"
           "                                 scheduler in simulated time, silently\n"
           "       tessivox-db status URI [--watch SECONDS] [--json]\n"
           "                                 every room of the centre's server: running or\n"
           "                                 idle, its clock, its run's plays, problems first\n"
           "       tessivox-db upgrade URI   add the tables room, room_event, sound_file,\n"
           "                                 sound_file_chunk, announcement and the rooms'\n"
           "                                 notices of changes to an older centre database\n"
           "       tessivox-db upload URI [--sound-dir DIR]\n"
           "                                 store on the server every sound file its\n"
           "                                 schedule names that it lacks or holds otherwise\n"
           "       tessivox-db import FILE.mdb [TARGET] [--dry-run] [--replace] [--sound-dir DIR]\n"
           "                                 bring the schedule of an Access file into TARGET\n"
           "                                 (default ./data/asdf.mdb; FILE itself: it is kept\n"
           "                                 beside under a new name); --replace replaces\n"
           "                                 subjects TARGET holds; into a server the sound\n"
           "                                 files of DIR are stored too\n"
           "       tessivox-db delay URI SUBJECT MINUTES\n"
           "                                 put SUBJECT back by MINUTES (negative: forward)\n"
           "                                 by the server's clock: its end, its start if\n"
           "                                 ahead, every instruction more than 5 s ahead\n"
           "       tessivox-db announce URI FILE --at HH:MM:SS [--rooms A,B] [--text TEXT]\n"
           "                                 every running room (or those named) plays the\n"
           "                                 WAV FILE at that second today, at least 10 s\n"
           "                                 ahead; FILE is stored on the server first\n"
           "       tessivox-db grants        the SQL for the rooms' and the office's roles\n"
           "The sound folder is \"sound\" beside the program, where the run plays from,\n"
           "unless --sound-dir names one.\n"
           "PATH is a file, or a PostgreSQL database as a libpq URI:\n"
           "postgresql://USER@HOST:PORT/DATABASE?OPTION=VALUE...\n";
    if (!error.isEmpty())
        m_err << "tessivox-db: " << error << "\n";
    return 2;
}

int DatabaseTool::fail(const QString &text)
{
    m_err << "tessivox-db: " << text << "\n";
    return 1;
}
