#include "data/DbError.h"

QString DbError::explanation(Kind kind)
{
    switch (kind) {
    case Kind::Busy:
        return QStringLiteral("数据库正被其他程序占用或服务器繁忙，请稍后再试。");
    case Kind::Missing:
        return QStringLiteral("找不到数据库文件。");
    case Kind::NotTessivox:
        return QStringLiteral("这不是 Tessivox 的数据库（缺少考试安排的表）。");
    case Kind::Unreachable:
        return QStringLiteral("无法连接数据库服务器（服务器未运行、网络不通或地址有误）。");
    case Kind::NoAnswer:
        return QStringLiteral("服务器没有应答，已停止等待（服务器停滞或网络中断）。");
    case Kind::Full:
        return QStringLiteral("服务器连接数已满，请稍后再试或请管理员调高连接数上限。");
    case Kind::Outdated:
        return QStringLiteral("数据库缺少考场状态的表，请运行 tessivox-db upgrade 升级。");
    case Kind::Refused:
        return QStringLiteral("数据库服务器拒绝连接（用户名、密码或数据库名不对）。");
    case Kind::Conflict:
        return QStringLiteral("另一位管理员同时修改了同一科目，本次修改未保存。");
    case Kind::Other:
        break;
    }
    return QStringLiteral("数据库操作失败。");
}
