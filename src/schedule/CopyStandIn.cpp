#include "schedule/CopyStandIn.h"

#include "data/TDataModule1.h"

#include <utility>

CopyStandIn::CopyStandIn(const TDataModule1 &data)
    : m_folder(data.dataFolder()),
      m_copy(data.path(), data.dataFolder() + QStringLiteral("/local-copy.mdb"))
{}

void CopyStandIn::answered(ServerLink &link)
{
    m_noticeGiven = false;
    m_copy.refresh(link);
}

bool CopyStandIn::standsIn(DbError::Kind why, QString &notice)
{
    // A refusal the copy would only hide stands.
    if ((why != DbError::Kind::Unreachable && why != DbError::Kind::NoAnswer &&
         why != DbError::Kind::Full) ||
        !m_copy.isUsable())
        return false;
    if (!std::exchange(m_noticeGiven, true))
        notice = QStringLiteral("%1，使用本机保存的考试安排（%2 保存）")
                     .arg(why == DbError::Kind::Full ? QStringLiteral("服务器连接数已满")
                                                     : QStringLiteral("服务器无法连接"),
                          m_copy.taken().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    return true;
}

void CopyStandIn::read(const std::function<void(Session &)> &work) const
{
    TDataModule1 copy(m_copy.path(), TDataModule1::Mode::ReadOnly, m_folder);
    copy.use(TDataModule1::Access::Read, work);
}
