#include "ui/common/ClockSetting.h"

#include "app/Shell.h"
#include "platform/ClockSetter.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"

#include <QPointer>
#include <QWidget>

namespace ClockSetting {

void apply(Shell &shell, QWidget *owner, const QDateTime &value, std::function<void()> done)
{
    // The answer may come after the window that asked, or the whole
    // program, has gone.
    shell.platform.clockSetter.setLocalTime(
        value, [shell = QPointer<Shell>(&shell), owner = QPointer<QWidget>(owner),
                done = std::move(done)](const ClockSetter::Outcome &outcome) {
            if (!shell)
                return;
            QString text = QStringLiteral("修改成功！");
            if (!outcome.ok) {
                // Reporting success for a refused change would leave an exam
                // room on the wrong time without anybody knowing.
                text = QStringLiteral("修改失败");
                if (!outcome.error.isEmpty())
                    text += QLatin1Char('\n') + outcome.error;
            }
            shell->platform.messageBoxes.inform(owner, text);
            if (owner && done)
                done();
        });
}

} // namespace ClockSetting
