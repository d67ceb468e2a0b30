#pragma once

#include <QDateTime>
#include <functional>

class Shell;
class QWidget;

namespace ClockSetting {

// Asks the platform to set the computer's clock to value and, once it has
// answered, tells the user the truth over owner: "修改成功！" only when the
// clock was set, "修改失败" with the platform's reason on a second line when
// it refused. The windows stay live meanwhile. done runs after the message,
// unless owner has gone by then.
void apply(Shell &shell, QWidget *owner, const QDateTime &value, std::function<void()> done = {});

} // namespace ClockSetting
