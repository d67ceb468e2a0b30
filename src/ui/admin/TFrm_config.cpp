#include "ui/admin/TFrm_config.h"

#include "data/SoundStore.h"
#include "data/SoundUploader.h"
#include "data/TDataModule1.h"
#include "platform/FileDialog.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "run/PlayFailure.h"
#include "schedule/DataScheduleRepository.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/common/Controls.h"
#include "ui/common/InstructionList.h"
#include "ui/common/TimeTyping.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

namespace {

// The text after the last path separator or drive colon, whichever
// platform the path was written on.
QString fileNamePart(const QString &path)
{
    const qsizetype cut =
        std::max({path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')),
                  path.lastIndexOf(QLatin1Char(':'))});
    return path.mid(cut + 1);
}

// The memo holds lines; the stored explanation separates them by CR LF.
QString memoText(const QString &explanation)
{
    return QString(explanation).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

using Controls::button;
using Controls::label;

TFrm_config::TFrm_config(Shell &shell)
    : Form(shell, QStringLiteral("语音指令设置"), QSize(409, 353), TitleButtons::CloseOnly),
      ListView1(new QTreeWidget(this)),
      Label2(label(this, QStringLiteral("请输入或选择相对应的指令语音文件："), 8, 164, 300)),
      Edt_path(new QLineEdit(this)), FBtn_browse(button(this, QStringLiteral("浏览"), 326, 185)),
      Lbl_exp(label(this, QStringLiteral("说明："), 8, 216, 40)), Memo1(new QPlainTextEdit(this)),
      FlatButton1(button(this, QStringLiteral("修改"), 326, 216)),
      FlatButton2(button(this, QStringLiteral("删除"), 326, 248)),
      Label1(label(this, QStringLiteral("播放时间："), 8, 285, 70)),
      DateTimePicker1(new QTimeEdit(QTime(16, 13, 10), this)),
      FBtn_add(button(this, QStringLiteral("添加"), 326, 282)),
      FBtn_ok(button(this, QStringLiteral("完成"), 238, 320)),
      Fbtn_quit(button(this, QStringLiteral("返回"), 326, 320))
{
    ListView1->setGeometry(8, 8, 393, 150);
    InstructionList::setUp(ListView1, {QStringLiteral("语音文件"), QStringLiteral("说明"),
                                       QStringLiteral("播放时间")});
    ListView1->viewport()->installEventFilter(this);
    Edt_path->setGeometry(8, 186, 310, 23);
    Edt_path->setEnabled(false);
    Memo1->setGeometry(48, 216, 270, 58);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DateTimePicker1->setGeometry(80, 283, 120, 23);
    DateTimePicker1->setDisplayFormat(m_shell.platform.formats.longTimeFormat());
    TimeTyping::install(DateTimePicker1);
    enableRowButtons(false);
    Controls::rule(this, 8, 312, 393);
    Controls::name(ListView1, QStringLiteral("语音指令列表"));
    Controls::name(Edt_path, QStringLiteral("语音文件"));
    Label2->setBuddy(Edt_path);
    Controls::name(Memo1, Lbl_exp);
    Controls::name(DateTimePicker1, Label1);
    // The first thing to fill in is the file.
    FBtn_browse->setFocus();

    on(FBtn_browse, &QPushButton::clicked, &TFrm_config::FBtn_browseClick);
    on(FBtn_add, &QPushButton::clicked, &TFrm_config::FBtn_addClick);
    on(FlatButton1, &QPushButton::clicked, &TFrm_config::FlatButton1Click);
    on(FlatButton2, &QPushButton::clicked, &TFrm_config::FlatButton2Click);
    on(FBtn_ok, &QPushButton::clicked, &TFrm_config::FBtn_okClick);
    on(Fbtn_quit, &QPushButton::clicked, &TFrm_config::Fbtn_quitClick);
}

QString TFrm_config::subject() const
{
    return m_shell.Frm_sa->selectedSubject();
}

QString TFrm_config::soundFolder() const
{
    return QDir::toNativeSeparators(m_shell.platform.programFolder + QStringLiteral("/sound"));
}

void TFrm_config::FormCreate()
{
    const QList<Instruction> instructions =
        DataScheduleRepository(m_shell.data).instructions(subject());
    if (instructions.isEmpty())
        return;
    if (const int unreadable =
            InstructionList::fill(ListView1, instructions, m_shell.platform.formats))
        m_shell.platform.messageBoxes.inform(
            this,
            QStringLiteral("有%1条指令的播放时间无法读取，列表中标为“无法读取”。"
                           "未修改的指令保存时保持原样；要播放它，请选中后设定播放时间并按“修改”。")
                .arg(unreadable));
}

void TFrm_config::FBtn_browseClick()
{
    // The dialog starts where the run looks for sound files, not in the
    // working directory, which need not be the program's folder.
    const QString chosen = m_shell.platform.fileDialog.openFileName(
        this, QStringLiteral("打开"), soundFolder(), QStringLiteral("*.wav"));
    if (!chosen.isEmpty())
        m_dialogFile = QDir::toNativeSeparators(chosen);
    Edt_path->setText(m_dialogFile);
    if (chosen.isEmpty())
        return;
    // Said now, while another file can still be chosen, not on exam day.
    if (const QString problem = PlayFailure::fileProblem(chosen); !problem.isEmpty())
        m_shell.platform.messageBoxes.inform(
            this, QStringLiteral("所选文件无法播放：%1\n仍可保留它，但考试时这条指令将无法播放。")
                      .arg(problem));
    // A server keeps the recordings with the schedule: any folder will do.
    if (serverKeepsSounds()) {
        m_chosen.insert(fileNamePart(chosen), chosen);
        warnIfShared(fileNamePart(chosen), chosen);
        return;
    }
    if (QDir(QFileInfo(chosen).absolutePath()) == QDir(soundFolder()))
        return;
    m_shell.platform.messageBoxes.inform(
        this, QStringLiteral("所选文件不在播放文件夹中，考试前请将它复制到：") + soundFolder());
}

bool TFrm_config::serverKeepsSounds()
{
    return DataScheduleRepository(m_shell.data).keepsRecordings();
}

void TFrm_config::warnIfShared(const QString &name, const QString &path)
{
    DataScheduleRepository repository(m_shell.data);
    const QStringList subjects = repository.subjectsPlaying(name, subject());
    if (subjects.isEmpty())
        return;
    const SoundStore::Held held = repository.recordings().value(name);
    // Only a file of the same size may be the same content: reading a large
    // one through is spared for that case.
    if (held.size == QFileInfo(path).size() && SoundStore::sha256Of(path) == held.sha256)
        return;
    m_shell.platform.messageBoxes.inform(this, QStringLiteral("其他科目也使用此文件：") +
                                                   subjects.join(QStringLiteral("、")));
}

bool TFrm_config::storeSounds()
{
    if (!serverKeepsSounds())
        return true;
    const QHash<QString, SoundStore::Held> held = DataScheduleRepository(m_shell.data).recordings();
    QList<SoundUploader::File> files;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QString name = ListView1->topLevelItem(i)->text(0);
        const QString path =
            m_chosen.contains(name) ? m_chosen.value(name) : m_shell.platform.soundPath(name);
        // A file chosen anew must go, or the list with it; one the sound
        // folder lacks stays where it is, as a centre that mixes has it.
        const bool wanted =
            m_chosen.contains(name) || (!held.contains(name) && QFileInfo(path).isFile());
        if (wanted && std::none_of(files.cbegin(), files.cend(),
                                   [&](const SoundUploader::File &f) { return f.name == name; }))
            files.append({name, path});
    }
    if (files.isEmpty())
        return true;
    QProgressDialog progress(QStringLiteral("正在向服务器保存声音文件…"), QStringLiteral("取消"), 0,
                             1000, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();
    QEventLoop loop;
    // Each piece has its deadline on the uploader's link; the window gives
    // up by itself a little later still, should the link not.
    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(SoundUploader::DeadlineMs + 5'000);
    QString error = QStringLiteral("服务器没有回应");
    const std::shared_ptr<SoundUploader> uploader =
        SoundUploader::start(m_shell.data.path(), files);
    connect(uploader.get(), &SoundUploader::writing, this,
            [this](qint64 process) { m_shell.ownWrites(process); });
    connect(uploader.get(), &SoundUploader::progress, &progress, [&](qint64 done, qint64 total) {
        progress.setValue(total > 0 ? int(done * 1000 / total) : 0);
        silence.start();
    });
    connect(uploader.get(), &SoundUploader::finished, &loop, [&](const QString &failure) {
        error = failure;
        loop.quit();
    });
    connect(&silence, &QTimer::timeout, &loop, [&] {
        uploader->cancel();
        loop.quit();
    });
    connect(&progress, &QProgressDialog::canceled, &loop, [&] {
        uploader->cancel();
        error = QStringLiteral("已取消");
        loop.quit();
    });
    silence.start();
    loop.exec();
    uploader->disconnect();
    if (error.isEmpty())
        return true;
    m_shell.platform.messageBoxes.inform(
        this, QStringLiteral("声音文件未能保存到服务器，指令列表未保存：\n") + error);
    return false;
}

void TFrm_config::FBtn_addClick()
{
    if (Edt_path->text().isEmpty()) {
        m_shell.platform.messageBoxes.inform(this, QStringLiteral("请选择要播放的文件"));
        return;
    }
    const RegionalFormats &formats = m_shell.platform.formats;
    const QTime playtime = DateTimePicker1->time();
    const QString text = formats.longTime(playtime);
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        if (ListView1->topLevelItem(i)->text(2) == text) {
            m_shell.platform.messageBoxes.inform(this,
                                                 QStringLiteral("不能添加播放时间相同的文件"));
            return;
        }
    }
    InstructionList::append(ListView1, fileName(), explanation(), playtime, formats);
    InstructionList::fitColumns(ListView1);
}

bool TFrm_config::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ListView1->viewport() || event->type() != QEvent::MouseButtonRelease)
        return Form::eventFilter(watched, event);
    const auto *click = static_cast<QMouseEvent *>(event);
    if (click->button() == Qt::LeftButton) {
        // As on the platform's list views, a click beside the rows leaves
        // no row selected.
        if (!ListView1->itemAt(click->position().toPoint()))
            ListView1->clearSelection();
        m_shell.errors.guard([this] { ListView1Click(); });
    }
    return Form::eventFilter(watched, event);
}

QTreeWidgetItem *TFrm_config::selectedRow() const
{
    const QList<QTreeWidgetItem *> selected = ListView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TFrm_config::ListView1Click()
{
    const QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    enableRowButtons(true);
    Edt_path->setText(QDir::toNativeSeparators(m_shell.platform.soundPath(row->text(0))));
    Memo1->setPlainText(memoText(row->text(1)));
    DateTimePicker1->setTime(InstructionList::playtime(row));
}

void TFrm_config::FlatButton1Click()
{
    // After a click beside the rows the buttons are still enabled, but no
    // row is chosen that the fields could belong to.
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    InstructionList::set(row, fileName(), explanation(), DateTimePicker1->time(),
                         m_shell.platform.formats);
    InstructionList::fitColumns(ListView1);
    enableRowButtons(false);
}

void TFrm_config::FlatButton2Click()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    delete row;
    InstructionList::fitColumns(ListView1);
    enableRowButtons(false);
}

void TFrm_config::FBtn_okClick()
{
    const int count = ListView1->topLevelItemCount();
    QList<Instruction> instructions;
    instructions.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QTreeWidgetItem *row = ListView1->topLevelItem(i);
        Instruction instruction;
        instruction.id = InstructionList::identity(row).value_or(-1);
        instruction.filename = row->text(0);
        instruction.explain = row->text(1);
        instruction.storedTime = InstructionList::storedPlaytime(row);
        instructions.append(instruction);
    }
    // No list on the server may name a recording the server lacks.
    if (!storeSounds())
        return;
    // All or nothing: a failure half-way must not leave the subject with
    // part of its instructions deleted.
    DataScheduleRepository(m_shell.data).replaceInstructions(subject(), instructions);
    // Stored: the editor has done its work and goes, whatever the console's
    // refresh does, so that no way back leads into it once the console is
    // usable again.
    m_shell.release(this);
    TFrm_sa *console = m_shell.Frm_sa;
    console->setEnabled(true);
    console->activateWindow();
    m_shell.errors.guard([this] { refreshlistview_subject(); });
    m_shell.platform.messageBoxes.inform(this, QStringLiteral("一共修改了%1条记录").arg(count));
}

void TFrm_config::refreshlistview_subject()
{
    // Rows that may no longer be stored must not stay on view when the
    // reload fails.
    m_shell.Frm_sa->ListView1->clear();
    m_shell.Frm_sa->showInstructions(DataScheduleRepository(m_shell.data).instructions(subject()));
}

void TFrm_config::Fbtn_quitClick()
{
    m_shell.Frm_sa->setEnabled(true);
    m_shell.Frm_sa->activateWindow();
    m_shell.release(this);
}

void TFrm_config::FormClose()
{
    Fbtn_quitClick();
}

QString TFrm_config::fileName() const
{
    return fileNamePart(Edt_path->text());
}

QString TFrm_config::explanation() const
{
    return Memo1->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void TFrm_config::enableRowButtons(bool enabled)
{
    FlatButton1->setEnabled(enabled);
    FlatButton2->setEnabled(enabled);
}
