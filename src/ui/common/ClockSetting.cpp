#include "ui/common/ClockSetting.h"

#include "app/Shell.h"
#include "platform/ClockSetter.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"

namespace ClockSetting {

void apply(Shell &shell, QWidget *owner, const QDateTime &value, const std::function<void()> &done)
{
    const ClockSetter::Outcome outcome = shell.platform.clockSetter.setLocalTime(value);
    // Reporting success for a refused change would leave an exam room on
    // the wrong time without anybody knowing.
    shell.platform.messageBoxes.inform(owner, outcome.ok ? QStringLiteral("修改成功！")
                                                         : QStringLiteral("修改失败"));
    if (done)
        done();
}

} // namespace ClockSetting
